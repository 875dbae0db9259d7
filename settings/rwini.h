// The only way either program touches SysInfo.ini. Every call reads the
// file's current bytes, so that what one program writes the other sees at
// its next read.
#pragma once

#include "failure.h"
#include "inifile.h"
#include "profile.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

namespace rwini {

// SysInfo.ini in the folder of the running executable.
QString IniFilePath();

// The stored value; for a missing or empty key, `def`, which is also written
// back where this user may write the file (silently: a read never fails, it
// returns the default).
QString ReadIniValue(const QString& section, const QString& key, const QString& def);

// Whether the value reached the file, and if not, why. Refused without
// writing anything: a section, key or value holding a line break or NUL, a
// key holding '=', text the file's encoding cannot hold, and a file without
// write permission for this user.
Saved WriteIniValue(const QString& section, const QString& key, const QString& value);

// One value of a confirm.
struct Entry {
    QString section, key, value;
};

// All the values in one replace of the file, or none of them: refused as a
// whole, with nothing written, where one of them would be refused alone.
Saved WriteIniValues(const QList<Entry>& entries);

// One read of the whole file: every value as it stood at that moment, parsed
// once into a table, so that a tick asks the file system once and each look-up
// is a table hit.
class Snapshot {
public:
    // The stored value; the empty text for a missing key or a file that
    // cannot be read.
    QString text(const QString& section, const QString& key) const;
    // Whether the file still looks as it did when this was read (one status query).
    bool current() const;
    // Whether the file this read has rested some seconds by now: a change
    // from now on shows in its time stamp, however coarse the file system.
    bool settled() const { return inifile::settled(stamp_); }
    // Whether both hold the same parse: the file's bytes were the same.
    bool sameAs(const Snapshot& other) const;

private:
    friend Snapshot ReadSnapshot(const Snapshot&);
    friend void WriteMissing(const Snapshot&, const QList<Entry>&);
    struct Parsed;
    std::shared_ptr<const Parsed> parsed_; // none: the file could not be read
    inifile::Stamp stamp_;
};

// Reads the file; where its bytes are those `last` read, the parse of `last`
// is kept rather than made again.
Snapshot ReadSnapshot(const Snapshot& last = Snapshot());

// Writes each entry's value where the snapshot found its key missing or
// empty, all in one write, and only where this user may write the file; a
// value stored by another program since the snapshot is kept.
void WriteMissing(const Snapshot& snapshot, const QList<Entry>& defaults);

// Tests point the programs at a folder of their own instead of the
// executable's; an empty text goes back to the executable's folder.
void setFolderForTesting(const QString& folder);

} // namespace rwini
