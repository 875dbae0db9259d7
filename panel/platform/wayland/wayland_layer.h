// The panel's windows natively on Wayland: blended by alpha, and with
// layer-shell (layer_shell.h) held by the compositor beneath all others at a
// corner of the output.
#pragma once

#include "desktop_layer.h"

namespace tidepanel {

class WaylandLayer final : public DesktopLayer {
public:
    Qt::WindowFlags windowFlags() const override;
    bool makeTranslucent(QWidget& window) override;
    bool anchor(QWidget& window, Qt::Corner corner, int margin) override;
    // The bottom layer keeps the window there: sendToBottom does nothing.
};

} // namespace tidepanel
