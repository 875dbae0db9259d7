// The window operations on an X server without a compositor: the colour key
// becomes a cut-out made with the SHAPE extension, stacking goes through the
// window manager's EWMH states where one runs and a plain lower otherwise.
#include "key_shape.h"
#include "window_backend.h"
#include "window_ops.h"

#include <QEvent>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace tidepanel::backend {
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

void shape(xcb_connection_t* c, QWidget& window) {
    const QImage image = window.grab().toImage();
    const std::vector<QRect> runs = opaqueRuns(image, QRgb(colourKey));
    std::vector<xcb_rectangle_t> rects;
    rects.reserve(runs.size());
    for (const QRect& r : runs) {
        rects.push_back(
            {int16_t(r.x()), int16_t(r.y()), uint16_t(r.width()), uint16_t(r.height())});
    }
    xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_YX_BANDED,
                         xcb_window_t(window.winId()), 0, 0, uint32_t(rects.size()), rects.data());
    xcb_flush(c);
}

// Captions change between ticks (and the configuration info window is keyed
// only when it loads), so the cut-out follows every repaint of the window.
class Reshaper : public QObject {
public:
    explicit Reshaper(QWidget& window) : QObject(&window), window_(window) {
        window.installEventFilter(this);
        for (QWidget* child : window.findChildren<QWidget*>()) {
            child->installEventFilter(this);
        }
    }
    void reshapeNow() {
        if (xcb_connection_t* c = connection()) {
            grabbing_ = true; // grab() paints too; those paints must not schedule another
            shape(c, window_);
            grabbing_ = false;
        }
        pending_ = false;
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && !grabbing_ && !pending_) {
            pending_ = true;
            QTimer::singleShot(0, this, [this] { reshapeNow(); });
        }
        return false;
    }

private:
    QWidget& window_;
    bool grabbing_ = false;
    bool pending_ = false;
};

} // namespace

Qt::WindowFlags windowFlags() {
    // Not Qt::Tool: that makes Qt mark the window transient for the root,
    // which window managers stack with the application's other windows.
    return Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint;
}

bool applyColourKey(QWidget& window) {
    xcb_connection_t* c = connection();
    if (!c) {
        return false;
    }
    const auto w = xcb_window_t(window.winId());
    if (!window.isVisible()) {
        setStatesOnUnmapped(c, w);
    }
    auto* reshaper = static_cast<Reshaper*>(window.property("tideReshaper").value<QObject*>());
    if (!reshaper) {
        reshaper = new Reshaper(window);
        window.setProperty("tideReshaper", QVariant::fromValue<QObject*>(reshaper));
    }
    reshaper->reshapeNow();
    return true;
}

bool sendToBottom(QWidget& window) {
    xcb_connection_t* c = connection();
    if (!c) {
        return false;
    }
    const auto w = xcb_window_t(window.winId());
    if (window.isVisible() && !window.property("tideStatesRequested").toBool()) {
        window.setProperty("tideStatesRequested", true);
        requestStatesOnMapped(c, w);
    }
    // Under a window manager this becomes a restack request for the frame.
    const uint32_t below = XCB_STACK_MODE_BELOW;
    xcb_configure_window(c, w, XCB_CONFIG_WINDOW_STACK_MODE, &below);
    xcb_flush(c);
    return true;
}

} // namespace tidepanel::backend
