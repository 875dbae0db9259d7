// The editor's secondary windows: advanced settings, computer
// configuration, about box and usage help, and how the main window shows them.
#include "adset.h"
#include "editor_support.h"
#include "frm_about.h"
#include "help.h"
#include "kit.h"
#include "main_form.h"
#include "peizhi.h"

#include <QCoreApplication>
#include <QFontMetrics>

using editor_testing::EditorTest;

namespace {

const QString empty;

bool sameIcon(const QIcon& a, const QIcon& b) {
    return !a.isNull() && a.pixmap(32).toImage() == b.pixmap(32).toImage();
}

using AdvancedSettings = EditorTest;

TEST_F(AdvancedSettings, LoadShowsTheStoredWordingAndLeavesTheBoxesEmpty) {
    tideedit::adset w;
    w.Form_Load();
    for (QLabel* row : {&w.Label1, &w.Label2, &w.Label3}) {
        EXPECT_EQ(row->text(), QStringLiteral("修改<>字样"));
    }
    for (const char* key : {"label5", "label6", "label7"}) {
        EXPECT_TRUE(app.has(QStringLiteral("Config"), QString::fromLatin1(key)));
    }
    EXPECT_TRUE(sameIcon(w.windowIcon(), tideedit::editorIcon()));

    app.write(QStringLiteral("[Config]\nlabel5=热线\nlabel6=维修\nlabel7=img src=x\n"));
    tideedit::adset again;
    again.Form_Load();
    EXPECT_EQ(again.Label2.text(), QStringLiteral("修改<维修>字样"));
    EXPECT_EQ(again.Label3.text(), QStringLiteral("修改<img src=x>字样"));
    for (QLabel* row : {&again.Label1, &again.Label2, &again.Label3}) {
        EXPECT_TRUE(editor_testing::showsAsTyped(*row)) << row->text().toStdString();
    }
    EXPECT_EQ(again.Text2.text(), empty) << "the boxes are never filled from the file";
    EXPECT_EQ(again.Text1.toolTip(), QStringLiteral("最多4位数"));
}

TEST_F(AdvancedSettings, RefusesTheChangeUnlessAllThreeAreFilled) {
    app.write(QStringLiteral("[Config]\nlabel5=甲\nlabel6=乙\nlabel7=丙\n"));
    const QByteArray before = app.bytes();
    tideedit::adset w;
    w.Form_Load();
    w.Command1_Click();
    expectOnlyBox(QStringLiteral("修改失败,所有值都不能为空!"), QStringLiteral("信息"));
    seen.boxes.clear();
    editor_testing::type(&w.Text1, QStringLiteral("热线"));
    editor_testing::type(&w.Text2, QStringLiteral("维修"));
    w.Command1_Click();
    expectOnlyBox(QStringLiteral("修改失败,所有值都不能为空!"), QStringLiteral("信息"));
    EXPECT_EQ(app.bytes(), before) << "nothing is stored, not even the filled boxes";
}

TEST_F(AdvancedSettings, StoresAllThreeInTheOneConfigSection) {
    app.write(QStringLiteral("[CONFIG]\nlabel5=甲\nlabel6=乙\nlabel7=丙\n"));
    tideedit::adset w;
    w.Form_Load();
    editor_testing::type(&w.Text1, QStringLiteral("服务热线号"));
    EXPECT_EQ(w.Text1.text(), QStringLiteral("服务热线")) << "a fifth character is refused";
    editor_testing::type(&w.Text2, QStringLiteral("  "));
    editor_testing::type(&w.Text3, QStringLiteral("门店"));
    w.Command1_Click();
    expectOnlyBox(QStringLiteral("修改成功"), QStringLiteral("信息"));
    EXPECT_EQ(app.value(QStringLiteral("Config"), QStringLiteral("label5")),
              QStringLiteral("服务热线"));
    EXPECT_EQ(app.value(QStringLiteral("Config"), QStringLiteral("label6")), QStringLiteral("  "));
    EXPECT_EQ(app.value(QStringLiteral("Config"), QStringLiteral("label7")),
              QStringLiteral("门店"));
    EXPECT_EQ(QString::fromUtf8(app.bytes()).toLower().count(QLatin1String("[config]")), 1);
    EXPECT_EQ(w.Label1.text(), QStringLiteral("修改<甲>字样")) << "row labels are not rebuilt";
    EXPECT_EQ(w.Text1.text(), QStringLiteral("服务热线"));
}

TEST_F(AdvancedSettings, AnUnwritableFileIsReported) {
    makeFileUnwritable();
    tideedit::adset w;
    w.Form_Load();
    for (tideedit::LineBox* box : {&w.Text1, &w.Text2, &w.Text3}) {
        box->setText(QStringLiteral("字"));
    }
    w.Command1_Click();
    expectWriteFailure();
}

TEST_F(AdvancedSettings, FocusAndEnter) {
    tideedit::adset w;
    w.Form_Load();
    ASSERT_TRUE(editor_testing::showActive(w));
    EXPECT_EQ(QApplication::focusWidget(), &w.Text1);
    QTest::keyClick(&w.Text1, Qt::Key_Tab);
    QTest::keyClick(&w.Text2, Qt::Key_Tab);
    QTest::keyClick(&w.Text3, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), &w.Command1);
    QTest::keyClick(&w.Text2, Qt::Key_Return);
    EXPECT_EQ(seen.boxes.size(), 1u);
    w.hide();
}

