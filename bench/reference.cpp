// The floor the footprint script measures tidepanel against: a bare xcb
// client doing what the panel's ticks must do and nothing else. Once a second
// it makes the same thirteen and seven full look-ups of SysInfo.ini beside
// the executable (open, read, look up, close, each time), pushes both of its
// windows to the bottom of the stack, places the first at the lower right,
// and redraws and reshapes a window only when its texts changed. It ends when
// the close flag reads "End".
#include "profile.h"

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string folder() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string p(path, n > 0 ? size_t(n) : 0);
    return p.substr(0, p.rfind('/') + 1);
}

const std::string ini = folder() + "SysInfo.ini";

std::string lookUp(std::string_view section, std::string_view key) {
    // The buffers are kept from one look-up to the next; what they hold is read afresh.
    static std::string file;
    static char chunk[65536];
    file.clear();
    if (int fd = open(ini.c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
        for (ssize_t n; (n = read(fd, chunk, sizeof chunk)) > 0;) {
            file.append(chunk, size_t(n));
        }
        close(fd);
    }
    return profile::lookup<char>(file, section, key, profile::Units::DoubleByte).value_or("");
}

bool shown(const std::string& value) {
    return std::strtod(value.c_str(), nullptr) != 0;
}

struct Window {
    xcb_window_t id;
    int width, height;
    std::vector<int> sizes;         // of each line's letters, in pixels
    std::vector<std::string> lines; // what it shows now
};

xcb_connection_t* c;
xcb_screen_t* screen;
constexpr uint32_t key = 0xFEFEFE;

// Bold letters of the panel's sizes, so that the cut-out is of a like
// intricacy (the bytes of Chinese text show as pairs of Latin-1 letters).
xcb_font_t font(int pixels) {
    static std::vector<std::pair<int, xcb_font_t>> open;
    for (const auto& [size, id] : open) {
        if (size == pixels) {
            return id;
        }
    }
    const std::string name =
        "-*-helvetica-bold-r-normal--" + std::to_string(pixels) + "-*-*-*-p-*-iso8859-1";
    xcb_font_t id = xcb_generate_id(c);
    if (xcb_generic_error_t* e = xcb_request_check(
            c, xcb_open_font_checked(c, id, uint16_t(name.size()), name.c_str()))) {
        std::free(e);
        xcb_open_font(c, id, 5, "fixed"); // always there
    }
    open.emplace_back(pixels, id);
    return id;
}

Window create(int x, int y, int width, int height, const char* title, std::vector<int> sizes) {
    Window w{xcb_generate_id(c), width, height, std::move(sizes), {}};
    const uint32_t values[] = {key, XCB_EVENT_MASK_EXPOSURE};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, w.id, screen->root, int16_t(x), int16_t(y),
                      uint16_t(width), uint16_t(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w.id, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        uint32_t(std::strlen(title)), title);
    return w;
}

void drawLines(xcb_drawable_t d, xcb_gcontext_t gc, const Window& w) {
    int y = 8;
    for (size_t i = 0; i < w.lines.size(); ++i) {
        y += w.sizes[i] + 6;
        const uint32_t f = font(w.sizes[i]);
        xcb_change_gc(c, gc, XCB_GC_FONT, &f);
        // One text item: its length, a horizontal offset, the bytes.
        const std::string t = w.lines[i].substr(0, 254);
        std::string item{char(t.size()), 0};
        item += t;
        xcb_poly_text_8(c, d, gc, 8, int16_t(y), uint32_t(item.size()),
                        reinterpret_cast<const uint8_t*>(item.data()));
    }
}

// The lettering on the colour key, and a one-bit mask cut from the same lines.
void paint(const Window& w) {
    const xcb_gcontext_t gc = xcb_generate_id(c);
    const uint32_t colour = 0xFF0000;
    xcb_create_gc(c, gc, w.id, XCB_GC_FOREGROUND, &colour);
    xcb_clear_area(c, 0, w.id, 0, 0, 0, 0);
    drawLines(w.id, gc, w);
    xcb_free_gc(c, gc);
}

void reshape(const Window& w) {
    const xcb_pixmap_t mask = xcb_generate_id(c);
    xcb_create_pixmap(c, 1, mask, w.id, uint16_t(w.width), uint16_t(w.height));
    const xcb_gcontext_t gc = xcb_generate_id(c);
    const uint32_t clear = 0;
    xcb_create_gc(c, gc, mask, XCB_GC_FOREGROUND, &clear);
    const xcb_rectangle_t all{0, 0, uint16_t(w.width), uint16_t(w.height)};
    xcb_poly_fill_rectangle(c, mask, gc, 1, &all);
    const uint32_t set = 1;
    xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &set);
    drawLines(mask, gc, w);
    xcb_shape_mask(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, w.id, 0, 0, mask);
    xcb_free_gc(c, gc);
    xcb_free_pixmap(c, mask);
}

