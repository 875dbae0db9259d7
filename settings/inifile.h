// What rwini needs of the file system, one implementation per platform:
// reading SysInfo.ini whole and changing it under an inter-process lock.
#pragma once

#include "failure.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace inifile {

// Far above any notice an owner writes, and small enough that reading and
// parsing it whole after a change stays within milliseconds.
constexpr qint64 maxBytes = 1024 * 1024;

enum class Found {
    File,    // a regular file (or a link to one), read whole
    Missing, // nothing at the path
    Refused, // anything else: not a regular file, larger than maxBytes, unreadable
};

// What tells one state of the file from another without reading it: its
// identity, size and times (all zero where there is no file).
struct Stamp {
    quint64 id = 0, size = 0, modified = 0, changed = 0;
    bool operator==(const Stamp& o) const {
        return id == o.id && size == o.size && modified == o.modified && changed == o.changed;
    }
};
// The file's bytes, as one writer left them, never half of a write. `waitMs`
// bounds the wait for a write in progress. `stamp`, where given, gets the
// state of the file the bytes are (never a newer one): where they are not
// the file as it now stands (a write at work), one that matches no file.
Found read(const QString& path, QByteArray& bytes, int waitMs, Stamp* stamp = nullptr);

// Given the file's bytes under the lock (empty where there was no file): the bytes to store, the
// same bytes to store nothing, or nothing to refuse the write.
using Change = std::function<std::optional<QByteArray>(const QByteArray& bytes)>;

// One read-modify-write under the writers' lock, waiting at most `waitMs` for
// it. None when the file holds what `change` asked for; otherwise why not
// (Unstorable when `change` refused), and then the file is as it was.
rwini::Failure update(const QString& path, int waitMs, const Change& change);

Stamp stamp(const QString& path);

// Whether the file of `stamp` was last changed some seconds before now, so
// that a change from now on carries another time stamp, however coarse the
// file system keeps them.
bool settled(const Stamp& stamp);

// Whether this user may write the file at `path` (or create it, where there
// is none): one status query, for a reader about to write a default back.
// A file without any write permission is read-only even for an administrator.
bool mayWrite(const QString& path);

// Where a write in place keeps the old bytes of the file at `path` until it
// is done (none on Windows).
QString journalPath(const QString& path);

} // namespace inifile
