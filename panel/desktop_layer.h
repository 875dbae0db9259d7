// What the panel's two windows ask of the window system: frame and taskbar
// flags, a see-through ground, the bottom of the window stack and a corner
// of the screen. Each platform's room (platform/x11, platform/wayland,
// platform/windows) implements it; this base asks for the flags of a
// frameless window kept low and does nothing else, which is all the tests'
// offscreen platform needs.
#pragma once

#include <Qt>

class QWidget;

namespace tidepanel {

// Every pixel of exactly this colour (&HFEFEFE) is see-through.
inline constexpr unsigned colourKey = 0xFEFEFE;

class DesktopLayer {
public:
    virtual ~DesktopLayer() = default;

    // No frame, no taskbar button, kept low where the platform can.
    virtual Qt::WindowFlags windowFlags() const;
    // Where the window system blends windows by their alpha: the window gets
    // an alpha channel and a clear ground, and true; false where the colour
    // key is needed.
    virtual bool makeTranslucent(QWidget& window);
    // Makes the colour key see-through; the ground is already painted in it.
    virtual void applyColourKey(QWidget& window);
    // As applyColourKey, right after the window's texts changed and before
    // anything paints them: the cut-out is made ready for the new picture.
    virtual void pictureChanged(QWidget& window);
    virtual void sendToBottom(QWidget& window);
    // Where the window system places windows itself, asks it to hold the
    // window in `corner` of the primary screen, `margin` pixels from its lower
    // or upper edge, and true; false where the program moves the window.
    virtual bool anchor(QWidget& window, Qt::Corner corner, int margin);
};

// The layer of the platform Qt runs on, for the life of the program.
DesktopLayer& platformLayer();

} // namespace tidepanel
