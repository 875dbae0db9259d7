// Timing probe for the footprint script, on the X server named by DISPLAY.
//   xprobe mapped TITLE PROGRAM   starts PROGRAM in its folder and prints the
//                                 milliseconds until a window titled TITLE is
//                                 viewable, and the program's process id
//   xprobe repaint X Y W H MS CMD...  runs CMD and prints the milliseconds
//                                 until the screen area changes (or -1)
//   xprobe rects                  prints how many rectangles the cut-outs of
//                                 the viewable top-level windows hold in all
#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

xcb_window_t rootOf(xcb_connection_t* c) {
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

std::string title(xcb_connection_t* c, xcb_window_t w) {
    auto* r = xcb_get_property_reply(
        c, xcb_get_property(c, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256), nullptr);
    std::string t;
    if (r) {
        t.assign(static_cast<char*>(xcb_get_property_value(r)),
                 size_t(xcb_get_property_value_length(r)));
        free(r);
    }
    return t;
}

// Depth-first over the window tree: a window manager puts clients in frames.
bool viewableWithTitle(xcb_connection_t* c, xcb_window_t w, const std::string& want) {
    auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr);
    if (!tree) {
        return false;
    }
    bool found = false;
    xcb_window_t* kids = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree) && !found; ++i) {
        auto* a =
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, kids[i]), nullptr);
        const bool viewable = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
        free(a);
        if (viewable) {
            found = title(c, kids[i]) == want || viewableWithTitle(c, kids[i], want);
        }
    }
    free(tree);
    return found;
}

std::vector<uint8_t> pixels(xcb_connection_t* c, int x, int y, int w, int h) {
    auto* r = xcb_get_image_reply(c,
                                  xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, rootOf(c), int16_t(x),
                                                int16_t(y), uint16_t(w), uint16_t(h), ~0u),
                                  nullptr);
    std::vector<uint8_t> out;
    if (r) {
        out.assign(xcb_get_image_data(r), xcb_get_image_data(r) + xcb_get_image_data_length(r));
        free(r);
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c) || argc < 2) {
        std::fprintf(stderr,
                     "usage: xprobe mapped TITLE PROGRAM | repaint X Y W H MS CMD... | rects\n");
        return 2;
    }
    const std::string mode = argv[1];
    if (mode == "rects") {
        auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, rootOf(c)), nullptr);
        long total = 0;
        for (int i = 0; tree && i < xcb_query_tree_children_length(tree); ++i) {
            const xcb_window_t w = xcb_query_tree_children(tree)[i];
            auto* a = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
            auto* r = xcb_shape_get_rectangles_reply(
                c, xcb_shape_get_rectangles(c, w, XCB_SHAPE_SK_BOUNDING), nullptr);
            if (a && r && a->map_state == XCB_MAP_STATE_VIEWABLE) {
                total += xcb_shape_get_rectangles_rectangles_length(r);
            }
            free(a);
            free(r);
        }
        free(tree);
        std::printf("%ld\n", total);
        return 0;
    }
    if (mode == "mapped" && argc == 4) {
        const auto t0 = Clock::now();
        pid_t pid = fork();
        if (pid == 0) {
            std::string path = argv[3];
            std::string folder = path.substr(0, path.rfind('/'));
            // The program must not hold the caller's output open: a reader waits for its end.
            if (int null = open("/dev/null", O_WRONLY); null >= 0) {
                dup2(null, STDOUT_FILENO);
            }
            if (chdir(folder.c_str()) != 0) {
                _exit(127);
            }
            execl(argv[3], argv[3], static_cast<char*>(nullptr));
            _exit(127);
        }
        while (!viewableWithTitle(c, rootOf(c), argv[2])) {
            if (since(t0) > 20000) {
                std::printf("-1 %d\n", pid);
                return 1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::printf("%.1f %d\n", since(t0), pid);
        return 0;
    }
    if (mode == "repaint" && argc >= 8) {
        const int x = std::atoi(argv[2]), y = std::atoi(argv[3]), w = std::atoi(argv[4]),
                  h = std::atoi(argv[5]), limit = std::atoi(argv[6]);
        const std::vector<uint8_t> before = pixels(c, x, y, w, h);
        const auto t0 = Clock::now();
        pid_t pid = fork();
        if (pid == 0) {
            execvp(argv[7], argv + 7);
            _exit(127);
        }
        while (pixels(c, x, y, w, h) == before) {
            if (since(t0) > limit) {
                std::printf("-1\n");
                waitpid(pid, nullptr, 0);
                return 1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        std::printf("%.1f\n", since(t0));
        waitpid(pid, nullptr, 0);
        return 0;
    }
    return 2;
}
