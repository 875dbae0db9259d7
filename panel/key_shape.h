// What is left of a window once every pixel of the colour key is cut away.
#pragma once

#include <QImage>
#include <QRect>

#include <vector>

namespace tidepanel {

// Rectangles covering exactly the pixels of `image` that are not `key`, in
// the image's own pixels; rows with the same runs are merged.
std::vector<QRect> opaqueRuns(const QImage& image, QRgb key);

} // namespace tidepanel
