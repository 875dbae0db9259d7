// The labels of both panel windows: bare coloured lettering on the colour key.
#pragma once

#include <QFont>
#include <QImage>
#include <QLabel>
#include <QRect>
#include <QString>

namespace tidepanel {

// A label whose every pixel is either its text colour or untouched ground, at
// any scale of the screen. Anti-aliased lettering would blend its edges with
// the colour key, and those near-key pixels would stay as a pale fringe once
// the key is cut away; switching anti-aliasing off in the font is not enough,
// because scaled text may be drawn as filled outlines, smoothed all the same.
class Lettering : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The two-level picture of the text, kept until what it was drawn from
    // changes: a window's repaint and the render for its cut-out share it.
    QImage picture_;
    QString drawnText_;
    Qt::Alignment drawnAlignment_;
    bool drawnWrap_ = false;
};

// Places a label of the window tables on `parent`: caption, geometry, text
// colour (&HBBGGRR) and font, left- and top-aligned on a transparent ground.
void setUpLabel(QLabel& label, QWidget* parent, const QString& caption, const QRect& geometry,
                unsigned bgr, const QFont& font);

} // namespace tidepanel
