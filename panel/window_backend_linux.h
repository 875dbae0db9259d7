// On Linux the panel runs either on an X server (also XWayland) or natively
// on a Wayland compositor with layer-shell; the Qt platform it started on
// picks one of these two layers (window_ops_linux.cpp).
#pragma once

#include "desktop_layer.h"

namespace tidepanel {

class X11Layer final : public DesktopLayer {
public:
    Qt::WindowFlags windowFlags() const override;
    void applyColourKey(QWidget& window) override;
    void pictureChanged(QWidget& window) override;
    void sendToBottom(QWidget& window) override;
};

class WaylandLayer final : public DesktopLayer {
public:
    Qt::WindowFlags windowFlags() const override;
    bool makeTranslucent(QWidget& window) override;
    bool anchor(QWidget& window, Qt::Corner corner, int margin) override;
    // The bottom layer keeps the window there: sendToBottom does nothing.
};

} // namespace tidepanel
