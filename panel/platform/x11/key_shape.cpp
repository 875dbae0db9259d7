#include "key_shape.h"

#include <algorithm>

namespace tidepanel {

int bitmapStride(int width, const BitmapLayout& layout) {
    return (width + layout.pad - 1) / layout.pad * layout.pad / 8;
}

std::vector<uint8_t> opaqueMask(const QImage& source, QRgb key, const BitmapLayout& layout) {
    const QImage image = source.format() == QImage::Format_RGB32 ||
                                 source.format() == QImage::Format_ARGB32_Premultiplied
                             ? source
                             : source.convertToFormat(QImage::Format_RGB32);
    const int width = image.width(), height = image.height();
    const int stride = bitmapStride(width, layout);
    std::vector<uint8_t> bits(size_t(stride) * size_t(height));
    key &= 0xFFFFFFu;
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        uint8_t* out = bits.data() + size_t(stride) * size_t(y);
        for (int x = 0; x < width; ++x) {
            if ((row[x] & 0xFFFFFFu) != key) {
                out[x >> 3] |= uint8_t(layout.msbFirst ? 0x80u >> (x & 7) : 1u << (x & 7));
            }
        }
    }
    if (layout.swapUnits && layout.unit > 8) {
        const size_t unitBytes = size_t(layout.unit / 8);
        for (size_t i = 0; i + unitBytes <= bits.size(); i += unitBytes) {
            std::reverse(bits.begin() + long(i), bits.begin() + long(i + unitBytes));
        }
    }
    return bits;
}

} // namespace tidepanel
