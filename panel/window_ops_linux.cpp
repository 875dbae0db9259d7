// The window operations on Linux: X11's where Qt runs on xcb, Wayland's where
// it runs natively on Wayland, none (recorded) on the tests' offscreen platform.
#include "window_backend_linux.h"

#include <QGuiApplication>

namespace tidepanel::backend {
namespace {

bool onWayland() {
    return QGuiApplication::platformName() == QLatin1String("wayland");
}

} // namespace

Qt::WindowFlags windowFlags() {
    return x11::windowFlags();
}

bool applyColourKey(QWidget& window) {
    return x11::applyColourKey(window);
}

bool sendToBottom(QWidget& window) {
    return onWayland() ? wayland::sendToBottom(window) : x11::sendToBottom(window);
}

bool makeTranslucent(QWidget& window) {
    return onWayland() && wayland::makeTranslucent(window);
}

bool anchor(QWidget& window, Qt::Corner corner, int margin) {
    return onWayland() && wayland::anchor(window, corner, margin);
}

} // namespace tidepanel::backend
