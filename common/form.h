// What the window tables are written in: twips, colours in blue-green-red
// order, and Chinese font names that may not be installed.
#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

namespace form {

// 15 twips to a logical pixel; Qt scales logical pixels on high-DPI screens.
constexpr int twipsPerPixel = 15;
constexpr int px(int twips) {
    return (twips + twipsPerPixel / 2) / twipsPerPixel;
}
inline QRect rect(int left, int top, int width, int height) {
    return QRect(px(left), px(top), px(width), px(height));
}

// A colour written &HBBGGRR.
inline QColor bgr(unsigned value) {
    return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF));
}

// A font of the tables, by its Chinese name; where it is missing, an
// installed CJK font of the same kind stands in for it.
QFont font(const QString& family, qreal points, bool bold);

} // namespace form
