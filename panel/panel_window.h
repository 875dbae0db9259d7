// What the panel's two windows share: bare lettering on the colour key,
// beneath every other window, at a corner of the screen, a view of the one
// notice source. The steps both windows take (arriving at their corner, the
// close flag, the info switch, telling the desktop layer that the picture
// changed) are here, once.
#pragma once

#include "desktop_layer.h"

#include <QLabel>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>

namespace tidepanel {

class NoticeSource;

class PanelWindow : public QWidget {
    Q_OBJECT
public:
    // Only keeps `source`, which may not be made yet, and `layer`.
    PanelWindow(NoticeSource& source, DesktopLayer& layer, const QString& caption, int twipsWide,
                int twipsHigh);

protected:
    // Where a window loads: placed at `corner`, keyed, sent to the bottom.
    void arrive(Qt::Corner corner);
    // Moves the window into `corner` of the primary screen: flush right,
    // the lower one 450 twips above the screen's lower edge (where the
    // platform places windows itself, asks it to hold it there).
    void place(Qt::Corner corner);
    // Paints the ground in the colour key and makes that colour see-through;
    // where windows are blended by alpha (Wayland), leaves the ground clear.
    void applyColourKey();
    void sendToBottom() { layer_.sendToBottom(*this); }

    // Sets a caption or a label's visibility; whether that changed the picture.
    static bool put(QLabel& label, const QString& text);
    static bool put(QLabel& label, bool shown);
    // After the texts changed and before anything paints them: the cut-out
    // follows the new picture (once the window has one).
    void pictureChanged();

    // The close flag says "End": ends the program, and true.
    bool endsHere() const;
    // Display/Info as a tick reads it: only the text "0" unloads the
    // configuration info window.
    bool infoWanted() const;

    NoticeSource& source_;
    DesktopLayer& layer_;

private:
    bool keyed_ = false; // applyColourKey has run
};

// Where a window of this size goes on this screen, whose device pixels are
// `ratio` to a pixel of `screen`: the lower right, 450 twips above the lower
// edge, or the upper right. Scaled, the window may end a device pixel short
// of the right edge, never past it.
QPoint lowerRight(const QRect& screen, const QSize& window, qreal ratio = 1);
QPoint upperRight(const QRect& screen, const QSize& window, qreal ratio = 1);

} // namespace tidepanel
