#include "rwini.h"

#include "ansi.h"
#include "profile.h"

#include "inifile.h"

#include <QCoreApplication>

#include <optional>

namespace rwini {
namespace {

QString& folderOverride() {
    static QString folder;
    return folder;
}

// A write holds the lock for milliseconds; a confirm or a tick waiting for
// it must not freeze its window for long.
constexpr int writeWaitMs = 400;
constexpr int readWaitMs = 200;

const QByteArray utf8Mark("\xEF\xBB\xBF");
const QByteArray utf16Mark("\xFF\xFE");

std::string_view bytesOf(const QByteArray& a, qsizetype from = 0) {
    return std::string_view(a.constData() + from, size_t(a.size() - from));
}

std::optional<std::string> utf8Of(const QString& s) {
    if (!QStringView(s).isValidUtf16()) {
        return std::nullopt;
    }
    return s.toUtf8().toStdString();
}

// A UTF-16 file as code units; an odd last byte stays aside, kept as it is.
std::u16string unitsOf(const QByteArray& raw, QByteArray& odd) {
    std::u16string units;
    const qsizetype body = raw.size() - utf16Mark.size();
    units.reserve(size_t(body / 2));
    for (qsizetype i = utf16Mark.size(); i + 1 < raw.size(); i += 2) {
        units.push_back(char16_t(uchar(raw[i]) | (uchar(raw[i + 1]) << 8)));
    }
    odd = (body % 2) ? raw.right(1) : QByteArray();
    return units;
}

QByteArray bytesOfUnits(const std::u16string& units, const QByteArray& odd) {
    QByteArray out = utf16Mark;
    out.reserve(out.size() + qsizetype(units.size()) * 2 + odd.size());
    for (char16_t u : units) {
        out.append(char(u & 0xFF));
        out.append(char(u >> 8));
    }
    return out + odd;
}

std::u16string u16(const QString& s) {
    return s.toStdU16String();
}

// The value stored under section/key in the bytes of a file, in whichever of
// the three encodings the file is kept.
std::optional<QString> lookupIn(const QByteArray& raw, const QString& section, const QString& key) {
    if (raw.startsWith(utf16Mark)) {
        QByteArray odd;
        std::u16string units = unitsOf(raw, odd);
        auto value =
            profile::lookup<char16_t>(units, u16(section), u16(key), profile::Units::Single);
        if (!value) {
            return std::nullopt;
        }
        return QString::fromStdU16String(*value);
    }
    if (raw.startsWith(utf8Mark)) {
        auto s = utf8Of(section), k = utf8Of(key);
        if (!s || !k) {
            return std::nullopt;
        }
        auto value =
            profile::lookup<char>(bytesOf(raw, utf8Mark.size()), *s, *k, profile::Units::Single);
        if (!value) {
            return std::nullopt;
        }
        return QString::fromStdString(*value);
    }
    auto s = ansi::encode(u16(section)), k = ansi::encode(u16(key));
    if (!s || !k) {
        return std::nullopt; // a name the file's encoding cannot hold is not in it
    }
    auto value = profile::lookup<char>(bytesOf(raw), *s, *k, ansi::units());
    if (!value) {
        return std::nullopt;
    }
    return QString::fromStdU16String(ansi::decode(*value));
}

// The bytes of the file with the value set, or nothing when the file's
// encoding cannot hold the text.
std::optional<QByteArray> withValueIn(const QByteArray& raw, const QString& section,
                                      const QString& key, const QString& value) {
    if (raw.startsWith(utf16Mark)) {
        if (!QStringView(section).isValidUtf16() || !QStringView(key).isValidUtf16() ||
            !QStringView(value).isValidUtf16()) {
            return std::nullopt;
        }
        QByteArray odd;
        std::u16string units = unitsOf(raw, odd);
        return bytesOfUnits(profile::withValue<char16_t>(units, u16(section), u16(key), u16(value),
                                                         profile::Units::Single),
                            odd);
    }
    if (raw.startsWith(utf8Mark)) {
        auto s = utf8Of(section), k = utf8Of(key), v = utf8Of(value);
        if (!s || !k || !v) {
            return std::nullopt;
        }
        std::string out = profile::withValue<char>(bytesOf(raw, utf8Mark.size()), *s, *k, *v,
                                                   profile::Units::Single);
        return utf8Mark + QByteArray::fromStdString(out);
    }
    auto s = ansi::encode(u16(section)), k = ansi::encode(u16(key)), v = ansi::encode(u16(value));
    if (!s || !k || !v) {
        return std::nullopt;
    }
    return QByteArray::fromStdString(
        profile::withValue<char>(bytesOf(raw), *s, *k, *v, ansi::units()));
}

// The file's bytes; empty for a file that does not exist yet, nothing when
// it exists but cannot be read.
std::optional<QByteArray> contents(const QString& path) {
    QByteArray bytes;
    if (inifile::read(path, bytes, readWaitMs) == inifile::Found::Refused) {
        return std::nullopt;
    }
    return bytes;
}

// Sets one value under the lock. A read's write-back of its default passes
// `keepStored`: another program may have stored a value since the read, and
// the default goes only where the key is still missing or empty.
bool store(const QString& section, const QString& key, const QString& value, bool keepStored) {
    if (!profile::storable<char16_t>(u16(section), u16(key), u16(value))) {
        return false;
    }
    const QString path = IniFilePath();
    std::optional<QByteArray> raw = contents(path);
    if (!raw) {
        return false;
    }
    std::optional<QByteArray> next = withValueIn(*raw, section, key, value);
    if (!next) {
        return false;
    }
    // The panel writes back every empty key it reads, many times a second:
    // a write that changes nothing must not touch the file or take the lock.
    if (!raw->isEmpty() && *next == *raw) {
        return true;
    }
    return inifile::update(path, writeWaitMs,
                           [&](const QByteArray& now, bool) -> std::optional<QByteArray> {
                               if (keepStored) {
                                   std::optional<QString> stored = lookupIn(now, section, key);
                                   if (stored && !stored->isEmpty()) {
                                       return now;
                                   }
                               }
                               return withValueIn(now, section, key, value);
                           });
}

} // namespace

QString IniFilePath() {
    const QString folder =
        folderOverride().isEmpty() ? QCoreApplication::applicationDirPath() : folderOverride();
    // Appended without looking, as the folder of a drive's root already ends in one.
    return folder + QStringLiteral("/SysInfo.ini");
}

QString ReadIniValue(const QString& section, const QString& key, const QString& def) {
    std::optional<QByteArray> raw = contents(IniFilePath());
    if (!raw) {
        return def; // nothing is written into a file that cannot be read
    }
    std::optional<QString> value = lookupIn(*raw, section, key);
    if (!value || value->isEmpty()) {
        store(section, key, def, true);
        return def;
    }
    return *value;
}

bool WriteIniValue(const QString& section, const QString& key, const QString& value) {
    return store(section, key, value, false);
}

void setFolderForTesting(const QString& folder) {
    folderOverride() = folder;
}

} // namespace rwini
