// Why a save of SysInfo.ini did not reach the file, shared by the file layer
// of each platform and by the boxes that tell the owner.
#pragma once

#include <QLoggingCategory>
#include <QString>

// Where both programs log what went wrong with SysInfo.ini.
Q_DECLARE_LOGGING_CATEGORY(lcSettings)

namespace rwini {

enum class Failure {
    None,
    NoPermission, // the user may not write the file (or, for a new file, its folder)
    Busy,         // another program holds the file or its lock
    DiskFull,
    Unstorable, // a character the file's encoding lacks, a line break or NUL
    NotAFile,   // not a regular file, or larger than a settings file can be
    Other,
};

// The outcome of a save: true when the file holds what was asked.
struct Saved {
    Failure failure = Failure::None;
    explicit operator bool() const { return failure == Failure::None; }
};

// The cause, in the programs' own words, for the second line of an error box.
QString reason(Failure failure);
// The cause for the log.
const char* logText(Failure failure);

} // namespace rwini
