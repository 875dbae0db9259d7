#include "lettering.h"

#include "form.h"

#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QStyle>

namespace tidepanel {
namespace {

// Makes a picture (premultiplied ARGB) drawn on a transparent ground
// two-level: every pixel at least half covered becomes `colour`, every other
// one transparent.
void twoLevels(QImage& image, QRgb colour) {
    const QRgb opaque = colour | 0xFF000000u;
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            row[x] = qAlpha(row[x]) >= 128 ? opaque : 0;
        }
    }
}

} // namespace

void Lettering::paintEvent(QPaintEvent*) {
    // The text is drawn at the resolution of the device painted on, on a
    // transparent picture of its own, made two-level, and copied pixel for pixel.
    QPainter onWidget(this);
    const qreal ratio = onWidget.device()->devicePixelRatioF();
    const QSize pixels = size() * ratio;
    if (picture_.size() != pixels || picture_.devicePixelRatio() != ratio || drawnText_ != text() ||
        drawnAlignment_ != alignment() || drawnWrap_ != wordWrap()) {
        picture_ = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        picture_.setDevicePixelRatio(ratio);
        picture_.fill(Qt::transparent);
        {
            QPainter painter(&picture_);
            painter.setFont(font());
            const int flags = int(alignment()) | (wordWrap() ? int(Qt::TextWordWrap) : 0);
            style()->drawItemText(&painter, contentsRect(), flags, palette(), isEnabled(), text(),
                                  foregroundRole());
        }
        const QColor colour =
            palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole());
        twoLevels(picture_, colour.rgb());
        drawnText_ = text();
        drawnAlignment_ = alignment();
        drawnWrap_ = wordWrap();
    }
    onWidget.drawImage(QPointF(0, 0), picture_);
}

void Lettering::changeEvent(QEvent* event) {
    // A new font, colour, style or state: drawn afresh at the next paint.
    picture_ = QImage();
    QLabel::changeEvent(event);
}

void setUpLabel(QLabel& label, QWidget* parent, const QString& caption, const QRect& geometry,
                unsigned bgr, const QFont& font) {
    label.setParent(parent);
    label.setText(caption);
    label.setTextFormat(Qt::PlainText);
    label.setGeometry(geometry);
    label.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Where the font engine honours it, the letters come out as the font's
    // own two-level rendering, crisper than a cut through smoothed edges.
    QFont crisp = font;
    crisp.setStyleStrategy(QFont::NoAntialias);
    label.setFont(crisp);
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, form::bgr(bgr));
    label.setPalette(palette);
}

} // namespace tidepanel
