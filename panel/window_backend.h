// The native half of the window operations, one file per platform. Each
// returns false when the running Qt platform is not its own, and the caller
// then records the request instead (the tests' offscreen platform).
#pragma once

#include <Qt>

class QWidget;

namespace tidepanel::backend {

// Frame and taskbar flags of both panel windows.
Qt::WindowFlags windowFlags();
// Makes the colour key see-through; the background is already painted in it.
bool applyColourKey(QWidget& window);
bool sendToBottom(QWidget& window);

} // namespace tidepanel::backend
