#include "compositor.h"

#include "desktop.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

#include <unistd.h>

namespace desk {
namespace {

constexpr uid_t user = 65534; // nobody

bool asRoot() {
    return ::geteuid() == 0;
}

// The folder and all in it become the user's.
void hand(const QString& folder) {
    if (!asRoot()) {
        return;
    }
    ::chown(QFile::encodeName(folder).constData(), user, user);
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        ::chown(QFile::encodeName(it.next()).constData(), user, user);
    }
}

QString firstEntry(const QString& folder, const QString& pattern) {
    const QStringList found = QDir(folder).entryList({pattern}, QDir::System | QDir::Files);
    return found.isEmpty() ? QString() : found.first();
}

} // namespace

Compositor::Compositor(Kind kind) : kind_(kind) {
    runtime_ = home_.filePath(QStringLiteral("run"));
    QDir().mkpath(runtime_);
    QFile::setPermissions(runtime_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString config = home_.filePath(QStringLiteral("sway.conf"));
    QFile file(config);
    file.open(QIODevice::WriteOnly);
    file.write("output * bg #204060 solid_color\noutput * resolution 1024x768\nxwayland disable\n");
    file.close();
    hand(home_.path());

    server_ = std::make_unique<QProcess>();
    server_->setProcessChannelMode(QProcess::MergedChannels);
    if (kind == Kind::Sway) {
        launch(*server_, QStringLiteral("sway"), {QStringLiteral("-c"), config});
    } else {
        // --debug lets its screenshot client in.
        launch(*server_, QStringLiteral("weston"),
               {QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--use-pixman"),
                QStringLiteral("--xwayland"), QStringLiteral("--width=%1").arg(width),
                QStringLiteral("--height=%1").arg(height), QStringLiteral("--debug")});
    }
    QString log;
    const QRegularExpression xserver(QStringLiteral("xserver listening on display (:\\d+)"));
    ready_ = waitUntil(
        [&] {
            server_->waitForReadyRead(50);
            log += QString::fromLocal8Bit(server_->readAll());
            display_ = firstEntry(runtime_, QStringLiteral("wayland-[0-9]"));
            xDisplay_ = xserver.match(log).captured(1);
            if (kind_ == Kind::Sway) {
                return !display_.isEmpty() &&
                       !run(QStringLiteral("swaymsg"),
                            {QStringLiteral("-t"), QStringLiteral("get_outputs")})
                            .isEmpty();
            }
            return !display_.isEmpty() && !xDisplay_.isEmpty();
        },
        20000, 50);
    if (!ready_) {
        qWarning("the compositor did not start:\n%s", qPrintable(log));
    }
}

Compositor::~Compositor() {
    if (server_->state() != QProcess::NotRunning) {
        server_->terminate();
        if (!server_->waitForFinished(5000)) {
            server_->kill();
            server_->waitForFinished(3000);
        }
    }
}

void Compositor::launch(QProcess& process, const QString& program, const QStringList& args,
                        const QStringList& environment) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "QT_QPA_PLATFORM", "QT_WAYLAND_SHELL_INTEGRATION",
                             "XDG_SESSION_TYPE", "SESSION_MANAGER"}) {
        env.remove(QString::fromLatin1(name));
    }
    env.insert(QStringLiteral("HOME"), home_.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home_.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    env.insert(QStringLiteral("WLR_BACKENDS"), QStringLiteral("headless"));
    env.insert(QStringLiteral("WLR_RENDERER"), QStringLiteral("pixman"));
    env.insert(QStringLiteral("WLR_LIBINPUT_NO_DEVICES"), QStringLiteral("1"));
    env.insert(QStringLiteral("LSAN_OPTIONS"),
               QStringLiteral("suppressions=%1:print_suppressions=0")
                   .arg(QStringLiteral(LSAN_SUPPRESSIONS)));
    if (!display_.isEmpty()) {
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), display_);
    }
    if (!xDisplay_.isEmpty()) {
        env.insert(QStringLiteral("DISPLAY"), xDisplay_);
    }
    const QString ipc = firstEntry(runtime_, QStringLiteral("sway-ipc.*.sock"));
    if (!ipc.isEmpty()) {
        env.insert(QStringLiteral("SWAYSOCK"), QDir(runtime_).filePath(ipc));
    }
    for (const QString& pair : environment) {
        env.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
    }
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(home_.path());
    if (asRoot()) {
        process.start(QStringLiteral("setpriv"),
                      QStringList{QStringLiteral("--reuid=%1").arg(user),
                                  QStringLiteral("--regid=%1").arg(user),
                                  QStringLiteral("--clear-groups"), program} +
                          args);
    } else {
        process.start(program, args);
    }
    process.waitForStarted(5000);
}

QString Compositor::run(const QString& program, const QStringList& args) const {
    QProcess p;
    launch(p, program, args);
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished(1000);
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

QImage Compositor::grab(const QString& output) const {
    if (kind_ == Kind::Sway) {
        const QString file = QDir(runtime_).filePath(QStringLiteral("grab.png"));
        run(QStringLiteral("grim"),
            output.isEmpty() ? QStringList{file} : QStringList{QStringLiteral("-o"), output, file});
        QImage shot(file);
        QFile::remove(file);
        return shot.convertToFormat(QImage::Format_RGB32);
    }
    run(QStringLiteral("weston-screenshooter"), {});
    const QString file =
        QDir(home_.path())
            .filePath(firstEntry(home_.path(), QStringLiteral("wayland-screenshot*")));
    QImage shot(file);
    QFile::remove(file);
    return shot.convertToFormat(QImage::Format_RGB32);
}

std::unique_ptr<QProcess> Compositor::start(const QString& program, const QString& folder,
                                            const QStringList& environment) const {
    hand(folder);
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    launch(*process, program, {}, environment);
    return process;
}

} // namespace desk
