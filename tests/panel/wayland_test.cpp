// The real tidepanel on a headless Wayland compositor of the test's own:
// natively, as layer surfaces, on sway; through XWayland on Weston, which
// lacks layer-shell.
#include "desktop.h"

#include <QDir>
#include <QFile>
#include <QRect>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <memory>
#include <unistd.h>

namespace {

using desk::waitUntil;

constexpr int width = 1024, height = 768;
constexpr QRgb ground = 0x204060; // sway's background, as configured below
const QRect screen(0, 0, width, height);
// Where the notice lies on X11: flush right, its lower edge 450 twips up.
const QRect notice(width - 330, height - 179 - 30, 330, 179);
const QRect upperRight(width / 2, 0, width / 2, height / 2);
// How long to wait for what must come within a second or two.
constexpr int patience = 15000;

// sway or Weston with XWayland, headless, and the programs run on it: as the
// user nobody when the test runs as root (sway refuses to run as root).
class Compositor {
public:
    explicit Compositor(bool sway) : sway_(sway) {
        QDir(home_.path()).mkdir(QStringLiteral("run"));
        QFile::setPermissions(runtime(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile config(home_.filePath(QStringLiteral("sway.conf")));
        config.open(QIODevice::WriteOnly);
        config.write("output * bg #204060 solid_color\noutput * resolution 1024x768\n"
                     "xwayland disable\n");
        config.close();
        own(home_.path());
        server_.setProcessChannelMode(QProcess::MergedChannels);
        // Weston lets its screenshot client in with --debug.
        launch(server_, sway ? QStringLiteral("sway") : QStringLiteral("weston"),
               sway ? QStringList{QStringLiteral("-c"), config.fileName()}
                    : QStringList{"--backend=headless-backend.so", "--use-pixman", "--xwayland",
                                  "--width=1024", "--height=768", "--debug"});
        QString log;
        ready_ = waitUntil(
            [&] {
                server_.waitForReadyRead(50);
                log += QString::fromLocal8Bit(server_.readAll());
                x11_ = QRegularExpression(QStringLiteral("xserver listening on display (:\\d+)"))
                           .match(log)
                           .captured(1);
                return !entry(QStringLiteral("wayland-[0-9]")).isEmpty() &&
                       (sway ? !run(QStringLiteral("swaymsg"), {"-t", "get_outputs"}).isEmpty()
                             : !x11_.isEmpty());
            },
            20000, 50);
        if (!ready_) {
            qWarning("the compositor did not start:\n%s", qPrintable(log));
        }
    }
    ~Compositor() {
        server_.terminate();
        if (!server_.waitForFinished(5000)) {
            server_.kill();
            server_.waitForFinished(3000);
        }
    }
    bool ready() const { return ready_; }

    // Runs a helper (swaymsg, grim, xdotool) to its end; its output.
    QString run(const QString& program, const QStringList& args) const {
        QProcess p;
        launch(p, program, args);
        p.waitForFinished(10000);
        return QString::fromUtf8(p.readAllStandardOutput());
    }
    // Starts a program of `folder`, which becomes the user's.
    std::unique_ptr<QProcess> start(const QString& folder, const QString& program,
                                    const QStringList& environment = {}) const {
        own(folder);
        auto p = std::make_unique<QProcess>();
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        launch(*p, QDir(folder).filePath(program), {}, environment);
        return p;
    }
    // What the output shows (the named one, sway only).
    QImage grab(const QString& output = QString()) const {
        if (sway_) {
            const QString file = QDir(runtime()).filePath(QStringLiteral("grab.png"));
            run(QStringLiteral("grim"),
                output.isEmpty() ? QStringList{file} : QStringList{"-o", output, file});
            return take(file);
        }
        run(QStringLiteral("weston-screenshooter"), {}); // into the working folder
        return take(home_.filePath(entry(QStringLiteral("wayland-screenshot*"), home_.path())));
    }

private:
    QString runtime() const { return home_.filePath(QStringLiteral("run")); }
    QString entry(const QString& pattern, const QString& folder = QString()) const {
        const QStringList found = QDir(folder.isEmpty() ? runtime() : folder)
                                      .entryList({pattern}, QDir::System | QDir::Files);
        return found.value(0);
    }
    static void own(const QString& folder) {
        if (::geteuid() == 0) {
            QProcess::execute(QStringLiteral("chown"), {"-R", "nobody:nogroup", folder});
        }
    }
    static QImage take(const QString& file) {
        const QImage shot = QImage(file).convertToFormat(QImage::Format_RGB32);
        QFile::remove(file);
        return shot;
    }
    void launch(QProcess& p, const QString& program, const QStringList& args,
                const QStringList& environment = {}) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "QT_QPA_PLATFORM", "QT_WAYLAND_SHELL_INTEGRATION",
                                 "XDG_SESSION_TYPE", "SESSION_MANAGER"}) {
            env.remove(QString::fromLatin1(name));
        }
        QStringList set{"HOME=" + home_.path(), "XDG_RUNTIME_DIR=" + runtime(),
                        "XDG_CONFIG_HOME=" + home_.filePath(QStringLiteral("config")),
                        "LC_ALL=C.UTF-8", "WLR_BACKENDS=headless", "WLR_RENDERER=pixman",
                        "WLR_LIBINPUT_NO_DEVICES=1",
                        "LSAN_OPTIONS=suppressions=" LSAN_SUPPRESSIONS ":print_suppressions=0",
                        "WAYLAND_DISPLAY=" + entry(QStringLiteral("wayland-[0-9]")),
                        // sway's IPC socket in this runtime folder: an empty SWAYSOCK makes
                        // it bind the one abstract name of the machine, and two collide.
                        "SWAYSOCK=" + QDir(runtime()).filePath(QStringLiteral("sway-ipc.sock"))};
        if (!x11_.isEmpty()) {
            set << "DISPLAY=" + x11_;
        }
        for (const QString& pair : set + environment) {
            env.insert(pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1));
        }
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(home_.path());
        if (::geteuid() == 0) {
            p.start(QStringLiteral("setpriv"),
                    QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} +
                        args);
        } else {
            p.start(program, args);
        }
        p.waitForStarted(5000);
    }

    bool sway_;
    bool ready_ = false;
    QTemporaryDir home_;
    QString x11_;
    QProcess server_;
};