using ConfigurationSettings = EditorTest;

TEST_F(ConfigurationSettings, LoadOnAnEmptyFolderAndConfirm) {
    tideedit::Peizhi w;
    w.Form_Load();
    for (const char* key : {"CPU", "MB", "MEM", "HD", "Show"}) {
        EXPECT_TRUE(app.has(QStringLiteral("Info"), QString::fromLatin1(key))) << key;
    }
    EXPECT_FALSE(app.has(QStringLiteral("Display"), QStringLiteral("Info")));
    for (QLineEdit* box : {&w.Text1, &w.Text2, &w.Text3, &w.Text4, &w.Text5}) {
        EXPECT_EQ(box->text(), empty);
    }
    EXPECT_TRUE(w.Check1.isChecked());
    EXPECT_TRUE(sameIcon(w.windowIcon(), tideedit::editorIcon()));
    w.Command1_Click();
    EXPECT_EQ(app.value(QStringLiteral("Display"), QStringLiteral("Info")), QStringLiteral("1"));
    expectOnlyBox(QStringLiteral("修改成功"), QStringLiteral("信息"));
}

TEST_F(ConfigurationSettings, ConfirmRewritesEveryLineAndTheSwitch) {
    const QString longLine(60, QChar(0x6838));
    app.write(QStringLiteral("[Info]\nCPU=四核\nMB=甲\nMEM=8G\nHD=1T\nShow=%1\n[Display]\nInfo=0\n")
                  .arg(longLine));
    tideedit::Peizhi w;
    w.Form_Load();
    EXPECT_EQ(w.Text1.text(), QStringLiteral("四核"));
    EXPECT_EQ(w.Text5.text(), longLine) << "no limit of its own";
    EXPECT_TRUE(w.Check1.isChecked()) << "the switch is never read";
    w.Text3.setText(QStringLiteral("16G"));
    app.write(QStringLiteral("[Info]\nCPU=别处改的\n[Display]\nInfo=0\n"));
    w.Check1.setChecked(false);
    w.Command1_Click();
    EXPECT_EQ(app.value(QStringLiteral("Info"), QStringLiteral("CPU")), QStringLiteral("四核"));
    EXPECT_EQ(app.value(QStringLiteral("Info"), QStringLiteral("MEM")), QStringLiteral("16G"));
    EXPECT_EQ(app.value(QStringLiteral("Info"), QStringLiteral("HD")), QStringLiteral("1T"));
    EXPECT_EQ(app.value(QStringLiteral("Display"), QStringLiteral("Info")), QStringLiteral("0"));
    EXPECT_EQ(w.Text3.text(), QStringLiteral("16G")) << "the window keeps its contents";
}

TEST_F(ConfigurationSettings, AnUnwritableFileIsReported) {
    makeFileUnwritable();
    tideedit::Peizhi w;
    w.Form_Load();
    w.Command1_Click();
    expectWriteFailure();
}

TEST_F(ConfigurationSettings, FocusStartsOnTheSwitchAndEnterConfirms) {
    tideedit::Peizhi w;
    w.Form_Load();
    ASSERT_TRUE(editor_testing::showActive(w));
    EXPECT_EQ(QApplication::focusWidget(), &w.Check1);
    QTest::keyClick(&w.Check1, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), &w.Text1);
    QTest::keyClick(&w.Text1, Qt::Key_Return);
    expectOnlyBox(QStringLiteral("修改成功"), QStringLiteral("信息"));
    w.hide();
}

using AboutBox = EditorTest;

TEST_F(AboutBox, ShowsTheProgramsOwnVersion) {
    tideedit::frmAbout w;
    w.Form_Load();
    EXPECT_EQ(w.lblVersion.text(), QStringLiteral("修改器版本：1.1.50"));
    EXPECT_EQ(w.Label5.text(), QStringLiteral("主程序版本：1.1.78"));

    const QString own = QCoreApplication::applicationVersion();
    QCoreApplication::setApplicationVersion(QStringLiteral("2.0.7"));
    tideedit::frmAbout other;
    other.Form_Load();
    QCoreApplication::setApplicationVersion(own);
    EXPECT_EQ(other.lblVersion.text(), QStringLiteral("修改器版本：2.0.7"));
    EXPECT_FALSE(app.exists()) << "the about box never touches the file";
}

