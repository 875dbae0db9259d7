// The settings file on POSIX systems, shared by users who do not trust each
// other: whoever may write SysInfo.ini is trusted, everyone else only reads,
// and nothing a reader does may change what anyone sees, make a save fail or
// wait, or stall a panel.
//
// Writers exclude each other with open-file-description locks on a lock file
// beside SysInfo.ini (SysInfo.ini.lock) that only they may open: it gives
// read and write to exactly those the file gives write, and nothing to anyone
// else. The kernel drops the locks with their process. A writer also tries,
// once and without waiting, to lock SysInfo.ini itself, which tells readers
// that a write is at work; a reader's lock there only makes that try fail.
//
// A write makes a new file beside the old one and renames it over it, with
// the old file's mode, ACL, owner and group. Where the folder refuses new
// files, or the owner cannot be kept, it writes in place instead; before that
// it puts the old bytes beside the file (SysInfo.ini.old, the journal), so
// that a writer killed half way leaves them to the next reader and writer.
// Lock file and journal count only in a folder where nobody but the file's
// writers may make or remove names. Where a writer may not make them (a
// folder only root may write), writers lock SysInfo.ini itself and wait only
// for each other's write locks, which need the file opened for writing; a
// read lock there is a reader's and is passed by; such a write in place has
// no copy of the old bytes.
#include "inifile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <endian.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

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

Stamp stampOf(const struct stat& st) {
    auto ns = [](const timespec& t) {
        return quint64(t.tv_sec) * 1000000000u + quint64(t.tv_nsec);
    };
    return {quint64(st.st_ino) ^ (quint64(st.st_dev) << 40), quint64(st.st_size), ns(st.st_mtim),
            ns(st.st_ctim)};
}

// What a read returns where it did not read the file as it now stands (a
// write was at work): no file has this size, so the reader looks again.
constexpr Stamp unsettled{0, ~quint64(0), 0, 0};

// A file's access ACL as the kernel keeps it in an extended attribute: a
// 4-byte version, then 8-byte entries {tag, permissions, id}, little-endian.
constexpr char aclName[] = "system.posix_acl_access";
enum : quint16 { aclUser = 2, aclGroupObj = 4, aclGroup = 8, aclMask = 0x10 };
constexpr quint16 aclWrite = 2;

QByteArray aclOf(int fd) {
    char buffer[4096];
    const ssize_t n = ::fgetxattr(fd, aclName, buffer, sizeof buffer);
    return n > 4 ? QByteArray(buffer, n) : QByteArray();
}

quint16 at16(const QByteArray& b, qsizetype at) {
    quint16 v;
    std::memcpy(&v, b.constData() + at, 2);
    return le16toh(v);
}

quint32 at32(const QByteArray& b, qsizetype at) {
    quint32 v;
    std::memcpy(&v, b.constData() + at, 4);
    return le32toh(v);
}

// Who may write a file, by its mode and its ACL (the mode's group bits are
// the ACL's mask where it has one).
struct Writers {
    bool user = false, group = false, other = false;
    std::vector<quint32> users, groups; // named by the ACL
};

Writers writersOf(const struct stat& st, const QByteArray& acl) {
    Writers w;
    w.user = st.st_mode & S_IWUSR;
    w.other = st.st_mode & S_IWOTH;
    w.group = acl.isEmpty() && (st.st_mode & S_IWGRP);
    bool mask = true;
    for (qsizetype at = 4; at + 8 <= acl.size(); at += 8) {
        if (at16(acl, at) == aclMask) {
            mask = at16(acl, at + 2) & aclWrite;
        }
    }
    for (qsizetype at = 4; at + 8 <= acl.size(); at += 8) {
        const quint16 tag = at16(acl, at);
        const bool writes = (at16(acl, at + 2) & aclWrite) && mask;
        if (tag == aclGroupObj) {
            w.group = writes;
        } else if (tag == aclUser && writes) {
            w.users.push_back(at32(acl, at + 4));
        } else if (tag == aclGroup && writes) {
            w.groups.push_back(at32(acl, at + 4));
        }
    }
    return w;
}

