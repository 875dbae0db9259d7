// A café's machine with real users: the owners, who may write SysInfo.ini,
// and customers, who may only read it. Each case is an attack a customer can
// make with what an ordinary user has, in each way a shop lays out the file;
// none may change what a panel or the editor shows, make the owner's save
// fail or wait, or stop a panel.
#include "names.h"
#include "notice.h"
#include "profile.h"
#include "support.h"

#include <QCoreApplication>
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

constexpr uid_t owner = 4001, customer = 4002, otherCustomer = 4003, secondOwner = 4004,
                groupCustomer = 4005;
// The owners' group (the package's tidepanel); in the ACL's layout, a group
// of customers.
constexpr gid_t group = 4100;

gid_t groupOf(uid_t uid) {
    return uid == owner || uid == secondOwner || uid == groupCustomer ? group : uid;
}

const QByteArray shop = "[Sysinfo]\r\nTitle=shop\r\nService TEL=110-1234\r\nClose=Start\r\n"
                        "[Display]\r\nInfo=1\r\n";
const QByteArray scam = "[Sysinfo]\r\nTitle=shop\r\nService TEL=999-6666\r\nClose=End\r\n"
                        "[Display]\r\nInfo=1\r\n";

bool become(uid_t uid) {
    const gid_t gid = groupOf(uid);
    return ::setgroups(0, nullptr) == 0 && ::setresgid(gid, gid, gid) == 0 &&
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
    QByteArray out; // a save's: the failure's name, then its own milliseconds
    QByteArray failure() const { return out.split('\n').value(0); }
    qint64 ms() const { return out.split('\n').value(1).toLongLong(); }
};

// How a shop lays out SysInfo.ini, which every user may read.
enum class Layout {
    Owners,  // the owner's folder and file: saves replace the file
    Package, // root's folder and file, which the owners' group may write (the package)
    InPlace, // the owner's file in root's folder: the owner writes in place
    Acl,     // root's file in root's folder, which an ACL lets the owner write
};

// The shop in one layout, with a temporary folder that is everyone's, as /tmp is.
class Cafe {
public:
    explicit Cafe(Layout layout) : layout_(layout) {
        ::chmod(QFile::encodeName(root_.path()).constData(), 0755);
        QDir(root_.path()).mkdir(QStringLiteral("app"));
        QDir(root_.path()).mkdir(QStringLiteral("tmp"));
        QDir(root_.path()).mkdir(QStringLiteral("home"));
        const bool owners = layout_ == Layout::Owners, package = layout_ == Layout::Package;
        chown(folder(), owners ? owner : 0, owners || package ? group : 0, package ? 02775 : 0755);
        chown(temp(), 0, 0, 01777);
        chown(home(), owner, group, 0700);
        QFile file(ini());
        if (file.open(QIODevice::WriteOnly)) {
            file.write(shop);
        }
        file.close();
        const bool roots = package || layout_ == Layout::Acl;
        chown(ini(), roots ? 0 : owner, group, package ? 0664 : 0644);
        if (layout_ == Layout::Acl) {
            EXPECT_EQ(QProcess::execute(QStringLiteral("setfacl"), {"-m", "u:4001:rw", ini()}), 0);
        }
    }

    Layout layout() const { return layout_; }
    QString folder() const { return root_.filePath(QStringLiteral("app")); }
    QString temp() const { return root_.filePath(QStringLiteral("tmp")); }
    QString home() const { return root_.filePath(QStringLiteral("home")); }
    QString ini() const { return folder() + QStringLiteral("/SysInfo.ini"); }
    QByteArray bytes() const {
        QFile f(ini());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QByteArray journal() const { return testing_support::journalOf(ini()); }

    // The settings tool (what both programs do with the file) as `uid`; root
    // as itself; under strace where `strace` names what it does to the tool.
    Run as(uid_t uid, const QStringList& args, const QStringList& strace = {}) const {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), temp());
        p.setProcessEnvironment(env);
        const QStringList all = QStringList{folder()} + args;
        if (strace.isEmpty()) {
            testing_support::startAs(p, uid, QStringLiteral(RWINI_TOOL), all, groupOf(uid));
        } else {
            p.start(QStringLiteral("strace"),
                    QStringList{"-f", "-qq", "-o", "/dev/null"} + strace +
                        QStringList{"setpriv", QStringLiteral("--reuid=%1").arg(uid),
                                    QStringLiteral("--regid=%1").arg(groupOf(uid)),
                                    "--clear-groups", QStringLiteral(RWINI_TOOL)} +
                        all);
        }
        Run run;
        if (!p.waitForFinished(30000)) {
            p.kill();
            return run;
        }
        run.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        run.out = p.readAllStandardOutput();
        return run;
    }
    QByteArray read(uid_t uid, const QString& key) const {
        return as(uid, {"read", ini::Sysinfo, key}).out;
    }

