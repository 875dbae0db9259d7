// The panel's helpers: the cut-out of the colour key, the autostart entry's
// quoting, and the notice the windows show, taken from one snapshot.
#include "autostart_entry.h"
#include "key_shape.h"
#include "lettering.h"
#include "notice.h"
#include "rwini.h"
#include "startup.h"
#include "support.h"
#include "switches.h"

#include <QSignalSpy>
#include <QThread>

#include <QImage>
#include <QLabel>
#include <QRegion>
#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr QRgb key = 0xFEFEFE;

// The pixels a mask of the usual layout (least significant bit first) keeps.
QRegion regionOf(const std::vector<uint8_t>& bits, const QSize& size) {
    const int stride = tidepanel::bitmapStride(size.width(), {});
    EXPECT_EQ(bits.size(), size_t(stride * size.height()));
    QRegion r;
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            if (bits[size_t(y * stride + x / 8)] >> (x & 7) & 1) {
                r += QRect(x, y, 1, 1);
            }
        }
    }
    return r;
}

TEST(KeyShape, CoversExactlyThePixelsThatAreNotTheKey) {
    QImage image(40, 30, QImage::Format_ARGB32);
    image.fill(QColor(0xFE, 0xFE, 0xFE));
    QRegion expected;
    // A block, a ring with a hole, single pixels at the edges, and colours one
    // step from the key (a fringe pixel must stay, not be taken for the key).
    for (int y = 2; y < 8; ++y) {
        for (int x = 3; x < 9; ++x) {
            image.setPixel(x, y, qRgb(255, 0, 0));
        }
    }
    expected += QRect(3, 2, 6, 6);
    for (int y = 10; y < 20; ++y) {
        for (int x = 10; x < 20; ++x) {
            if (x < 12 || x > 17 || y < 12 || y > 17) {
                image.setPixel(x, y, qRgb(0, 0, 255));
                expected += QRect(x, y, 1, 1);
            }
        }
    }
    image.setPixel(0, 0, qRgb(0, 0, 0));
    image.setPixel(39, 29, qRgb(0xFE, 0xFE, 0xFD));
    image.setPixel(39, 0, qRgb(0xFF, 0xFE, 0xFE));
    expected += QRect(0, 0, 1, 1);
    expected += QRect(39, 29, 1, 1);
    expected += QRect(39, 0, 1, 1);

    const auto bits = tidepanel::opaqueMask(image, key, {});
    EXPECT_TRUE((regionOf(bits, image.size()) ^ expected).isEmpty());
}

// A panel label painted at the ratios of scaled screens onto the key, in a
// smoothed font (as a font engine draws that ignores NoAntialias when
// scaled): each pixel is the key or the label's colour, and there are letters.
TEST(KeyShape, ALabelPaintsOnlyTheKeyAndItsColourAtAnyScale) {
    QWidget window;
    window.resize(200, 60);
    tidepanel::Lettering label;
    tidepanel::setUpLabel(label, &window, QStringLiteral("示例电脑 400-000"), QRect(3, 5, 190, 50),
                          0xFF0000, QFont());
    label.setFont(QFont(QStringLiteral("WenQuanYi Zen Hei"), 14, QFont::Bold));
    for (const qreal ratio : {1.0, 1.25, 1.5, 2.0}) {
        QImage image(window.size() * ratio, QImage::Format_RGB32);
        image.setDevicePixelRatio(ratio);
        image.fill(QColor(0xFE, 0xFE, 0xFE));
        window.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        int letters = 0, other = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QRgb p = image.pixel(x, y) & 0xFFFFFF;
                letters += p == 0x0000FF;
                other += p != 0x0000FF && p != key;
            }
        }
        EXPECT_GT(letters, 100 * ratio * ratio) << ratio;
        EXPECT_EQ(other, 0) << "blended pixels at " << ratio;
    }
}

