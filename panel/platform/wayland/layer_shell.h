// The panel's windows as layer-shell surfaces (zwlr_layer_shell_v1) on
// Wayland compositors that offer it. One implementation, chosen at
// configuring: KDE's LayerShellQt where the release packages it
// (layer_shell_qt.cpp), a shell integration of our own for Qt 6.4's Wayland
// platform, built into the panel (layer_shell.cpp), or none where the panel
// is built for X11 alone (no_layer_shell.cpp).
#pragma once

#include <Qt>

class QWidget;

namespace tidepanel::layer_shell {

// Whether the session's Wayland compositor offers layer-shell; asked over a
// connection of its own, before Qt connects (layer_shell_offered.cpp).
bool offered();

// Before the application object: has Qt's Wayland platform give the held
// windows their role, unless the user chose a shell integration.
void install();

// Where the compositor is to hold the window once it is shown: in `corner` of
// the primary output, `margin` pixels from the lower or upper edge. A shown
// window is placed anew.
void hold(QWidget& window, Qt::Corner corner, int margin);

} // namespace tidepanel::layer_shell