bool contains(const std::vector<quint32>& ids, quint32 id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

// Whether nobody but a writer of the file may make or remove names in the
// folder: it belongs to root or to the file's owner, and whoever else may
// write it is a writer of the file too.
bool onlyWritersChange(const QByteArray& folder, const struct stat& file, const Writers& writers) {
    Fd fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 ||
        (st.st_uid != 0 && st.st_uid != file.st_uid)) {
        return false;
    }
    const Writers w = writersOf(st, aclOf(fd.get()));
    if (w.other || (w.group && !(st.st_gid == file.st_gid && writers.group))) {
        return false;
    }
    for (quint32 uid : w.users) {
        if (uid != 0 && uid != file.st_uid && !contains(writers.users, uid)) {
            return false;
        }
    }
    for (quint32 gid : w.groups) {
        if (!(gid == file.st_gid && writers.group) && !contains(writers.groups, gid)) {
            return false;
        }
    }
    return true;
}

// Where the writers' lock and the old bytes of an in-place write live: beside
// the file a path names (links followed), where only its writers may change
// names; elsewhere there are none. A reader asks about the file's ACL and
// the folder only once it finds a journal.
struct Place {
    QByteArray file, lock, journal;
    int fd = -1; // the file, open while the place is in use
    struct stat st {};
    mutable std::optional<QByteArray> fileAcl;
    mutable std::optional<bool> trusted;
    const QByteArray& acl() const {
        if (!fileAcl) {
            fileAcl = aclOf(fd);
        }
        return *fileAcl;
    }
    bool writersOnly() const {
        if (!trusted) {
            trusted = onlyWritersChange(native(QFileInfo(QFile::decodeName(file)).absolutePath()),
                                        st, writersOf(st, acl()));
        }
        return *trusted;
    }
};

QString resolved(const QString& path) {
    char real[PATH_MAX];
    return ::realpath(native(path).constData(), real) ? QFile::decodeName(real) : path;
}

Place placeOf(const QString& path, int fd, const struct stat& st) {
    Place place;
    const QString target = resolved(path);
    place.file = native(target);
    place.lock = place.file + ".lock";
    place.journal = place.file + ".old";
    place.fd = fd;
    place.st = st;
    return place;
}

// Two ranges, far beyond any settings file's end: writers hold the first
// while they change the file, and queue at the second while they wait for
// the first, passing it on once they hold that, so that a writer in a loop
// lets one that waits go first.
constexpr off_t writingAt = 0, writingLength = off_t(1) << 40;
constexpr off_t queueAt = writingLength;

struct flock range(short type, off_t start, off_t length) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = start;
    lock.l_len = length;
    return lock;
}