QByteArray ini(const char* info, const char* tel) {
    return QByteArray("[Sysinfo]\r\nTitle=Tide\r\nService TEL=") + tel +
           "\r\nTechnology TEL=000-1\r\nAdd=Road 1\r\nClose=Start\r\n[Display]\r\nTitle=1\r\n"
           "Service TEL=1\r\nTechnology TEL=1\r\nAdd=1\r\nInfo=" +
           info + "\r\n[Config]\r\nlabel5=S\r\nlabel6=T\r\nlabel7=A\r\n";
}

// Pixels in the pure red and blue of the captions.
int lettering(const QImage& shot, const QRect& area) {
    int n = 0;
    for (int y = area.top(); y <= area.bottom() && y < shot.height(); ++y) {
        for (int x = area.left(); x <= area.right() && x < shot.width(); ++x) {
            const QRgb p = shot.pixel(x, y) & 0xFFFFFF;
            n += p == 0xFF0000 || p == 0x0000FF;
        }
    }
    return n;
}

class Panel : public ::testing::Test {
protected:
    void start(bool sway, const QStringList& environment = {}) {
        desktop_ = std::make_unique<Compositor>(sway);
        ASSERT_TRUE(desktop_->ready()) << "no headless compositor";
        write("0", "400-000-0000");
        panel_ = desktop_->start(app_.path(), QStringLiteral("tidepanel"), environment);
    }
    void SetUp() override {
#ifdef TIDE_WAYLAND_OFF
        GTEST_SKIP() << "the panel is built without its layer-shell windows: " TIDE_WAYLAND_OFF;
#endif
        start(true);
        ASSERT_TRUE(waitUntil([&] { return lettering(grab(), notice) > 0; }, 20000, 200))
            << "no lettering at the lower right";
    }
    void TearDown() override {
        panel_.reset();
        desktop_.reset();
    }
    QImage grab(const QString& output = QString()) const {
        return desktop_->grab(output);
    }
    void write(const char* info, const char* tel) {
        QFile file(app_.iniPath());
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(ini(info, tel));
    }
    QString tree() const {
        return desktop_->run(QStringLiteral("swaymsg"), {"-t", "get_tree"});
    }
    bool inTree(const QProcess& p) const {
        return tree().contains(
            QRegularExpression(QStringLiteral("\"pid\": %1\\b").arg(p.processId())));
    }

