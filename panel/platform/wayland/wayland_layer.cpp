// Without layer-shell (a user's own choice of platform) nothing can place or
// lower a window natively on Wayland, and those requests are dropped.
#include "wayland_layer.h"

#include "layer_shell.h"

#include <QWidget>

namespace tidepanel {

Qt::WindowFlags WaylandLayer::windowFlags() const {
    return Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint;
}

bool WaylandLayer::makeTranslucent(QWidget& window) {
    // Before the window is first shown, so that its surface has alpha.
    if (!window.testAttribute(Qt::WA_TranslucentBackground)) {
        window.setAttribute(Qt::WA_TranslucentBackground);
    }
    return true;
}

bool WaylandLayer::anchor(QWidget& window, Qt::Corner corner, int margin) {
    layer_shell::hold(window, corner, margin);
    return true;
}

} // namespace tidepanel
