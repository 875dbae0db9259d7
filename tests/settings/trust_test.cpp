// A café's machine with real users: the owner, who may write SysInfo.ini, and
// customers, who may only read it. Each case is an attack a customer can make
// with what an ordinary user has; none may change what a panel or the editor
// shows, make the owner's save fail or wait, or stop a panel.
#include "names.h"
#include "profile.h"
#include "support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uid_t owner = 4001, customer = 4002, otherCustomer = 4003;

const QByteArray shop = "[Sysinfo]\r\nTitle=shop\r\nService TEL=110-1234\r\nClose=Start\r\n"
                        "[Display]\r\nInfo=1\r\n";
const QByteArray scam = "[Sysinfo]\r\nTitle=shop\r\nService TEL=999-6666\r\nClose=End\r\n"
                        "[Display]\r\nInfo=1\r\n";

bool become(uid_t uid) {
    return ::setgroups(0, nullptr) == 0 && ::setresgid(uid, uid, uid) == 0 &&
           ::setresuid(uid, uid, uid) == 0;
}

// A process of another user that does `act` and then keeps what it opened,
// locked or leased, until this object goes.
class Holder {
public:
    Holder(uid_t uid, const std::function<bool()>& act) {
        int ready[2];
        if (::pipe(ready) != 0) {
            return;
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            const char done = become(uid) && act() ? '1' : '0';
            [[maybe_unused]] const ssize_t n = ::write(ready[1], &done, 1);
            for (;;) {
                ::pause();
            }
        }
        ::close(ready[1]);
        char done = '0';
        ok_ = ::read(ready[0], &done, 1) == 1 && done == '1';
        ::close(ready[0]);
    }
    ~Holder() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;
    bool ok() const { return ok_; }

private:
    pid_t pid_ = -1;
    bool ok_ = false;
};

struct Run {
    int status = -1;
    QByteArray out;
    qint64 ms = 0;
};

// The shop: a folder the owner may write (or, for an install whose folder
// refuses new files, only root), and SysInfo.ini, the owner's, which every
// user may read. Its temporary folder is everyone's, as /tmp is.
class Cafe {
public:
    explicit Cafe(bool folderReadOnly) {
        ::chmod(QFile::encodeName(root_.path()).constData(), 0755);
        QDir(root_.path()).mkdir(QStringLiteral("app"));
        QDir(root_.path()).mkdir(QStringLiteral("tmp"));
        QDir(root_.path()).mkdir(QStringLiteral("home"));
        chown(folder(), folderReadOnly ? 0 : owner, 0755);
        chown(temp(), 0, 01777);
        chown(home(), owner, 0700);
        QFile file(ini());
        if (file.open(QIODevice::WriteOnly)) {
            file.write(shop);
        }
        file.close();
        chown(ini(), owner, 0644);
    }

    QString folder() const { return root_.filePath(QStringLiteral("app")); }
    QString temp() const { return root_.filePath(QStringLiteral("tmp")); }
    QString home() const { return root_.filePath(QStringLiteral("home")); }
    QString ini() const { return folder() + QStringLiteral("/SysInfo.ini"); }
    QByteArray bytes() const {
        QFile f(ini());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QByteArray journal() const { return testing_support::journalOf(ini(), temp()); }

    // The settings tool (what both programs do with the file) as `uid`; root as itself.
    Run as(uid_t uid, const QStringList& args) const {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), temp());
        p.setProcessEnvironment(env);
        QElapsedTimer clock;
        clock.start();
        testing_support::startAs(p, uid, QStringLiteral(RWINI_TOOL), QStringList{folder()} + args);
        Run run;
        if (!p.waitForFinished(30000)) {
            p.kill();
            return run;
        }
        run.ms = clock.elapsed();
        run.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        run.out = p.readAllStandardOutput();
        return run;
    }
    QByteArray read(uid_t uid, const QString& key) const {
        return as(uid, {"read", ini::Sysinfo, key}).out;
    }

private:
    static void chown(const QString& path, uid_t uid, mode_t mode) {
        const QByteArray name = QFile::encodeName(path);
        EXPECT_EQ(::chown(name.constData(), uid, uid), 0) << name.constData();
        EXPECT_EQ(::chmod(name.constData(), mode), 0) << name.constData();
    }
    QTemporaryDir root_;
};

bool plantFile(const QByteArray& path, const QByteArray& bytes, mode_t mode) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, mode);
    const bool ok = fd >= 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ok && ::fchmod(fd, mode) == 0 && ::close(fd) == 0;
}

