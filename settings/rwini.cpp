#include "rwini.h"

#include "ansi.h"
#include "profile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>

#include <optional>

namespace rwini {
namespace {

QString& folderOverride() {
    static QString folder;
    return folder;
}

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
std::optional<QByteArray> contents(const QString& path, bool& exists) {
    QFile file(path);
    exists = file.exists();
    if (!exists) {
        return QByteArray();
    }
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    return file.readAll();
}

// The inter-process lock around one read-modify-write: beside the file, or
// in the temporary folder, keyed by the file's path, where the folder refuses it.
class WriteLock {
public:
    explicit WriteLock(const QString& path) : beside_(path + QStringLiteral(".lock")) {
        if (beside_.tryLock(timeoutMs)) {
            held_ = &beside_;
            return;
        }
        if (beside_.error() != QLockFile::PermissionError) {
            return;
        }
        const QByteArray key = QCryptographicHash::hash(QFileInfo(path).absoluteFilePath().toUtf8(),
                                                        QCryptographicHash::Sha1)
                                   .toHex()
                                   .left(16);
        temp_.emplace(
            QDir::temp().filePath(QStringLiteral("tide-%1.lock").arg(QLatin1String(key))));
        if (temp_->tryLock(timeoutMs)) {
            held_ = &*temp_;
        }
    }
    ~WriteLock() {
        if (held_) {
            held_->unlock();
        }
    }
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;
    bool held() const { return held_ != nullptr; }

private:
    static constexpr int timeoutMs = 3000; // a write holds it for milliseconds
    QLockFile beside_;
    std::optional<QLockFile> temp_;
    QLockFile* held_ = nullptr;
};

} // namespace

QString IniFilePath() {
    const QString folder =
        folderOverride().isEmpty() ? QCoreApplication::applicationDirPath() : folderOverride();
    // Appended without looking, as the folder of a drive's root already ends in one.
    return folder + QStringLiteral("/SysInfo.ini");
}

QString ReadIniValue(const QString& section, const QString& key, const QString& def) {
    bool exists = false;
    std::optional<QByteArray> raw = contents(IniFilePath(), exists);
    std::optional<QString> value = raw ? lookupIn(*raw, section, key) : std::nullopt;
    if (!value || value->isEmpty()) {
        WriteIniValue(section, key, def);
        return def;
    }
    return *value;
}

bool WriteIniValue(const QString& section, const QString& key, const QString& value) {
    if (!profile::storable<char16_t>(u16(section), u16(key), u16(value))) {
        return false;
    }
    const QString path = IniFilePath();
    bool exists = false;
    std::optional<QByteArray> raw = contents(path, exists);
    if (!raw) {
        return false;
    }
    std::optional<QByteArray> next = withValueIn(*raw, section, key, value);
    if (!next) {
        return false;
    }
    // The panel writes back every empty key it reads, many times a second:
    // a write that changes nothing must not touch the file or take the lock.
    if (exists && *next == *raw) {
        return true;
    }
    WriteLock lock(path);
    if (!lock.held()) {
        return false;
    }
    // Another process may have written since the first read.
    raw = contents(path, exists);
    if (!raw) {
        return false;
    }
    next = withValueIn(*raw, section, key, value);
    if (!next) {
        return false;
    }
    if (exists && *next == *raw) {
        return true;
    }
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    if (file.write(*next) != next->size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

void setFolderForTesting(const QString& folder) {
    folderOverride() = folder;
}

} // namespace rwini
