// What the settings file costs: one panel tick on a realistic SysInfo.ini
// (a snapshot of the file and its twenty values), one write, and a read on
// files of growing size.
#include "heap.h"
#include "names.h"
#include "rwini.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

// A folder holding SysInfo.ini with the shipped example contents, padded
// with unrelated sections in front up to `size` bytes.
class Folder {
public:
    explicit Folder(qsizetype size = 0) {
        QFile example(QStringLiteral(TIDE_EXAMPLE_INI));
        example.open(QIODevice::ReadOnly);
        QByteArray bytes;
        for (int i = 0; bytes.size() + example.size() < size; ++i) {
            bytes +=
                "[Padding" + QByteArray::number(i) + "]\r\nnote=a line of an unrelated section\r\n";
        }
        bytes += example.readAll();
        QFile ini(dir_.filePath(QStringLiteral("SysInfo.ini")));
        ini.open(QIODevice::WriteOnly);
        ini.write(bytes);
        ini.close();
        rwini::setFolderForTesting(dir_.path());
    }
    ~Folder() { rwini::setFolderForTesting(QString()); }

private:
    QTemporaryDir dir_;
};

// One tick of the panel where the file changed: one read, and the values
// both windows show looked up in memory.
void PanelTick(benchmark::State& state) {
    Folder folder(state.range(0));
    for (auto _ : state) {
        const rwini::Snapshot snapshot = rwini::ReadSnapshot();
        for (const QString* section : {&ini::Sysinfo, &ini::Display, &ini::Config, &ini::Info}) {
            for (const QString* key :
                 {&ini::key::Title, &ini::key::ServiceTel, &ini::key::TechnologyTel, &ini::key::Add,
                  &ini::key::label5}) {
                benchmark::DoNotOptimize(snapshot.text(*section, *key));
            }
        }
    }
}
// One tick where it did not: a status query.
void PanelTickAtRest(benchmark::State& state) {
    Folder folder;
    const rwini::Snapshot snapshot = rwini::ReadSnapshot();
    for (auto _ : state) {
        benchmark::DoNotOptimize(snapshot.current());
    }
}
BENCHMARK(PanelTickAtRest)->Unit(benchmark::kMicrosecond);
BENCHMARK(PanelTick)->Arg(0)->Arg(1000 << 10)->Unit(benchmark::kMicrosecond);

void OneWrite(benchmark::State& state) {
    Folder folder;
    int i = 0;
    for (auto _ : state) {
        // Alternate, so that every write really replaces the file.
        const bool ok = bool(rwini::WriteIniValue(ini::Sysinfo, ini::key::Title,
                                                  (i++ % 2) ? QStringLiteral("示例电脑服务部")
                                                            : QStringLiteral("示例电脑城")));
        benchmark::DoNotOptimize(ok);
    }
}
BENCHMARK(OneWrite)->Unit(benchmark::kMicrosecond);

// The editor's confirm: its eight values in one write.
void OneConfirm(benchmark::State& state) {
    Folder folder(state.range(0));
    int i = 0;
    for (auto _ : state) {
        QList<rwini::Entry> entries;
        for (const QString* section : {&ini::Sysinfo, &ini::Display}) {
            for (const QString* key : {&ini::key::Title, &ini::key::ServiceTel,
                                       &ini::key::TechnologyTel, &ini::key::Add}) {
                entries.append({*section, *key, QStringLiteral("%1 %2").arg(*key).arg(i % 2)});
            }
        }
        ++i;
        if (!rwini::WriteIniValues(entries)) {
            state.SkipWithError("the write failed");
        }
    }
}
BENCHMARK(OneConfirm)->Arg(0)->Arg(1000 << 10)->Unit(benchmark::kMillisecond);

// One write while a reader holds a read lock on the whole file: the lock is
// a reader's, so the write neither fails nor waits for it.
void OneWriteUnderAReadersLock(benchmark::State& state) {
    Folder folder;
    const QByteArray name = QFile::encodeName(rwini::IniFilePath());
    int i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const int reader = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        struct flock whole {};
        whole.l_type = F_RDLCK;
        ::fcntl(reader, F_OFD_SETLK, &whole);
        state.ResumeTiming();
        const bool ok = bool(rwini::WriteIniValue(ini::Sysinfo, ini::key::Title,
                                                  QStringLiteral("shop %1").arg(i++ % 2)));
        if (!ok) {
            state.SkipWithError("the write failed");
        }
        state.PauseTiming();
        ::close(reader);
        state.ResumeTiming();
    }
}
BENCHMARK(OneWriteUnderAReadersLock)->Unit(benchmark::kMillisecond);

void OneReadBySize(benchmark::State& state) {
    Folder folder(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(rwini::ReadIniValue(ini::Info, ini::key::Show, QString()));
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
// The last just under the largest file a read accepts (1 MiB).
BENCHMARK(OneReadBySize)
    ->Arg(1 << 10)
    ->Arg(64 << 10)
    ->Arg(1000 << 10)
    ->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    // As in both programs: a change's buffers stay in the heap, so that the
    // figures are the work and not pages faulted in afresh.
    tide::keepFileBuffers();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