// Whatever an attack leaves behind, the owner saves a new address at once.
void expectOwnerSaves(const Cafe& cafe, const QString& what) {
    for (uid_t writer : {owner, uid_t(0)}) {
        const QString address = QStringLiteral("road %1").arg(writer);
        const Run run = cafe.as(writer, {"write", ini::Sysinfo, ini::key::Add, address});
        EXPECT_EQ(run.status, 0) << qPrintable(what) << ", writer " << writer << ": "
                                 << run.out.constData();
        EXPECT_LT(run.ms, 1000) << qPrintable(what);
        EXPECT_TRUE(cafe.bytes().contains("Add=" + address.toLatin1())) << qPrintable(what);
        EXPECT_TRUE(cafe.bytes().contains("110-1234")) << qPrintable(what);
        EXPECT_FALSE(cafe.bytes().contains("999")) << qPrintable(what);
    }
}

struct Attack {
    const char* name;
    bool folderReadOnly; // the owner's saves go in place
    std::function<void(const Cafe&)> run;
};

void PrintTo(const Attack& attack, std::ostream* os) {
    *os << attack.name;
}

class CustomerAttack : public ::testing::TestWithParam<Attack> {};

TEST_P(CustomerAttack, ChangesNothingAnyoneSeesAndNeverStopsTheOwner) {
    if (!testing_support::canActAsOthers()) {
        GTEST_SKIP() << "needs root and setpriv to act as the owner and customers";
    }
    Cafe cafe(GetParam().folderReadOnly);
    ASSERT_EQ(cafe.read(customer, ini::key::ServiceTel), "110-1234");
    GetParam().run(cafe);
}

// The old bytes of an unfinished write, with the customer's number and the
// close flag: every reader and the owner's next save took them.
void plantedJournal(const Cafe& cafe) {
    Holder planted(customer, [&] { return plantFile(cafe.journal(), "T" + scam, 0644); });
    ASSERT_TRUE(planted.ok());
    for (uid_t reader : {customer, otherCustomer, owner, uid_t(0)}) {
        EXPECT_EQ(cafe.read(reader, ini::key::ServiceTel), "110-1234") << "reader " << reader;
        EXPECT_EQ(cafe.read(reader, ini::key::Close), "Start") << "reader " << reader;
    }
    expectOwnerSaves(cafe, QStringLiteral("a planted journal"));
}

// Anything else at the journal's name: the owner's write in place neither
// fails nor hangs.
void objectAtTheJournal(const Cafe& cafe) {
    const QByteArray name = cafe.journal();
    const std::vector<std::pair<QString, std::function<bool()>>> objects = {
        {"a link", [&] { return ::symlink(QFile::encodeName(cafe.ini()), name.constData()) == 0; }},
        {"a FIFO", [&] { return ::mkfifo(name.constData(), 0666) == 0; }},
        {"a folder", [&] { return ::mkdir(name.constData(), 0777) == 0; }},
        {"an empty file", [&] { return plantFile(name, QByteArray(), 0666); }},
        {"a leased file",
         [&] {
             const int fd =
                 plantFile(name, "T" + scam, 0644) ? ::open(name.constData(), O_RDONLY) : -1;
             return fd >= 0 && ::fcntl(fd, F_SETLEASE, F_RDLCK) == 0;
         }},
    };
    for (const auto& [what, make] : objects) {
        {
            Holder planted(customer, make);
            ASSERT_TRUE(planted.ok()) << qPrintable(what);
            EXPECT_EQ(cafe.read(otherCustomer, ini::key::ServiceTel), "110-1234");
            expectOwnerSaves(cafe, what);
        }
        ::unlink(name.constData()) == 0 || ::rmdir(name.constData());
    }
}

// Locks a reader can take: on the file itself, shared or exclusive, of
// either kind. None stalls a panel; the owner saves, or at worst is told
// within a second that another program holds the file.
void heldLocks(const Cafe& cafe) {
    const QByteArray name = QFile::encodeName(cafe.ini());
    for (int operation : {LOCK_SH, LOCK_EX}) {
        Holder held(customer,
                    [&] { return ::flock(::open(name.constData(), O_RDONLY), operation) == 0; });
        ASSERT_TRUE(held.ok());
        const Run read = cafe.as(otherCustomer, {"read", ini::Sysinfo, ini::key::ServiceTel});
        EXPECT_EQ(read.out, "110-1234");
        expectOwnerSaves(cafe, QStringLiteral("flock %1").arg(operation));
    }
    Holder held(customer, [&] {
        struct flock lock {};
        lock.l_type = F_RDLCK;
        return ::fcntl(::open(name.constData(), O_RDONLY), F_OFD_SETLK, &lock) == 0;
    });
    ASSERT_TRUE(held.ok());
    EXPECT_EQ(cafe.read(otherCustomer, ini::key::ServiceTel), "110-1234");
    const Run save = cafe.as(owner, {"write", ini::Sysinfo, ini::key::Add, "x"});
    EXPECT_LT(save.ms, 1000);
    EXPECT_EQ(save.status == 0 ? QByteArray("0") : save.out, "2")
        << "told: another program holds it";
}

