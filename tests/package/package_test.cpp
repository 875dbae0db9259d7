// The Debian package unpacked into a throwaway root (dpkg -x), its programs
// started from there on a virtual X server: each is found through /usr/bin,
// looks for SysInfo.ini beside its real executable in /usr/lib/tidepanel/,
// and reaches the system-wide file through the link there. Who may save is
// who the file's group lets: an owner saves, a customer only reads.
#include "desktop.h"

#include "support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using desk::Desktop;
using desk::Program;

namespace {

const QString systemFile = QStringLiteral("/etc/tidepanel/SysInfo.ini");
// Stands for the group tidepanel, which this machine need not have.
constexpr gid_t ownersGroup = 4242;
constexpr int patience = 30000;

class Package : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root to act as an owner and a customer";
        }
        ASSERT_EQ(QProcess::execute(QStringLiteral("dpkg"),
                                    {QStringLiteral("-x"), QStringLiteral(TIDE_PACKAGE), root()}),
                  0);
        // The link as shipped, then pointed into this root, as a chroot would resolve it.
        const QString link = path("/usr/lib/tidepanel/SysInfo.ini");
        ASSERT_EQ(std::filesystem::read_symlink(link.toStdString()), systemFile.toStdString());
        ASSERT_TRUE(QFile::remove(link) && QFile::link(ini(), link));
        // As the postinst makes it, from the prepared file.
        ASSERT_TRUE(QDir().mkpath(QFileInfo(ini()).path()));
        ASSERT_TRUE(QFile::copy(path("/usr/share/tidepanel/SysInfo.ini"), ini()));
        ASSERT_EQ(::chown(QFile::encodeName(ini()).constData(), 0, ownersGroup), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(ini()).constData(), 0664), 0);
        desktop = std::make_unique<Desktop>(false);
        ASSERT_TRUE(desktop->ready()) << "no virtual X server";
    }

    QString root() const { return dir.path(); }
    QString path(const QString& inRoot) const { return root() + inRoot; }
    QString ini() const { return path(systemFile); }
    QByteArray bytes() const {
        QFile f(ini());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QString title() const {
        return testing_support::storedValue(bytes(), QStringLiteral("Sysinfo"),
                                            QStringLiteral("Title"))
            .value_or(QString());
    }

    // The editor's main window with the keyboard, as root or as an ordinary
    // user in those groups; empty if it never showed.
    QString startEditor(std::unique_ptr<Program>& editor, bool asRoot, const QString& groups) {
        editor = std::make_unique<Program>(*desktop, path("/usr/bin/tideedit"), !asRoot, groups);
        const QString id =
            desktop->awaitWindow(QStringLiteral("^潮汐面板 tideedit器$"), editor->pid(), patience);
        if (!id.isEmpty()) {
            desktop->focus(id);
        }
        return id;
    }

    QTemporaryDir dir;
    std::unique_ptr<Desktop> desktop;
};

TEST_F(Package, ACustomersProgramsReadTheSystemWideFileAndCannotChangeIt) {
    const QByteArray before = bytes();
    Program panel(*desktop, path("/usr/bin/tidepanel"), true);
    EXPECT_FALSE(desktop->awaitWindow(QStringLiteral("^Form1$"), panel.pid(), patience).isEmpty())
        << "the panel mapped its window";

    std::unique_ptr<Program> editor;
    ASSERT_FALSE(startEditor(editor, false, QString()).isEmpty());
    desktop->keys({QStringLiteral("ctrl+a")});
    EXPECT_TRUE(desk::waitUntil([&] { return desktop->selection() == title(); }, patience))
        << "the editor shows " << desktop->selection().toStdString();
    desktop->type(QStringLiteral("x"));
    desktop->keys({QStringLiteral("Return")});
    EXPECT_TRUE(desktop->answerBox(QStringLiteral("错误："), patience));
    EXPECT_EQ(bytes(), before);
    EXPECT_TRUE(panel.running());
}

// A member of the group saves in place, root by a new file renamed over the old one.
TEST_F(Package, AnOwnersSaveChangesTheSystemWideFileAndKeepsTheLink) {
    for (const bool asRoot : {false, true}) {
        const QString shop = asRoot ? QStringLiteral("根的店名") : QStringLiteral("新的店名");
        std::unique_ptr<Program> editor;
        ASSERT_FALSE(startEditor(editor, asRoot, QString::number(ownersGroup)).isEmpty());
        ASSERT_TRUE(desktop->fill(shop));
        desktop->keys({QStringLiteral("Return")});
        ASSERT_TRUE(desktop->answerBox(QStringLiteral("信息"), patience)) << asRoot;
        EXPECT_EQ(title(), shop);

        const QFileInfo link(path("/usr/lib/tidepanel/SysInfo.ini"));
        EXPECT_TRUE(link.isSymLink());
        EXPECT_EQ(link.symLinkTarget(), ini());
        struct stat st {};
        ASSERT_EQ(::lstat(QFile::encodeName(ini()).constData(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_uid, 0u);
        EXPECT_EQ(st.st_gid, ownersGroup);
        EXPECT_EQ(st.st_mode & 07777, 0664u);
        EXPECT_EQ(QDir(QFileInfo(ini()).path()).entryList(QDir::Files | QDir::Hidden).size(), 1)
            << "nothing left beside the file";
    }
}

} // namespace
