// Platforms without native window operations here: every request is
// recorded by the caller.
#include "window_backend.h"

namespace tidepanel::backend {

Qt::WindowFlags windowFlags() {
    return Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint;
}

bool applyColourKey(QWidget&) {
    return false;
}

bool sendToBottom(QWidget&) {
    return false;
}

// The window is keyed and moved by the program itself.
bool makeTranslucent(QWidget&) {
    return false;
}

bool anchor(QWidget&, Qt::Corner, int) {
    return false;
}

} // namespace tidepanel::backend
