// rwini on real files: what reads leave behind, what writes change and keep,
// how failures are reported, and processes writing at the same time.
#include "ansi.h"
#include "code_page_936.h"
#include "inifile.h"
#include "names.h"
#include "profile.h"
#include "rwini.h"
#include "support.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <random>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using testing_support::AppFolder;

namespace {

QByteArray gb(const QString& text) {
    return QByteArray::fromStdString(ansi::encode(text.toStdU16String()).value());
}

std::string_view bytesOf(const QByteArray& raw) {
    return std::string_view(raw.constData(), size_t(raw.size()));
}

ino_t inode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

// Starts the second-process tool, optionally as the unprivileged user "nobody".
void startTool(QProcess& p, const QStringList& args, bool asNobody = false) {
    testing_support::startAs(p, asNobody ? 65534 : 0, QStringLiteral(RWINI_TOOL), args);
}

int tool(const QStringList& args, bool asNobody = false, QByteArray* out = nullptr) {
    QProcess p;
    startTool(p, args, asNobody);
    if (!p.waitForFinished(30000)) {
        p.kill();
        return -1;
    }
    if (out) {
        *out = p.readAllStandardOutput();
    }
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool canDropPrivileges() {
    return testing_support::canActAsOthers();
}

// The file as our own readers see it: whole, as one writer left it.
QByteArray settled(const AppFolder& f) {
    QByteArray bytes;
    inifile::read(f.iniPath(), bytes, 1000);
    return bytes;
}

// A folder only root can add files to, where "nobody" may write the file: writes go in place.
void makeFolderReadOnlyForNobody(const AppFolder& f) {
    ASSERT_TRUE(QFile::setPermissions(f.iniPath(), QFileDevice::Permissions(0x6666)));
    ASSERT_TRUE(QFile::setPermissions(f.path(), QFileDevice::Permissions(0x7555)));
}

// The package's layout with "nobody" among the owners: root's file, which the
// group may write, in a folder the group may add to; as "nobody" cannot keep
// root as the owner of a new file, it writes in place.
void makeOwnersGroupOfNobody(const AppFolder& f) {
    for (const QString& path : {f.path(), f.iniPath()}) {
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 0, 65534), 0);
    }
    ASSERT_EQ(::chmod(QFile::encodeName(f.iniPath()).constData(), 0664), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(f.path()).constData(), 02775), 0);
}

} // namespace

TEST(ReadIniValue, MissingKeyReturnsTheDefaultAndIsAddedEmpty) {
    AppFolder f;
    EXPECT_EQ(rwini::ReadIniValue(ini::Display, ini::key::Info, QString()), QString());
    EXPECT_EQ(f.bytes(), QByteArray("[Display]\r\nInfo=\r\n"));
    EXPECT_EQ(rwini::ReadIniValue(ini::Sysinfo, ini::key::Title, QString()), QString());
    EXPECT_EQ(rwini::ReadIniValue(ini::Display, ini::key::Title, QString()), QString());
    EXPECT_EQ(f.bytes(), QByteArray("[Display]\r\nInfo=\r\nTitle=\r\n[Sysinfo]\r\nTitle=\r\n"));
}

TEST(ReadIniValue, EmptyValueReturnsTheDefaultAndStoresIt) {
    AppFolder f;
    f.write(QStringLiteral("[Sysinfo]\nClose=\nTitle=店\n"));
    EXPECT_EQ(rwini::ReadIniValue(ini::Sysinfo, ini::key::Close, ini::Start), ini::Start);
    EXPECT_EQ(rwini::ReadIniValue(ini::Sysinfo, ini::key::Title, QStringLiteral("x")),
              QStringLiteral("店"));
    EXPECT_EQ(f.bytes(), gb(QStringLiteral("[Sysinfo]\nClose=Start\nTitle=店\n")));
}

TEST(ReadIniValue, ValuesComeBackWholeWhateverTheirLength) {
    AppFolder f;
    const QString ascii(150, QLatin1Char('a'));
    QString chinese;
    for (int i = 0; i < 100; ++i) {
        chinese += QChar(0x4E00 + i);
    }
    ASSERT_TRUE(rwini::WriteIniValue(ini::Sysinfo, ini::key::Title, ascii));
    ASSERT_TRUE(rwini::WriteIniValue(ini::Sysinfo, ini::key::Add, chinese));
    EXPECT_EQ(rwini::ReadIniValue(ini::Sysinfo, ini::key::Title, QString()), ascii);
    EXPECT_EQ(rwini::ReadIniValue(ini::Sysinfo, ini::key::Add, QString()), chinese);
}

