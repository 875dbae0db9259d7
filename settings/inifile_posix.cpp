// The settings file on POSIX systems.
//
// The lock is flock() on SysInfo.ini itself: the kernel drops it with its
// process, so no killed writer, empty lock file or read-only folder can leave
// it stuck. An atomic save puts a new file in place, so a waiter that gets
// the lock checks that it still holds the file at the path, else locks again.
// Readers take it shared, which matters where a write goes in place.
//
// A write makes a new file beside the old one and renames it over it, with
// the old file's mode, owner and group. Where the folder refuses new files,
// or the owner cannot be kept, it writes in place instead; before that it
// puts the old bytes in the temporary folder, so that a writer killed half
// way leaves them to the next reader (who reads them instead of the torn
// file) and the next writer (who writes them back first).
#include "inifile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace inifile {
namespace {

// The last one is kept: a panel reads the same path twenty times a second.
QByteArray native(const QString& path) {
    thread_local QString last;
    thread_local QByteArray name;
    if (path != last || name.isEmpty()) {
        name = QFile::encodeName(path);
        last = path;
    }
    return name;
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

bool writeAll(int fd, const QByteArray& bytes, off_t at) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::pwrite(fd, bytes.constData() + done, size_t(bytes.size() - done), at + done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += n;
    }
    return true;
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

// Polls rather than blocks, so that the wait has a bound on the UI thread.
bool lockWithin(int fd, int operation, const QDeadlineTimer& deadline) {
    for (;;) {
        if (::flock(fd, operation | LOCK_NB) == 0) {
            return true;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            return true; // a file system that keeps no locks: go on without
        }
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::usleep(1000);
    }
}

// The regular file at `name` (or the one a link there points to) opened
// without blocking, with its status. Where there is none: Missing, or with
// `created` an empty one made. A FIFO would block, a device may never end.
Found openRegular(const QByteArray& name, bool* created, Fd& fd, struct stat& st) {
    for (;;) {
        // Opening some devices does something already; the check after the
        // open is the one that counts.
        struct stat before {};
        if (::stat(name.constData(), &before) == 0 && !S_ISREG(before.st_mode)) {
            return Found::Refused;
        }
        fd.reset(::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
        if (fd.get() < 0 && errno == ENOENT) {
            struct stat link {};
            if (::lstat(name.constData(), &link) == 0) {
                return Found::Refused; // a link to nothing
            }
            if (!created) {
                return Found::Missing;
            }
            // Made empty, with the mode a new file gets, so that it can be locked.
            fd.reset(::open(name.constData(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
            if (fd.get() < 0 && errno == EEXIST) {
                continue;
            }
            *created = fd.get() >= 0;
        }
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
            return Found::Refused;
        }
        return Found::File;
    }
}

// The file at `path` opened and locked for a write, as openRegular.
Found openLocked(const QString& path, bool* created, const QDeadlineTimer& deadline, Fd& fd,
                 struct stat& st) {
    const QByteArray name = native(path);
    for (;;) {
        const Found found = openRegular(name, created, fd, st);
        if (found != Found::File) {
            return found;
        }
        if (!lockWithin(fd.get(), LOCK_EX, deadline)) {
            return Found::Refused;
        }
        // A save may have put a new file at the path while this one waited.
        struct stat now {};
        if (::stat(name.constData(), &now) == 0 && sameFile(now, st) &&
            ::fstat(fd.get(), &st) == 0) {
            return Found::File;
        }
        if (deadline.hasExpired()) {
            return Found::Refused;
        }
    }
}

// A file in the temporary folder named after `path` with `suffix`.
QString besideInTemp(const QString& path, const QByteArray& extra, const char* suffix) {
    const QByteArray key = native(QFileInfo(path).absoluteFilePath()) + extra;
    const QByteArray hash =
        QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(20);
    // Looked up once: the panel asks for it twenty times a second.
    static const QDir temp = QDir::temp();
    return temp.filePath(QStringLiteral("tide-%1.%2").arg(QLatin1String(hash), suffix));
}

// Writers queue at a gate before they wait for the file's own lock, and pass
// it on once they hold that: a writer in a loop then finds the gate held by
// the one waiting and lets it go first. The gate lives in the temporary
// folder, as the file's own inode changes with every save. Without one (no
// temporary folder) writers still take turns, only less evenly.
class Gate {
public:
    Gate(const QString& path, const QDeadlineTimer& deadline) {
        const QByteArray name = native(besideInTemp(path, QByteArray(), "gate"));
        fd_.reset(::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        if (fd_.get() < 0 && errno == ENOENT) {
            fd_.reset(::open(name.constData(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
            if (fd_.get() >= 0) {
                ::fchmod(fd_.get(), 0666); // every user's writers queue here
            }
        }
        passed_ = fd_.get() < 0 || lockWithin(fd_.get(), LOCK_EX, deadline);
    }
    // False when the wait ran out in the queue.
    bool passed() const { return passed_; }
    void leave() { fd_.reset(); }

private:
    Fd fd_;
    bool passed_ = false;
};

// Where the old bytes of an in-place write wait, named by the file they
// belong to. Kept from the last call: a panel asks twenty times a second.
QByteArray journalPath(const QString& path, const struct stat& st) {
    thread_local QString lastPath;
    thread_local QByteArray lastJournal;
    thread_local dev_t lastDev = 0;
    thread_local ino_t lastIno = 0;
    if (path != lastPath || st.st_dev != lastDev || st.st_ino != lastIno || lastJournal.isEmpty()) {
        lastJournal = native(besideInTemp(path,
                                          ':' + QByteArray::number(qulonglong(st.st_dev)) + ':' +
                                              QByteArray::number(qulonglong(st.st_ino)),
                                          "old"));
        lastPath = path;
        lastDev = st.st_dev;
        lastIno = st.st_ino;
    }
    return lastJournal;
}

// The journal holds a mark and the old bytes. One that cannot be removed
// (another user's, in a temporary folder that keeps users apart) is emptied
// instead, and an empty one counts as none.
constexpr char journalMark = 'T';

// The bytes of an in-place write that did not finish, if one was left.
bool readJournal(const QByteArray& journal, QByteArray& bytes) {
    Fd fd(::open(journal.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        !readAll(fd.get(), bytes) || bytes.size() > maxBytes + 1 ||
        !bytes.startsWith(journalMark)) {
        return false;
    }
    bytes.remove(0, 1);
    return true;
}

void clearJournal(const QByteArray& journal) {
    if (::unlink(journal.constData()) != 0) {
        Fd fd(::open(journal.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW));
    }
}

bool writeJournal(const QByteArray& journal, const QByteArray& bytes) {
    const QByteArray& name = journal;
    Fd fd(::open(name.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (fd.get() < 0) {
        fd.reset(
            ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666));
        if (fd.get() >= 0) {
            ::fchmod(fd.get(), 0666); // whoever writes next may have to empty it
        }
    }
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    if (!writeAll(fd.get(), journalMark + bytes, 0) || ::fsync(fd.get()) != 0) {
        fd.reset();
        clearJournal(journal);
        return false;
    }
    return true;
}

bool writeInPlace(int fd, const QByteArray& bytes) {
    return writeAll(fd, bytes, 0) && ::ftruncate(fd, off_t(bytes.size())) == 0 && ::fsync(fd) == 0;
}

// In place: the old bytes first go to the journal; should the write fail
// (a full disk), they are written back at once.
bool replaceInPlace(const QString& target, const QByteArray& journal, const QByteArray& old,
                    const QByteArray& bytes) {
    Fd fd(::open(native(target).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0 || !writeJournal(journal, old)) {
        return false;
    }
    const bool written = writeInPlace(fd.get(), bytes);
    if (written || writeInPlace(fd.get(), old)) {
        clearJournal(journal);
    }
    return written;
}

// A new file is written whole and synced before it takes the old one's name.
enum class Saved { Done, Failed, InPlaceInstead };

Saved replaceAtomically(const QString& target, const struct stat& old, const QByteArray& bytes) {
    QByteArray name = native(target) + ".tide-XXXXXX";
    Fd fd(::mkostemp(name.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        return (errno == EACCES || errno == EPERM) ? Saved::InPlaceInstead : Saved::Failed;
    }
    // Another user saving (root, say) must not take the file from its owner.
    if ((old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
        ::fchown(fd.get(), old.st_uid, old.st_gid) != 0) {
        fd.reset();
        ::unlink(name.constData());
        return Saved::InPlaceInstead;
    }
    bool ok = ::fchmod(fd.get(), old.st_mode & 07777) == 0;
    struct stat written {};
    ok = ok && writeAll(fd.get(), bytes, 0) && ::fsync(fd.get()) == 0 &&
         ::fstat(fd.get(), &written) == 0 && written.st_size == off_t(bytes.size());
    ok = (::close(fd.release()) == 0) && ok;
    ok = ok && ::rename(name.constData(), native(target).constData()) == 0;
    if (!ok) {
        ::unlink(name.constData());
        return Saved::Failed;
    }
    Fd folder(::open(native(QFileInfo(target).absolutePath()).constData(),
                     O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) {
        ::fsync(folder.get()); // the rename is done; this only hastens it to the disk
    }
    return Saved::Done;
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

} // namespace

// A reader keeps the file open from one read to the next, as a panel reads
// it twenty times a second; a stat of the path, under the shared lock, tells
// whether it still names that file. Nothing is locked between reads.
//
// A writer killed while writing in place changed the file's times, or its
// size, before it died: the journal it left is looked for whenever they have
// changed since the last look, and at least once a second, as timestamps
// are coarse on some kernels.
struct KeptFile {
    QByteArray name;
    Fd fd;
    struct stat st {};
    bool lookAgain = true; // for a journal, whatever the file's times
    struct stat looked {}; // the file when the journal was last looked for
    QDeadlineTimer lookDue;
};

bool sameTimesAndSize(const struct stat& a, const struct stat& b) {
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec && a.st_ctim.tv_sec == b.st_ctim.tv_sec &&
           a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

Found read(const QString& path, QByteArray& bytes, int waitMs) {
    bytes.clear();
    thread_local KeptFile kept;
    const QByteArray name = native(path);
    const QDeadlineTimer deadline(waitMs);
    struct stat st {};
    // Shared, so that no write in place is seen half done. A write that takes
    // longer than the wait: what is there is read.
    bool locked = false;
    if (kept.fd.get() >= 0 && kept.name == name) {
        locked = lockWithin(kept.fd.get(), LOCK_SH, deadline);
        if (::stat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode) || !sameFile(st, kept.st)) {
            kept.fd.reset(); // which also drops the lock
            locked = false;
        }
    } else {
        kept.fd.reset();
    }
    if (kept.fd.get() < 0) {
        const Found found = openRegular(name, nullptr, kept.fd, st);
        if (found != Found::File) {
            kept.fd.reset();
            return found;
        }
        kept.name = name;
        kept.st = st;
        kept.lookAgain = true; // its status was taken before the lock
        locked = lockWithin(kept.fd.get(), LOCK_SH, deadline);
    }
    const int fd = kept.fd.get();
    bool fromJournal = false;
    if (!locked || kept.lookAgain || !sameTimesAndSize(st, kept.looked) ||
        kept.lookDue.hasExpired()) {
        fromJournal = readJournal(journalPath(path, st), bytes);
        kept.lookAgain = fromJournal || !locked;
        kept.looked = st;
        kept.lookDue.setRemainingTime(1000);
    }
    const bool done =
        fromJournal || (st.st_size <= maxBytes && readAll(fd, bytes, qint64(st.st_size)));
    if (locked) {
        ::flock(fd, LOCK_UN);
    }
    return done && bytes.size() <= maxBytes ? Found::File : Found::Refused;
}

bool update(const QString& path, int waitMs, const Change& change) {
    Fd fd;
    struct stat st {};
    bool created = false;
    const QDeadlineTimer deadline(waitMs);
    Gate gate(path, deadline);
    if (!gate.passed() || openLocked(path, &created, deadline, fd, st) != Found::File ||
        st.st_size > maxBytes) {
        return false;
    }
    gate.leave();
    const QByteArray journal = journalPath(path, st);
    const QString target = resolved(path);
    QByteArray old;
    if (readJournal(journal, old)) {
        if (!replaceInPlace(target, journal, old, old)) {
            return false;
        }
    } else if (!readAll(fd.get(), old) || old.size() > maxBytes) {
        return false;
    }
    std::optional<QByteArray> next = change(old);
    bool done = next && *next == old;
    if (next && !done) {
        removeLeftovers(target);
        switch (replaceAtomically(target, st, *next)) {
        case Saved::Done:
            done = true;
            break;
        case Saved::Failed:
            break;
        case Saved::InPlaceInstead:
            done = replaceInPlace(target, journal, old, *next);
            break;
        }
    }
    if (created && !done) {
        ::unlink(native(path).constData()); // there was no file before
    }
    return done;
}

} // namespace inifile
