// The window operations of the panel's two windows, on the desktop layer the
// windows were given: a see-through background, the bottom of the window
// stack, and a corner of the screen.
#pragma once

#include "desktop_layer.h"

#include <QRect>
#include <QSize>

class QWidget;

namespace tidepanel {

// Every pixel of exactly this colour (&HFEFEFE) is see-through.
inline constexpr unsigned colourKey = 0xFEFEFE;

// Paints the window's background in the colour key and makes that colour
// see-through; `changed` where the window's texts have just changed, so
// that its cut-out follows before anything paints them. Where windows are
// blended by alpha (Wayland), the ground is left clear instead.
void ApplyColourKey(DesktopLayer& layer, QWidget& window, bool changed = false);

// Puts the window below all other windows.
void SendToBottom(DesktopLayer& layer, QWidget& window);

// Moves the window flush with the right edge of the primary screen, its lower
// edge 450 twips above the screen's (on Wayland: anchors it there).
void PlaceLowerRight(DesktopLayer& layer, QWidget& window);

// Moves the window into the upper-right corner of the primary screen.
void PlaceUpperRight(DesktopLayer& layer, QWidget& window);

// Where PlaceLowerRight puts a window of this size on this screen, whose
// device pixels are `ratio` to a pixel of `screen`; scaled, the window may end
// a device pixel short of the right edge, never past it.
QPoint lowerRight(const QRect& screen, const QSize& window, qreal ratio = 1);
// Where the configuration info window goes when it loads: the upper right.
QPoint upperRight(const QRect& screen, const QSize& window, qreal ratio = 1);

} // namespace tidepanel
