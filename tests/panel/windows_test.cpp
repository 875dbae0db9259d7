// The two panel windows on the offscreen platform, driven through their
// handlers against prepared settings files.
#include "application.h"
#include "config_info.h"
#include "info_panel.h"
#include "names.h"
#include "panel_window.h"
#include "support.h"

#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include <memory>

using testing_support::AppFolder;
using testing_support::prepared;
using testing_support::Recorder;

namespace {

// A settings file with one line of the prepared one replaced.
QString with(const QString& line, const QString& replacement) {
    QString text = prepared;
    EXPECT_TRUE(text.contains(line)) << line.toStdString();
    return text.replace(line, replacement);
}

// The desktop as the tests see it: each request of the windows, in order,
// as "ApplyColourKey <title>" or "SendToBottom <title>".
class RecordedLayer : public tidepanel::DesktopLayer {
public:
    void applyColourKey(QWidget& window) override {
        taken.append("ApplyColourKey " + window.windowTitle());
    }
    void sendToBottom(QWidget& window) override {
        taken.append("SendToBottom " + window.windowTitle());
    }
    QStringList taken;
};

class PanelWindows : public ::testing::Test {
protected:
    void SetUp() override {
        QApplication::setQuitOnLastWindowClosed(false);
        folder.write(prepared);
    }

    // A panel whose start-up duties are recorded instead of done.
    std::unique_ptr<tidepanel::MainForm> load() {
        auto panel = std::make_unique<tidepanel::MainForm>(
            tidepanel::Duties{[this] {
                                  duties.append(QStringLiteral("claim"));
                                  return !anotherCopy;
                              },
                              [this] {
                                  duties.append(QStringLiteral("register"));
                                  return registrationWorks;
                              }},
            layer);
        panel->Timer1.stop(); // the tests tick by hand
        panel->Form_Load();
        QCoreApplication::processEvents(); // the start's second half, once shown
        if (panel->peizhi()) {
            panel->peizhi()->Timer1.stop();
        }
        return panel;
    }