TEST(ReadIniValue, SectionsAndKeysMatchWithoutLetterCase) {
    AppFolder f;
    f.write(QStringLiteral("[CONFIG]\nLABEL5=旧\n"));
    ASSERT_TRUE(rwini::WriteIniValue(QStringLiteral("config"), ini::key::label5,
                                     QStringLiteral("服务热线")));
    EXPECT_EQ(rwini::ReadIniValue(ini::Config, ini::key::label5, QString()),
              QStringLiteral("服务热线"));
    EXPECT_EQ(f.bytes(), gb(QStringLiteral("[CONFIG]\nLABEL5=服务热线\n")));
}

TEST(IniFilePath, IsSysInfoIniInTheApplicationFolder) {
    EXPECT_EQ(rwini::IniFilePath(), QCoreApplication::applicationDirPath() + "/SysInfo.ini");
    AppFolder f;
    EXPECT_EQ(rwini::IniFilePath(), f.path() + "/SysInfo.ini");
    // Another folder, another file, though a reader keeps the last one open.
    f.write(QStringLiteral("[Sysinfo]\r\nTitle=first\r\n"));
    EXPECT_EQ(rwini::ReadIniValue(ini::Sysinfo, ini::key::Title, QString()), "first");
    AppFolder g;
    g.write(QStringLiteral("[Sysinfo]\r\nTitle=second\r\n"));
    EXPECT_EQ(rwini::ReadIniValue(ini::Sysinfo, ini::key::Title, QString()), "second");
}

TEST(WriteIniValue, IsSeenByTheOtherProgramAtItsNextRead) {
    AppFolder f;
    ASSERT_TRUE(rwini::WriteIniValue(ini::Sysinfo, ini::key::Close, ini::End));
    QByteArray out;
    ASSERT_EQ(tool({f.path(), "read", "Sysinfo", "Close"}, false, &out), 0);
    EXPECT_EQ(out, "End");
    ASSERT_EQ(tool({f.path(), "write", "Sysinfo", "Close", "Start"}), 0);
    EXPECT_EQ(rwini::ReadIniValue(ini::Sysinfo, ini::key::Close, QString()), ini::Start);
    // Changed in place by another program, to the same size and within the same moment.
    QFile file(f.iniPath());
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    const QByteArray was = file.readAll();
    ASSERT_TRUE(file.seek(0) &&
                file.write(QByteArray(was).replace("Start", "Again")) == was.size());
    file.close();
    EXPECT_EQ(rwini::ReadIniValue(ini::Sysinfo, ini::key::Close, QString()), "Again");
}

// Only a file that rested since its last change may go unread for long: a
// change within the same tick of a coarse time stamp would not show.
TEST(ReadSnapshot, IsSettledOnlyWhereTheFileRestedSomeSecondsBeforeTheRead) {
    AppFolder f;
    ASSERT_TRUE(rwini::WriteIniValue(ini::Sysinfo, ini::key::Title, QStringLiteral("t")));
    EXPECT_FALSE(rwini::ReadSnapshot().settled());
    const quint64 now = quint64(QDateTime::currentMSecsSinceEpoch()) * 1000000u;
    const quint64 second = 1000000000u;
    EXPECT_TRUE(inifile::settled({1, 10, now - 9 * second, now - 5 * second}));
    EXPECT_FALSE(inifile::settled({1, 10, now - 9 * second, now - second})) << "changed since";
    EXPECT_FALSE(inifile::settled({1, 10, now + 60 * second, now + 60 * second})) << "ahead";
    EXPECT_FALSE(inifile::settled({})) << "no file";
}

TEST(WriteIniValue, AWriteThatChangesNothingLeavesTheFileAndFolderAlone) {
    AppFolder f;
    f.write(QStringLiteral("[Display]\r\nInfo=\r\nTitle=1\r\n"));
    const QDateTime old = QDateTime::currentDateTime().addDays(-3);
    {
        QFile file(f.iniPath());
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(old, QFileDevice::FileModificationTime));
    }
    const ino_t before = inode(f.iniPath());
    EXPECT_TRUE(rwini::WriteIniValue(ini::Display, ini::key::Title, QStringLiteral("1")));
    EXPECT_EQ(rwini::ReadIniValue(ini::Display, ini::key::Info, QString()), QString());
    EXPECT_EQ(QFileInfo(f.iniPath()).lastModified(), old);
    EXPECT_EQ(inode(f.iniPath()), before);
    EXPECT_EQ(QDir(f.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{"SysInfo.ini"})
        << "no lock file, no temporary file";
}

