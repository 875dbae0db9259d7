#include "rwini.h"

#include "ansi.h"
#include "inifile.h"
#include "profile.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

template <class C>
std::vector<profile::Setting<C>> settingsOf(const std::vector<std::basic_string<C>>& texts,
                                            bool keepStored) {
    std::vector<profile::Setting<C>> settings;
    for (size_t i = 0; i + 2 < texts.size(); i += 3) {
        settings.push_back({texts[i], texts[i + 1], texts[i + 2], keepStored});
    }
    return settings;
}

// The bytes of the file with the values set in turn, or nothing when the
// file's encoding cannot hold a text. With `keepStored`, a value another
// program stored stays.
std::optional<QByteArray> withValuesIn(const QByteArray& raw, const QList<Entry>& entries,
                                       bool keepStored) {
    if (raw.startsWith(utf16Mark) || raw.startsWith(utf16BigMark)) {
        std::vector<std::u16string> texts;
        for (const Entry& e : entries) {
            for (const QString* t : {&e.section, &e.key, &e.value}) {
                if (!QStringView(*t).isValidUtf16()) {
                    return std::nullopt;
                }
                texts.push_back(u16(*t));
            }
        }
        const bool big = raw.startsWith(utf16BigMark);
        QByteArray odd;
        std::u16string units = unitsOf(raw, big, odd);
        return bytesOfUnits(profile::withValues<char16_t>(units, settingsOf(texts, keepStored),
                                                          profile::Units::Single),
                            big, odd);
    }
    const bool utf8 = raw.startsWith(utf8Mark);
    std::vector<std::string> texts;
    for (const Entry& e : entries) {
        for (const QString* t : {&e.section, &e.key, &e.value}) {
            auto bytes = utf8 ? utf8Of(*t) : ansi::encode(u16(*t));
            if (!bytes) {
                return std::nullopt;
            }
            texts.push_back(std::move(*bytes));
        }
    }
    const std::string out = profile::withValues<char>(
        bytesOf(raw, utf8 ? utf8Mark.size() : 0), settingsOf(texts, keepStored),
        utf8 ? profile::Units::Single : ansi::units());
    return (utf8 ? utf8Mark : QByteArray()) + QByteArray::fromStdString(out);
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
    auto apply = [&](const QByteArray& now) { return withValuesIn(now, entries, keepStored); };
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
    return waiting(Wait::Write, budget.remainingTime(), [&](int wait) {
        // Under the lock the file mostly holds what was read just
        // now: the change made from those bytes is not made again.
        return inifile::update(
            path, wait, [&](const QByteArray& now) { return now == *raw ? next : apply(now); });
    });
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

// What one read of the file parsed, shared by the snapshots of the same bytes.
struct Snapshot::Parsed {
    enum class Kept { Ansi, Utf8, Utf16 }; // how the file is encoded
    QByteArray raw;
    Kept kept = Kept::Ansi;
    profile::Table<char> bytes;     // an ANSI or UTF-8 file
    profile::Table<char16_t> units; // a UTF-16 file
};

// The names in the file's encoding; a name the encoding cannot hold is not
// in the file.
QString Snapshot::text(const QString& section, const QString& key) const {
    if (!parsed_) {
        return QString();
    }
    const Parsed& p = *parsed_;
    switch (p.kept) {
    case Parsed::Kept::Utf16:
        return QString::fromStdU16String(p.units.lookup(u16(section), u16(key)).value_or(u""));
    case Parsed::Kept::Utf8: {
        auto s = utf8Of(section), k = utf8Of(key);
        return s && k ? QString::fromStdString(p.bytes.lookup(*s, *k).value_or("")) : QString();
    }
    case Parsed::Kept::Ansi:
        break;
    }
    auto s = ansi::encode(u16(section)), k = ansi::encode(u16(key));
    if (!s || !k) {
        return QString();
    }
    auto value = p.bytes.lookup(*s, *k);
    return value ? QString::fromStdU16String(ansi::decode(*value)) : QString();
}

bool Snapshot::current() const {
    return inifile::stamp(IniFilePath()) == stamp_;
}

bool Snapshot::sameAs(const Snapshot& other) const {
    return parsed_ == other.parsed_;
}

Snapshot ReadSnapshot(const Snapshot& last) {
    Snapshot snapshot;
    // The state of the file read, never a newer one, so that a change during
    // the read makes the next look read again.
    std::optional<QByteArray> raw = contents(IniFilePath(), &snapshot.stamp_);
    if (!raw) {
        return snapshot;
    }
    if (last.parsed_ && last.parsed_->raw == *raw) {
        snapshot.parsed_ = last.parsed_; // the same bytes: parsed already
        return snapshot;
    }
    auto parsed = std::make_shared<Snapshot::Parsed>();
    if (raw->startsWith(utf16Mark) || raw->startsWith(utf16BigMark)) {
        QByteArray odd;
        parsed->kept = Snapshot::Parsed::Kept::Utf16;
        parsed->units = profile::Table<char16_t>(unitsOf(*raw, raw->startsWith(utf16BigMark), odd),
                                                 profile::Units::Single);
    } else if (raw->startsWith(utf8Mark)) {
        parsed->kept = Snapshot::Parsed::Kept::Utf8;
        parsed->bytes =
            profile::Table<char>(bytesOf(*raw, utf8Mark.size()), profile::Units::Single);
    } else {
        parsed->bytes = profile::Table<char>(bytesOf(*raw), ansi::units());
    }
    parsed->raw = std::move(*raw);
    snapshot.parsed_ = std::move(parsed);
    return snapshot;
}

namespace {

// Defaults go into a readable file only, and only where this user may write:
// a customer's panel leaves it to the owner. The write keeps a value another
// program stored meanwhile.
void writeBack(const QList<Entry>& missing) {
    if (!missing.isEmpty() && inifile::mayWrite(IniFilePath())) {
        store(missing, true);
    }
}

} // namespace

void WriteMissing(const Snapshot& snapshot, const QList<Entry>& defaults) {
    if (!snapshot.parsed_) {
        return; // nothing is written into a file that cannot be read
    }
    QList<Entry> missing;
    for (const Entry& e : defaults) {
        if (snapshot.text(e.section, e.key).isEmpty()) {
            missing.append(e);
        }
    }
    writeBack(missing);
}

// One value: a scan for it costs less than the table of them all.
QString ReadIniValue(const QString& section, const QString& key, const QString& def) {
    const std::optional<QByteArray> raw = contents(IniFilePath());
    if (!raw) {
        return def; // nothing is written into a file that cannot be read
    }
    if (const QString value = lookupIn(*raw, section, key).value_or(QString()); !value.isEmpty()) {
        return value;
    }
    writeBack({{section, key, def}});
    return def;
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
