// The panel's windows on an X server (also XWayland): the colour key cut
// away with the SHAPE extension, stacking through the window manager's
// states where one runs and a plain lower otherwise.
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

} // namespace tidepanel
