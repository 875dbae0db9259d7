#include "lettering.h"

#include "form.h"

#include <QPalette>

namespace tidepanel {

void setUpLabel(QLabel& label, QWidget* parent, const QString& caption, const QRect& geometry,
                unsigned bgr, const QFont& font) {
    label.setParent(parent);
    label.setText(caption);
    label.setTextFormat(Qt::PlainText);
    label.setGeometry(geometry);
    label.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Without anti-aliasing: a pale fringe of near-key pixels would stay
    // visible around every character once the key colour is cut away.
    QFont crisp = font;
    crisp.setStyleStrategy(QFont::NoAntialias);
    label.setFont(crisp);
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, form::bgr(bgr));
    label.setPalette(palette);
}

} // namespace tidepanel
