#include "window_ops.h"

#include "form.h"

#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QWidget>

namespace tidepanel {
namespace {

QRect primaryScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect();
}

constexpr int bottomMargin = 450; // twips

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

QPoint lowerRight(const QRect& screen, const QSize& window) {
    return QPoint(screen.x() + screen.width() - window.width(),
                  screen.y() + screen.height() - window.height() - form::px(bottomMargin));
}

QPoint upperRight(const QRect& screen, const QSize& window) {
    return QPoint(screen.x() + screen.width() - window.width(), screen.y());
}

// Both panel windows are frameless, so the whole window is the widget itself;
// its frame geometry is not known (1 x 1) until the window manager has
// answered, and a move by it would push the window off the screen's corner.
void PlaceLowerRight(DesktopLayer& layer, QWidget& window) {
    if (!layer.anchor(window, Qt::BottomRightCorner, form::px(bottomMargin))) {
        window.move(lowerRight(primaryScreen(), window.size()));
    }
}

void PlaceUpperRight(DesktopLayer& layer, QWidget& window) {
    if (!layer.anchor(window, Qt::TopRightCorner, 0)) {
        window.move(upperRight(primaryScreen(), window.size()));
    }
}

} // namespace tidepanel