    void TearDown() override {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void tick(tidepanel::MainForm& panel) {
        panel.Timer1_Timer();
        if (panel.peizhi()) {
            panel.peizhi()->Timer1.stop();
        }
    }

    // Which of Label1 to Label7 are shown (as the window would show them).
    static QString shown(const tidepanel::MainForm& p) {
        QString out;
        for (const QLabel* l :
             {&p.Label1, &p.Label2, &p.Label3, &p.Label4, &p.Label5, &p.Label6, &p.Label7}) {
            out += l->isHidden() ? u'0' : u'1';
        }
        return out;
    }

    AppFolder folder;
    Recorder recorder;
    RecordedLayer layer;
    QStringList duties;
    bool anotherCopy = false;
    bool registrationWorks = true;
};

TEST_F(PanelWindows, StartUpShowsTheLinesWithTheirLabelWording) {
    auto panel = load();
    EXPECT_EQ(duties, QStringList({"claim", "register"}));
    EXPECT_EQ(panel->windowTitle(), "Form1");
    EXPECT_EQ(panel->size(), QSize(330, 179));
    EXPECT_EQ(panel->Label1.text(), "示例电脑服务部");
    EXPECT_EQ(panel->Label2.text(), "400-000-0000");
    EXPECT_EQ(panel->Label3.text(), "000-1");
    EXPECT_EQ(panel->Label4.text(), "示例路 1 号");
    EXPECT_EQ(panel->Label5.text(), "服务热线：");
    EXPECT_EQ(panel->Label6.text(), "技术支持：");
    EXPECT_EQ(panel->Label7.text(), "地址：");
    EXPECT_FALSE(panel->Label8.text().isEmpty());
    EXPECT_EQ(shown(*panel), "1111111");
    // Centred at design time, left-aligned from start-up on.
    EXPECT_TRUE(panel->Label1.alignment() & Qt::AlignLeft);
    EXPECT_FALSE(panel->Label1.alignment() & Qt::AlignHCenter);
    ASSERT_NE(panel->peizhi(), nullptr);
    EXPECT_TRUE(recorder.ends.empty());
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(PanelWindows, EmptyWordingGivesTheSeparatorAlone) {
    folder.write(with("label6=技术支持", "label6="));
    auto panel = load();
    EXPECT_EQ(panel->Label6.text(), "：");
    EXPECT_EQ(panel->Label5.text(), "服务热线：");
}

TEST_F(PanelWindows, EachSwitchGovernsItsLineAndLabel) {
    const QString all = "[Display]\r\nTitle=1\r\nService TEL=1\r\nTechnology TEL=1\r\nAdd=1";
    // Label1..Label7 with one switch at "0" and the others at nonzero numbers.
    const std::pair<QString, QString> cases[] = {
        {"[Display]\r\nTitle=0\r\nService TEL=2\r\nTechnology TEL=-1\r\nAdd=1", "0111111"},
        {"[Display]\r\nTitle=2\r\nService TEL=0\r\nTechnology TEL=1\r\nAdd=1", "1011011"},
        {"[Display]\r\nTitle=1\r\nService TEL=1\r\nTechnology TEL=0\r\nAdd=3", "1101101"},
        {"[Display]\r\nTitle=1\r\nService TEL=1\r\nTechnology TEL=1\r\nAdd=0", "1110110"}};
    for (const auto& [display, pattern] : cases) {
        folder.write(with(all, display));
        auto panel = load();
        EXPECT_EQ(shown(*panel), pattern) << "at start-up";
        folder.write(prepared);
        tick(*panel);
        EXPECT_EQ(shown(*panel), "1111111") << "a tick shows them again";
        folder.write(with(all, display));
        tick(*panel);
        EXPECT_EQ(shown(*panel), pattern) << "a tick hides them";
    }
}

TEST_F(PanelWindows, TicksUpdateEveryCaptionEvenOfHiddenLines) {
    auto panel = load();
    folder.write(with("Service TEL=400-000-0000", "Service TEL=800-1")
                     .replace("Service TEL=1", "Service TEL=0")
                     .replace("label5=服务热线", "label5=售后")
                     .replace("Title=示例电脑服务部", "Title=新店名"));
    tick(*panel);
    EXPECT_TRUE(panel->Label2.isHidden());
    EXPECT_TRUE(panel->Label5.isHidden());
    EXPECT_EQ(panel->Label2.text(), "800-1");
    EXPECT_EQ(panel->Label5.text(), "售后：");
    EXPECT_EQ(panel->Label1.text(), "新店名");
    EXPECT_TRUE(panel->Label1.alignment() & Qt::AlignLeft);
}

// Mended fault: a switch that is no number used to stop the panel.
TEST_F(PanelWindows, SwitchesThatAreNoNumberShowInsteadOfStoppingThePanel) {
    folder.write(
        with("Title=1\r\nService TEL=1", "Title=\r\nService TEL=abc").replace("Info=1", "Info="));
    auto panel = load();
    EXPECT_EQ(shown(*panel), "1111111");
    EXPECT_NE(panel->peizhi(), nullptr) << "an empty Display/Info shows the window";
    EXPECT_EQ(panel->Label1.text(), "示例电脑服务部");
    folder.write(with("Add=1", "Add= x1"));
    tick(*panel);
    EXPECT_EQ(shown(*panel), "1111111");
    EXPECT_TRUE(recorder.boxes.empty());
    EXPECT_TRUE(recorder.ends.empty());
}

TEST_F(PanelWindows, AFreshFolderComesUpWithEmptyLinesAndTheInfoWindow) {
    QFile::remove(folder.iniPath());
    auto panel = load();
    EXPECT_EQ(shown(*panel), "1111111");
    EXPECT_EQ(panel->Label5.text(), "：");
    EXPECT_TRUE(panel->Label1.text().isEmpty());
    EXPECT_NE(panel->peizhi(), nullptr);
    QThread::msleep(1000);
    tick(*panel);
    EXPECT_TRUE(folder.has(ini::Display, ini::key::Info)) << "a tick wrote the keys back";
    EXPECT_TRUE(recorder.ends.empty());
}

// Mended fault: a refused registration used to stop the panel at start-up.
TEST_F(PanelWindows, ARefusedRegistrationDoesNotStopThePanel) {
    registrationWorks = false;
    auto panel = load();
    EXPECT_EQ(duties, QStringList({"claim", "register"}));
    EXPECT_EQ(panel->Label1.text(), "示例电脑服务部");
    EXPECT_TRUE(recorder.ends.empty());
    EXPECT_TRUE(recorder.boxes.empty());
}

TEST_F(PanelWindows, ASecondCopyEndsBeforeDoingAnything) {
    anotherCopy = true;
    folder.write(with("Title=示例电脑服务部", "Title="));
    const QByteArray before = folder.bytes();
    auto panel = load();
    EXPECT_EQ(recorder.ends, std::vector<int>{0});
    EXPECT_EQ(duties, QStringList({"claim"})) << "no registration";
    EXPECT_EQ(folder.bytes(), before) << "the empty title is not even read back";
    EXPECT_TRUE(layer.taken.isEmpty());
    EXPECT_EQ(panel->peizhi(), nullptr);
}

TEST_F(PanelWindows, TheCloseFlagEndsAtOnceOnlyWhenItIsExactlyEnd) {
    for (const char* flag : {"end", "", "END", "Start"}) {
        auto panel = load();
        folder.write(with("Close=Start", QString("Close=%1").arg(flag)));
        tick(*panel);
        panel->peizhi()->Timer1_Timer();
        EXPECT_TRUE(recorder.ends.empty()) << flag;
    }
    auto panel = load();
    folder.write(with("Close=Start", "Close=End"));
    layer.taken.clear();
    tick(*panel);
    EXPECT_EQ(recorder.ends, std::vector<int>{0});
    // Nothing after the flag: neither placement nor the colour key.
    EXPECT_FALSE(layer.taken.contains("ApplyColourKey Form1"));
    recorder.ends.clear();
    panel->peizhi()->Timer1_Timer();
    EXPECT_EQ(recorder.ends, std::vector<int>{0}) << "the info window's tick ends too";
    EXPECT_EQ(folder.value(ini::Sysinfo, ini::key::Close), "End") << "nothing unloaded";
}

TEST_F(PanelWindows, UnloadWritesStartAndOnlyThat) {
    folder.write(with("Close=Start", "Close=End"));
    auto panel = load();
    panel->Form_Unload();
    EXPECT_EQ(folder.value(ini::Sysinfo, ini::key::Close), "Start");
    EXPECT_NE(panel->peizhi(), nullptr) << "the info window stays";
    EXPECT_TRUE(recorder.ends.empty());
}

TEST_F(PanelWindows, InfoSwitchIsANumberAtStartUpAndTextOnTicks) {
    folder.write(with("Info=1", "Info=00"));
    auto panel = load();
    EXPECT_EQ(panel->peizhi(), nullptr) << "00 is the number 0";
    tick(*panel);
    ASSERT_NE(panel->peizhi(), nullptr) << "00 is not the text 0";

    tidepanel::Peizhi* shownWindow = panel->peizhi();
    folder.write(with("Info=1", "Info="));
    tick(*panel);
    EXPECT_EQ(panel->peizhi(), shownWindow) << "an empty text leaves it";
    shownWindow->Timer1_Timer();
    EXPECT_EQ(panel->peizhi(), shownWindow);

    folder.write(with("Info=1", "Info=0"));
    tick(*panel);
    EXPECT_EQ(panel->peizhi(), nullptr) << "0 unloads it";

    folder.write(prepared);
    tick(*panel);
    ASSERT_NE(panel->peizhi(), nullptr) << "1 loads it again";
    EXPECT_EQ(panel->peizhi()->Label7.text(), "获取中") << "loaded afresh";
}

TEST_F(PanelWindows, TheInfoWindowShowsFetchingUntilItsFirstTickAndUnloadsItself) {
    auto panel = load();
    tidepanel::Peizhi* info = panel->peizhi();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->windowTitle(), "配置信息");
    EXPECT_EQ(info->size(), QSize(278, 214));
    for (const QLabel* l :
         {&info->Label7, &info->Label8, &info->Label9, &info->Label10, &info->Label11}) {
        EXPECT_EQ(l->text(), "获取中");
    }
    folder.write(with("Show=示例说明", "Show="));
    info->Timer1_Timer();
    EXPECT_EQ(info->Label7.text(), "示例处理器");
    EXPECT_EQ(info->Label8.text(), "示例主板");
    EXPECT_EQ(info->Label9.text(), "16 GB");
    EXPECT_EQ(info->Label10.text(), "512 GB");
    EXPECT_EQ(info->Label11.text(), "");
    EXPECT_EQ(info->Label5.text(), "说明：");

    folder.write(with("Info=1", "Info=0"));
    info->Timer1_Timer();
    EXPECT_EQ(panel->peizhi(), nullptr);
    EXPECT_FALSE(info->Timer1.isActive());
}

TEST_F(PanelWindows, PlacementAndWindowOperationsFollowTheirOrder) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    auto panel = load();
    EXPECT_EQ(panel->pos(), QPoint(screen.right() + 1 - 330, screen.bottom() + 1 - 179 - 30));
    EXPECT_EQ(panel->peizhi()->pos(), QPoint(screen.right() + 1 - 278, screen.top()));
    EXPECT_EQ(panel->palette().color(QPalette::Window), QColor(0xFE, 0xFE, 0xFE));
    EXPECT_EQ(layer.taken, QStringList({"ApplyColourKey Form1", "SendToBottom Form1",
                                        "ApplyColourKey 配置信息", "SendToBottom 配置信息"}));

