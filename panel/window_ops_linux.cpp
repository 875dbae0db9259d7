// The window operations on Linux: X11's where Qt runs on xcb, Wayland's where
// it runs natively on Wayland, none on the tests' offscreen platform.
#include "window_backend_linux.h"

#include <QGuiApplication>

namespace tidepanel {

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
