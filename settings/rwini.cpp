#include "rwini.h"

#include "ansi.h"
#include "inifile.h"
#include "profile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>

#include <algorithm>
#include <optional>

Q_LOGGING_CATEGORY(lcSettings, "tide.settings")

namespace rwini {
namespace {

QString& folderOverride() {
    static QString folder;
    return folder;
}

// A write holds the lock for milliseconds, but a sync to a busy disk can take
// hundreds; a confirm waiting for it must still end within a second.
constexpr qint64 writeWaitMs = 900;
constexpr qint64 readWaitMs = 200;

const QByteArray utf8Mark("\xEF\xBB\xBF");
const QByteArray utf16Mark("\xFF\xFE");
const QByteArray utf16BigMark("\xFE\xFF");

std::string_view bytesOf(const QByteArray& a, qsizetype from = 0) {
    return std::string_view(a.constData() + from, size_t(a.size() - from));
}

std::optional<std::string> utf8Of(const QString& s) {
    if (!QStringView(s).isValidUtf16()) {
        return std::nullopt;
    }
    return s.toUtf8().toStdString();
}

// A UTF-16 file as code units, in either byte order (Windows reads and writes
// both, keeping the order it found); an odd last byte stays aside as it is.
std::u16string unitsOf(const QByteArray& raw, bool big, QByteArray& odd) {
    std::u16string units;
    const qsizetype body = raw.size() - utf16Mark.size();
    units.reserve(size_t(body / 2));
    for (qsizetype i = utf16Mark.size(); i + 1 < raw.size(); i += 2) {
        const uchar first = uchar(raw[i]), second = uchar(raw[i + 1]);
        units.push_back(big ? char16_t(first << 8 | second) : char16_t(first | second << 8));
    }
    odd = (body % 2) ? raw.right(1) : QByteArray();
    return units;
}

QByteArray bytesOfUnits(const std::u16string& units, bool big, const QByteArray& odd) {
    QByteArray out = big ? utf16BigMark : utf16Mark;
    out.reserve(out.size() + qsizetype(units.size()) * 2 + odd.size());
    for (char16_t u : units) {
        const char low = char(u & 0xFF), high = char(u >> 8);
        out.append(big ? high : low).append(big ? low : high);
    }
    return out + odd;
}

std::u16string u16(const QString& s) {
    return s.toStdU16String();
}

// The value stored under section/key in the bytes of a file, in whichever
// encoding the file is kept.
std::optional<QString> lookupIn(const QByteArray& raw, const QString& section, const QString& key) {
    if (raw.startsWith(utf16Mark) || raw.startsWith(utf16BigMark)) {
        QByteArray odd;
        std::u16string units = unitsOf(raw, raw.startsWith(utf16BigMark), odd);
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
    if (raw.startsWith(utf16Mark) || raw.startsWith(utf16BigMark)) {
        if (!QStringView(section).isValidUtf16() || !QStringView(key).isValidUtf16() ||
            !QStringView(value).isValidUtf16()) {
            return std::nullopt;
        }
        const bool big = raw.startsWith(utf16BigMark);
        QByteArray odd;
        std::u16string units = unitsOf(raw, big, odd);
        return bytesOfUnits(profile::withValue<char16_t>(units, u16(section), u16(key), u16(value),
                                                         profile::Units::Single),
                            big, odd);
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

// A lock held far longer than a write takes (a writer stuck on a slow disk)
// must not freeze a window at every call of a tick: after a wait ran out,
// the calls of the next second do not wait, reads and writes apart.
enum class Wait { Read, Write };

QDeadlineTimer& patienceBack(Wait kind) {
    static QDeadlineTimer back[2] = {QDeadlineTimer(0), QDeadlineTimer(0)};
    return back[int(kind)];
}

template <class Call> auto waiting(Wait kind, qint64 ms, Call call) {
    QDeadlineTimer& back = patienceBack(kind);
    const int wait = back.hasExpired() ? int(std::max<qint64>(ms, 0)) : 0;
    QElapsedTimer clock;
    clock.start();
    auto result = call(wait);
    if (wait > 0 && clock.elapsed() >= wait) {
        back.setRemainingTime(1000);
    }
    return result;
}

// The file's bytes; empty for a file that does not exist yet, nothing when
// it exists but cannot be read.
std::optional<QByteArray> contents(const QString& path, inifile::Stamp* stamp = nullptr) {
    QByteArray bytes;
    const inifile::Found found = waiting(
        Wait::Read, readWaitMs, [&](int wait) { return inifile::read(path, bytes, wait, stamp); });
    // Said once when it starts, not at every tick of a panel.
    static bool refused = false;
    if (found == inifile::Found::Refused && !refused) {
        qCWarning(lcSettings,
                  "cannot read %s: not a regular file, larger than %lld bytes, or "
                  "unreadable",
                  qPrintable(path), inifile::maxBytes);
    }
    refused = found == inifile::Found::Refused;
    if (refused) {
        return std::nullopt;
    }
    return bytes;
}

// Sets the values in one replace of the file, or none of them. A read's
// write-back of its default passes `keepStored`: another program may have
// stored a value since the read, and the default goes only where the key is
// still missing or empty.
Failure store(const QList<Entry>& entries, bool keepStored) {
    for (const Entry& e : entries) {
        if (!profile::storable<char16_t>(u16(e.section), u16(e.key), u16(e.value))) {
            return Failure::Unstorable;
        }
    }
    auto apply = [&](const QByteArray& now) -> std::optional<QByteArray> {
        QByteArray out = now;
        for (const Entry& e : entries) {
            if (keepStored) {
                std::optional<QString> stored = lookupIn(out, e.section, e.key);
                if (stored && !stored->isEmpty()) {
                    continue;
                }
            }
            std::optional<QByteArray> next = withValueIn(out, e.section, e.key, e.value);
            if (!next) {
                return std::nullopt;
            }
            out = *next;
        }
        return out;
    };
    // One budget for the whole write: a confirm waits no longer than that.
    const QDeadlineTimer budget(writeWaitMs);
    const QString path = IniFilePath();
    std::optional<QByteArray> raw = contents(path);
    if (!raw) {
        return Failure::NotAFile;
    }
    std::optional<QByteArray> next = apply(*raw);
    if (!next) {
        return Failure::Unstorable;
    }
    // A write that changes nothing must not touch the file or take the lock.
    if (!raw->isEmpty() && *next == *raw) {
        return Failure::None;
    }
    return waiting(Wait::Write, budget.remainingTime(),
                   [&](int wait) { return inifile::update(path, wait, apply); });
}

} // namespace

QString IniFilePath() {
    // Appended without looking, as the folder of a drive's root already ends in one.
    const QString name = QStringLiteral("/SysInfo.ini");
    if (!folderOverride().isEmpty()) {
        return folderOverride() + name;
    }
    return QCoreApplication::applicationDirPath() + name;
}

QString Snapshot::text(const QString& section, const QString& key) const {
    return raw_ ? lookupIn(*raw_, section, key).value_or(QString()) : QString();
}

bool Snapshot::current() const {
    return inifile::stamp(IniFilePath()) == stamp_;
}

Snapshot ReadSnapshot() {
    Snapshot snapshot;
    // The state of the file read, never a newer one, so that a change during
    // the read makes the next look read again.
    snapshot.raw_ = contents(IniFilePath(), &snapshot.stamp_);
    return snapshot;
}

void WriteMissing(const Snapshot& snapshot, const QList<Entry>& defaults) {
    if (!snapshot.raw_) {
        return; // nothing is written into a file that cannot be read
    }
    QList<Entry> missing;
    for (const Entry& e : defaults) {
        if (snapshot.text(e.section, e.key).isEmpty()) {
            missing.append(e);
        }
    }
    // Only where this user may write: a customer's panel leaves it to the owner.
    if (!missing.isEmpty() && inifile::mayWrite(IniFilePath())) {
        store(missing, true);
    }
}

QString ReadIniValue(const QString& section, const QString& key, const QString& def) {
    const Snapshot snapshot = ReadSnapshot();
    const QString value = snapshot.text(section, key);
    if (value.isEmpty()) {
        WriteMissing(snapshot, {{section, key, def}});
        return def;
    }
    return value;
}

Saved WriteIniValue(const QString& section, const QString& key, const QString& value) {
    return WriteIniValues({{section, key, value}});
}

Saved WriteIniValues(const QList<Entry>& entries) {
    const Failure failure = store(entries, false);
    if (failure != Failure::None) {
        qCWarning(lcSettings, "could not save %s: %s", qPrintable(IniFilePath()), logText(failure));
    }
    return {failure};
}

namespace {

// Each failure in the owner's words and in the log's.
struct Said {
    const char16_t* reason;
    const char* log;
};

Said said(Failure failure) {
    switch (failure) {
    case Failure::None:
        return {u"", "saved"};
    case Failure::NoPermission:
        return {u"原因：没有写入该文件的权限。", "no permission to write it"};
    case Failure::Busy:
        return {u"原因：另一个程序正占用该文件，请稍后再试。", "another program holds it"};
    case Failure::DiskFull:
        return {u"原因：磁盘已满。", "the disk is full"};
    case Failure::Unstorable:
        return {u"原因：文字中有该文件无法保存的字符。", "a character the file cannot hold"};
    case Failure::NotAFile:
        return {u"原因：SysInfo.ini 不是普通文件，或大于 1 MB。",
                "not a regular file, or too large"};
    case Failure::Other:
        break;
    }
    return {u"原因：写入文件时出错。", "the file system reported an error"};
}

} // namespace

QString reason(Failure failure) {
    return QString::fromUtf16(said(failure).reason);
}

const char* logText(Failure failure) {
    return said(failure).log;
}

void setFolderForTesting(const QString& folder) {
    folderOverride() = folder;
}

} // namespace rwini
