// The settings file on Windows: an inter-process lock file beside it (or in
// the temporary folder where the folder refuses it), and a write that
// replaces the file through a new one, or writes in place where the folder
// refuses new files. The file itself is read and replaced by the Win32 calls
// (file_windows.h): Qt's files share no deletion, so every read of the panel
// would make a save by the editor fail.
#include "file_windows.h"
#include "inifile.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>

#include <windows.h>

namespace inifile {
namespace {

// Only a regular file (or a link to one), and never more than maxBytes.
Found readFile(const QString& path, QByteArray& bytes) {
    bytes.clear();
    const QFileInfo info(path);
    if (!info.exists()) {
        return info.isSymLink() ? Found::Refused : Found::Missing;
    }
    if (!info.isFile()) {
        return Found::Refused;
    }
    std::string read;
    switch (win32file::read(path.toStdWString(), read, std::size_t(maxBytes))) {
    case win32file::Read::File:
        bytes = QByteArray::fromStdString(read);
        return Found::File;
    case win32file::Read::Missing:
        return Found::Missing;
    case win32file::Read::Refused:
        break;
    }
    return Found::Refused;
}

rwini::Failure failureOf(unsigned long error) {
    switch (error) {
    case ERROR_SUCCESS:
        return rwini::Failure::None;
    case ERROR_FILE_READ_ONLY:
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return rwini::Failure::NoPermission;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return rwini::Failure::Busy;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return rwini::Failure::DiskFull;
    case ERROR_DIRECTORY:
        return rwini::Failure::NotAFile;
    default:
        return rwini::Failure::Other;
    }
}

class WriteLock {
public:
    WriteLock(const QString& path, int waitMs) : beside_(path + QStringLiteral(".lock")) {
        QDeadlineTimer deadline(waitMs);
        // A holder keeps its lock file open without delete sharing, so one
        // that can be removed is held by nobody: left empty or half written
        // by a killed writer, it must not shut every write out until it ages.
        if (!beside_.tryLock(0) && beside_.error() == QLockFile::LockFailedError) {
            beside_.removeStaleLockFile();
        }
        if (beside_.isLocked() || beside_.tryLock(waitMs)) {
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
        if (temp_->tryLock(int(deadline.remainingTime()))) {
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
    // Neither beside the file nor in the temporary folder may a lock be made.
    bool refused() const { return !held_ && temp_ && temp_->error() == QLockFile::PermissionError; }

private:
    QLockFile beside_;
    std::optional<QLockFile> temp_;
    QLockFile* held_ = nullptr;
};

} // namespace

Found read(const QString& path, QByteArray& bytes, int, Stamp* seen) {
    if (seen) {
        *seen = stamp(path); // taken first: a change during the read makes the next look read again
    }
    return readFile(path, bytes);
}

rwini::Failure update(const QString& path, int waitMs, const Change& change) {
    // One wait for the lock and for another process (a virus scanner, an older
    // reader) to let go of the file: a save held up by either fails in time.
    const QDeadlineTimer deadline(waitMs);
    WriteLock lock(path, waitMs);
    if (!lock.held()) {
        return lock.refused() ? rwini::Failure::NoPermission : rwini::Failure::Busy;
    }
    QByteArray old;
    const Found found = readFile(path, old);
    if (found == Found::Refused) {
        return rwini::Failure::NotAFile;
    }
    std::optional<QByteArray> next = change(old);
    if (!next) {
        return rwini::Failure::Unstorable;
    }
    if (found == Found::File && *next == old) {
        return rwini::Failure::None;
    }
    return failureOf(
        win32file::replace(path.toStdWString(), next->toStdString(), int(deadline.remainingTime()))
            .error);
}

Stamp stamp(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) {
        return {};
    }
    return {0, quint64(info.size()), quint64(info.lastModified().toMSecsSinceEpoch()),
            quint64(info.birthTime().toMSecsSinceEpoch())};
}

bool settled(const Stamp& stamp) {
    const quint64 now = quint64(QDateTime::currentMSecsSinceEpoch());
    // Past a whole tick of the coarsest (FAT: 2 s); a time ahead of the clock
    // settles nothing.
    return stamp.modified != 0 && stamp.modified <= now && now - stamp.modified >= 3000;
}

bool mayWrite(const QString& path) {
    return win32file::mayWrite(path.toStdWString());
}

QString journalPath(const QString&) {
    return {};
}

} // namespace inifile
