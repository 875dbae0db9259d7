#include "window_ops.h"

#include "form.h"

#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QWidget>

#include <cmath>

namespace tidepanel {
namespace {

QRect primaryScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect();
}

qreal screenRatio() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->devicePixelRatio() : 1;
}

constexpr int bottomMargin = 450; // twips

int flushRight(const QRect& screen, int width, qreal ratio) {
    if (ratio == 1) {
        return screen.x() + screen.width() - width;
    }
    // Scaled, the screen's width is its device width divided and rounded, so
    // the device width may be up to half a pixel of the ratio less than
    // `screen` suggests, and a place and a width are each rounded on their way
    // to device pixels. The window ends at or before the least device width the
    // screen can have: the rightmost place whose rounding stays there.
    const int device = int(std::ceil((screen.width() - 0.5) * ratio - 1e-9));
    const int left = device - qRound(width * ratio);
    return screen.x() + int(std::ceil((left + 0.5) / ratio - 1e-9)) - 1;
}

} // namespace

void ApplyColourKey(DesktopLayer& layer, QWidget& window, bool changed) {
    if (layer.makeTranslucent(window)) {
        return;
    }
    const QColor key = form::bgr(colourKey);
    if (window.palette().color(QPalette::Window) != key) { // a copy and a compare otherwise
        QPalette palette = window.palette();
        palette.setColor(QPalette::Window, key);
        window.setPalette(palette);
    }
    window.setAutoFillBackground(true);
    if (changed) {
        layer.pictureChanged(window);
    } else {
        layer.applyColourKey(window);
    }
}

void SendToBottom(DesktopLayer& layer, QWidget& window) {
    layer.sendToBottom(window);
}

QPoint lowerRight(const QRect& screen, const QSize& window, qreal ratio) {
    return QPoint(flushRight(screen, window.width(), ratio),
                  screen.y() + screen.height() - window.height() - form::px(bottomMargin));
}

QPoint upperRight(const QRect& screen, const QSize& window, qreal ratio) {
    return QPoint(flushRight(screen, window.width(), ratio), screen.y());
}

// Both panel windows are frameless, so the whole window is the widget itself;
// its frame geometry is not known (1 x 1) until the window manager has
// answered, and a move by it would push the window off the screen's corner.
void PlaceLowerRight(DesktopLayer& layer, QWidget& window) {
    if (!layer.anchor(window, Qt::BottomRightCorner, form::px(bottomMargin))) {
        window.move(lowerRight(primaryScreen(), window.size(), screenRatio()));
    }
}

void PlaceUpperRight(DesktopLayer& layer, QWidget& window) {
    if (!layer.anchor(window, Qt::TopRightCorner, 0)) {
        window.move(upperRight(primaryScreen(), window.size(), screenRatio()));
    }
}

} // namespace tidepanel
