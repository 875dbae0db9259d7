// The panel built for X11 alone (no Wayland inputs at configuring): no
// compositor offers it layer-shell, so a Wayland session runs it through
// XWayland.
#include "layer_shell.h"

namespace tidepanel::layer_shell {

bool offered() {
    return false;
}

void install() {}

void hold(QWidget&, Qt::Corner, int) {}

} // namespace tidepanel::layer_shell
