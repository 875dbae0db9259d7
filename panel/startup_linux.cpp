// Start-up duties in a desktop session on Linux: a lock file in the user's
// runtime folder per display and an XDG autostart entry.
#include "autostart_entry.h"
#include "startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <memory>

namespace tidepanel::startup {
namespace {

// The user's session on this display: the lock is per display, so that a
// second login on another display has a panel of its own.
QString sessionKey() {
    QString display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty()) {
        display = qEnvironmentVariable("WAYLAND_DISPLAY", QStringLiteral("none"));
    }
    for (QChar& ch : display) {
        if (!ch.isLetterOrNumber() && ch != u'.') {
            ch = u'_';
        }
    }
    return display;
}

} // namespace

void preferPlacableWindows() {
    const bool wayland = qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland") ||
                         qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
    if (wayland && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
}

bool claimSingleInstance() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QDir::tempPath();
    }
    const QString path = QDir(folder).filePath(
        QStringLiteral("%1-%2.lock").arg(QCoreApplication::applicationName(), sessionKey()));
    static std::unique_ptr<QLockFile> lock;
    lock = std::make_unique<QLockFile>(path);
    // tryLock removes a lock whose process no longer runs.
    if (lock->tryLock(0)) {
        return true;
    }
    if (lock->error() == QLockFile::LockFailedError) {
        return false;
    }
    // The runtime folder cannot hold a lock: better one copy too many than none.
    qWarning("tidepanel: cannot make the lock file %s", qPrintable(path));
    return true;
}

bool RegisterAutostart() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString folder = QDir(config).filePath(QStringLiteral("autostart"));
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
    if (config.isEmpty() || !QDir().mkpath(folder)) {
        return false;
    }
    QSaveFile file(QDir(folder).filePath(name + QStringLiteral(".desktop")));
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    file.write(autostartEntry(name, QCoreApplication::applicationFilePath()).toUtf8());
    return file.commit();
}

} // namespace tidepanel::startup
