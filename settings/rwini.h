// The only way either program touches SysInfo.ini. Every call reads the
// file's current bytes, so that what one program writes the other sees at
// its next read.
#pragma once

#include "failure.h"

#include <QList>
#include <QString>

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

// Tests point the programs at a folder of their own instead of the
// executable's; an empty text goes back to the executable's folder.
void setFolderForTesting(const QString& folder);

} // namespace rwini
