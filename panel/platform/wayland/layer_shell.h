// The panel's windows as layer-shell surfaces (zwlr_layer_shell_v1) on
// Wayland compositors that offer it: a shell integration for Qt's Wayland
// platform, built into the panel.
#pragma once

#include <Qt>

class QWidget;

namespace tidepanel::layer_shell {

// The key under which Qt's Wayland platform finds the integration
// (QT_WAYLAND_SHELL_INTEGRATION).
inline constexpr char key[] = "tidepanel-layer-shell";

// Whether the session's Wayland compositor offers layer-shell; asked over a
// connection of its own, before Qt connects.
bool offered();

// Where the compositor is to hold the window once it is shown: in `corner` of
// the primary output, `margin` pixels from the lower or upper edge. A shown
// window is placed anew.
void hold(QWidget& window, Qt::Corner corner, int margin);

} // namespace tidepanel::layer_shell
