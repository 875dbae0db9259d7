#include "desktop_layer.h"

namespace tidepanel {

Qt::WindowFlags DesktopLayer::windowFlags() const {
    return Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint;
}

bool DesktopLayer::makeTranslucent(QWidget&) {
    return false;
}

void DesktopLayer::applyColourKey(QWidget&) {}

void DesktopLayer::pictureChanged(QWidget& window) {
    applyColourKey(window);
}

void DesktopLayer::sendToBottom(QWidget&) {}

bool DesktopLayer::anchor(QWidget&, Qt::Corner, int) {
    return false;
}

} // namespace tidepanel