bool setLock(int fd, short type, off_t start, off_t length) {
    struct flock lock = range(type, start, length);
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// The kind of lock in the way of a lock of kind `wanted` on the range:
// F_WRLCK (only a writer can hold one), F_RDLCK (a reader's), or F_UNLCK.
short lockInTheWay(int fd, short wanted, off_t start, off_t length) {
    struct flock lock = range(wanted, start, length);
    return ::fcntl(fd, F_OFD_GETLK, &lock) == 0 ? lock.l_type : short(F_UNLCK);
}

// Whether a write lock overlaps the range.
bool writeLocked(int fd, off_t start, off_t length) {
    return lockInTheWay(fd, F_RDLCK, start, length) == F_WRLCK;
}

// Polls rather than blocks, so that the wait has a bound on the UI thread.
// Only another writer's write lock is waited for: where read locks alone are
// in the way, they are a reader's, and the write goes on without the lock.
// Moved once `name` (where given) names another file than `fd`: a save put
// a new one there, and the wait goes on at that one.
enum class Locked { Yes, Passed, TimedOut, Moved };

Locked lockWithin(int fd, off_t start, off_t length, const QByteArray& name,
                  const QDeadlineTimer& deadline) {
    struct stat held {};
    ::fstat(fd, &held);
    for (;;) {
        if (setLock(fd, F_WRLCK, start, length)) {
            return Locked::Yes;
        }
        if (errno != EAGAIN && errno != EACCES && errno != EINTR) {
            return Locked::Passed; // a file system that keeps no locks: go on without
        }
        // Only read locks in the way: a reader's, passed by. A writer that let
        // go meanwhile is no reason to go on without the lock: try again.
        const short inTheWay = lockInTheWay(fd, F_WRLCK, start, length);
        if (inTheWay == F_RDLCK) {
            return Locked::Passed;
        }
        if (inTheWay == F_UNLCK && !deadline.hasExpired()) {
            continue;
        }
        if (deadline.hasExpired()) {
            return Locked::TimedOut;
        }
        QThread::usleep(1000);
        struct stat now {};
        if (!name.isEmpty() && ::stat(name.constData(), &now) == 0 && !sameFile(now, held)) {
            return Locked::Moved;
        }
    }
}

// Takes the queue, then the writing range, of `fd`.
Locked lockWriting(int fd, const QByteArray& name, const QDeadlineTimer& deadline) {
    Locked locked = lockWithin(fd, queueAt, 1, name, deadline);
    if (locked == Locked::Yes || locked == Locked::Passed) {
        locked = lockWithin(fd, writingAt, writingLength, name, deadline);
    }
    setLock(fd, F_UNLCK, queueAt, 1);
    return locked;
}

// The regular file at `name` (or the one a link there points to) opened
// without blocking, with its status: a FIFO would block, a device may never
// end, and someone else's lease must not hold us. For a write it is opened
// for writing, and made empty where there is none.
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

// Gives a lock file or journal of ours the file's owner (where we may: an
// administrator) and group, and `mode` with the ACL `acl` (none: none).
void ownLike(int fd, const struct stat& file, mode_t mode, const QByteArray& acl) {
    // Where this fails (a writer by the ACL, not in the group), the copy is
    // ours with our group, which the mode and ACL still keep to writers.
    [[maybe_unused]] const int owned =
        ::fchown(fd, ::geteuid() == 0 ? file.st_uid : uid_t(-1), file.st_gid);
    ::fchmod(fd, mode);
    if (acl.isEmpty()) {
        ::fremovexattr(fd, aclName);
    } else {
        ::fsetxattr(fd, aclName, acl.constData(), size_t(acl.size()), 0);
    }
}

// The writers' lock file, opened for writing, made where it is missing:
// read and write for exactly those the file gives write (the same change to
// each entry of its ACL), nothing for anyone else. -1 where it cannot be
// opened or made (a folder this writer may not add to).
int openLockFile(const Place& place, const struct stat& file) {
    const int flags = O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
    Fd fd(::open(place.lock.constData(), flags));
    if (fd.get() < 0 && errno == ENOENT) {
        fd.reset(::open(place.lock.constData(), flags | O_CREAT | O_EXCL, 0600));
    }
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1) {
        return -1;
    }
    // Its maker (or root) keeps it in step with the file's permissions.
    if (st.st_uid == ::geteuid() || ::geteuid() == 0) {
        auto rw = [](bool w, mode_t bits) { return w ? bits : mode_t(0); };
        const mode_t mode = rw(file.st_mode & S_IWUSR, 0600) | rw(file.st_mode & S_IWGRP, 0060) |
                            rw(file.st_mode & S_IWOTH, 0006);
        QByteArray acl = place.acl();
        for (qsizetype at = 4; at + 8 <= acl.size(); at += 8) {
            const quint16 perm = htole16((at16(acl, at + 2) & aclWrite) ? 6 : 0);
            std::memcpy(acl.data() + at + 2, &perm, 2);
        }
        ownLike(fd.get(), file, mode, acl);
    }
    return fd.release();
}

// The journal holds a mark and the old bytes; an empty one counts as none.
constexpr char journalMark = 'T';

