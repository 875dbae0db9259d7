// What the editor's five windows share: their frame, their place on the
// screen, single-line text boxes, the default button, and writes that stop
// at the first one the file refused.
#pragma once

#include "rwini.h"
#include "seams.h"

#include <QIcon>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QWidget>

#include <initializer_list>
#include <memory>

namespace tideedit {

// A resizable frame with title bar, minimise button and close box, but no
// maximise button.
Qt::WindowFlags frameFlags();

// Keeps the window out of the maximised state, where a window manager offers
// a maximise button in spite of the frame flags.
void refuseMaximise(QWidget& window);

// Moves a window that is about to be shown to the centre of its screen.
void centreOnScreen(QWidget& window);

// The editor's icon (main window, advanced settings, configuration, help)
// and the panel's icon (about box).
QIcon editorIcon();
QIcon panelIcon();

// A one-line text box: a line break never gets in. Pasted text is kept up
// to its first line break, as single-line edit controls do, so that a value
// that the file cannot hold is never offered for saving.
class LineBox : public QLineEdit {
public:
    LineBox();
    // Sets the text up to its first line break (then cut to maxLength).
    void setText(const QString& text);

private:
    void cutLineBreaks(const QString& now);
    QString last_;
};

// Return and Enter press `button` wherever the focus is inside `window`.
void pressOnEnter(QWidget& window, QPushButton& button);

// A message box; afterwards the window that was active gets the keyboard
// back, as the owner of a box does, also where no window manager hands it back.
void tell(const QString& text, const QString& title = QString(),
          seams::Icon icon = seams::Icon::None);

// One write of a confirm command.
struct Write {
    const QString& section;
    const QString& key;
    QString value;
};

// Writes every value, or none where one cannot be stored (then tells the
// user that the change was not saved, and why). Returns whether they were written.
bool writeAll(std::initializer_list<Write> writes);

// Tells the user of a failed save, with its reason; whether it was saved.
bool told(rwini::Saved saved);

// The one instance of a secondary window: an open one comes to the front as
// it is; a closed (or never opened) one is made afresh, loaded and shown.
template <class W> W& showSecondary(std::unique_ptr<W>& slot) {
    if (!slot || !slot->isVisible()) {
        slot = std::make_unique<W>();
        slot->Form_Load();
        centreOnScreen(*slot);
        slot->show();
    }
    if (slot->isMinimized()) {
        slot->showNormal();
    }
    slot->raise();
    slot->activateWindow();
    return *slot;
}

} // namespace tideedit
