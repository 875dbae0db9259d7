// What the two Linux rooms share: which of them a session gets (X11, also
// through XWayland, or Wayland with layer-shell), and the start-up duties of
// a desktop session: a lock file in a folder of the user's own, per host and
// display, and an XDG autostart entry.
#include "autostart_entry.h"
#include "layer_shell.h"
#include "panel_log.h"
#include "startup.h"
#include "wayland_layer.h"
#include "x11_layer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>
#include <QStandardPaths>
#include <QSysInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
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

// A folder for the lock that no other user can have made or can enter: the
// runtime folder where it is the user's own and closed to others, else one
// in the user's cache folder. The temporary folder is everyone's: another
// user could make the name first and hold its lock.
QString privateFolder() {
    auto ours = [](const QString& folder) {
        struct stat st {};
        return !folder.isEmpty() && ::lstat(QFile::encodeName(folder).constData(), &st) == 0 &&
               S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
    };
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (ours(runtime)) {
        return runtime;
    }
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty() || !QDir().mkpath(cache)) {
        return QString();
    }
    const QString folder = QDir(cache).filePath(QCoreApplication::applicationName());
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
    return ours(folder) ? folder : QString();
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
    layer_shell::install();
}

bool claimSingleInstance() {
    const QString folder = privateFolder();
    if (folder.isEmpty()) {
        // Nowhere private to hold a lock: better one copy too many than none.
        qCWarning(lcPanel, "no private folder for the single-instance lock");
        return true;
    }
    // The host too, as a home folder may be shared by several machines.
    const QString path = QDir(folder).filePath(
        QStringLiteral("%1-%2-%3.lock")
            .arg(QCoreApplication::applicationName(), QSysInfo::machineHostName(), sessionKey()));
    // flock() rather than a lock file's contents: the kernel lets go with its
    // process, so neither a killed copy nor an empty file left by one keeps a
    // new copy out. The descriptor stays open as long as this copy runs.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0) {
        qCWarning(lcPanel, "cannot make the lock file %s: %s", qPrintable(path),
                  std::strerror(errno));
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

namespace tidepanel {

// Qt's platform, as preferPlacableWindows chose it, picks the room; the
// tests' offscreen platform gets the layer that does nothing.
DesktopLayer& platformLayer() {
    static X11Layer x11;
    static WaylandLayer wayland;
    static DesktopLayer none;
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("xcb")) {
        return x11;
    }
    return platform == QLatin1String("wayland") ? static_cast<DesktopLayer&>(wayland) : none;
}

} // namespace tidepanel