// A customer's panel reading a file that lacks keys: it shows the defaults
// and spends not one lock, write or folder listing on writing them back.
void customersPanelWithMissingKeys(const Cafe& cafe) {
    const int watch = ::inotify_init1(IN_NONBLOCK);
    ASSERT_GE(::inotify_add_watch(watch, QFile::encodeName(cafe.folder()), IN_OPEN), 0);
    const Run reads = cafe.as(customer, {"reads", ini::Display, ini::key::Title, "20"});
    EXPECT_EQ(reads.status, 0);
    alignas(inotify_event) char events[65536];
    const ssize_t n = ::read(watch, events, sizeof events);
    ::close(watch);
    int opens = 0;
    for (ssize_t at = 0; at < n; ++opens) {
        at += ssize_t(sizeof(inotify_event) + reinterpret_cast<inotify_event*>(events + at)->len);
    }
    EXPECT_LE(opens, 1) << "the file opened once and kept; no listing, no write";
    EXPECT_EQ(cafe.bytes(), shop);
}

// A file nobody may write stays as it is, for its owner and for root too.
void readOnlyFile(const Cafe& cafe) {
    ASSERT_EQ(::chmod(QFile::encodeName(cafe.ini()).constData(), 0444), 0);
    for (uid_t writer : {owner, uid_t(0)}) {
        const Run save = cafe.as(writer, {"write", ini::Sysinfo, ini::key::Add, "x"});
        EXPECT_EQ(save.status, 1) << writer;
        EXPECT_EQ(save.out, "1") << "told: no permission";
        EXPECT_EQ(cafe.read(writer, ini::key::Add), "") << "a default is not written back either";
        EXPECT_EQ(cafe.bytes(), shop);
    }
}

// The panel's single-instance lock, and a journal that says Close=End: a
// customer stops neither the owner's panel nor a new one.
void ownersPanelStarts(const Cafe& cafe) {
    const QString program = cafe.folder() + QStringLiteral("/tidepanel");
    ASSERT_TRUE(QFile::copy(QStringLiteral(TIDEPANEL_PROGRAM), program));
    const QByteArray temp = QFile::encodeName(cafe.temp());
    Holder squat(customer, [&] {
        bool ok = plantFile(cafe.journal(), "T" + scam, 0644);
        for (const QByteArray& folder : {temp, temp + "/runtime-", temp + "/runtime-4001"}) {
            ::mkdir(folder.constData(), 0777);
            const int fd =
                ::open((folder + "/tidepanel-_97.lock").constData(), O_RDWR | O_CREAT, 0666);
            ok = ok && fd >= 0 && ::flock(fd, LOCK_EX) == 0;
        }
        return ok;
    });
    ASSERT_TRUE(squat.ok());
    QProcess panel;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    env.insert(QStringLiteral("TMPDIR"), cafe.temp());
    env.insert(QStringLiteral("HOME"), cafe.home());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":97"));
    panel.setProcessEnvironment(env);
    panel.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    testing_support::startAs(panel, owner, program, {});
    EXPECT_FALSE(panel.waitForFinished(3000)) << "the owner's panel ended";
    ::kill(pid_t(panel.processId()), SIGKILL);
    panel.waitForFinished(5000);
}

INSTANTIATE_TEST_SUITE_P(
    Cafe, CustomerAttack,
    ::testing::Values(Attack{"PlantedJournal", false, plantedJournal},
                      Attack{"PlantedJournalInPlace", true, plantedJournal},
                      Attack{"ObjectAtTheJournalInPlace", true, objectAtTheJournal},
                      Attack{"HeldLocks", false, heldLocks},
                      Attack{"HeldLocksInPlace", true, heldLocks},
                      Attack{"CustomersPanelWithMissingKeys", false, customersPanelWithMissingKeys},
                      Attack{"ReadOnlyFile", false, readOnlyFile},
                      Attack{"OwnersPanelStarts", true, ownersPanelStarts}),
    [](const ::testing::TestParamInfo<Attack>& info) { return std::string(info.param.name); });

} // namespace
