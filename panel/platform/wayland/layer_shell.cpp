// A shell integration for Qt's Wayland platform that gives every window of
// the panel the layer-surface role instead of an xdg toplevel: the compositor
// then places it at an edge of an output, beneath ordinary windows, with no
// taskbar entry. Qt draws and commits as usual; only the role is ours.
#include "layer_shell.h"

#include <QtWaylandClient/private/qwaylandshellintegration_p.h>
#include <QtWaylandClient/private/qwaylandshellintegrationplugin_p.h>
#include <QtWaylandClient/private/qwaylandshellsurface_p.h>
#include <qpa/qplatformnativeinterface.h>
#include <qpa/qplatformwindow.h>

#include <QApplication>
#include <QHash>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <wayland-client.h>

// The generated header names an argument `namespace`, a keyword in C++.
#define namespace name_space
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace

namespace tidepanel::layer_shell {
namespace {

// Where each panel window is held, by the widget that asked.
struct Hold {
    Qt::Corner corner;
    int margin;
};

QHash<const QWidget*, Hold>& holds() {
    static QHash<const QWidget*, Hold> each;
    return each;
}

QWidget* widgetOf(const QWindow* window) {
    return window ? QWidget::find(window->winId()) : nullptr;
}

// A layer surface is bound to one output for life: a window is placed anew
// by hiding it and showing it again, which gives it a fresh surface. Queued,
// as it may be asked for while Qt is handling the compositor's events.
void placeAnew(QWidget* window) {
    QTimer::singleShot(0, qApp, [window = QPointer<QWidget>(window)] {
        if (window && window->isVisible()) {
            window->hide();
            window->show();
        }
    });
}

void placeAllAnew() {
    for (auto held = holds().cbegin(); held != holds().cend(); ++held) {
        placeAnew(const_cast<QWidget*>(held.key()));
    }
}

class Surface : public QtWaylandClient::QWaylandShellSurface {
public:
    Surface(zwlr_layer_shell_v1* shell, QtWaylandClient::QWaylandWindow* window)
        : QWaylandShellSurface(window) {
        const QWindow* qwindow = platformWindow()->window();
        const QWidget* widget = widgetOf(qwindow);
        const auto hold = widget ? holds().constFind(widget) : holds().cend();
        QPlatformNativeInterface* native = QGuiApplication::platformNativeInterface();
        // The primary output, or the first where the compositor names none.
        auto* output = static_cast<wl_output*>(
            native->nativeResourceForScreen("output", QGuiApplication::primaryScreen()));
        const bool held = hold != holds().cend();
        surface_ = zwlr_layer_shell_v1_get_layer_surface(
            shell, wlSurface(), output,
            held ? ZWLR_LAYER_SHELL_V1_LAYER_BOTTOM : ZWLR_LAYER_SHELL_V1_LAYER_TOP, "tidepanel");
        zwlr_layer_surface_v1_add_listener(surface_, &listener, this);
        zwlr_layer_surface_v1_set_size(surface_, uint32_t(qwindow->width()),
                                       uint32_t(qwindow->height()));
        if (held) {
            // Beneath every ordinary window, never focused, clicked through,
            // and no room claimed from other windows.
            const Qt::Corner c = hold->corner;
            const bool bottom = c == Qt::BottomLeftCorner || c == Qt::BottomRightCorner;
            const bool right = c == Qt::TopRightCorner || c == Qt::BottomRightCorner;
            const int margin = hold->margin;
            zwlr_layer_surface_v1_set_anchor(
                surface_,
                (bottom ? ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM : ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP) |
                    (right ? ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT
                           : ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT));
            zwlr_layer_surface_v1_set_margin(surface_, bottom ? 0 : margin, 0, bottom ? margin : 0,
                                             0);
            zwlr_layer_surface_v1_set_exclusive_zone(surface_, 0);
            zwlr_layer_surface_v1_set_keyboard_interactivity(surface_, 0);
            auto* compositor =
                static_cast<wl_compositor*>(native->nativeResourceForIntegration("compositor"));
            wl_region* nothing = wl_compositor_create_region(compositor);
            wl_surface_set_input_region(wlSurface(), nothing);
            wl_region_destroy(nothing);
        } else {
            // Any other window (a message box) is centred above the others.
            zwlr_layer_surface_v1_set_keyboard_interactivity(surface_, 1);
        }
        // The compositor answers this first commit, without a picture, with
        // the surface's first configure.
        wl_surface_commit(wlSurface());
    }
    ~Surface() override { zwlr_layer_surface_v1_destroy(surface_); }

