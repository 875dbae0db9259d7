// The settings file on POSIX systems, shared by users who do not trust each
// other: whoever may write SysInfo.ini is trusted, everyone else only reads,
// and nothing a reader does may change what anyone sees or stall a save.
//
// Writers lock the file itself with open-file-description write locks, which
// only a descriptor opened for writing can take, so only a writer can hold
// one for long; the kernel drops them with their process. Readers take no
// lock: they check that no write lock is held before and after they read and
// that the file did not change meanwhile, else read again.
//
// A write makes a new file beside the old one and renames it over it, with
// the old file's mode, owner and group. Where the folder refuses new files,
// or the owner cannot be kept, it writes in place instead; before that it
// puts the old bytes in the temporary folder (the journal), so that a writer
// killed half way leaves them to the next reader and writer. The temporary
// folder is everyone's, so a journal counts only where a writer of the file
// could have made it: its owner may write the file and nobody else may
// write the journal. Anything else at its name is ignored, and a write then
// goes in place without a journal.
#include "inifile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace inifile {
namespace {

using rwini::Failure;

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

// The errno behind the last failure, for the log: the reasons fold many
// errors into one (EROFS and EACCES are both "no permission").
thread_local int systemError = 0;

Failure failureOf(int error) {
    systemError = error;
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return Failure::NoPermission;
    case ENOSPC:
    case EDQUOT:
        return Failure::DiskFull;
    default:
        return Failure::Other;
    }
}

// Zero, or the errno of the failure.
int writeAll(int fd, const QByteArray& bytes, off_t at) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pwrite(fd, bytes.constData() + done, size_t(bytes.size() - done), at + done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n < 0 ? errno : ENOSPC;
        }
        done += n;
    }
    return 0;
}

