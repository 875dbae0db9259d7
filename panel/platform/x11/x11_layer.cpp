// Without a compositor the colour key becomes a cut-out made with the SHAPE
// extension; stacking goes through the window manager's EWMH states where one
// runs and a plain lower otherwise.
#include "x11_layer.h"

#include "key_shape.h"

#include <QAbstractEventDispatcher>
#include <QAbstractNativeEventFilter>
#include <QEvent>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace tidepanel {
namespace {

xcb_connection_t* connection() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return nullptr;
    }
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    auto* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return a;
}

const char* const states[] = {"_NET_WM_STATE_BELOW", "_NET_WM_STATE_SKIP_TASKBAR",
                              "_NET_WM_STATE_SKIP_PAGER"};
constexpr uint32_t allDesktops = 0xFFFFFFFFu;

// Before the window is mapped its states are plain properties, which the
// window manager reads when it takes the window on.
void setStatesOnUnmapped(xcb_connection_t* c, xcb_window_t w) {
    const xcb_atom_t netState = atom(c, "_NET_WM_STATE");
    std::vector<xcb_atom_t> want;
    auto* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, w, netState, XCB_ATOM_ATOM, 0, 64), nullptr);
    if (reply && reply->format == 32) {
        const auto* have = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        want.assign(have, have + xcb_get_property_value_length(reply) / 4);
    }
    std::free(reply);
    for (const char* name : states) {
        const xcb_atom_t a = atom(c, name);
        if (std::find(want.begin(), want.end(), a) == want.end()) {
            want.push_back(a);
        }
    }
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, netState, XCB_ATOM_ATOM, 32,
                        uint32_t(want.size()), want.data());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom(c, "_NET_WM_DESKTOP"), XCB_ATOM_CARDINAL,
                        32, 1, &allDesktops);
}

void sendToRoot(xcb_connection_t* c, xcb_window_t w, xcb_atom_t type, uint32_t d0, uint32_t d1,
                uint32_t d2) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = w;
    event.type = type;
    event.data.data32[0] = d0;
    event.data.data32[1] = d1;
    event.data.data32[2] = d2;
    event.data.data32[3] = 1; // source: an application
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_send_event(c, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

// Once mapped, a window manager takes state changes only as requests sent to
// the root window; without one nobody listens and nothing is lost.
void requestStatesOnMapped(xcb_connection_t* c, xcb_window_t w) {
    const xcb_atom_t netState = atom(c, "_NET_WM_STATE");
    constexpr uint32_t add = 1;
    for (const char* name : states) {
        sendToRoot(c, w, netState, add, atom(c, name), 0);
    }
    sendToRoot(c, w, atom(c, "_NET_WM_DESKTOP"), allDesktops, 2, 0);
}

BitmapLayout bitmapLayout(xcb_connection_t* c) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    BitmapLayout layout;
    layout.pad = setup->bitmap_format_scanline_pad;
    layout.unit = setup->bitmap_format_scanline_unit;
    layout.msbFirst = setup->bitmap_format_bit_order == XCB_IMAGE_ORDER_MSB_FIRST;
    layout.swapUnits = setup->image_byte_order != setup->bitmap_format_bit_order;
    return layout;
}

// What the window paints now, as one bit a pixel where it is not the key.
struct Cut {
    QSize size;
    std::vector<uint8_t> bits;
    bool operator==(const Cut& o) const { return size == o.size && bits == o.bits; }
};

Cut cutOf(xcb_connection_t* c, QWidget& window) {
    const qreal ratio = window.devicePixelRatioF();
    QImage image(window.size() * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    window.render(&image);
    return {image.size(), opaqueMask(image, QRgb(colourKey), bitmapLayout(c))};
}

// The cut-out as a one-bit mask on the server: a handful of small requests,
// however intricate the lettering.
xcb_pixmap_t maskOf(xcb_connection_t* c, QWidget& window, const Cut& cut) {
    const auto w = xcb_window_t(window.winId());
    const xcb_pixmap_t mask = xcb_generate_id(c);
    const auto width = uint16_t(cut.size.width()), height = uint16_t(cut.size.height());
    xcb_create_pixmap(c, 1, mask, w, width, height);
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, mask, 0, nullptr);
    xcb_put_image(c, XCB_IMAGE_FORMAT_XY_PIXMAP, mask, gc, width, height, 0, 0, 0, 1,
                  uint32_t(cut.bits.size()), cut.bits.data());
    xcb_free_gc(c, gc);
    return mask;
}

void setShape(xcb_connection_t* c, QWidget& window, xcb_shape_op_t op, xcb_pixmap_t mask) {
    xcb_shape_mask(c, op, XCB_SHAPE_SK_BOUNDING, xcb_window_t(window.winId()), 0, 0, mask);
}

// What is kept for each panel window. Captions change between ticks (and the
// configuration info window is keyed only when it loads), so the cut-out
// follows the window's picture: the window says when its texts changed, and
// the picture is then rendered once and sent only where it differs.
class WindowState : public QObject {
public:
    static WindowState& of(QWidget& window) {
        WindowState* found = all().value(&window);
        return found ? *found : *new WindowState(window);
    }
    explicit WindowState(QWidget& window) : QObject(&window), window_(window) {
        all().insert(&window, this);
    }
    ~WindowState() override { all().remove(&window_); }
    void reshapeNow(bool changed) {
        xcb_connection_t* c = connection();
        if (!c) {
            return;
        }
        const WId id = window_.winId();
        if (id == shapedId_ && !changed) {
            return;
        }
        Cut now = cutOf(c, window_);
        if (id == shapedId_ && now == shaped_) {
            return; // the same picture: nothing goes to the server
        }
        const xcb_pixmap_t mask = maskOf(c, window_, now);
        if (id != shapedId_) {
            setShape(c, window_, XCB_SHAPE_SO_SET, mask);
            xcb_free_pixmap(c, mask);
            xcb_flush(c);
        } else {
            // A new picture on a shaped window: until its pixels are on the
            // server, only what both pictures cover shows, so that no moment
            // shows key-coloured ground or half of the old lettering.
            settle();
            setShape(c, window_, XCB_SHAPE_SO_INTERSECT, mask);
            xcb_flush(c);
            settling_ = mask;
            QTimer::singleShot(0, this, [this] { settle(); });
        }
        shaped_ = std::move(now);
        shapedId_ = id;
    }

