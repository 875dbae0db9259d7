// What is left of a window once every pixel of the colour key is cut away.
#pragma once

#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>

#include <cstdint>
#include <vector>

class QWidget;

namespace tidepanel {

// How the X server wants a bitmap laid out: rows padded to `pad` bits, the
// leftmost pixel in the lowest (or, msbFirst, the highest) bit of a byte, and
// the bytes of each `unit`-bit unit reversed when the server's byte order
// differs from its bit order.
struct BitmapLayout {
    int pad = 32;
    bool msbFirst = false;
    int unit = 32;
    bool swapUnits = false;
};

// Bytes per row of a bitmap `width` pixels wide.
int bitmapStride(int width, const BitmapLayout& layout);

// One bit per pixel of `image`, set where the pixel is not `key`.
std::vector<uint8_t> opaqueMask(const QImage& image, QRgb key, const BitmapLayout& layout);

// Everything a window's picture is made of: size, background, and for each
// shown child its place, text, font and colours. The same description paints
// the same picture, so the cut-out need not be recomputed.
struct Painted {
    struct Part {
        const QWidget* widget;
        QRect geometry;
        bool enabled;
        QFont font;
        QRgb colour;
        // Labels only:
        QString text;
        int alignment, indent, margin, format;
        bool wordWrap;
        bool operator==(const Part& o) const;
    };
    QSize size;
    qreal ratio = 1;
    QRgb background = 0;
    std::vector<Part> parts;
    bool operator==(const Painted& o) const;
    bool operator!=(const Painted& o) const { return !(*this == o); }
};
Painted painted(const QWidget& window);

} // namespace tidepanel
