#include "key_shape.h"

namespace tidepanel {

std::vector<QRect> opaqueRuns(const QImage& source, QRgb key) {
    const QImage image = source.convertToFormat(QImage::Format_RGB32);
    key |= 0xFF000000u;
    std::vector<QRect> done;
    std::vector<QRect> open; // runs of the previous row, still growing downwards
    for (int y = 0; y < image.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        std::vector<QRect> runs;
        for (int x = 0; x < image.width();) {
            if ((row[x] | 0xFF000000u) == key) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < image.width() && (row[x] | 0xFF000000u) != key) {
                ++x;
            }
            runs.emplace_back(start, y, x - start, 1);
        }
        const bool same =
            runs.size() == open.size() &&
            std::equal(runs.begin(), runs.end(), open.begin(), [](const QRect& a, const QRect& b) {
                return a.left() == b.left() && a.width() == b.width();
            });
        if (same) {
            for (QRect& r : open) {
                r.setHeight(r.height() + 1);
            }
        } else {
            done.insert(done.end(), open.begin(), open.end());
            open = std::move(runs);
        }
    }
    done.insert(done.end(), open.begin(), open.end());
    return done;
}

} // namespace tidepanel
