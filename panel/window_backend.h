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
// Where the window system blends windows by their alpha, the window gets an
// alpha channel and a clear ground instead of the colour key; false where the
// key is needed.
bool makeTranslucent(QWidget& window);
// Where the window system places windows itself, asks it to hold the window
// in `corner` of the primary screen, `margin` pixels from its lower or upper
// edge; false where the program moves the window.
bool anchor(QWidget& window, Qt::Corner corner, int margin);

} // namespace tidepanel::backend
