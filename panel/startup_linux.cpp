// Start-up duties in a desktop session on Linux: a lock file in the user's
// runtime folder per display and an XDG autostart entry.
#include "autostart_entry.h"
#include "layer_shell.h"
#include "startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>
#include <QStandardPaths>

#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <unistd.h>

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
    const QByteArray chosen = qgetenv("QT_QPA_PLATFORM");
    if (!wayland || !(chosen.isEmpty() || chosen.startsWith("wayland"))) {
        return; // an X session, or the user's own choice of platform
    }
    // Without layer-shell a Wayland client can neither place its windows nor
    // keep them below others; XWayland still lets the panel do both.
    if (!layer_shell::offered()) {
        if (chosen.isEmpty()) {
            qputenv("QT_QPA_PLATFORM", "xcb");
        }
        return;
    }
    qputenv("QT_QPA_PLATFORM", chosen.isEmpty() ? QByteArray("wayland") : chosen);
    if (!qEnvironmentVariableIsSet("QT_WAYLAND_SHELL_INTEGRATION")) {
        qputenv("QT_WAYLAND_SHELL_INTEGRATION", QByteArray(layer_shell::key) + ";xdg-shell");
    }
}

bool claimSingleInstance() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QDir::tempPath();
    }
    const QString path = QDir(folder).filePath(
        QStringLiteral("%1-%2.lock").arg(QCoreApplication::applicationName(), sessionKey()));
    // flock() rather than a lock file's contents: the kernel lets go with its
    // process, so neither a killed copy nor an empty file left by one keeps a
    // new copy out. The descriptor stays open as long as this copy runs.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) {
        // The runtime folder cannot hold a lock: better one copy too many than none.
        qWarning("tidepanel: cannot make the lock file %s", qPrintable(path));
        return true;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return !held;
    }
    const QByteArray pid = QByteArray::number(qint64(::getpid())) + '\n';
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t n = ::write(fd, pid.constData(), size_t(pid.size()));
    }
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