TEST(KeyShape, AllKeyLeavesNothingAndNoKeyLeavesTheWhole) {
    QImage image(7, 5, QImage::Format_RGB32);
    image.fill(QColor(0xFE, 0xFE, 0xFE));
    EXPECT_TRUE(regionOf(tidepanel::opaqueMask(image, key, {}), image.size()).isEmpty());
    image.fill(QColor(0x10, 0x20, 0x30));
    EXPECT_EQ(regionOf(tidepanel::opaqueMask(image, key, {}), image.size()), QRegion(0, 0, 7, 5));
}

TEST(KeyShape, RowsFollowTheServersPaddingAndBitOrder) {
    QImage image(12, 2, QImage::Format_RGB32);
    image.fill(QColor(0xFE, 0xFE, 0xFE));
    image.setPixel(0, 0, qRgb(0, 0, 0));
    image.setPixel(9, 1, qRgb(0, 0, 0));
    using Bytes = std::vector<uint8_t>;
    EXPECT_EQ(tidepanel::opaqueMask(image, key, {32, false, 32, false}),
              (Bytes{1, 0, 0, 0, 0, 2, 0, 0}));
    EXPECT_EQ(tidepanel::opaqueMask(image, key, {8, true, 8, false}), (Bytes{0x80, 0, 0, 0x40}));
    EXPECT_EQ(tidepanel::opaqueMask(image, key, {16, false, 16, true}), (Bytes{0, 1, 2, 0}));
}

