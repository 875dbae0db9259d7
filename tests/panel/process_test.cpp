// The real tidepanel as a process of its own, in a temporary application
// folder and a private session (runtime and config folders of its own), on
// the offscreen platform.
#include "names.h"
#include "support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <memory>

using testing_support::AppFolder;
using testing_support::prepared;
using testing_support::waitUntil;

namespace {

// The user's session: what a logged-in desktop gives every program.
class Session {
public:
    Session() { QFile::setPermissions(home_.path(), QFileDevice::Permissions(0x7700)); }
    QString autostartEntry() const {
        return home_.filePath(QStringLiteral("config/autostart/tidepanel.desktop"));
    }
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("HOME"), home_.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home_.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home_.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":97"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        return env;
    }
    QString entry() const {
        QFile f(autostartEntry());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }

private:
    QTemporaryDir home_;
};

// A running copy of the panel, ended by its process id when this goes.
class Panel {
public:
    Panel(const Session& session, const QString& folder) {
        const QString program = QDir(folder).filePath(QStringLiteral("tidepanel"));
        if (!QFile::exists(program)) {
            QFile::copy(QStringLiteral(TIDEPANEL_PROGRAM), program);
        }
        process_.setProcessEnvironment(session.environment());
        process_.setWorkingDirectory(QDir::rootPath()); // the folder comes from the executable
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(program, {});
        process_.waitForStarted(5000);
    }
    ~Panel() {
        if (process_.state() != QProcess::NotRunning) {
            ::kill(pid_t(process_.processId()), SIGKILL);
            process_.waitForFinished(5000);
        }
    }
    bool running() {
        return !process_.waitForFinished(0) && process_.state() != QProcess::NotRunning;
    }
    bool waitForEnd(int ms) { return process_.waitForFinished(ms); }
    void signal(int number) { ::kill(pid_t(process_.processId()), number); }
    int exitCode() const { return process_.exitCode(); }
    QProcess::ExitStatus exitStatus() const { return process_.exitStatus(); }

private:
    QProcess process_;
};

class PanelProcess : public ::testing::Test {
protected:
    void SetUp() override { folder.write(prepared); }

    // Starts a panel and waits until it has done its start-up (registered).
    std::unique_ptr<Panel> start(const QString& path) {
        QFile::remove(session.autostartEntry());
        auto panel = std::make_unique<Panel>(session, path);
        EXPECT_TRUE(waitUntil([&] { return session.entry().contains("\nExec="); }, 10000))
            << "the panel did not start up";
        return panel;
    }

    Session session;
    AppFolder folder;
};