// From the start, up to maxBytes + 1 bytes, so that a caller can tell a file
// that is too large. A short read that ends at `size`, the size the file was
// seen with, is its end.
bool readAll(int fd, QByteArray& bytes, qint64 size = -1) {
    bytes.clear();
    char buffer[65536];
    for (;;) {
        ssize_t n = ::pread(fd, buffer, sizeof buffer, off_t(bytes.size()));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        bytes.append(buffer, n);
        if (bytes.size() > maxBytes || (size_t(n) < sizeof buffer && bytes.size() == size)) {
            return true;
        }
    }
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool sameTimesAndSize(const struct stat& a, const struct stat& b) {
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
           a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// Two ranges of the file, far beyond any settings file's end: writers hold
// the first while they change the file, and queue at the second while they
// wait for the first, passing it on once they hold that, so that a writer in
// a loop lets one that waits go first.
constexpr off_t writingAt = 0, writingLength = off_t(1) << 40;
constexpr off_t queueAt = writingLength;

bool setLock(int fd, short type, off_t start, off_t length) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// Polls rather than blocks, so that the wait has a bound on the UI thread.
// Only another writer's lock, or a reader's read lock on purpose, is waited
// for. Moved once the path names another file than `fd`: a save put a
// new one there, and the wait goes on at that one.
enum class Locked { Yes, TimedOut, Moved };

Locked lockWithin(int fd, off_t start, off_t length, const QByteArray& name,
                  const QDeadlineTimer& deadline) {
    struct stat held {};
    ::fstat(fd, &held);
    for (;;) {
        if (setLock(fd, F_WRLCK, start, length)) {
            return Locked::Yes;
        }
        if (errno != EAGAIN && errno != EACCES && errno != EINTR) {
            return Locked::Yes; // a file system that keeps no locks: go on without
        }
        if (deadline.hasExpired()) {
            return Locked::TimedOut;
        }
        QThread::usleep(1000);
        struct stat now {};
        if (::stat(name.constData(), &now) == 0 && !sameFile(now, held)) {
            return Locked::Moved;
        }
    }
}

// Whether a writer is changing the file now. It tests, and takes nothing.
bool beingWritten(int fd) {
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = writingAt;
    lock.l_len = writingLength;
    return ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type == F_WRLCK;
}

// The regular file at `name` (or the one a link there points to) opened
// without blocking, with its status: a FIFO would block, a device may never
// end, and someone else's lease must not hold us. For a write it is opened
// for writing, which is what the writers' lock needs, and made empty where
// there is none.
struct Opened {
    Found found = Found::Refused;
    Failure failure = Failure::None; // why a write cannot open it
    bool created = false;
};

Opened openRegular(const QByteArray& name, bool forWriting, Fd& fd, struct stat& st) {
    const int mode = (forWriting ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    for (;;) {
        // Opening some devices does something already; the check after the
        // open is the one that counts.
        struct stat before {};
        if (::stat(name.constData(), &before) == 0 && !S_ISREG(before.st_mode)) {
            return {Found::Refused, Failure::NotAFile};
        }
        fd.reset(::open(name.constData(), mode));
        bool created = false;
        if (fd.get() < 0 && errno == ENOENT) {
            struct stat link {};
            if (::lstat(name.constData(), &link) == 0) {
                return {Found::Refused, Failure::NotAFile}; // a link to nothing
            }
            if (!forWriting) {
                return {Found::Missing};
            }
            // Made empty, with the mode a new file gets, so that it can be locked.
            fd.reset(::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
            if (fd.get() < 0 && errno == EEXIST) {
                continue;
            }
            created = fd.get() >= 0;
        }
        if (fd.get() < 0) {
            return {Found::Refused, failureOf(errno)};
        }
        if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
            return {Found::Refused, Failure::NotAFile};
        }
        return {Found::File, Failure::None, created};
    }
}

// A file nobody may write is read-only, as Windows keeps one, even for the
// administrator, whom the kernel would let write it.
bool readOnly(const struct stat& st) {
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// The file at `path` opened for writing and locked against other writers.
Opened openLocked(const QString& path, const QDeadlineTimer& deadline, Fd& fd, struct stat& st) {
    const QByteArray name = native(path);
    for (;;) {
        const Opened opened = openRegular(name, true, fd, st);
        if (opened.found != Found::File) {
            return opened;
        }
        if (readOnly(st)) {
            return {Found::Refused, Failure::NoPermission};
        }
        Locked locked = lockWithin(fd.get(), queueAt, 1, name, deadline);
        if (locked == Locked::Yes) {
            locked = lockWithin(fd.get(), writingAt, writingLength, name, deadline);
        }
        if (locked == Locked::TimedOut) {
            return {Found::Refused, Failure::Busy};
        }
        setLock(fd.get(), F_UNLCK, queueAt, 1);
        // A save may have put a new file at the path while this one waited.
        struct stat now {};
        if (locked == Locked::Yes && ::stat(name.constData(), &now) == 0 && sameFile(now, st) &&
            ::fstat(fd.get(), &st) == 0) {
            return opened;
        }
        if (deadline.hasExpired()) {
            return {Found::Refused, Failure::Busy};
        }
    }
}

// Where the old bytes of an in-place write wait, named by the file they
// belong to.
QByteArray journalPath(const QString& path, const struct stat& st) {
    const QByteArray key = native(QFileInfo(path).absoluteFilePath()) + ':' +
                           QByteArray::number(qulonglong(st.st_dev)) + ':' +
                           QByteArray::number(qulonglong(st.st_ino));
    const QByteArray hash =
        QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(20);
    return native(QDir::temp().filePath(QStringLiteral("tide-%1.old").arg(QLatin1String(hash))));
}

// Whether a journal can only have come from a writer of `file`: one plain
// file, which nobody else may change, whose owner (or group, where the group
// may write the file) may write the file.
bool trusted(const struct stat& journal, const struct stat& file) {
    if (!S_ISREG(journal.st_mode) || journal.st_nlink != 1 ||
        (journal.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return false;
    }
    return journal.st_uid == file.st_uid || (file.st_mode & S_IWOTH) != 0 ||
           ((file.st_mode & S_IWGRP) != 0 && journal.st_gid == file.st_gid);
}

// The journal holds a mark and the old bytes; an empty one counts as none.
constexpr char journalMark = 'T';

// The bytes of an in-place write that did not finish, if a writer left them.
bool readJournal(const QByteArray& journal, const struct stat& file, QByteArray& bytes) {
    Fd fd(::open(journal.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !trusted(st, file) ||
        !readAll(fd.get(), bytes) || bytes.size() > maxBytes + 1 ||
        !bytes.startsWith(journalMark)) {
        bytes.clear();
        return false;
    }
    bytes.remove(0, 1);
    return true;
}

// A new journal of ours, readable by every reader and writable by none of
// them, owned as the file where we may (an administrator writing someone
// else's file). It is written whole under a name of its own first and then
// linked to its place, so that a reader never finds half of it; where
// something else holds the name, there is none.
bool writeJournal(const QByteArray& journal, const struct stat& file, const QByteArray& bytes) {
    QByteArray fresh = journal + ".XXXXXX";
    Fd fd(::mkostemp(fresh.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        return false;
    }
    // Where this fails (not in the file's group), the journal counts as ours alone.
    const bool admin = ::geteuid() == 0;
    [[maybe_unused]] const int owned =
        ::fchown(fd.get(), admin ? file.st_uid : uid_t(-1), file.st_gid);
    const bool linked = ::fchmod(fd.get(), 0644) == 0 &&
                        writeAll(fd.get(), journalMark + bytes, 0) == 0 && ::fsync(fd.get()) == 0 &&
                        ::link(fresh.constData(), journal.constData()) == 0;
    ::unlink(fresh.constData());
    return linked;
}

int writeInPlace(int fd, const QByteArray& bytes) {
    if (const int error = writeAll(fd, bytes, 0)) {
        return error;
    }
    return ::ftruncate(fd, off_t(bytes.size())) == 0 && ::fsync(fd) == 0 ? 0 : errno;
}

// In place, through the locked descriptor: the old bytes first go to the
// journal; should the write fail (a full disk), they are written back at once.
Failure replaceInPlace(int fd, const QByteArray& journal, const struct stat& file,
                       const QByteArray& old, const QByteArray& bytes) {
    const bool kept = writeJournal(journal, file, old);
    const int error = writeInPlace(fd, bytes);
    if ((error == 0 || writeInPlace(fd, old) == 0) && kept) {
        ::unlink(journal.constData());
    }
    return error ? failureOf(error) : Failure::None;
}

// A new file is written whole and synced before it takes the old one's name.
struct Replaced {
    bool inPlaceInstead = false;
    Failure failure = Failure::None;
};

Replaced replaceAtomically(const QString& target, const struct stat& old, const QByteArray& bytes) {
    QByteArray name = native(target) + ".tide-XXXXXX";
    Fd fd(::mkostemp(name.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        const Failure failure = failureOf(errno);
        return {failure == Failure::NoPermission, failure};
    }
    // Another user saving (root, say) must not take the file from its owner.
    if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
        ::fchown(fd.get(), old.st_uid, old.st_gid) != 0) {
        fd.reset();
        ::unlink(name.constData());
        return {true};
    }
    int error = ::fchmod(fd.get(), old.st_mode & 07777) == 0 ? 0 : errno;
    if (error == 0) {
        error = writeAll(fd.get(), bytes, 0);
    }
    struct stat written {};
    if (error == 0 && (::fsync(fd.get()) != 0 || ::fstat(fd.get(), &written) != 0)) {
        error = errno;
    }
    if (error == 0 && written.st_size != off_t(bytes.size())) {
        error = ENOSPC;
    }
    if (::close(fd.release()) != 0 && error == 0) {
        error = errno;
    }
    if (error == 0 && ::rename(name.constData(), native(target).constData()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(name.constData());
        return {false, failureOf(error)};
    }
    Fd folder(::open(native(QFileInfo(target).absolutePath()).constData(),
                     O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) {
        ::fsync(folder.get()); // the rename is done; this only hastens it to the disk
    }
    return {};
}

// New files of writers that were killed before their rename.
void removeLeftovers(const QString& target) {
    const QFileInfo info(target);
    const QString prefix = info.fileName() + QStringLiteral(".tide-");
    const QStringList names =
        QDir(info.absolutePath())
            .entryList({prefix + QStringLiteral("??????")}, QDir::Files | QDir::Hidden);
    for (const QString& left : names) {
        ::unlink(native(info.absolutePath() + QLatin1Char('/') + left).constData());
    }
}

// The path a save replaces: the file a link points to, not the link.
QString resolved(const QString& path) {
    char real[PATH_MAX];
    return ::realpath(native(path).constData(), real) ? QFile::decodeName(real) : path;
}

// A killed writer's journal, written back into the file and removed. False
// where it cannot be removed: it would keep telling readers the old bytes.
Failure recover(int fd, const QByteArray& journal, const struct stat& st) {
    QByteArray old;
    if (!readJournal(journal, st, old)) {
        return Failure::None;
    }
    if (const int error = writeInPlace(fd, old)) {
        return failureOf(error);
    }
    if (::unlink(journal.constData()) == 0) {
        return Failure::None;
    }
    Fd empty(::open(journal.constData(), O_WRONLY | O_TRUNC | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW));
    return empty.get() >= 0 ? Failure::None : Failure::Other;
}

} // namespace

// A reader takes no lock. Where a writer is at work in place, or one was
// killed half way, the journal it left holds the old file whole; otherwise
// the file is read, and read again where a writer took its lock during the
// read or the file's times or size changed.
Found read(const QString& path, QByteArray& bytes, int waitMs) {
    const QByteArray name = native(path);
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        bytes.clear();
        Fd fd;
        struct stat st {};
        const Opened opened = openRegular(name, false, fd, st);
        if (opened.found != Found::File) {
            return opened.found;
        }
        const bool writing = beingWritten(fd.get());
        if (readJournal(journalPath(path, st), st, bytes)) {
            return bytes.size() <= maxBytes ? Found::File : Found::Refused;
        }
        if (!writing) {
            struct stat after {};
            if (st.st_size > maxBytes || !readAll(fd.get(), bytes, st.st_size) ||
                bytes.size() > maxBytes) {
                return Found::Refused;
            }
            if ((!beingWritten(fd.get()) && ::fstat(fd.get(), &after) == 0 &&
                 sameTimesAndSize(st, after)) ||
                deadline.hasExpired()) {
                return Found::File;
            }
        } else if (deadline.hasExpired()) {
            // A write that takes longer than the wait: what is there is read.
            return readAll(fd.get(), bytes, st.st_size) && bytes.size() <= maxBytes
                       ? Found::File
                       : Found::Refused;
        }
        QThread::usleep(writing ? 1000 : 0);
    }
}

namespace {

rwini::Failure changeLocked(const QString& path, int waitMs, const Change& change) {
    Fd fd;
    struct stat st {};
    const QDeadlineTimer deadline(waitMs);
    const Opened opened = openLocked(path, deadline, fd, st);
    if (opened.found != Found::File) {
        return opened.failure;
    }
    if (st.st_size > maxBytes) {
        return Failure::NotAFile;
    }
    const QByteArray journal = journalPath(path, st);
    Failure failure = recover(fd.get(), journal, st);
    QByteArray old;
    if (failure == Failure::None && (!readAll(fd.get(), old) || old.size() > maxBytes)) {
        failure = Failure::Other;
    }
    std::optional<QByteArray> next;
    if (failure == Failure::None) {
        next = change(old);
        failure = next ? Failure::None : Failure::Unstorable;
    }
    if (failure == Failure::None && *next != old) {
        const QString target = resolved(path);
        removeLeftovers(target);
        const Replaced replaced = replaceAtomically(target, st, *next);
        failure = replaced.inPlaceInstead ? replaceInPlace(fd.get(), journal, st, old, *next)
                                          : replaced.failure;
    }
    if (opened.created && failure != Failure::None) {
        ::unlink(native(path).constData()); // there was no file before
    }
    return failure;
}

} // namespace

rwini::Failure update(const QString& path, int waitMs, const Change& change) {
    systemError = 0;
    const Failure failure = changeLocked(path, waitMs, change);
    if (failure != Failure::None && systemError != 0) {
        qCWarning(lcSettings, "could not save %s, the system said: %s", qPrintable(path),
                  std::strerror(systemError));
    }
    return failure;
}

Stamp stamp(const QString& path) {
    struct stat st {};
    if (::stat(native(path).constData(), &st) != 0) {
        return {};
    }
    auto ns = [](const timespec& t) {
        return quint64(t.tv_sec) * 1000000000u + quint64(t.tv_nsec);
    };
    return {quint64(st.st_ino) ^ (quint64(st.st_dev) << 40), quint64(st.st_size), ns(st.st_mtim),
            ns(st.st_ctim)};
}

bool mayWrite(const QString& path) {
    const QByteArray name = native(path);
    struct stat st {};
    if (::stat(name.constData(), &st) != 0) {
        return ::access(native(QFileInfo(path).absolutePath()).constData(), W_OK) == 0;
    }
    return !readOnly(st) && ::access(name.constData(), W_OK) == 0;
}

} // namespace inifile
