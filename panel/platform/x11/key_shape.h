// What is left of a window once every pixel of the colour key is cut away.
#pragma once

#include <QImage>

#include <cstdint>
#include <vector>

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

} // namespace tidepanel