TEST(WriteIniValue, ReplacesTheFileWholeAndKeepsItsPermissions) {
    AppFolder f;
    f.write(QStringLiteral("[Sysinfo]\r\nTitle=a\r\n"));
    // What killed writers left: a new file of ours, and an empty lock file of an older version.
    for (const char* left : {"/SysInfo.ini.tide-Ab12Cd", "/SysInfo.ini.lock"}) {
        QFile(f.path() + left).open(QIODevice::WriteOnly);
    }
    ASSERT_TRUE(QFile::setPermissions(f.iniPath(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    const ino_t before = inode(f.iniPath());
    ASSERT_TRUE(rwini::WriteIniValue(ini::Sysinfo, ini::key::Title, QStringLiteral("b")));
    EXPECT_NE(inode(f.iniPath()), before) << "a reader sees the old file or the new, never half";
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(f.iniPath()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(QDir(f.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"SysInfo.ini", "SysInfo.ini.lock"}));
}

// Mended fault: a save by another user (root, say) handed the file to that user.
TEST(WriteIniValue, KeepsTheFilesOwnerAndGroup) {
    if (!canDropPrivileges()) {
        GTEST_SKIP() << "needs root and setpriv to act as an ordinary user";
    }
    AppFolder f;
    ASSERT_TRUE(QFile::setPermissions(f.path(), QFileDevice::Permissions(0x7777)));
    auto owner = [&] {
        struct stat st {};
        ::stat(QFile::encodeName(f.iniPath()).constData(), &st);
        return std::pair(st.st_uid, st.st_gid);
    };
    // Root keeps nobody's file nobody's; nobody, who cannot give a new file
    // to root, writes root's file in place.
    for (uid_t id : {65534u, 0u}) {
        f.write(QStringLiteral("[Sysinfo]\r\nTitle=a\r\n"));
        ASSERT_EQ(::chown(QFile::encodeName(f.iniPath()).constData(), id, id), 0);
        ASSERT_TRUE(QFile::setPermissions(f.iniPath(), QFileDevice::Permissions(0x6666)));
        EXPECT_EQ(tool({f.path(), "write", "Sysinfo", "Title", "b"}, id == 0), 0);
        EXPECT_EQ(owner(), std::pair(id, gid_t(id)));
        EXPECT_EQ(f.value(ini::Sysinfo, ini::key::Title), "b");
    }
}

TEST(WriteIniValue, RefusesLineBreaksAndNulWithoutWriting) {
    AppFolder f;
    f.write(QStringLiteral("[Sysinfo]\r\nTitle=a\r\n"));
    const QByteArray before = f.bytes();
    EXPECT_FALSE(rwini::WriteIniValue(ini::Sysinfo, ini::key::Title,
                                      QStringLiteral("x\r\n[Display]\r\nTitle=0")));
    EXPECT_FALSE(rwini::WriteIniValue(ini::Sysinfo, ini::key::Title, QStringLiteral("x\ny")));
    EXPECT_FALSE(rwini::WriteIniValue(ini::Sysinfo, ini::key::Title, QString(QChar(0))));
    EXPECT_FALSE(rwini::WriteIniValue(QStringLiteral("Sys\rinfo"), ini::key::Title, "v"));
    EXPECT_FALSE(rwini::WriteIniValue(ini::Sysinfo, QStringLiteral("a=b"), "v"));
    EXPECT_FALSE(rwini::WriteIniValue(ini::Sysinfo, ini::key::Title, QString(QChar(0xD800))))
        << "a lone surrogate cannot be stored";
    EXPECT_EQ(f.bytes(), before);
}

TEST(WriteIniValue, ReportsAFolderThatCannotExist) {
    AppFolder f;
    QFile plain(f.path() + "/plain");
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    rwini::setFolderForTesting(plain.fileName());
    EXPECT_FALSE(rwini::WriteIniValue(ini::Sysinfo, ini::key::Title, QStringLiteral("x")));
    EXPECT_EQ(rwini::ReadIniValue(ini::Sysinfo, ini::key::Title, QStringLiteral("def")),
              QStringLiteral("def"))
        << "a read whose write-back fails still returns the default";
}

// Mended faults: a link to a device node was replaced by a file, a FIFO
// blocked the reader for good, a link to /dev/zero was read until memory ran
// out, and a very large file took seconds a read. Each kind takes the place
// of a file just read, which a reader keeps open between reads.
TEST(ReadIniValue, OnlyARegularFileUpToTheCapIsReadOrWritten) {
    AppFolder f;
    const QByteArray ini = QFile::encodeName(f.iniPath());
    const std::vector<std::pair<const char*, std::function<int()>>> kinds = {
        {"a link to /dev/null", [&] { return ::symlink("/dev/null", ini.constData()); }},
        {"a link to /dev/zero", [&] { return ::symlink("/dev/zero", ini.constData()); }},
        {"a FIFO", [&] { return ::mkfifo(ini.constData(), 0666); }},
        {"a folder", [&] { return ::mkdir(ini.constData(), 0777); }},
        {"a link to nothing", [&] { return ::symlink("nothing", ini.constData()); }},
        {"50 MB",
         [&] { return ::truncate((f.writeBytes("[Sysinfo]\nTitle=t\n"), ini), 50 << 20); }},
    };
    for (const auto& [kind, make] : kinds) {
        f.writeBytes("[Sysinfo]\nTitle=kept\n");
        ASSERT_EQ(rwini::ReadIniValue(ini::Sysinfo, ini::key::Title, "d"), "kept");
        ::unlink(ini.constData());
        ASSERT_EQ(make(), 0) << kind;
        struct stat before {
        }, after{};
        ::lstat(ini.constData(), &before);
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(rwini::ReadIniValue(ini::Sysinfo, ini::key::Title, "d"), "d") << kind;
        EXPECT_FALSE(rwini::WriteIniValue(ini::Sysinfo, ini::key::Title, "x")) << kind;
        EXPECT_LT(clock.elapsed(), 5000) << kind << " blocked or waited for a lock";
        ::lstat(ini.constData(), &after);
        EXPECT_TRUE(after.st_mode == before.st_mode && after.st_ino == before.st_ino &&
                    after.st_size == before.st_size)
            << kind << " left as it was";
        ::unlink(ini.constData()) == 0 || ::rmdir(ini.constData());
    }
    // A link to a regular file is followed, and stays a link.
    QFile real(f.path() + "/real.ini");
    ASSERT_TRUE(real.open(QIODevice::WriteOnly) && real.write("[Sysinfo]\n") == 10);
    real.close();
    ASSERT_EQ(::symlink("real.ini", ini.constData()), 0);
    ASSERT_TRUE(rwini::WriteIniValue(ini::Sysinfo, ini::key::Title, "x"));
    EXPECT_TRUE(QFileInfo(f.iniPath()).isSymLink());
    EXPECT_EQ(rwini::ReadIniValue(ini::Sysinfo, ini::key::Title, "d"), "x");
    // A file just under the cap: a tick's twenty reads stay within its second
    // even in the sanitizer build (a release build takes a twentieth of it).
    // Counted in this thread's CPU time: the tests beside it do not slow it.
    ::unlink(ini.constData());
    f.writeBytes("[Padding]\np=" + QByteArray(inifile::maxBytes - 100, 'p') +
                 "\n[Sysinfo]\nTitle=t\n");
    auto cpuMs = [] {
        timespec t{};
        ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
    };
    const qint64 start = cpuMs();
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(rwini::ReadIniValue(ini::Sysinfo, ini::key::Title, QString()), "t");
    }
    EXPECT_LT(cpuMs() - start, 5000) << "twenty reads, once a tick's worth";
}

TEST(WriteIniValue, ReportsAReadOnlyFileToAnOrdinaryUser) {
    if (!canDropPrivileges()) {
        GTEST_SKIP() << "needs root and setpriv to act as an ordinary user";
    }
    AppFolder f;
    ASSERT_TRUE(QFile::setPermissions(f.path(), QFileDevice::Permissions(0x7777)));
    f.write(QStringLiteral("[Sysinfo]\r\nTitle=a\r\n"));
    ASSERT_TRUE(
        QFile::setPermissions(f.iniPath(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    EXPECT_EQ(tool({f.path(), "write", "Sysinfo", "Title", "b"}, true), 1);
    EXPECT_EQ(f.bytes(), QByteArray("[Sysinfo]\r\nTitle=a\r\n"));
    EXPECT_EQ(tool({f.path(), "write", "Sysinfo", "Title", "a"}, true), 0)
        << "a value already stored needs no write";
}

TEST(WriteIniValue, WritesInPlaceWhereOnlyTheFolderIsReadOnly) {
    if (!canDropPrivileges()) {
        GTEST_SKIP() << "needs root and setpriv to act as an ordinary user";
    }
    AppFolder f;
    f.write(QStringLiteral("[Sysinfo]\r\nTitle=a\r\n"));
    ASSERT_TRUE(QFile::setPermissions(f.iniPath(), QFileDevice::Permissions(0x6666)));
    ASSERT_TRUE(QFile::setPermissions(f.path(), QFileDevice::Permissions(0x5555)));
    EXPECT_EQ(tool({f.path(), "write", "Sysinfo", "Title", "b"}, true), 0);
    EXPECT_EQ(f.bytes(), QByteArray("[Sysinfo]\r\nTitle=b\r\n"));
    EXPECT_EQ(tool({f.path(), "write", "Sysinfo", "Add", "c"}, true), 0);
    EXPECT_EQ(f.bytes(), QByteArray("[Sysinfo]\r\nTitle=b\r\nAdd=c\r\n"));
    ASSERT_TRUE(QFile::setPermissions(f.path(), QFileDevice::Permissions(0x7700)));
}

// Mended fault: on a nearly full disk a write replaced the file with an
// empty or cut one and reported success.
TEST(WriteIniValue, AFullDiskKeepsTheOldFileByteForByteAndReportsTheFailure) {
    if (!canDropPrivileges()) {
        GTEST_SKIP() << "needs root to mount a small file system, and setpriv";
    }
    AppFolder f;
    const QByteArray path = QFile::encodeName(f.path());
    ASSERT_EQ(::mount("tide", path.constData(), "tmpfs", 0, "size=64k,mode=0777"), 0);
    struct Unmount {
        const QByteArray& path;
        ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
    } unmount{path};
    const QByteArray old = "[Sysinfo]\r\nTitle=" + QByteArray(4000, 'o') + "\r\n";
    // Replacing as root, in place as "nobody" in a folder that refuses new files.
    for (bool inPlace : {false, true}) {
        ASSERT_TRUE(
            QFile::setPermissions(f.path(), QFileDevice::Permissions(inPlace ? 0x7555 : 0x7777)));
        for (int left : {0, 1, 100, 4095, 4096, 8192}) {
            for (int length : {5000, 1}) {
                ::unlink((path + "/filler").constData());
                f.writeBytes(old);
                ASSERT_TRUE(QFile::setPermissions(f.iniPath(), QFileDevice::Permissions(0x6666)));
                const int fd = ::open((path + "/filler").constData(), O_WRONLY | O_CREAT, 0600);
                const QByteArray block(4096, 'f');
                while (::write(fd, block.constData(), size_t(block.size())) > 0) {
                }
                ASSERT_EQ(::ftruncate(fd, ::lseek(fd, 0, SEEK_END) - left), 0);
                ::close(fd);
                const QString value(length, QLatin1Char('n'));
                const int status = tool({f.path(), "write", "Sysinfo", "Title", value}, inPlace);
                const QString what = QStringLiteral("%1 bytes left, a value of %2, %3")
                                         .arg(left)
                                         .arg(length)
                                         .arg(inPlace ? "in place" : "replacing");
                if (status == 0) {
                    EXPECT_EQ(f.value(ini::Sysinfo, ini::key::Title), value) << qPrintable(what);
                } else {
                    EXPECT_EQ(status, 1) << qPrintable(what);
                    EXPECT_EQ(f.bytes(), old) << qPrintable(what);
                }
                if (left < 4096 && (length > 1 || !inPlace)) {
                    EXPECT_EQ(status, 1) << "no room for the new file: " << qPrintable(what);
                    // The same for a confirm of the editor, in this process (as root).
                    f.writeBytes(old);
                    EXPECT_FALSE(rwini::WriteIniValues({{ini::Sysinfo, ini::key::Add, value}}));
                    EXPECT_EQ(f.bytes(), old) << qPrintable(what);
                }
            }
        }
    }
}

// Mended fault: a writer killed while it wrote in place left the file torn.
TEST(WriteIniValue, AWriterKilledWhileWritingInPlaceLeavesNoTornFile) {
    if (!canDropPrivileges()) {
        GTEST_SKIP() << "needs root and setpriv to act as an ordinary user";
    }
    AppFolder f;
    const QByteArray padding = QByteArray(900000, 'x') + "\r\n";
    f.writeBytes("[Sysinfo]\r\n[Padding]\r\np=" + padding);
    makeOwnersGroupOfNobody(f);
    std::mt19937 random(20261207);
    for (int i = 0; i < 25; ++i) {
        QProcess writer;
        startTool(writer, {f.path(), "burst", "Sysinfo", QStringLiteral("k%1_").arg(i), "1000"},
                  true);
        ASSERT_TRUE(writer.waitForStarted());
        // Killed at some moment after its first write.
        const qint64 size = QFileInfo(f.iniPath()).size();
        while (QFileInfo(f.iniPath()).size() == size && writer.state() == QProcess::Running) {
            QThread::usleep(200);
        }
        QThread::usleep(random() % 20000);
        ::kill(pid_t(writer.processId()), SIGKILL);
        writer.waitForFinished();
        ASSERT_TRUE(settled(f).endsWith(padding)) << "our reader saw a torn file after kill " << i;
    }
    EXPECT_EQ(tool({f.path(), "write", "Sysinfo", "Add", "a"}, true), 0);
    EXPECT_TRUE(f.bytes().endsWith(padding)) << "the next writer put the whole file back";
    ASSERT_TRUE(QFile::setPermissions(f.path(), QFileDevice::Permissions(0x7700)));
}

namespace {

// What a writer killed half way through a write in place leaves: the old
// bytes beside the file, under the name the file layer gives them.
void leaveKilledWriter(const AppFolder& f, const QByteArray& old, const QByteArray& torn) {
    QFile journal(QFile::decodeName(testing_support::journalOf(f.iniPath())));
    ASSERT_TRUE(journal.open(QIODevice::WriteOnly) && journal.write("T" + old) == old.size() + 1);
    QFile file(f.iniPath());
    ASSERT_TRUE(file.open(QIODevice::ReadWrite) && file.write(torn) == torn.size());
}

} // namespace

// A reader that read the file a moment ago reads it afresh, journal first:
// a change in place must find the old bytes a killed writer left.
TEST(ReadIniValue, AReaderThatReadTheFileBeforeFindsTheOldBytesAKilledWriterLeft) {
    AppFolder f;
    const QByteArray old = "[Sysinfo]\r\nTitle=old title\r\n";
    f.writeBytes(old);
    ASSERT_EQ(rwini::ReadIniValue(ini::Sysinfo, ini::key::Title, "d"), "old title");
    QThread::msleep(20); // a write a moment later
    leaveKilledWriter(f, old, "[Sysinfo]\r\nTitle=new tit\r\n\r\n");
    EXPECT_EQ(rwini::ReadIniValue(ini::Sysinfo, ini::key::Title, "d"), "old title");
    EXPECT_EQ(rwini::ReadIniValue(ini::Sysinfo, ini::key::Title, "d"), "old title");
    ASSERT_TRUE(rwini::WriteIniValue(ini::Sysinfo, ini::key::Add, "a"));
    EXPECT_EQ(f.bytes(), old + "Add=a\r\n") << "the next writer put the old bytes back first";
}

TEST(Encoding, PlainFilesAreCodePage936AsWindowsReadsAndWritesIt) {
    EXPECT_EQ(code_page_936::digest(), code_page_936::windowsDigest) << "every byte and character";
    AppFolder f;
    // 中文€, two characters Windows maps to private use, and a value cut after its lead byte.
    const QByteArray start("[Sysinfo]\r\nTitle=\xD6\xD0\xCE\xC4\x80\r\nAdd=\xA2\xE3\xA8\xBF\r\n"
                           "z=\x81\r\n");
    f.writeBytes(start);
    EXPECT_EQ(rwini::ReadIniValue(ini::Sysinfo, ini::key::Title, QString()),
              QStringLiteral("中文€"));
    EXPECT_EQ(rwini::ReadIniValue(ini::Sysinfo, ini::key::Add, QString()),
              QStringLiteral("\uE76C\uE7C8"));
    EXPECT_EQ(rwini::ReadIniValue(ini::Sysinfo, QStringLiteral("z"), QStringLiteral("d")), "?")
        << "a value that does not decode cleanly is still a value";
    for (const char16_t* lacking : {u"😀", u"\u00A0", u"a\u0100"}) {
        EXPECT_FALSE(
            rwini::WriteIniValue(ini::Sysinfo, ini::key::Title, QString::fromUtf16(lacking)));
    }
    EXPECT_EQ(f.bytes(), start) << "nothing written over a value, nothing Windows reads as ??";
    ASSERT_TRUE(rwini::WriteIniValue(ini::Sysinfo, ini::key::Title, QStringLiteral("新€")));
    EXPECT_EQ(f.value(ini::Sysinfo, ini::key::Title), QStringLiteral("新€"));
    EXPECT_TRUE(f.bytes().contains("Title=\xD0\xC2\x80\r\n"));
}

TEST(Encoding, ByteOrderMarksChooseTheEncodingAndAreKept) {
    AppFolder f;
    f.writeBytes("\xEF\xBB\xBF[Sysinfo]\nTitle=\xE4\xB8\xAD\n");
    EXPECT_EQ(rwini::ReadIniValue(ini::Sysinfo, ini::key::Title, QString()), QStringLiteral("中"));
    ASSERT_TRUE(rwini::WriteIniValue(ini::Sysinfo, ini::key::Title, QStringLiteral("文")));
    EXPECT_EQ(f.bytes(), QByteArray("\xEF\xBB\xBF[Sysinfo]\nTitle=\xE6\x96\x87\n"));

    // UTF-16 in both byte orders, as Windows reads and writes them.
    auto utf16 = [](const QString& text, bool big) {
        QByteArray bytes = big ? QByteArray("\xFE\xFF", 2) : QByteArray("\xFF\xFE", 2);
        for (QChar c : text) {
            const char low = char(c.unicode() & 0xFF), high = char(c.unicode() >> 8);
            bytes.append(big ? high : low).append(big ? low : high);
        }
        return bytes;
    };
    for (bool big : {false, true}) {
        f.writeBytes(utf16(QStringLiteral("[Sysinfo]\r\nTitle=中\r\n"), big));
        EXPECT_EQ(rwini::ReadIniValue(QStringLiteral("SYSINFO"), ini::key::Title, QString()),
                  QStringLiteral("中"));
        ASSERT_TRUE(rwini::WriteIniValue(ini::Sysinfo, ini::key::Add, QStringLiteral("址")));
        EXPECT_EQ(f.bytes(), utf16(QStringLiteral("[Sysinfo]\r\nTitle=中\r\nAdd=址\r\n"), big));
    }
}

TEST(Encoding, InvalidBytesSurviveAWriteOfAnotherLine) {
    AppFolder f;
    const QByteArray junk("[Sysinfo]\r\nTitle=\xFF\x80\x81\r\nAdd=x\r\n");
    f.writeBytes(junk);
    ASSERT_TRUE(rwini::WriteIniValue(ini::Sysinfo, ini::key::Add, QStringLiteral("y")));
    EXPECT_EQ(f.bytes(), QByteArray("[Sysinfo]\r\nTitle=\xFF\x80\x81\r\nAdd=y\r\n"));
}

class Concurrency : public ::testing::TestWithParam<bool> {};

// Two writers in loops, both replacing the file or (as "nobody" in a folder
// that refuses new files) both writing in place: neither is refused, nothing
// is lost, and our reader never sees half a file.
TEST_P(Concurrency, TwoProcessesWritingAtOnceLoseNothingAndReadersNeverSeeHalfAFile) {
    const bool inPlace = GetParam();
    if (inPlace && !canDropPrivileges()) {
        GTEST_SKIP() << "needs root and setpriv to act as an ordinary user";
    }
    AppFolder f;
    // Long enough that a write in place takes a while, and moved by every write.
    f.write(QStringLiteral("[Sysinfo]\r\n[Padding]\r\np=%1\r\n").arg(QString(20000, 'x')));
    if (inPlace) {
        makeFolderReadOnlyForNobody(f);
    }
    constexpr int n = 300;
    QProcess a, b;
    startTool(a, {f.path(), "burst", "Sysinfo", "a", QString::number(n)}, inPlace);
    startTool(b, {f.path(), "burst", "Sysinfo", "b", QString::number(n)}, inPlace);
    ASSERT_TRUE(a.waitForStarted() && b.waitForStarted());

    // Writers add a0, a1, ... in order: once a key was seen, it must stay.
    int seenA = -1, seenB = -1, polls = 0;
    auto check = [&](const QByteArray& raw, const char* prefix, int& seen) {
        const std::string_view file = bytesOf(raw);
        int highest = -1;
        for (int i = 0; i < n; ++i) {
            const std::string key = prefix + std::to_string(i);
            auto v = profile::lookup<char>(file, "Sysinfo", key, profile::Units::DoubleByte);
            if (v) {
                EXPECT_EQ(*v, "v" + std::to_string(i));
                highest = i;
            } else {
                EXPECT_GT(i, seen) << prefix << i << " vanished after it was written";
            }
        }
        seen = std::max(seen, highest);
    };
    QElapsedTimer clock;
    clock.start();
    while ((a.state() != QProcess::NotRunning || b.state() != QProcess::NotRunning) &&
           clock.elapsed() < 60000) {
        a.waitForFinished(0);
        b.waitForFinished(0);
        const QByteArray raw = settled(f);
        ASSERT_TRUE(raw.endsWith(QByteArray(20000, 'x') + "\r\n")) << "half a file";
        // Each key is checked now and then; the polls in between look for torn files.
        if (++polls % 16 == 0) {
            check(raw, "a", seenA);
            check(raw, "b", seenB);
        }
        if (::testing::Test::HasFailure()) {
            break;
        }
    }
    a.waitForFinished(60000);
    b.waitForFinished(60000);
    ASSERT_EQ(a.state(), QProcess::NotRunning);
    ASSERT_EQ(b.state(), QProcess::NotRunning);
    EXPECT_EQ(a.exitCode(), 0) << a.readAllStandardError().constData();
    EXPECT_EQ(b.exitCode(), 0) << b.readAllStandardError().constData();
    EXPECT_GT(polls, 0);
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(f.value(ini::Sysinfo, QStringLiteral("a%1").arg(i)),
                  QStringLiteral("v%1").arg(i));
        EXPECT_EQ(f.value(ini::Sysinfo, QStringLiteral("b%1").arg(i)),
                  QStringLiteral("v%1").arg(i));
    }
    if (inPlace) {
        ASSERT_TRUE(QFile::setPermissions(f.path(), QFileDevice::Permissions(0x7700)));
    }
}

INSTANTIATE_TEST_SUITE_P(Replacing, Concurrency, ::testing::Values(false));
INSTANTIATE_TEST_SUITE_P(InPlace, Concurrency, ::testing::Values(true));

// A lock held far longer than any write takes (a writer stuck on a slow
// disk): neither a confirm nor a panel tick freezes its window for long.
TEST(LockWaits, AJammedLockFreezesNeitherAConfirmNorATick) {
    AppFolder f;
    f.write(QStringLiteral("[Sysinfo]\r\nTitle=a\r\n"));
    const int fd = ::open(QFile::encodeName(f.iniPath()).constData(), O_RDWR);
    struct flock writing {};
    writing.l_type = F_WRLCK;
    writing.l_len = off_t(1) << 40;
    ASSERT_EQ(::fcntl(fd, F_OFD_SETLK, &writing), 0);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(rwini::WriteIniValues(
                  {{ini::Sysinfo, ini::key::Title, "b"}, {ini::Sysinfo, ini::key::Add, "c"}})
                  .failure,
              rwini::Failure::Busy);
    EXPECT_LT(clock.elapsed(), 5000) << "a confirm";
    clock.restart();
    for (const QString& key : {ini::key::Title, ini::key::ServiceTel, ini::key::TechnologyTel,
                               ini::key::Add, ini::key::Info}) {
        rwini::ReadIniValue(ini::Display, key, QString());
        rwini::ReadIniValue(ini::Sysinfo, key, QString());
    }
    EXPECT_LT(clock.elapsed(), 5000) << "a tick, whose reads find keys to write back";
    ::close(fd);
    EXPECT_TRUE(rwini::WriteIniValue(ini::Sysinfo, ini::key::Add, "c")) << "free again at once";
}

// Mended race: a read that found the key empty wrote its default back even
// where the other program had stored a value in the meantime.
TEST(ConcurrentReadBack, NeverOverwritesAValueStoredSinceTheRead) {
    AppFolder f;
    QProcess writer;
    startTool(writer, {f.path(), "flip", "Sysinfo", "Title", "150"});
    ASSERT_TRUE(writer.waitForStarted());
    while (!writer.waitForFinished(0) && writer.state() != QProcess::NotRunning) {
        rwini::ReadIniValue(ini::Sysinfo, ini::key::Title, QString());
    }
    EXPECT_EQ(writer.exitCode(), 0) << writer.readAllStandardError().constData();
}