    // The cut-out of the new picture, once Qt has sent its pixels.
    void settle() {
        xcb_connection_t* c = connection();
        if (settling_ && c) {
            setShape(c, window_, XCB_SHAPE_SO_SET, settling_);
            xcb_free_pixmap(c, settling_);
            xcb_flush(c);
        }
        settling_ = 0;
    }

    bool statesRequested = false; // of the window manager, once the window is mapped
    bool managed = false;         // in a window manager's frame

private:
    static QHash<const QWidget*, WindowState*>& all() {
        static QHash<const QWidget*, WindowState*> each;
        return each;
    }

    QWidget& window_;
    Cut shaped_; // the cut-out last set
    WId shapedId_ = 0;
    xcb_pixmap_t settling_ = 0; // the new cut-out, set once the new pixels are sent
};

// A restack that moves the window makes the server report its geometry, and
// Qt answers every report with a round trip asking where the window is. A
// report of the very geometry Qt already holds tells it nothing, so it is
// dropped; under a window manager the reports are relative to the frame and pass.
class UnchangedGeometryFilter : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if (type != "xcb_generic_event_t" || event->response_type != XCB_CONFIGURE_NOTIFY) {
            return false; // sent events (bit 0x80 set) are left to Qt as well
        }
        const auto* n = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
        const QWidget* w = QWidget::find(n->window);
        if (n->event != n->window || !w || !w->isWindow() || !w->windowHandle() ||
            w->devicePixelRatioF() != 1 || n->border_width != 0) {
            return false;
        }
        const QRect reported(n->x, n->y, n->width, n->height);
        return reported == w->geometry() && reported == w->windowHandle()->geometry();
    }
};

// A window manager takes a window into a frame of its own; a restack is then a
// request to it. Reparenting is reported to the window's own client.
class FrameWatch : public QAbstractNativeEventFilter {
public:
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if (type == "xcb_generic_event_t" && (event->response_type & 0x7F) == XCB_REPARENT_NOTIFY) {
            const auto* n = reinterpret_cast<const xcb_reparent_notify_event_t*>(event);
            QWidget* w = QWidget::find(n->window);
            xcb_connection_t* c = connection();
            if (n->event == n->window && w && w->isWindow() && c) {
                WindowState::of(*w).managed =
                    n->parent != xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
            }
        }
        return false;
    }
};

// Both windows' ticks fall due together: their restacks go to the server in
// one write, once the event loop is about to wait.
void flushBeforeWaiting(xcb_connection_t* c) {
    static bool pending = false;
    static QPointer<QAbstractEventDispatcher> hooked;
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher) {
        xcb_flush(c);
        return;
    }
    if (hooked != dispatcher) {
        hooked = dispatcher;
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, dispatcher, [] {
            if (std::exchange(pending, false)) {
                if (xcb_connection_t* now = connection()) {
                    xcb_flush(now);
                }
            }
        });
    }
    pending = true;
}

} // namespace

Qt::WindowFlags X11Layer::windowFlags() const {
    // Not Qt::Tool: that makes Qt mark the window transient for the root,
    // which window managers stack with the application's other windows.
    return Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint;
}

// The cut-out, made where the window has none yet or its texts changed.
static void keyWindow(QWidget& window, bool changed) {
    xcb_connection_t* c = connection();
    if (!c) {
        return;
    }
    const auto w = xcb_window_t(window.winId());
    if (!window.isVisible()) {
        setStatesOnUnmapped(c, w);
    }
    WindowState::of(window).reshapeNow(changed);
}

void X11Layer::applyColourKey(QWidget& window) {
    keyWindow(window, false);
}

void X11Layer::pictureChanged(QWidget& window) {
    keyWindow(window, true);
}

void X11Layer::sendToBottom(QWidget& window) {
    xcb_connection_t* c = connection();
    if (!c) {
        return;
    }
    static UnchangedGeometryFilter* filter = nullptr;
    if (!filter) {
        filter = new UnchangedGeometryFilter;
        qApp->installNativeEventFilter(filter);
        qApp->installNativeEventFilter(new FrameWatch);
    }
    const auto w = xcb_window_t(window.winId());
    WindowState& state = WindowState::of(window);
    if (window.isVisible() && !state.statesRequested) {
        state.statesRequested = true;
        requestStatesOnMapped(c, w);
    }
    // Under a window manager this becomes a restack request for the frame.
    // Without one the server lowers the window only where it covers another
    // (BottomIf), which looks the same as beneath every window; the two panel
    // windows then no longer swap places at the bottom every second, each swap
    // a move the server works through and reports.
    const uint32_t mode = state.managed ? XCB_STACK_MODE_BELOW : XCB_STACK_MODE_BOTTOM_IF;
    xcb_configure_window(c, w, XCB_CONFIG_WINDOW_STACK_MODE, &mode);
    flushBeforeWaiting(c);
}

} // namespace tidepanel
