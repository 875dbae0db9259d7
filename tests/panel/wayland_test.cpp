// The real tidepanel on a headless Wayland compositor of the test's own:
// natively, as layer surfaces, on sway; through XWayland on Weston, which
// lacks layer-shell.
#include "compositor.h"
#include "desktop.h"

#include <QFile>
#include <QRect>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <memory>

namespace {

using desk::Compositor;
using desk::waitUntil;

constexpr QRgb ground = 0x204060; // sway's background, as configured by the harness
const QRect screen(0, 0, Compositor::width, Compositor::height);
// Where the notice lies on X11: flush right, its lower edge 450 twips up.
const QRect notice(Compositor::width - 330, Compositor::height - 179 - 30, 330, 179);
const QRect upperRight(Compositor::width / 2, 0, Compositor::width / 2, Compositor::height / 2);

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

class SwayPanel : public ::testing::Test {
protected:
    void SetUp() override {
        sway_ = std::make_unique<Compositor>(Compositor::Kind::Sway);
        ASSERT_TRUE(sway_->ready()) << "no headless sway";
        write("0", "400-000-0000");
        panel_ = sway_->start(app_.program(QStringLiteral("tidepanel")), app_.path());
        ASSERT_TRUE(waitUntil([&] { return lettering(sway_->grab(), notice) > 0; }, 20000, 200))
            << "no lettering at the lower right";
    }
    void TearDown() override {
        panel_.reset();
        sway_.reset();
    }
    void write(const char* info, const char* tel) {
        QFile file(app_.iniPath());
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(ini(info, tel));
    }
    QString tree() const { return sway_->run(QStringLiteral("swaymsg"), {"-t", "get_tree"}); }
    bool inTree(const QProcess& p) const {
        return tree().contains(
            QRegularExpression(QStringLiteral("\"pid\": %1\\b").arg(p.processId())));
    }

    desk::AppFolder app_;
    std::unique_ptr<Compositor> sway_;
    std::unique_ptr<QProcess> panel_;
};

TEST_F(SwayPanel, OnlyItsSharpLetteringAtTheLowerRightBeneathOrdinaryWindows) {
    const QImage shot = sway_->grab();
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

    auto editor = sway_->start(app_.program(QStringLiteral("tideedit")), app_.path(),
                               {QStringLiteral("QT_QPA_PLATFORM=wayland")});
    EXPECT_TRUE(waitUntil([&] { return inTree(*editor); }, 20000, 200));
    EXPECT_TRUE(waitUntil([&] { return lettering(sway_->grab(), notice) == 0; }, 5000, 200))
        << "an ordinary window does not cover the lettering";
}

TEST_F(SwayPanel, FollowsEditsAndTheInfoSwitch) {
    const QImage before = sway_->grab().copy(notice);
    write("1", "111-222-333-444-555");
    EXPECT_TRUE(waitUntil([&] { return lettering(sway_->grab(), upperRight) > 0; }, 5000, 200))
        << "the info window did not appear";
    EXPECT_NE(sway_->grab().copy(notice), before) << "the edit did not reach the screen";
    write("0", "111-222-333-444-555");
    EXPECT_TRUE(waitUntil([&] { return lettering(sway_->grab(), upperRight) == 0; }, 5000, 200))
        << "the info window did not go";
}

TEST_F(SwayPanel, StaysAtTheLowerRightWhenTheOutputChanges) {
    // Twice the scale: the notice twice the size, its margin too.
    sway_->run(QStringLiteral("swaymsg"), {"output", "HEADLESS-1", "scale", "2"});
    const QRect doubled(Compositor::width - 660, Compositor::height - 2 * (179 + 30), 660, 358);
    EXPECT_TRUE(waitUntil(
        [&] {
            const QImage shot = sway_->grab();
            return lettering(shot, doubled) > 800 &&
                   lettering(shot, doubled) == lettering(shot, screen);
        },
        10000, 200));
}

TEST(WestonPanel, FallsBackToXWaylandAndShowsItsLettering) {
    Compositor weston(Compositor::Kind::Weston);
    ASSERT_TRUE(weston.ready()) << "no headless Weston with XWayland";
    desk::AppFolder app;
    QFile file(app.iniPath());
    file.open(QIODevice::WriteOnly);
    file.write(ini("0", "400-000-0000"));
    file.close();
    auto panel = weston.start(app.program(QStringLiteral("tidepanel")), app.path());
    EXPECT_TRUE(waitUntil([&] { return lettering(weston.grab(), screen) > 200; }, 20000, 300));
    EXPECT_FALSE(weston.run(QStringLiteral("xdotool"), {"search", "--name", "^Form1$"}).isEmpty())
        << "the panel is no X window";
}

} // namespace