    desk::AppFolder app_;
    std::unique_ptr<Compositor> desktop_;
    std::unique_ptr<QProcess> panel_;
};

using SwayPanel = Panel;

TEST_F(SwayPanel, OnlyItsSharpLetteringAtTheLowerRightBeneathOrdinaryWindows) {
    const QImage shot = grab();
    ASSERT_EQ(shot.size(), screen.size());
    // Nothing but the ground and whole pixels of the captions' colours: no key
    // colour, no blended fringe, and nothing outside the notice's place.
    int others = 0, outside = 0;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb p = shot.pixel(x, y) & 0xFFFFFF;
            outside += p != ground && !notice.contains(x, y);
            others +=
                p != ground && p != 0xFF0000 && p != 0x0000FF && p != 0xFF8080 && p != 0xC0C0C0;
        }
    }
    EXPECT_GT(lettering(shot, notice), 200);
    EXPECT_EQ(outside, 0);
    EXPECT_EQ(others, 0) << "pixels of neither the ground nor a caption's colour";
    EXPECT_FALSE(inTree(*panel_)) << "the panel has a toplevel:\n" << qPrintable(tree());

    auto editor = desktop_->start(app_.path(), QStringLiteral("tideedit"),
                                  {QStringLiteral("QT_QPA_PLATFORM=wayland")});
    EXPECT_TRUE(waitUntil([&] { return inTree(*editor); }, 20000, 200));
    EXPECT_TRUE(waitUntil([&] { return lettering(grab(), notice) == 0; }, patience, 200))
        << "an ordinary window does not cover the lettering";
}

TEST_F(SwayPanel, FollowsEditsAndTheInfoSwitch) {
    const QImage before = grab().copy(notice);
    write("1", "111-222-333-444-555");
    // Deadlines for what must happen within a tick: each look is a screenshot
    // by another process, slow on a machine shared with builds.
    EXPECT_TRUE(waitUntil([&] { return lettering(grab(), upperRight) > 0; }, patience, 200))
        << "the info window did not appear";
    EXPECT_NE(grab().copy(notice), before) << "the edit did not reach the screen";
    write("0", "111-222-333-444-555");
    EXPECT_TRUE(waitUntil([&] { return lettering(grab(), upperRight) == 0; }, patience, 200))
        << "the info window did not go";
}

TEST_F(SwayPanel, StaysAtTheLowerRightWhenTheOutputChanges) {
    // Twice the scale: the notice twice the size, its margin too.
    desktop_->run(QStringLiteral("swaymsg"), {"output", "HEADLESS-1", "scale", "2"});
    const QRect doubled(width - 660, height - 2 * (179 + 30), 660, 358);
    EXPECT_TRUE(waitUntil(
        [&] {
            const QImage shot = grab();
            return lettering(shot, doubled) > 800 &&
                   lettering(shot, doubled) == lettering(shot, screen);
        },
        patience, 200));
}

class WestonPanel : public Panel {
    void SetUp() override {}
};

TEST_F(WestonPanel, FallsBackToXWaylandAndShowsItsLettering) {
    start(false);
    EXPECT_TRUE(waitUntil([&] { return lettering(grab(), screen) > 200; }, 20000, 300));
    EXPECT_FALSE(
        desktop_->run(QStringLiteral("xdotool"), {"search", "--name", "^Form1$"}).isEmpty())
        << "the panel is no X window";
}

TEST_F(WestonPanel, AUsersChoiceOfPlatformWins) {
    start(false, {QStringLiteral("QT_QPA_PLATFORM=wayland")});
    EXPECT_TRUE(waitUntil([&] { return lettering(grab(), screen) > 200; }, 20000, 300));
    EXPECT_TRUE(desktop_->run(QStringLiteral("xdotool"), {"search", "--name", "^Form1$"}).isEmpty())
        << "the panel runs through XWayland";
}

} // namespace