private:
    static void chown(const QString& path, uid_t uid, gid_t gid, mode_t mode) {
        const QByteArray name = QFile::encodeName(path);
        EXPECT_EQ(::chown(name.constData(), uid, gid), 0) << name.constData();
        EXPECT_EQ(::chmod(name.constData(), mode), 0) << name.constData();
    }
    QTemporaryDir root_;
    Layout layout_;
};

bool plantFile(const QByteArray& path, const QByteArray& bytes, mode_t mode) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, mode);
    const bool ok = fd >= 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ok && ::fchmod(fd, mode) == 0 && ::close(fd) == 0;
}

// Whatever an attack leaves behind, the owners save a new address at once
// (within a second, measured inside the saving process; bounded five times).
void expectOwnerSaves(const Cafe& cafe, const QString& what) {
    for (uid_t writer : {owner, secondOwner, uid_t(0)}) {
        const QString address = QStringLiteral("road %1").arg(writer);
        const Run run = cafe.as(writer, {"write", ini::Sysinfo, ini::key::Add, address});
        if (run.failure() == "NoPermission" && writer == secondOwner) {
            continue; // an owner only in the package's layout
        }
        EXPECT_EQ(run.failure(), "None") << qPrintable(what) << ", writer " << writer;
        EXPECT_LT(run.ms(), 5000) << qPrintable(what);
        EXPECT_TRUE(cafe.bytes().contains("Add=" + address.toLatin1())) << qPrintable(what);
        EXPECT_TRUE(cafe.bytes().contains("110-1234")) << qPrintable(what);
        EXPECT_FALSE(cafe.bytes().contains("999")) << qPrintable(what);
    }
}

struct Attack {
    const char* name;
    Layout layout;
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
    Cafe cafe(GetParam().layout);
    ASSERT_EQ(cafe.read(customer, ini::key::ServiceTel), "110-1234");
    GetParam().run(cafe);
}

// The old bytes of an unfinished write, with the customer's number and the
// close flag, where the journal lives (or, where the customer's group is
// given write by the ACL's mask, with that group): every reader and the
// owner's next save took them.
void plantedJournal(const Cafe& cafe) {
    Holder planted(cafe.layout() == Layout::Acl ? groupCustomer : customer, [&] {
        plantFile(cafe.journal(), "T" + scam, 0644);
        return true;
    });
    ASSERT_TRUE(planted.ok());
    for (uid_t reader : {customer, otherCustomer, owner, uid_t(0)}) {
        EXPECT_EQ(cafe.read(reader, ini::key::ServiceTel), "110-1234") << "reader " << reader;
        EXPECT_EQ(cafe.read(reader, ini::key::Close), "Start") << "reader " << reader;
    }
    expectOwnerSaves(cafe, QStringLiteral("a planted journal"));
    if (cafe.layout() == Layout::Acl) {
        EXPECT_EQ(cafe.as(groupCustomer, {"write", ini::Sysinfo, ini::key::Add, "x"}).failure(),
                  "NoPermission")
            << "root's save kept the ACL";
    }
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
            Holder planted(customer, [&] { return make() || true; });
            ASSERT_TRUE(planted.ok()) << qPrintable(what);
            EXPECT_EQ(cafe.read(otherCustomer, ini::key::ServiceTel), "110-1234");
            expectOwnerSaves(cafe, what);
        }
        ::unlink(name.constData()) == 0 || ::rmdir(name.constData());
    }
}

// Locks a reader can take on the file itself, of every kind and on every
// range, held by a process that outlives the customer's session: none stalls
// a panel or makes a save fail or wait, nor keeps the owner from ending the
// panels and letting them run again.
void heldLocks(const Cafe& cafe) {
    const QByteArray name = QFile::encodeName(cafe.ini());
    for (int operation : {LOCK_SH, LOCK_EX}) {
        Holder held(customer,
                    [&] { return ::flock(::open(name.constData(), O_RDONLY), operation) == 0; });
        ASSERT_TRUE(held.ok());
        EXPECT_EQ(cafe.read(otherCustomer, ini::key::ServiceTel), "110-1234");
        expectOwnerSaves(cafe, QStringLiteral("flock %1").arg(operation));
    }
    Holder held(customer, [&] {
        struct flock whole {};
        whole.l_type = F_RDLCK; // from 0 to the end of any file, however large
        const int fd = ::open(name.constData(), O_RDONLY);
        return ::setsid() > 0 && ::fcntl(fd, F_OFD_SETLK, &whole) == 0 &&
               ::fcntl(::open(name.constData(), O_RDONLY), F_SETLK, &whole) == 0;
    });
    ASSERT_TRUE(held.ok());
    EXPECT_EQ(cafe.read(otherCustomer, ini::key::ServiceTel), "110-1234");
    expectOwnerSaves(cafe, QStringLiteral("a detached read lock"));
    for (const char* flag : {"End", "Start"}) {
        EXPECT_EQ(cafe.as(owner, {"write", ini::Sysinfo, ini::key::Close, flag}).failure(), "None");
        EXPECT_EQ(cafe.read(customer, ini::key::Close), flag);
    }
}

