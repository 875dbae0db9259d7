// Code page 936 exactly as Windows defines it, through ICU's windows-936
// table, so that a file reads and writes here as it does there.
#include "ansi.h"

#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

#include <string>

namespace ansi {
namespace {

bool ascii(std::u16string_view text) {
    for (char16_t c : text) {
        if (c >= 0x80) {
            return false;
        }
    }
    return true;
}

} // namespace

std::optional<std::string> encode(std::u16string_view text) {
    // Names are ASCII: the panel's reads then need no converter at all.
    if (ascii(text)) {
        return std::string(text.begin(), text.end());
    }
    QStringView view(text.data(), qsizetype(text.size()));
    if (!view.isValidUtf16()) {
        return std::nullopt; // a lone surrogate would silently vanish
    }
    // A fresh converter each time: a reused one (resetState) no longer
    // reports the characters it could not convert.
    QStringEncoder encoder("windows-936");
    QByteArray bytes = encoder.encode(view);
    if (encoder.hasError()) {
        return std::nullopt; // a character the code page lacks
    }
    return bytes.toStdString();
}

// As Windows reads it: a lead byte takes the next byte with it, and a pair
// the code page does not define, or a lead byte at the very end, is one "?".
std::u16string decode(std::string_view bytes) {
    QByteArray clean;
    clean.reserve(qsizetype(bytes.size()));
    for (size_t i = 0; i < bytes.size(); ++i) {
        const uchar lead = uchar(bytes[i]);
        if (lead < 0x81 || lead > 0xFE) {
            clean.append(char(lead));
            continue;
        }
        const uchar trail = i + 1 < bytes.size() ? uchar(bytes[++i]) : 0;
        if ((trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFE)) {
            clean.append(char(lead)).append(char(trail));
        } else {
            clean.append('?');
        }
    }
    static QStringDecoder decoder("windows-936");
    decoder.resetState();
    return QString(decoder.decode(clean)).toStdU16String();
}

profile::Units units() {
    return profile::Units::DoubleByte;
}

} // namespace ansi
