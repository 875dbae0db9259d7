// The panel's windows as layer surfaces through KDE's LayerShellQt, where the
// release packages it: a held window gets the role as its platform window is
// made, any other window (a message box) stays an ordinary one.
#include "layer_shell.h"

#include <LayerShellQt/Window>

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace tidepanel::layer_shell {
namespace {

using LayerShellQt::Window;

const char cornerProperty[] = "tidepanel_corner";
const char marginProperty[] = "tidepanel_margin";
const char roleProperty[] = "tidepanel_layer";

bool hasRole(const QWidget& widget) {
    return widget.windowHandle() && widget.windowHandle()->property(roleProperty).isValid();
}

// A layer surface is bound to one output for life: a window is placed on
// another by hiding it and showing it again, which gives it a fresh surface.
void placeAnew(QWidget& widget) {
    const bool shown = widget.isVisible();
    if (shown) {
        widget.hide();
    }
    // The primary output, or the first where the compositor names none.
    widget.windowHandle()->setScreen(QGuiApplication::primaryScreen());
    if (shown) {
        widget.show();
    }
}

// A shown surface takes new values with its next commit.
void place(QWidget& widget) {
    Window* surface = Window::get(widget.windowHandle());
    const auto corner = Qt::Corner(widget.property(cornerProperty).toInt());
    const int margin = widget.property(marginProperty).toInt();
    const bool bottom = corner == Qt::BottomLeftCorner || corner == Qt::BottomRightCorner;
    const bool right = corner == Qt::TopRightCorner || corner == Qt::BottomRightCorner;
    surface->setAnchors(Window::Anchors(bottom ? Window::AnchorBottom : Window::AnchorTop) |
                        (right ? Window::AnchorRight : Window::AnchorLeft));
    surface->setMargins(QMargins(0, bottom ? 0 : margin, 0, bottom ? margin : 0));
}

// Before the platform window has a surface: beneath every ordinary window,
// never focused, claiming no room, and clicked through (an empty input region).
void giveRole(QWidget& widget) {
    QWindow* window = widget.windowHandle();
    window->setProperty(roleProperty, true);
    window->setScreen(QGuiApplication::primaryScreen());
    window->setFlag(Qt::WindowTransparentForInput);
    Window* surface = Window::get(window);
    surface->setLayer(Window::LayerBottom);
    surface->setKeyboardInteractivity(Window::KeyboardInteractivityNone);
    surface->setExclusiveZone(0);
    surface->setScope(QStringLiteral("tidepanel"));
    // Its output gone, the window is placed anew, not closed.
    surface->setCloseOnDismissed(false);
    QObject::connect(qGuiApp, &QGuiApplication::primaryScreenChanged, &widget,
                     [&widget] { placeAnew(widget); });
    QObject::connect(qGuiApp, &QGuiApplication::screenRemoved, &widget,
                     [&widget] { placeAnew(widget); });
    place(widget);
}

// Gives a held window its role as Qt makes its platform window, which comes
// after the window's own set-up (an alpha channel) and before its surface.
class RoleOnCreation : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* widget = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::WinIdChange && widget->windowHandle() && !hasRole(*widget)) {
            giveRole(*widget);
        }
        return false;
    }
};

} // namespace

void install() {
    // LayerShellQt gives each held window its role itself; the others keep
    // Qt's own shell integration.
}

void hold(QWidget& widget, Qt::Corner corner, int margin) {
    if (widget.property(cornerProperty) == int(corner) &&
        widget.property(marginProperty) == margin) {
        return;
    }
    widget.setProperty(cornerProperty, int(corner));
    widget.setProperty(marginProperty, margin);
    if (hasRole(widget)) {
        place(widget);
    } else if (!widget.windowHandle()) {
        if (!widget.property(roleProperty).isValid()) {
            widget.setProperty(roleProperty, true);
            widget.installEventFilter(new RoleOnCreation(&widget));
        }
    } else {
        // Made, or shown, before it was held: a fresh surface with the role.
        const bool shown = widget.isVisible();
        if (shown) {
            widget.hide();
        }
        giveRole(widget);
        if (shown) {
            widget.show();
        }
    }
}

} // namespace tidepanel::layer_shell
