// What the panel's two windows ask of the window system: a see-through
// background, the bottom of the window stack, and the lower-right corner.
// One implementation per platform; only these functions are seen by the
// windows.
#pragma once

#include <QRect>
#include <QSize>
#include <QStringList>

class QWidget;

namespace tidepanel {

// Every pixel of exactly this colour (&HFEFEFE) is see-through.
inline constexpr unsigned colourKey = 0xFEFEFE;

// Paints the window's background in the colour key and makes that colour
// see-through; call again whenever what the window shows has changed. Where
// windows are blended by alpha (Wayland), the ground is left clear instead.
void ApplyColourKey(QWidget& window);

// Puts the window below all other windows.
void SendToBottom(QWidget& window);

// Moves the window flush with the right edge of the primary screen, its lower
// edge 450 twips above the screen's (on Wayland: anchors it there).
void PlaceLowerRight(QWidget& window);

// Moves the window into the upper-right corner of the primary screen.
void PlaceUpperRight(QWidget& window);

// Where PlaceLowerRight puts a window of this size on this screen, whose
// device pixels are `ratio` to a pixel of `screen`; scaled, the window may end
// a device pixel short of the right edge, never past it.
QPoint lowerRight(const QRect& screen, const QSize& window, qreal ratio = 1);
// Where the configuration info window goes when it loads: the upper right.
QPoint upperRight(const QRect& screen, const QSize& window, qreal ratio = 1);

namespace ops_record {
// On platforms without a real implementation (the tests' offscreen one) the
// operations are recorded as "ApplyColourKey <title>", "SendToBottom <title>".
QStringList taken();
void clear();
} // namespace ops_record

} // namespace tidepanel