// The bytes of an in-place write that did not finish, if a writer left them.
bool readJournal(const Place& place, QByteArray& bytes) {
    Fd fd(::open(place.journal.constData(),
                 O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 ||
        !place.writersOnly() || !readAll(fd.get(), bytes) || bytes.size() > maxBytes + 1 ||
        !bytes.startsWith(journalMark)) {
        bytes.clear();
        return false;
    }
    bytes.remove(0, 1);
    return true;
}

bool journalThere(const Place& place) {
    struct stat st {};
    return ::lstat(place.journal.constData(), &st) == 0 && st.st_size > 0 && place.writersOnly();
}

// A new journal, with the file's permissions, written whole and synced under
// a name of its own, then renamed to its place, so that a reader never finds
// half of it. Zero, or the errno of the failure.
int writeJournal(const Place& place, const struct stat& file, const QByteArray& bytes) {
    QByteArray fresh = place.file + ".tide-XXXXXX";
    Fd fd(::mkostemp(fresh.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        return errno;
    }
    ownLike(fd.get(), file, file.st_mode & 0666, place.acl());
    int error = writeAll(fd.get(), journalMark + bytes, 0);
    if (error == 0 &&
        (::fsync(fd.get()) != 0 || ::rename(fresh.constData(), place.journal.constData()) != 0)) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(fresh.constData());
    }
    return error;
}

// Gone, or at least empty, which counts as none.
bool removeJournal(const Place& place) {
    if (::unlink(place.journal.constData()) == 0 || errno == ENOENT) {
        return true;
    }
    Fd empty(::open(place.journal.constData(),
                    O_WRONLY | O_TRUNC | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW));
    return empty.get() >= 0;
}

int writeInPlace(int fd, const QByteArray& bytes) {
    if (const int error = writeAll(fd, bytes, 0)) {
        return error;
    }
    return ::ftruncate(fd, off_t(bytes.size())) == 0 && ::fsync(fd) == 0 ? 0 : errno;
}

// In place, through the locked descriptor: the old bytes first go to the
// journal where there is a place for it; should the write fail (a full
// disk), they are written back at once. A folder that refuses this writer a
// journal (only root may add to it) leaves the write without one.
Failure replaceInPlace(int fd, const Place& place, const struct stat& file, const QByteArray& old,
                       const QByteArray& bytes) {
    bool kept = false;
    if (place.writersOnly()) {
        const int error = writeJournal(place, file, old);
        if (error != 0 && error != EACCES && error != EPERM && error != EROFS) {
            return failureOf(error);
        }
        kept = error == 0;
    }
    const int error = writeInPlace(fd, bytes);
    if ((error == 0 || writeInPlace(fd, old) == 0) && kept && !removeJournal(place)) {
        return Failure::Other;
    }
    return error ? failureOf(error) : Failure::None;
}

// A new file is written whole and synced before it takes the old one's name.
struct Replaced {
    bool inPlaceInstead = false;
    Failure failure = Failure::None;
};

Replaced replaceAtomically(const Place& place, const struct stat& old, const QByteArray& bytes) {
    QByteArray name = place.file + ".tide-XXXXXX";
    Fd fd(::mkostemp(name.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        const Failure failure = failureOf(errno);
        return {failure == Failure::NoPermission, failure};
    }
    // Another user saving (root, say) must not take the file from its owner,
    // nor drop the ACL that says who else may write it.
    if (((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
         ::fchown(fd.get(), old.st_uid, old.st_gid) != 0) ||
        (!place.acl().isEmpty() && ::fsetxattr(fd.get(), aclName, place.acl().constData(),
                                               size_t(place.acl().size()), 0) != 0)) {
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
    if (error == 0 && ::rename(name.constData(), place.file.constData()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlink(name.constData());
        return {false, failureOf(error)};
    }
    Fd folder(::open(native(QFileInfo(QFile::decodeName(place.file)).absolutePath()).constData(),
                     O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) {
        ::fsync(folder.get()); // the rename is done; this only hastens it to the disk
    }
    return {};
}

// New files and journals of writers that were killed before their rename.
void removeLeftovers(const Place& place) {
    const QFileInfo info(QFile::decodeName(place.file));
    const QString prefix = info.fileName() + QStringLiteral(".tide-");
    const QStringList names =
        QDir(info.absolutePath())
            .entryList({prefix + QStringLiteral("??????")}, QDir::Files | QDir::Hidden);
    for (const QString& left : names) {
        ::unlink(native(info.absolutePath() + QLatin1Char('/') + left).constData());
    }
}

// A killed writer's journal, written back into the file and removed (any
// writer may: the folder is the writers'). Failed where it cannot be
// removed: it would keep telling readers the old bytes.
Failure recover(int fd, const Place& place) {
    QByteArray old;
    if (!readJournal(place, old)) {
        return Failure::None;
    }
    if (const int error = writeInPlace(fd, old)) {
        return failureOf(error);
    }
    return removeJournal(place) ? Failure::None : Failure::Other;
}

// The file at `path` opened for writing, and this writer alone among the
// writers: under the lock file where there is one, and under its own write
// lock on the file, unless only readers' locks are in the way.
Opened openLocked(const QString& path, const QDeadlineTimer& deadline, Fd& fd, struct stat& st,
                  Fd& lock, Place& place) {
    const QByteArray name = native(path);
    for (;;) {
        const Opened opened = openRegular(name, true, fd, st);
        if (opened.found != Found::File) {
            return opened;
        }
        if (readOnly(st)) {
            return {Found::Refused, Failure::NoPermission};
        }
        place = placeOf(path, fd.get(), st);
        if (place.writersOnly() && lock.get() < 0) {
            lock.reset(openLockFile(place, st));
            if (lock.get() >= 0 && lockWriting(lock.get(), {}, deadline) == Locked::TimedOut) {
                return {Found::Refused, Failure::Busy};
            }
        }
        const Locked locked = lockWriting(fd.get(), name, deadline);
        if (locked == Locked::TimedOut) {
            return {Found::Refused, Failure::Busy};
        }
        // A save may have put a new file at the path while this one waited.
        struct stat now {};
        if (locked != Locked::Moved && ::stat(name.constData(), &now) == 0 && sameFile(now, st) &&
            ::fstat(fd.get(), &st) == 0) {
            return opened;
        }
        if (deadline.hasExpired()) {
            return {Found::Refused, Failure::Busy};
        }
    }
}

} // namespace

QString journalPath(const QString& path) {
    return QFile::decodeName(placeOf(path, -1, {}).journal);
}

// A reader takes no lock. Where a writer is at work in place, or one was
// killed half way, the journal it left holds the old file whole; otherwise
// the file is read, and read again where a writer took its lock or made a
// journal during the read, or the file's times or size changed.
Found read(const QString& path, QByteArray& bytes, int waitMs, Stamp* stamp) {
    const QByteArray name = native(path);
    const QDeadlineTimer deadline(waitMs);
    Stamp ignored;
    Stamp& seen = stamp ? *stamp : ignored;
    for (;;) {
        bytes.clear();
        seen = {};
        Fd fd;
        struct stat st {};
        const Opened opened = openRegular(name, false, fd, st);
        if (opened.found != Found::File) {
            return opened.found;
        }
        seen = stampOf(st);
        const Place place = placeOf(path, fd.get(), st);
        const bool writing = writeLocked(fd.get(), writingAt, writingLength);
        if (readJournal(place, bytes)) {
            seen = unsettled;
            return bytes.size() <= maxBytes ? Found::File : Found::Refused;
        }
        if (!writing) {
            struct stat after {};
            if (st.st_size > maxBytes || !readAll(fd.get(), bytes, st.st_size) ||
                bytes.size() > maxBytes) {
                return Found::Refused;
            }
            if (!writeLocked(fd.get(), writingAt, writingLength) && !journalThere(place) &&
                ::fstat(fd.get(), &after) == 0 && sameTimesAndSize(st, after)) {
                return Found::File;
            }
            if (deadline.hasExpired()) {
                seen = unsettled;
                return Found::File;
            }
        } else if (deadline.hasExpired()) {
            // A write that takes longer than the wait: what is there is read.
            seen = unsettled;
            return readAll(fd.get(), bytes, st.st_size) && bytes.size() <= maxBytes
                       ? Found::File
                       : Found::Refused;
        }
        QThread::usleep(writing ? 1000 : 0);
    }
}

namespace {

rwini::Failure changeLocked(const QString& path, int waitMs, const Change& change) {
    Fd fd, lock;
    struct stat st {};
    Place place;
    const QDeadlineTimer deadline(waitMs);
    const Opened opened = openLocked(path, deadline, fd, st, lock, place);
    if (opened.found != Found::File) {
        return opened.failure;
    }
    if (st.st_size > maxBytes) {
        return Failure::NotAFile;
    }
    Failure failure = recover(fd.get(), place);
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
        removeLeftovers(place);
        const Replaced replaced = replaceAtomically(place, st, *next);
        failure = replaced.inPlaceInstead ? replaceInPlace(fd.get(), place, st, old, *next)
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
    return ::stat(native(path).constData(), &st) == 0 ? stampOf(st) : Stamp{};
}

bool settled(const Stamp& stamp) {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const quint64 last = std::max(stamp.modified, stamp.changed);
    const quint64 nowNs = quint64(now.tv_sec) * 1000000000u + quint64(now.tv_nsec);
    // Past a whole tick of the coarsest (FAT: 2 s); a time ahead of the clock
    // settles nothing.
    return last != 0 && last <= nowNs && nowNs - last >= 3000000000u;
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