TEST(AutostartEntry, ExecQuotesThePathAsDesktopEntriesRequire) {
    const QString plain = tidepanel::autostartEntry("tidepanel", "/opt/tide panel/tidepanel");
    EXPECT_TRUE(plain.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(plain.contains("\nType=Application\n"));
    EXPECT_TRUE(plain.contains("\nExec=\"/opt/tide panel/tidepanel\"\n")) << plain.toStdString();
    EXPECT_TRUE(plain.contains("\nTryExec=/opt/tide panel/tidepanel\n")) << plain.toStdString();

    // Inside the quotes: \" \` \$ \\ ; then the value's own escaping doubles
    // every backslash; % starts a field code and is doubled.
    const QString odd = tidepanel::autostartEntry("tidepanel", "/a\"b`c$d\\e%f/中文/tidepanel");
    EXPECT_TRUE(odd.contains("\nExec=\"/a\\\\\"b\\\\`c\\\\$d\\\\\\\\e%%f/中文/tidepanel\"\n"))
        << odd.toStdString();
    const QString lines = tidepanel::autostartEntry("tidepanel", "/a\nb/tidepanel");
    EXPECT_TRUE(lines.contains("\nExec=\"/a\\nb/tidepanel\"\n")) << "no line break in a value";
    EXPECT_EQ(lines.count('\n'), plain.count('\n'));
}

TEST(Switches, ZeroHidesOtherNumbersAndNonNumbersShow) {
    for (const char* zero : {"0", "-0", "+0.0", "0e10", "  0\t", "00", ".0"}) {
        EXPECT_FALSE(tidepanel::switchShown(zero)) << zero;
    }
    for (const char* other : {"1", "2", "-1", "1e-300", "0.0001", "", " ", "abc", "1O", "nan"}) {
        EXPECT_TRUE(tidepanel::switchShown(other)) << other;
    }
}

// A snapshot in, what the windows show out.
TEST(Notice, TakesEveryValueFromOneSnapshot) {
    testing_support::AppFolder folder;
    struct Case {
        const char* file;
        std::function<void(const tidepanel::Notice&)> check;
    };
    const std::vector<Case> cases = {
        {"[Sysinfo]\nTitle=店\nService TEL=1\nTechnology TEL=2\nAdd=路\nClose=End\n"
         "[Config]\nlabel5=服务\nlabel6=\n[Info]\nCPU=c\nShow=s\n",
         [](const tidepanel::Notice& n) {
             EXPECT_EQ(n.title + n.serviceTel + n.technologyTel + n.address, "店12路");
             EXPECT_EQ(n.serviceLabel + n.supportLabel + n.addressLabel, "服务：：：");
             EXPECT_EQ(n.cpu + n.board + n.remarks, "cs");
             EXPECT_TRUE(n.ends);
         }},
        {"[Display]\nTitle=0\nService TEL=2\nTechnology TEL=x\nAdd=00\nInfo=00\n"
         "[Sysinfo]\nClose=end\n",
         [](const tidepanel::Notice& n) {
             EXPECT_FALSE(n.titleShown);
             EXPECT_TRUE(n.serviceShown);
             EXPECT_TRUE(n.supportShown) << "no number shows rather than stopping";
             EXPECT_FALSE(n.addressShown);
             EXPECT_EQ(n.infoSwitch, "00") << "a text, for the ticks";
             EXPECT_FALSE(n.ends) << "only End, in this letter case";
         }},
    };
    for (const Case& c : cases) {
        folder.write(QString::fromUtf8(c.file));
        c.check(tidepanel::noticeOf(rwini::ReadSnapshot()));
    }
}

// A save shows without waiting for the tick, whether it replaces the file
// (as the editor does) or writes it in place, again and again.
TEST(NoticeSource, ReadsAgainAtOnceWhenTheFileChanges) {
    testing_support::AppFolder folder;
    folder.write(QStringLiteral("[Sysinfo]\nTitle=a\n"));
    tidepanel::NoticeSource source;
    source.refresh();
    EXPECT_EQ(source.notice().title, "a");
    EXPECT_FALSE(folder.has(QStringLiteral("Info"), QStringLiteral("CPU")))
        << "not at once: another program may be writing the file";
    QThread::msleep(1000);
    source.refresh();
    EXPECT_TRUE(folder.has(QStringLiteral("Info"), QStringLiteral("CPU")))
        << "the missing keys, once the file rested a second";
    QSignalSpy changed(&source, &tidepanel::NoticeSource::changed);
    for (const QString title : {"b", "c", "d", "e"}) {
        if (title == "d") {
            folder.write(QStringLiteral("[Sysinfo]\nTitle=d\n"));
        } else {
            ASSERT_TRUE(
                rwini::WriteIniValue(QStringLiteral("Sysinfo"), QStringLiteral("Title"), title));
        }
        EXPECT_TRUE(changed.wait(5000)) << qPrintable(title);
        EXPECT_EQ(source.notice().title, title);
        changed.clear();
    }
}

#ifdef Q_OS_LINUX
// Wayland without layer-shell lets no client place or stack its own windows:
// the panel goes through XWayland, unless the user chose a platform.
TEST(Startup, AWaylandSessionRunsThroughXWaylandUnlessTheUserChose) {
    const QByteArray saved = qgetenv("QT_QPA_PLATFORM");
    const QByteArray session = qgetenv("XDG_SESSION_TYPE");
    const QByteArray display = qgetenv("WAYLAND_DISPLAY");
    // A compositor that answers nobody, whatever session this test runs in.
    qputenv("WAYLAND_DISPLAY", "tide-test-no-compositor");
    qputenv("XDG_SESSION_TYPE", "wayland");
    qunsetenv("QT_QPA_PLATFORM");
    tidepanel::startup::preferPlacableWindows();
    EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), "xcb");
    qputenv("QT_QPA_PLATFORM", "wayland");
    tidepanel::startup::preferPlacableWindows();
    EXPECT_EQ(qgetenv("QT_QPA_PLATFORM"), "wayland");
    saved.isEmpty() ? qunsetenv("QT_QPA_PLATFORM") : qputenv("QT_QPA_PLATFORM", saved);
    session.isEmpty() ? qunsetenv("XDG_SESSION_TYPE") : qputenv("XDG_SESSION_TYPE", session);
    display.isEmpty() ? qunsetenv("WAYLAND_DISPLAY") : qputenv("WAYLAND_DISPLAY", display);
}
#endif

} // namespace
