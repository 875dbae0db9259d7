// Whether the compositor offers layer-shell, asked before Qt connects: the
// panel then runs natively on Wayland, else through XWayland.
#include "layer_shell.h"

#include <cstring>
#include <wayland-client.h>

namespace tidepanel::layer_shell {
namespace {

void noteGlobal(void* found, wl_registry*, uint32_t, const char* interface, uint32_t) {
    if (std::strcmp(interface, "zwlr_layer_shell_v1") == 0) {
        *static_cast<bool*>(found) = true;
    }
}
void noteGlobalGone(void*, wl_registry*, uint32_t) {}

} // namespace

bool offered() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        return false;
    }
    bool found = false;
    static constexpr wl_registry_listener listener = {noteGlobal, noteGlobalGone};
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, &found);
    wl_display_roundtrip(display);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return found;
}

} // namespace tidepanel::layer_shell
