#include "desktop.h"

#include "support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <xcb/xcb.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <unistd.h>

namespace desk {

const QColor Desktop::rootColour(0x2e, 0x6f, 0x8e);

namespace {

// One connection per call: tests are short, and this keeps no state to go stale.
struct Connection {
    explicit Connection(const QString& display)
        : c(xcb_connect(display.toLatin1().constData(), nullptr)) {}
    ~Connection() { xcb_disconnect(c); }
    bool ok() const { return c && !xcb_connection_has_error(c); }
    xcb_window_t root() const { return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root; }
    xcb_atom_t atom(const char* name) const {
        auto* r =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr);
        xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(r);
        return a;
    }
    xcb_connection_t* c;
};

} // namespace

Desktop::Desktop(bool windowManager) {
    server_ = std::make_unique<QProcess>();
    // The server picks a free display itself and says which on its output.
    server_->start(QStringLiteral("Xvfb"),
                   {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(width).arg(height),
                    QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                    // Without it the server resets, root colour and all, when its last client goes.
                    QStringLiteral("-noreset")});
    if (!server_->waitForStarted(5000)) {
        return;
    }
    QByteArray number;
    waitUntil(
        [&] {
            server_->waitForReadyRead(50);
            number += server_->readAllStandardOutput();
            return number.contains('\n');
        },
        10000);
    if (!number.contains('\n')) {
        return;
    }
    display_ = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
    run(QStringLiteral("xsetroot"), {QStringLiteral("-solid"), rootColour.name()});
    if (windowManager) {
        manager_ = std::make_unique<QProcess>();
        manager_->setProcessEnvironment(environment());
        manager_->start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        const bool up = waitUntil(
            [&] {
                return run(QStringLiteral("xprop"),
                           {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                    .contains(QStringLiteral("window id"));
            },
            10000, 50);
        if (!up) {
            return;
        }
        // The window manager may paint the root itself.
        run(QStringLiteral("xsetroot"), {QStringLiteral("-solid"), rootColour.name()});
    }
    ready_ = true;
}

Desktop::~Desktop() {
    for (auto* p : {manager_.get(), server_.get()}) {
        if (p && p->state() != QProcess::NotRunning) {
            p->terminate();
            if (!p->waitForFinished(3000)) {
                p->kill();
                p->waitForFinished(3000);
            }
        }
    }
}

QProcessEnvironment Desktop::environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("HOME"), home_.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home_.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home_.path());
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    // Under the sanitizers, libdbus's buffer held until exit is no leak of ours.
    env.insert(QStringLiteral("LSAN_OPTIONS"),
               QStringLiteral("suppressions=%1:print_suppressions=0")
                   .arg(QStringLiteral(LSAN_SUPPRESSIONS)));
    env.remove(QStringLiteral("SESSION_MANAGER"));
    return env;
}

