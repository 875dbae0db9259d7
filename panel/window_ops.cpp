#include "window_ops.h"

#include "form.h"
#include "window_backend.h"

#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QWidget>

namespace tidepanel {
namespace {

QStringList& record() {
    static QStringList taken;
    return taken;
}

QRect primaryScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect();
}

constexpr int bottomMargin = 450; // twips

} // namespace

void ApplyColourKey(QWidget& window) {
    if (backend::makeTranslucent(window)) {
        return;
    }
    const QColor key = form::bgr(colourKey);
    if (window.palette().color(QPalette::Window) != key) { // a copy and a compare otherwise
        QPalette palette = window.palette();
        palette.setColor(QPalette::Window, key);
        window.setPalette(palette);
    }
    window.setAutoFillBackground(true);
    if (!backend::applyColourKey(window)) {
        record().append(QStringLiteral("ApplyColourKey ") + window.windowTitle());
    }
}

void SendToBottom(QWidget& window) {
    if (!backend::sendToBottom(window)) {
        record().append(QStringLiteral("SendToBottom ") + window.windowTitle());
    }
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
void PlaceLowerRight(QWidget& window) {
    if (!backend::anchor(window, Qt::BottomRightCorner, form::px(bottomMargin))) {
        window.move(lowerRight(primaryScreen(), window.size()));
    }
}

void PlaceUpperRight(QWidget& window) {
    if (!backend::anchor(window, Qt::TopRightCorner, 0)) {
        window.move(upperRight(primaryScreen(), window.size()));
    }
}

namespace ops_record {
QStringList taken() {
    return record();
}
void clear() {
    record().clear();
}
} // namespace ops_record

} // namespace tidepanel
