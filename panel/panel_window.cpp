#include "panel_window.h"

#include "form.h"
#include "notice.h"
#include "seams.h"

#include <QGuiApplication>
#include <QPalette>
#include <QScreen>

#include <cmath>

namespace tidepanel {
namespace {

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

QPoint lowerRight(const QRect& screen, const QSize& window, qreal ratio) {
    return QPoint(flushRight(screen, window.width(), ratio),
                  screen.y() + screen.height() - window.height() - form::px(bottomMargin));
}

QPoint upperRight(const QRect& screen, const QSize& window, qreal ratio) {
    return QPoint(flushRight(screen, window.width(), ratio), screen.y());
}

PanelWindow::PanelWindow(NoticeSource& source, DesktopLayer& layer, const QString& caption,
                         int twipsWide, int twipsHigh)
    : QWidget(nullptr, layer.windowFlags()), source_(source), layer_(layer) {
    setWindowTitle(caption);
    setFixedSize(form::px(twipsWide), form::px(twipsHigh));
}

void PanelWindow::arrive(Qt::Corner corner) {
    place(corner);
    applyColourKey();
    sendToBottom();
}

// Both panel windows are frameless, so the whole window is the widget itself;
// its frame geometry is not known (1 x 1) until the window manager has
// answered, and a move by it would push the window off the screen's corner.
void PanelWindow::place(Qt::Corner corner) {
    const bool lower = corner == Qt::BottomRightCorner;
    if (layer_.anchor(*this, corner, lower ? form::px(bottomMargin) : 0)) {
        return;
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect();
    const qreal ratio = screen ? screen->devicePixelRatio() : 1;
    move(lower ? lowerRight(area, size(), ratio) : upperRight(area, size(), ratio));
}

void PanelWindow::applyColourKey() {
    keyed_ = true;
    if (layer_.makeTranslucent(*this)) {
        return;
    }
    const QColor key = form::bgr(colourKey);
    if (palette().color(QPalette::Window) != key) { // a copy and a compare otherwise
        QPalette ground = palette();
        ground.setColor(QPalette::Window, key);
        setPalette(ground);
    }
    setAutoFillBackground(true);
    layer_.applyColourKey(*this);
}

bool PanelWindow::put(QLabel& label, const QString& text) {
    if (label.text() == text) {
        return false;
    }
    label.setText(text);
    return true;
}

bool PanelWindow::put(QLabel& label, bool shown) {
    if (label.isHidden() != shown) {
        return false;
    }
    label.setVisible(shown);
    return true;
}

void PanelWindow::pictureChanged() {
    if (keyed_ && !testAttribute(Qt::WA_TranslucentBackground)) {
        layer_.pictureChanged(*this);
    }
}

bool PanelWindow::endsHere() const {
    if (!source_.notice().ends) {
        return false;
    }
    seams::endProcess(0);
    return true;
}

bool PanelWindow::infoWanted() const {
    return source_.notice().infoSwitch != QLatin1String("0");
}

} // namespace tidepanel
