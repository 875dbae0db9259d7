// The window operations on Windows: the Qt window's handle handed to the
// plain Win32 calls.
#include "win32_panel.h"
#include "window_backend.h"
#include "window_ops.h"

#include <QGuiApplication>
#include <QWidget>

namespace {

// Only windows of Qt's own Windows platform have a handle to pass on; the
// tests' offscreen windows are recorded instead.
bool native() {
    return QGuiApplication::platformName() == QLatin1String("windows");
}

} // namespace

namespace tidepanel::backend {

Qt::WindowFlags windowFlags() {
    // Qt::Tool gives WS_EX_TOOLWINDOW: no taskbar button.
    return Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint;
}

bool applyColourKey(QWidget& window) {
    if (!native()) {
        return false;
    }
    win32::applyColourKey(reinterpret_cast<void*>(window.winId()), colourKey);
    return true;
}

bool sendToBottom(QWidget& window) {
    if (!native()) {
        return false;
    }
    win32::sendToBottom(reinterpret_cast<void*>(window.winId()));
    return true;
}

// The window is keyed and moved by the program itself.
bool makeTranslucent(QWidget&) {
    return false;
}

bool anchor(QWidget&, Qt::Corner, int) {
    return false;
}

} // namespace tidepanel::backend