    layer.taken.clear();
    panel->move(0, 0);
    panel->peizhi()->move(5, 5);
    tick(*panel);
    panel->peizhi()->Timer1_Timer();
    EXPECT_EQ(layer.taken, QStringList({"SendToBottom Form1", "ApplyColourKey Form1",
                                        "SendToBottom 配置信息", "ApplyColourKey 配置信息"}));
    EXPECT_EQ(panel->pos(), QPoint(screen.right() + 1 - 330, screen.bottom() + 1 - 179 - 30));
    EXPECT_EQ(panel->peizhi()->pos(), QPoint(5, 5)) << "placed only when it loads";
}

// Mended fault: the panel's timers went on ticking under the run-time error box.
TEST_F(PanelWindows, AfterAnUnhandledErrorOnlyItsBoxRunsAndThenTheProcessEnds) {
    auto panel = load();
    panel->Timer1.start(100);
    panel->peizhi()->Timer1.start(100);
    QStringList underTheBox;
    recorder.whileBoxShows = [&] {
        if (recorder.boxes.size() > 1) {
            return; // the second box is wrong already; no third
        }
        layer.taken.clear();
        QTest::qWait(400);
        panel->close();
        tide::Application::fail(QStringLiteral("second"));
        underTheBox = layer.taken;
    };
    tide::Application::fail(QStringLiteral("first"));
    EXPECT_EQ(underTheBox, QStringList()) << "no tick under the box";
    EXPECT_TRUE(panel->loaded()) << "not closed under the box";
    ASSERT_EQ(recorder.boxes.size(), 1u);
    EXPECT_EQ(recorder.boxes[0].text, QStringLiteral("运行时错误：first"));
    EXPECT_EQ(recorder.ends, std::vector<int>{1});
}

TEST(Placement, CornersOfAnyScreen) {
    EXPECT_EQ(tidepanel::lowerRight(QRect(0, 0, 1024, 768), QSize(330, 179)), QPoint(694, 559));
    EXPECT_EQ(tidepanel::lowerRight(QRect(0, 0, 1920, 1080), QSize(330, 179)), QPoint(1590, 871));
    EXPECT_EQ(tidepanel::lowerRight(QRect(1920, 0, 1280, 1024), QSize(330, 179)),
              QPoint(2870, 815));
    EXPECT_EQ(tidepanel::upperRight(QRect(0, 0, 1024, 768), QSize(278, 214)), QPoint(746, 0));
}

// Scaled, Qt rounds the screen's width and the window's place and width on
// their way between device and logical pixels: the window never reaches past
// the screen's device edge, and ends less than two logical pixels short of it.
TEST(Placement, AScaledWindowEndsWithinTheScreensDevicePixels) {
    for (const qreal ratio : {1.25, 1.5, 1.75, 2.0, 2.5}) {
        for (int device = 1000; device <= 2600; device += 7) {
            const QRect screen(0, 0, qRound(device / ratio), 600);
            for (const int width : {330, 278}) {
                const int x = tidepanel::lowerRight(screen, QSize(width, 179), ratio).x();
                const int right = qRound(x * ratio) + qRound(width * ratio);
                EXPECT_LE(right, device) << ratio << " " << device << " " << width;
                EXPECT_GT(right, device - 2 * ratio) << ratio << " " << device << " " << width;
                EXPECT_EQ(tidepanel::upperRight(screen, QSize(width, 179), ratio).x(), x);
            }
        }
    }
    // 1024 device pixels at 125 %: flush.
    EXPECT_EQ(tidepanel::lowerRight(QRect(0, 0, 819, 614), QSize(330, 179), 1.25).x(), 489);
}

} // namespace