TEST_F(AboutBox, PictureAndThePanelsIcon) {
    tideedit::frmAbout w;
    EXPECT_TRUE(sameIcon(w.windowIcon(), tideedit::panelIcon()));
    EXPECT_FALSE(sameIcon(w.windowIcon(), tideedit::editorIcon()));
    EXPECT_TRUE(w.windowFlags() & Qt::FramelessWindowHint);
    const QImage shown = w.grab().toImage();
    const QImage picture(QStringLiteral(":/tide/about.jpg"));
    ASSERT_EQ(picture.size(), QSize(800, 600));
    // The picture starts at the top-left corner, away from any label.
    EXPECT_EQ(shown.pixelColor(2, 2), picture.pixelColor(2, 2));
}

TEST_F(AboutBox, EnterAndEscCloseIt) {
    for (Qt::Key key : {Qt::Key_Escape, Qt::Key_Return}) {
        tideedit::frmAbout w;
        w.Form_Load();
        ASSERT_TRUE(editor_testing::showActive(w));
        EXPECT_EQ(QApplication::focusWidget(), &w.cmdOK);
        QTest::keyClick(&w.cmdOK, key);
        EXPECT_FALSE(w.isVisible()) << key;
    }
}

using HelpWindow = EditorTest;

TEST_F(HelpWindow, ParagraphsWrapAndTheButtonCloses) {
    tideedit::Help w;
    w.Form_Load();
    EXPECT_TRUE(sameIcon(w.windowIcon(), tideedit::editorIcon()));
    EXPECT_TRUE(w.Label2.text().contains(QStringLiteral("\"帮助-修复前台\"")));
    // Each paragraph ends above the next one, whatever font stands in.
    const QLabel* order[] = {&w.Label1, &w.Label2, &w.Label3};
    for (int i = 0; i < 2; ++i) {
        const QRect needed = QFontMetrics(order[i]->font())
                                 .boundingRect(QRect(0, 0, order[i]->width(), 10000),
                                               Qt::TextWordWrap, order[i]->text());
        EXPECT_LE(order[i]->y() + needed.height(), order[i + 1]->y()) << i;
    }
    w.show();
    w.Command1_Click();
    EXPECT_FALSE(w.isVisible());
}

using SecondaryWindows = EditorTest;

TEST_F(SecondaryWindows, AnOpenWindowComesToTheFrontAsItIs) {
    app.write(QStringLiteral("[Config]\nlabel5=甲\n"));
    tideedit::Main w;
    w.MeunADSET_Click();
    tideedit::adset* first = w.adsetWindow.get();
    ASSERT_TRUE(first && first->isVisible());
    first->Text1.setText(QStringLiteral("打的字"));
    app.write(QStringLiteral("[Config]\nlabel5=乙\n"));

    w.MeunADSET_Click();
    EXPECT_EQ(w.adsetWindow.get(), first);
    EXPECT_EQ(first->Label1.text(), QStringLiteral("修改<甲>字样")) << "not reloaded";
    EXPECT_EQ(first->Text1.text(), QStringLiteral("打的字"));

    first->close();
    w.MeunADSET_Click();
    EXPECT_TRUE(w.adsetWindow->isVisible());
    EXPECT_EQ(w.adsetWindow->Label1.text(), QStringLiteral("修改<乙>字样")) << "loaded afresh";
    EXPECT_EQ(w.adsetWindow->Text1.text(), empty);
    EXPECT_TRUE(w.isEnabled()) << "modeless: the main window stays usable";
}

// Mended fault: window managers that ignore the frame flags offered a
// maximise button that worked.
TEST_F(SecondaryWindows, NoResizableWindowStaysMaximised) {
    tideedit::Main main;
    tideedit::adset settings;
    tideedit::Peizhi configuration;
    tideedit::Help help;
    for (QWidget* w : std::initializer_list<QWidget*>{&main, &settings, &configuration, &help}) {
        w->show();
        w->showMaximized();
        EXPECT_TRUE(QTest::qWaitFor([w] { return !w->isMaximized(); }, 2000))
            << w->windowTitle().toStdString();
        w->hide();
    }
}

TEST_F(SecondaryWindows, EachMenuItemShowsItsOwnWindow) {
    tideedit::Main w;
    w.Meunpz_Click();
    w.munshiyong_Click();
    w.MeunAbout_Click();
    ASSERT_TRUE(w.peizhiWindow && w.helpWindow && w.aboutWindow);
    EXPECT_EQ(w.peizhiWindow->windowTitle(), QStringLiteral("电脑配置设置"));
    EXPECT_TRUE(w.helpWindow->isVisible());
    EXPECT_EQ(w.aboutWindow->lblVersion.text(), QStringLiteral("修改器版本：1.1.50"));
    EXPECT_EQ(w.peizhiWindow->parentWidget(), nullptr) << "no owner";
    EXPECT_FALSE(w.peizhiWindow->isModal());
    w.aboutWindow->cmdOK_Click();
    w.MeunAbout_Click();
    EXPECT_TRUE(w.aboutWindow->isVisible());
}

} // namespace
