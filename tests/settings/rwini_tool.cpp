// A second process for the settings tests: reads and writes SysInfo.ini in a
// given folder through rwini, as the other program would.
//   rwini_tool FOLDER read SECTION KEY          prints the value
//   rwini_tool FOLDER reads SECTION KEY N       reads N times, as a panel's ticks do
//   rwini_tool FOLDER write SECTION KEY VALUE   exit status 0 when it reached the file, else
//                                               1; prints the failure's name (None when it
//                                               did) and, on a second line, how many
//                                               milliseconds the save itself took
//   rwini_tool FOLDER burst SECTION PREFIX N    writes PREFIX0..PREFIX<N-1>, stops at a failure
//   rwini_tool FOLDER flip SECTION KEY N        N times: writes v<i>, finds it still there a
//                                               moment later, writes it empty; stops at a loss
#include "rwini.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QThread>

#include <cstdio>

namespace {

const char* nameOf(rwini::Failure failure) {
    switch (failure) {
    case rwini::Failure::None:
        return "None";
    case rwini::Failure::NoPermission:
        return "NoPermission";
    case rwini::Failure::Busy:
        return "Busy";
    case rwini::Failure::DiskFull:
        return "DiskFull";
    case rwini::Failure::Unstorable:
        return "Unstorable";
    case rwini::Failure::NotAFile:
        return "NotAFile";
    case rwini::Failure::Other:
        break;
    }
    return "Other";
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    if (a.size() < 5) {
        std::fprintf(stderr, "usage: rwini_tool FOLDER read|write|burst ...\n");
        return 2;
    }
    rwini::setFolderForTesting(a[1]);
    if (a[2] == QLatin1String("read")) {
        std::printf("%s", rwini::ReadIniValue(a[3], a[4], QString()).toUtf8().constData());
        return 0;
    }
    if (a[2] == QLatin1String("reads") && a.size() == 6) {
        for (int i = 0; i < a[5].toInt(); ++i) {
            rwini::ReadIniValue(a[3], a[4], QString());
        }
        return 0;
    }
    if (a[2] == QLatin1String("write") && a.size() == 6) {
        QElapsedTimer clock;
        clock.start();
        const rwini::Saved saved = rwini::WriteIniValue(a[3], a[4], a[5]);
        const qint64 ms = clock.elapsed();
        std::printf("%s\n%lld\n", nameOf(saved.failure), ms);
        return saved ? 0 : 1;
    }
    if (a[2] == QLatin1String("burst") && a.size() == 6) {
        const int n = a[5].toInt();
        for (int i = 0; i < n; ++i) {
            const rwini::Saved saved =
                rwini::WriteIniValue(a[3], a[4] + QString::number(i), QStringLiteral("v%1").arg(i));
            if (!saved) {
                std::fprintf(stderr, "write %d failed: %s\n", i, nameOf(saved.failure));
                return 1;
            }
        }
        return 0;
    }
    if (a[2] == QLatin1String("flip") && a.size() == 6) {
        for (int i = 0; i < a[5].toInt(); ++i) {
            const QString value = QStringLiteral("v%1").arg(i);
            if (!rwini::WriteIniValue(a[3], a[4], value)) {
                return 1;
            }
            QThread::msleep(5);
            const QString now = rwini::ReadIniValue(a[3], a[4], QString());
            if (now != value) {
                std::fprintf(stderr, "%s lost: %s\n", qPrintable(value), qPrintable(now));
                return 1;
            }
            if (!rwini::WriteIniValue(a[3], a[4], QString())) {
                return 1;
            }
        }
        return 0;
    }
    return 2;
}