TEST_F(PanelProcess, ASecondCopyEndsWithoutTouchingItsFile) {
    auto first = start(folder.path());
    // Another folder in the same session, with a file a first start would extend.
    QTemporaryDir other;
    QFile ini(QDir(other.path()).filePath(QStringLiteral("SysInfo.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Sysinfo]\r\nClose=Start\r\n");
    ini.close();

    Panel second(session, other.path());
    EXPECT_TRUE(second.waitForEnd(5000));
    EXPECT_EQ(second.exitCode(), 0);
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_EQ(ini.readAll(), QByteArray("[Sysinfo]\r\nClose=Start\r\n"));
    EXPECT_TRUE(session.entry().contains(folder.path())) << "the second did not register";
    EXPECT_FALSE(session.entry().contains(other.path()));
    EXPECT_TRUE(first->running());
}

TEST_F(PanelProcess, ACrashedCopyDoesNotLockThePanelOut) {
    auto first = start(folder.path());
    first->signal(SIGKILL);
    ASSERT_TRUE(first->waitForEnd(5000));
    // As if killed between making its lock file and writing its id: an empty lock.
    const QDir runtime(QFileInfo(session.autostartEntry()).absolutePath() + "/../..");
    const QStringList locks = runtime.entryList({QStringLiteral("tidepanel*.lock")}, QDir::Files);
    ASSERT_EQ(locks.size(), 1);
    ASSERT_TRUE(QFile(runtime.filePath(locks[0])).resize(0));
    auto second = start(folder.path());
    QThread::msleep(1200);
    EXPECT_TRUE(second->running());
}

TEST_F(PanelProcess, EndEndsTheRunningPanelWithinASecondAndStays) {
    auto panel = start(folder.path());
    folder.write(QString(prepared).replace("Close=Start", "Close=End"));
    ASSERT_TRUE(panel->waitForEnd(3000)) << "a tick, with room for a loaded machine";
    EXPECT_EQ(panel->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(panel->exitCode(), 0);
    EXPECT_EQ(folder.value(ini::Sysinfo, ini::key::Close), "End") << "no unload ran";
}

TEST_F(PanelProcess, OtherCloseFlagsKeepItRunningAndATerminationUnloadsIt) {
    auto panel = start(folder.path());
    for (const char* flag : {"end", ""}) {
        folder.write(QString(prepared).replace("Close=Start", QString("Close=%1").arg(flag)));
        QThread::msleep(1300);
        EXPECT_TRUE(panel->running()) << flag;
    }
    panel->signal(SIGTERM);
    ASSERT_TRUE(panel->waitForEnd(5000));
    EXPECT_EQ(panel->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(panel->exitCode(), 0);
    EXPECT_EQ(folder.value(ini::Sysinfo, ini::key::Close), "Start") << "the window unloaded";
}

TEST_F(PanelProcess, HangupAndInterruptUnloadToo) {
    for (int number : {SIGHUP, SIGINT}) {
        folder.write(QString(prepared).replace("Close=Start", "Close=end"));
        auto panel = start(folder.path());
        panel->signal(number);
        ASSERT_TRUE(panel->waitForEnd(5000)) << number;
        EXPECT_EQ(panel->exitCode(), 0);
        EXPECT_EQ(folder.value(ini::Sysinfo, ini::key::Close), "Start") << number;
    }
}

// Mended fault: a 50 MB file took seconds a tick, and a termination as long.
TEST_F(PanelProcess, AFileTooLargeToReadNeitherSlowsItsTicksNorItsEnd) {
    auto panel = start(folder.path());
    QFile ini(QDir(folder.path()).filePath(QStringLiteral("SysInfo.ini")));
    const QByteArray body = QByteArray(50 << 20, ';') + "\r\n" + prepared.toUtf8();
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(body);
    ini.close();
    QThread::msleep(2200); // its ticks meet the file
    panel->signal(SIGTERM);
    ASSERT_TRUE(panel->waitForEnd(5000)) << "it read the whole file at its end";
    EXPECT_EQ(QFileInfo(ini).size(), body.size()) << "it was written";
}

TEST_F(PanelProcess, TheAutostartEntryFollowsAMovedFolder) {
    QTemporaryDir parent;
    const QString before = parent.filePath(QStringLiteral("tide panel"));
    const QString after = parent.filePath(QStringLiteral("moved $here"));
    ASSERT_TRUE(QDir().mkpath(before));
    ASSERT_TRUE(QFile::copy(folder.iniPath(), QDir(before).filePath("SysInfo.ini")));
    {
        auto panel = start(before);
        EXPECT_TRUE(
            session.entry().contains(QStringLiteral("\nExec=\"%1/tidepanel\"\n").arg(before)))
            << session.entry().toStdString();
        panel->signal(SIGTERM);
        ASSERT_TRUE(panel->waitForEnd(5000));
    }
    ASSERT_TRUE(QDir().rename(before, after));
    auto panel = start(after);
    // A '$' in the path takes a backslash, itself escaped in the file.
    EXPECT_TRUE(session.entry().contains(
        QStringLiteral("\nExec=\"%1/moved \\\\$here/tidepanel\"\n").arg(parent.path())))
        << session.entry().toStdString();
}

// Mended fault: a start-up registration that is refused does not stop the panel.
TEST_F(PanelProcess, AnUnwritableAutostartFolderDoesNotStopThePanel) {
    QTemporaryDir config;
    // The autostart "folder" is a regular file: nothing can be written into it.
    QFile blocker(QDir(config.path()).filePath(QStringLiteral("autostart")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QProcessEnvironment env = session.environment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    QProcess panel;
    panel.setProcessEnvironment(env);
    const QString program = QDir(folder.path()).filePath(QStringLiteral("tidepanel"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(TIDEPANEL_PROGRAM), program));
    panel.start(program, {});
    ASSERT_TRUE(panel.waitForStarted(5000));
    EXPECT_FALSE(panel.waitForFinished(2500)) << "still running after its first ticks";
    ::kill(pid_t(panel.processId()), SIGTERM);
    EXPECT_TRUE(panel.waitForFinished(5000));
    EXPECT_EQ(panel.exitCode(), 0);
}

} // namespace
