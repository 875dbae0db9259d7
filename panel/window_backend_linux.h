// On Linux the panel runs either on an X server (also XWayland) or natively
// on a Wayland compositor with layer-shell; the Qt platform it started on
// picks one of these two sets of window operations (window_ops_linux.cpp).
#pragma once

#include "window_backend.h"

namespace tidepanel::backend {

namespace x11 {
Qt::WindowFlags windowFlags();
bool applyColourKey(QWidget& window);
bool sendToBottom(QWidget& window);
} // namespace x11

namespace wayland {
bool sendToBottom(QWidget& window);
bool makeTranslucent(QWidget& window);
bool anchor(QWidget& window, Qt::Corner corner, int margin);
} // namespace wayland

} // namespace tidepanel::backend