    // Qt draws only once the compositor has configured the surface.
    bool isExposed() const override { return configured_; }
    void applyConfigure() override {
        if (!size_.isEmpty()) {
            resizeFromApplyConfigure(size_);
        }
    }

private:
    static void configure(void* data, zwlr_layer_surface_v1* surface, uint32_t serial,
                          uint32_t width, uint32_t height) {
        auto* self = static_cast<Surface*>(data);
        zwlr_layer_surface_v1_ack_configure(surface, serial);
        self->size_ = QSize(int(width), int(height));
        self->configured_ = true;
        self->applyConfigureWhenPossible();
    }
    // The compositor dropped the surface, its output gone.
    static void closed(void* data, zwlr_layer_surface_v1*) {
        placeAnew(widgetOf(static_cast<Surface*>(data)->platformWindow()->window()));
    }
    static constexpr zwlr_layer_surface_v1_listener listener = {configure, closed};

    zwlr_layer_surface_v1* surface_ = nullptr;
    QSize size_;
    bool configured_ = false;
};

class Shell : public QtWaylandClient::QWaylandShellIntegrationTemplate<Shell> {
public:
    // Version 4 is the newest of the requests used here (sway 1.7 offers 4).
    Shell() : QWaylandShellIntegrationTemplate<Shell>(4) {}
    ~Shell() override {
        if (shell_ && wl_proxy_get_version(reinterpret_cast<wl_proxy*>(shell_)) >=
                          ZWLR_LAYER_SHELL_V1_DESTROY_SINCE_VERSION) {
            zwlr_layer_shell_v1_destroy(shell_);
        } else if (shell_) {
            wl_proxy_destroy(reinterpret_cast<wl_proxy*>(shell_));
        }
    }
    static const wl_interface* interface() { return &zwlr_layer_shell_v1_interface; }
    void init(wl_registry* registry, int id, int version) {
        shell_ = static_cast<zwlr_layer_shell_v1*>(
            wl_registry_bind(registry, uint32_t(id), interface(), uint32_t(version)));
    }
    bool initialize(QtWaylandClient::QWaylandDisplay* display) override {
        if (!QWaylandShellIntegrationTemplate<Shell>::initialize(display) || !shell_) {
            return false;
        }
        QObject::connect(qGuiApp, &QGuiApplication::primaryScreenChanged, qGuiApp, placeAllAnew);
        return true;
    }
    QtWaylandClient::QWaylandShellSurface*
    createShellSurface(QtWaylandClient::QWaylandWindow* window) override {
        return new Surface(shell_, window);
    }

private:
    zwlr_layer_shell_v1* shell_ = nullptr;
};

// The key under which Qt's Wayland platform finds the integration (layer_shell.json).
constexpr char key[] = "tidepanel-layer-shell";

} // namespace

void install() {
    if (!qEnvironmentVariableIsSet("QT_WAYLAND_SHELL_INTEGRATION")) {
        qputenv("QT_WAYLAND_SHELL_INTEGRATION", QByteArray(key) + ";xdg-shell");
    }
}

void hold(QWidget& window, Qt::Corner corner, int margin) {
    const auto held = holds().constFind(&window);
    if (held != holds().cend() && held->corner == corner && held->margin == margin) {
        return;
    }
    if (held == holds().cend()) {
        QObject::connect(&window, &QObject::destroyed, [w = &window] { holds().remove(w); });
    }
    holds().insert(&window, {corner, margin});
    if (window.isVisible()) {
        placeAnew(&window);
    }
}

} // namespace tidepanel::layer_shell

class TidepanelLayerShellPlugin : public QtWaylandClient::QWaylandShellIntegrationPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QWaylandShellIntegrationFactoryInterface_iid FILE "layer_shell.json")
public:
    QtWaylandClient::QWaylandShellIntegration* create(const QString&, const QStringList&) override {
        return new tidepanel::layer_shell::Shell;
    }
};

Q_IMPORT_PLUGIN(TidepanelLayerShellPlugin)

#include "layer_shell.moc"
