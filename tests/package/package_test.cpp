// The Debian package unpacked into a throwaway root (dpkg -x), its programs
// started from there on a virtual X server: each is found through /usr/bin,
// looks for SysInfo.ini beside its real executable in /usr/lib/tidepanel/,
// and reaches the system-wide file through the link there. The file's group
// decides who saves: owners save, a customer only reads.
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
const QString ownersGroup = QStringLiteral("4242"); // stands for the group tidepanel
constexpr int patience = 30000;

TEST(Package, ACustomerReadsTheSystemWideFileAndOwnersSaveItThroughTheLink) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as owners and a customer";
    }
    QTemporaryDir root;
    const QString ini = root.path() + systemFile;
    const QString link = root.filePath(QStringLiteral("usr/lib/tidepanel/SysInfo.ini"));
    ASSERT_EQ(QProcess::execute(QStringLiteral("dpkg"),
                                {QStringLiteral("-x"), QStringLiteral(TIDE_PACKAGE), root.path()}),
              0);
    // The link as shipped, then pointed into this root, as a chroot would resolve it;
    // the file as the postinst makes it.
    ASSERT_EQ(std::filesystem::read_symlink(link.toStdString()), systemFile.toStdString());
    ASSERT_TRUE(QFile::remove(link) && QFile::link(ini, link));
    ASSERT_TRUE(QDir().mkpath(QFileInfo(ini).path()));
    const QByteArray folder = QFile::encodeName(QFileInfo(ini).path());
    ASSERT_EQ(::chown(folder.constData(), 0, ownersGroup.toUInt()), 0);
    ASSERT_EQ(::chmod(folder.constData(), 02775), 0);
    ASSERT_TRUE(QFile::copy(root.filePath(QStringLiteral("usr/share/tidepanel/SysInfo.ini")), ini));
    ASSERT_EQ(::chown(QFile::encodeName(ini).constData(), 0, ownersGroup.toUInt()), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(ini).constData(), 0664), 0);
    auto bytes = [&] {
        QFile f(ini);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    auto title = [&] {
        return testing_support::storedValue(bytes(), QStringLiteral("Sysinfo"),
                                            QStringLiteral("Title"))
            .value_or(QString());
    };
    Desktop desktop(false);
    ASSERT_TRUE(desktop.ready()) << "no virtual X server";
    auto editor = [&](bool asRoot, const QString& groups) {
        auto program = std::make_unique<Program>(
            desktop, root.filePath(QStringLiteral("usr/bin/tideedit")), !asRoot, groups);
        const QString id =
            desktop.awaitWindow(QStringLiteral("^潮汐面板 tideedit器$"), program->pid(), patience);
        EXPECT_FALSE(id.isEmpty()) << "the editor did not appear";
        desktop.focus(id);
        return program;
    };

    const QByteArray before = bytes();
    Program panel(desktop, root.filePath(QStringLiteral("usr/bin/tidepanel")), true);
    EXPECT_FALSE(desktop.awaitWindow(QStringLiteral("^Form1$"), panel.pid(), patience).isEmpty())
        << "the panel mapped its window";
    auto customers = editor(false, QString());
    desktop.keys({QStringLiteral("ctrl+a")});
    EXPECT_TRUE(desk::waitUntil([&] { return desktop.selection() == title(); }, patience))
        << "the editor shows " << desktop.selection().toStdString();
    desktop.type(QStringLiteral("x"));
    desktop.keys({QStringLiteral("Return")});
    EXPECT_TRUE(desktop.answerBox(QStringLiteral("错误："), patience));
    EXPECT_EQ(bytes(), before);
    customers.reset();

    // A member of the group saves in place, root by a new file renamed over the old one.
    for (const bool asRoot : {false, true}) {
        const QString shop = asRoot ? QStringLiteral("根的店名") : QStringLiteral("新的店名");
        auto owners = editor(asRoot, ownersGroup);
        ASSERT_TRUE(desktop.fill(shop));
        desktop.keys({QStringLiteral("Return")});
        ASSERT_TRUE(desktop.answerBox(QStringLiteral("信息"), patience)) << asRoot;
        EXPECT_EQ(title(), shop);
        EXPECT_EQ(QFileInfo(link).symLinkTarget(), ini);
        struct stat st {};
        ASSERT_EQ(::lstat(QFile::encodeName(ini).constData(), &st), 0);
        EXPECT_EQ(QString::asprintf("%o %u:%u", st.st_mode, st.st_uid, st.st_gid),
                  QStringLiteral("100664 0:") + ownersGroup);
        EXPECT_EQ(QDir(QFileInfo(ini).path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList({"SysInfo.ini", "SysInfo.ini.lock"}))
            << "nothing left beside the file but the writers' lock";
    }
    EXPECT_TRUE(panel.running());
}

} // namespace