void show(Window& w, std::vector<std::string> lines) {
    if (lines != w.lines) {
        w.lines = std::move(lines);
        paint(w);
        reshape(w);
    }
}

// Lowered only where it covers another window, as tidepanel does without a
// window manager: two windows sent to the bottom in turn would swap places.
void toBottom(const Window& w) {
    const uint32_t bottomIf = XCB_STACK_MODE_BOTTOM_IF;
    xcb_configure_window(c, w.id, XCB_CONFIG_WINDOW_STACK_MODE, &bottomIf);
}

const std::string separator = "\xA3\xBA"; // "：" in GB18030

void panelTick(Window& w) {
    toBottom(w);
    lookUp("Display", "Info");
    std::vector<std::string> value;
    for (const char* k : {"Title", "Service TEL", "Technology TEL", "Add"}) {
        value.push_back(lookUp("Sysinfo", k));
    }
    std::vector<bool> on;
    for (const char* k : {"Title", "Service TEL", "Technology TEL", "Add"}) {
        on.push_back(shown(lookUp("Display", k)));
    }
    std::vector<std::string> lines{on[0] ? value[0] : ""};
    int i = 1;
    for (const char* k : {"label5", "label6", "label7"}) {
        const std::string label = lookUp("Config", k) + separator;
        lines.push_back(on[size_t(i)] ? label + " " + value[size_t(i)] : "");
        ++i;
    }
    lines.push_back("2026 tide");
    if (lookUp("Sysinfo", "Close") == "End") {
        std::exit(0);
    }
    const uint32_t place[] = {uint32_t(screen->width_in_pixels - w.width),
                              uint32_t(screen->height_in_pixels - w.height - 30)};
    xcb_configure_window(c, w.id, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, place);
    show(w, std::move(lines));
}

void infoTick(Window& w) {
    toBottom(w);
    std::vector<std::string> lines{"Welcome"};
    for (const char* k : {"CPU", "MB", "MEM", "HD", "Show"}) {
        lines.push_back(std::string(k) + " info: " + lookUp("Info", k));
    }
    if (lookUp("Sysinfo", "Close") == "End") {
        std::exit(0);
    }
    lookUp("Display", "Info");
    show(w, std::move(lines));
}

} // namespace

int main() {
    c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        return 1;
    }
    screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    Window panel = create(screen->width_in_pixels - 330, screen->height_in_pixels - 209, 330, 179,
                          "Form1", {32, 16, 16, 16, 12});
    Window info =
        create(screen->width_in_pixels - 278, 0, 278, 214, "Info", {16, 12, 12, 12, 12, 12});
    panelTick(panel);
    infoTick(info);
    xcb_map_window(c, info.id);
    xcb_map_window(c, panel.id);
    xcb_flush(c);

    auto next = Clock::now() + std::chrono::seconds(1);
    pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
    for (;;) {
        while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
            auto* x = reinterpret_cast<xcb_expose_event_t*>(e);
            if ((e->response_type & 0x7F) == XCB_EXPOSE && x->count == 0) {
                paint(x->window == panel.id ? panel : info);
            }
            std::free(e);
        }
        if (xcb_connection_has_error(c)) {
            return 1;
        }
        xcb_flush(c);
        const auto wait =
            std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
        if (wait.count() > 0 && poll(&fd, 1, int(wait.count())) > 0) {
            continue;
        }
        panelTick(panel);
        infoTick(info);
        xcb_flush(c);
        next += std::chrono::seconds(1);
    }
}
