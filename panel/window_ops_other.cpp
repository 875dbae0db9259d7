// Platforms without native window operations here: the layer that does nothing.
#include "desktop_layer.h"

namespace tidepanel {

DesktopLayer& platformLayer() {
    static DesktopLayer none;
    return none;
}

} // namespace tidepanel
