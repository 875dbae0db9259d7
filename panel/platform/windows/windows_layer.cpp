// The panel's windows on Windows: the Qt window's handle handed to the plain
// Win32 calls of win32_panel.h.
#include "desktop_layer.h"
#include "win32_panel.h"

#include <QGuiApplication>
#include <QWidget>

namespace {

// Only windows of Qt's own Windows platform have a handle to pass on; the
// tests' offscreen windows get the layer that does nothing.
bool native() {
    return QGuiApplication::platformName() == QLatin1String("windows");
}

} // namespace

namespace tidepanel {
namespace {

class WindowsLayer final : public DesktopLayer {
public:
    Qt::WindowFlags windowFlags() const override {
        // Qt::Tool gives WS_EX_TOOLWINDOW: no taskbar button.
        return Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint;
    }
    void applyColourKey(QWidget& window) override {
        win32::applyColourKey(reinterpret_cast<void*>(window.winId()), colourKey);
    }
    void sendToBottom(QWidget& window) override {
        win32::sendToBottom(reinterpret_cast<void*>(window.winId()));
    }
};

} // namespace

DesktopLayer& platformLayer() {
    static WindowsLayer windows;
    static DesktopLayer none;
    return native() ? static_cast<DesktopLayer&>(windows) : none;
}

} // namespace tidepanel
