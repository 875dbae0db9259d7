#include "ansi.h"

#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

namespace ansi {

std::optional<std::string> encode(std::u16string_view text) {
    QStringView view(text.data(), qsizetype(text.size()));
    if (!view.isValidUtf16()) {
        return std::nullopt; // a lone surrogate would silently vanish
    }
    // Making a converter costs more than a whole lookup; keep one, reset per call.
    static QStringEncoder encoder("GB18030");
    encoder.resetState();
    QByteArray bytes = encoder.encode(view);
    if (encoder.hasError()) {
        return std::nullopt;
    }
    return bytes.toStdString();
}

std::u16string decode(std::string_view bytes) {
    static QStringDecoder decoder("GB18030");
    decoder.resetState();
    QString text = decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    return text.toStdU16String();
}

profile::Units units() {
    return profile::Units::DoubleByte;
}

} // namespace ansi