QString Desktop::run(const QString& program, const QStringList& args, int* status) const {
    QProcess p;
    p.setProcessEnvironment(environment());
    p.start(program, args);
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished(1000);
    }
    if (status) {
        *status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

QImage Desktop::grab(const QRect& area) const {
    Connection x(display_);
    if (!x.ok()) {
        return {};
    }
    auto* reply = xcb_get_image_reply(
        x.c,
        xcb_get_image(x.c, XCB_IMAGE_FORMAT_Z_PIXMAP, x.root(), int16_t(area.x()),
                      int16_t(area.y()), uint16_t(area.width()), uint16_t(area.height()), ~0u),
        nullptr);
    if (!reply) {
        return {};
    }
    // A 24-bit screen comes as 32-bit pixels, blue first.
    QImage image(xcb_get_image_data(reply), area.width(), area.height(), QImage::Format_RGB32);
    QImage copy = image.copy();
    free(reply);
    return copy;
}

QStringList Desktop::windows(const QString& titleRegex, qint64 pid) const {
    QStringList args{QStringLiteral("search"), QStringLiteral("--onlyvisible")};
    if (pid) {
        // An ended program's window may outlive it for a moment on a busy server.
        args << QStringLiteral("--all") << QStringLiteral("--pid") << QString::number(pid);
    }
    const QString out =
        run(QStringLiteral("xdotool"), args << QStringLiteral("--name") << titleRegex);
    return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString Desktop::awaitWindow(const QString& titleRegex, qint64 pid, int ms) const {
    QString id;
    waitUntil(
        [&] {
            const QStringList ids = windows(titleRegex, pid);
            id = ids.isEmpty() ? QString() : ids.first();
            return !id.isEmpty();
        },
        ms);
    return id;
}

bool Desktop::answerBox(const QString& title, int ms) const {
    const QString exactly = QStringLiteral("^%1$").arg(title);
    const QString id = awaitWindow(exactly, 0, ms);
    if (id.isEmpty()) {
        return false;
    }
    focus(id);
    keys({QStringLiteral("Return")});
    return waitUntil([&] { return windows(exactly).isEmpty(); }, ms);
}

std::vector<unsigned> Desktop::stackingOrder() const {
    Connection x(display_);
    std::vector<unsigned> order;
    if (!x.ok()) {
        return order;
    }
    if (manager_) {
        const xcb_atom_t list = x.atom("_NET_CLIENT_LIST_STACKING");
        auto* r = xcb_get_property_reply(
            x.c, xcb_get_property(x.c, 0, x.root(), list, XCB_ATOM_WINDOW, 0, 1024), nullptr);
        if (r) {
            auto* ids = static_cast<xcb_window_t*>(xcb_get_property_value(r));
            order.assign(ids, ids + xcb_get_property_value_length(r) / 4);
            free(r);
        }
        return order;
    }
    auto* tree = xcb_query_tree_reply(x.c, xcb_query_tree(x.c, x.root()), nullptr);
    if (!tree) {
        return order;
    }
    xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
        auto* attrs = xcb_get_window_attributes_reply(
            x.c, xcb_get_window_attributes(x.c, children[i]), nullptr);
        if (attrs && attrs->map_state == XCB_MAP_STATE_VIEWABLE) {
            order.push_back(children[i]);
        }
        free(attrs);
    }
    free(tree);
    return order;
}

void Desktop::focus(const QString& window) const {
    run(QStringLiteral("xdotool"),
        {manager_ ? QStringLiteral("windowactivate") : QStringLiteral("windowfocus"),
         QStringLiteral("--sync"), window});
}

namespace {

// A client message about `window` of the given type and data, sent to the
// window itself or, for the window manager, to the root.
void sendMessage(const Connection& x, const QString& window, const char* type,
                 std::initializer_list<uint32_t> data, bool toRoot) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = xcb_window_t(window.toUInt());
    event.type = x.atom(type);
    std::copy(data.begin(), data.end(), event.data.data32);
    xcb_send_event(x.c, 0, toRoot ? x.root() : event.window,
                   toRoot
                       ? XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY
                       : XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(x.c);
}

} // namespace

void Desktop::close(const QString& window) const {
    Connection x(display_);
    if (x.ok()) {
        sendMessage(x, window, "WM_PROTOCOLS", {x.atom("WM_DELETE_WINDOW"), XCB_CURRENT_TIME},
                    false);
    }
}

void Desktop::maximise(const QString& window) const {
    Connection x(display_);
    if (x.ok()) {
        // Add both states, as asked for by the user.
        sendMessage(
            x, window, "_NET_WM_STATE",
            {1, x.atom("_NET_WM_STATE_MAXIMIZED_VERT"), x.atom("_NET_WM_STATE_MAXIMIZED_HORZ"), 2},
            true);
    }
}

QString Desktop::selection() const {
    return run(QStringLiteral("xclip"), {QStringLiteral("-o")});
}

QStringList Desktop::states(const QString& window) const {
    const QString out = run(QStringLiteral("xprop"),
                            {QStringLiteral("-id"), window, QStringLiteral("_NET_WM_STATE")});
    QStringList names;
    for (const QString& part : out.section(QLatin1Char('='), 1).split(QLatin1Char(','))) {
        if (!part.trimmed().isEmpty()) {
            names << part.trimmed();
        }
    }
    return names;
}

void Desktop::keys(const QStringList& keys) const {
    run(QStringLiteral("xdotool"),
        QStringList{QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("40")} + keys);
}

void Desktop::type(const QString& text) const {
    run(QStringLiteral("xdotool"),
        {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("40"), text});
}

bool Desktop::fill(const QString& text) const {
    for (int attempt = 0; attempt < 5; ++attempt) {
        keys({QStringLiteral("ctrl+a")});
        type(text);
        keys({QStringLiteral("ctrl+a")}); // selects it for reading back
        if (waitUntil([&] { return selection() == text; }, 3000, 100)) {
            return true;
        }
    }
    return false;
}

AppFolder::AppFolder() {
    for (const char* path : {TIDEPANEL_PROGRAM, TIDEEDIT_PROGRAM}) {
        const QString from = QString::fromUtf8(path);
        const QString to = dir_.filePath(QFileInfo(from).fileName());
        QFile::copy(from, to);
        QFile::setPermissions(to, QFile::permissions(from));
    }
}

void AppFolder::writeIni(const QString& text) const {
    QFile f(iniPath());
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(testing_support::fileBytes(text));
}

QString AppFolder::value(const QString& section, const QString& key) const {
    QFile f(iniPath());
    if (!f.open(QIODevice::ReadOnly)) {
        return QString();
    }
    return testing_support::storedValue(f.readAll(), section, key).value_or(QString());
}

Program::Program(const Desktop& desktop, const QString& path, bool asUser, const QString& groups) {
    QProcessEnvironment env = desktop.environment();
    process_.setWorkingDirectory(QFileInfo(path).absolutePath());
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (!asUser) {
        process_.setProcessEnvironment(env);
        process_.start(path, {});
        process_.waitForStarted(5000);
        return;
    }
    // The user needs a home and runtime folder of its own, and a way to the program.
    const QString home = desktop.home_.filePath(QStringLiteral("nobody"));
    QDir().mkpath(home);
    QFile::setPermissions(desktop.home_.path(), QFileDevice::Permissions(0x7755));
    ::chown(QFile::encodeName(home).constData(), 65534, 65534);
    QFile::setPermissions(home, QFileDevice::Permissions(0x7700));
    for (QString dir = QFileInfo(path).absolutePath(); dir != QDir::tempPath() && dir != "/";
         dir = QFileInfo(dir).absolutePath()) {
        QFile::setPermissions(dir, QFile::permissions(dir) | QFile::ExeOther | QFile::ReadOther);
    }
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    process_.setProcessEnvironment(env);
    process_.start(
        QStringLiteral("setpriv"),
        {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
         groups.isEmpty() ? QStringLiteral("--clear-groups") : QStringLiteral("--groups=") + groups,
         path});
    process_.waitForStarted(5000);
}

Program::~Program() {
    if (running()) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

bool Program::waitForEnd(int ms) {
    return !running() || process_.waitForFinished(ms);
}

void Program::terminate() {
    process_.terminate();
}

} // namespace desk
