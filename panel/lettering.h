// The labels of both panel windows: bare coloured lettering on the colour key.
#pragma once

#include <QFont>
#include <QLabel>
#include <QRect>
#include <QString>

namespace tidepanel {

// Places a label of the window tables on `parent`: caption, geometry, text
// colour (&HBBGGRR) and font, left- and top-aligned on a transparent ground.
void setUpLabel(QLabel& label, QWidget* parent, const QString& caption, const QRect& geometry,
                unsigned bgr, const QFont& font);

} // namespace tidepanel