// An owner's save killed between its write in place and its truncate, after
// a customer took the journal's name where it could (a folder there once
// switched the journal off): readers still see a whole file, and another
// owner's save puts it back and goes on.
void killedSaveOfAnotherOwner(const Cafe& cafe) {
    Holder squat(customer, [&] {
        ::mkdir(cafe.journal().constData(), 0777);
        return true;
    });
    ASSERT_TRUE(squat.ok());
    const Run killed = cafe.as(owner, {"write", ini::Sysinfo, ini::key::Title, "t"},
                               {"-e", "inject=ftruncate:signal=SIGKILL"});
    ASSERT_NE(killed.failure(), "None") << "the save was not killed";
    for (uid_t reader : {customer, secondOwner}) {
        EXPECT_EQ(cafe.read(reader, ini::key::Title), "shop") << reader;
    }
    const Run save = cafe.as(secondOwner, {"write", ini::Sysinfo, ini::key::Add, "road"});
    EXPECT_EQ(save.failure(), "None");
    EXPECT_EQ(cafe.bytes(), QByteArray(shop).insert(shop.indexOf("[Display]"), "Add=road\r\n"))
        << "the old file, whole, with the second owner's address";
}

// A save reaches a panel at once, however it is written: the notice source
// (in this process) follows the owner's saves, each within a second (bounded
// five times here), never keeping the old notice for a newer file.
void saveReachesAPanel(const Cafe& cafe) {
    rwini::setFolderForTesting(cafe.folder());
    {
        tidepanel::NoticeSource source;
        for (int i = 0; i < 5; ++i) {
            const QString tel = QStringLiteral("110-%1").arg(i, 4, 10, QLatin1Char('0'));
            QProcess save;
            testing_support::startAs(
                save, owner, QStringLiteral(RWINI_TOOL),
                {cafe.folder(), "write", ini::Sysinfo, ini::key::ServiceTel, tel}, group);
            QElapsedTimer since;
            QDeadlineTimer tick(1000);
            while (source.notice().serviceTel != tel &&
                   !(since.isValid() && since.elapsed() > 5000)) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
                if (!since.isValid() && save.state() == QProcess::NotRunning) {
                    since.start(); // from the end of the save
                }
                if (tick.hasExpired()) { // the panel's timer
                    source.refresh();
                    tick.setRemainingTime(1000);
                }
            }
            save.waitForFinished();
            EXPECT_EQ(source.notice().serviceTel, tel) << "save " << i;
        }
    }
    rwini::setFolderForTesting(QString());
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
    EXPECT_LE(opens, 1) << "only the file opened (each read opens it; the same event repeated "
                           "shows once): no listing, no write, no lock file";
    EXPECT_EQ(cafe.bytes(), shop);
}

// A file nobody may write stays as it is, for its owner and for root too.
void readOnlyFile(const Cafe& cafe) {
    ASSERT_EQ(::chmod(QFile::encodeName(cafe.ini()).constData(), 0444), 0);
    for (uid_t writer : {owner, uid_t(0)}) {
        const Run save = cafe.as(writer, {"write", ini::Sysinfo, ini::key::Add, "x"});
        EXPECT_EQ(save.status, 1) << writer;
        EXPECT_EQ(save.failure(), "NoPermission");
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
        plantFile(cafe.journal(), "T" + scam, 0644); // where the customer can
        bool ok = true;
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
    ::testing::Values(Attack{"PlantedJournal", Layout::Owners, plantedJournal},
                      Attack{"PlantedJournalInPlace", Layout::InPlace, plantedJournal},
                      Attack{"PlantedJournalPackage", Layout::Package, plantedJournal},
                      Attack{"PlantedJournalAcl", Layout::Acl, plantedJournal},
                      Attack{"ObjectAtTheJournalInPlace", Layout::InPlace, objectAtTheJournal},
                      Attack{"ObjectAtTheJournalPackage", Layout::Package, objectAtTheJournal},
                      Attack{"HeldLocks", Layout::Owners, heldLocks},
                      Attack{"HeldLocksInPlace", Layout::InPlace, heldLocks},
                      Attack{"HeldLocksPackage", Layout::Package, heldLocks},
                      Attack{"HeldLocksAcl", Layout::Acl, heldLocks},
                      Attack{"KilledSaveOfAnotherOwner", Layout::Package, killedSaveOfAnotherOwner},
                      Attack{"SaveReachesAPanel", Layout::Owners, saveReachesAPanel},
                      Attack{"SaveReachesAPanelInPlace", Layout::InPlace, saveReachesAPanel},
                      Attack{"SaveReachesAPanelPackage", Layout::Package, saveReachesAPanel},
                      Attack{"CustomersPanelWithMissingKeys", Layout::Owners,
                             customersPanelWithMissingKeys},
                      Attack{"ReadOnlyFile", Layout::Owners, readOnlyFile},
                      Attack{"OwnersPanelStarts", Layout::InPlace, ownersPanelStarts}),
    [](const ::testing::TestParamInfo<Attack>& info) { return std::string(info.param.name); });

} // namespace
