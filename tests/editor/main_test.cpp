// The editor's main window: what it loads, what its commands write and say,
// its keyboard and its menus.
#include "editor_support.h"
#include "frm_about.h"
#include "main_form.h"

#include <QMenu>

using editor_testing::EditorTest;

namespace {

const QString empty;

class MainWindow : public EditorTest {
protected:
    QString value(const char* section, const char* key) {
        return app.value(QString::fromLatin1(section), QString::fromLatin1(key));
    }
    void expectSwitches(const char* title, const char* service, const char* support,
                        const char* address) {
        EXPECT_EQ(value("Display", "Title"), QLatin1String(title));
        EXPECT_EQ(value("Display", "Service TEL"), QLatin1String(service));
        EXPECT_EQ(value("Display", "Technology TEL"), QLatin1String(support));
        EXPECT_EQ(value("Display", "Add"), QLatin1String(address));
    }
};

TEST_F(MainWindow, LoadOnAnEmptyFolderCreatesTheKeysAndShowsNothing) {
    tideedit::Main w;
    w.Form_Load();
    for (const char* key : {"Title", "Service TEL", "Technology TEL", "Add"}) {
        EXPECT_TRUE(app.has(QStringLiteral("Sysinfo"), QString::fromLatin1(key))) << key;
        EXPECT_EQ(value("Sysinfo", key), empty);
    }
    for (const char* key : {"label5", "label6", "label7"}) {
        EXPECT_TRUE(app.has(QStringLiteral("Config"), QString::fromLatin1(key))) << key;
    }
    EXPECT_FALSE(app.has(QStringLiteral("Display"), QStringLiteral("Title")));
    for (QLineEdit* box : {&w.Text1, &w.Text2, &w.Text3, &w.Text4}) {
        EXPECT_EQ(box->text(), empty);
    }
    for (QLabel* row : {&w.Label2, &w.Label3, &w.Label4}) {
        EXPECT_EQ(row->text(), empty) << "the design-time wording is replaced";
    }
    EXPECT_EQ(w.Label1.text(), QStringLiteral("标题信息"));
    for (QCheckBox* check : {&w.Check1, &w.Check2, &w.Check3, &w.Check4}) {
        EXPECT_TRUE(check->isChecked());
    }
    EXPECT_TRUE(seen.boxes.empty());
}

TEST_F(MainWindow, LoadShowsTheFileAndTicksEverySwitchWhateverItSays) {
    app.write(QStringLiteral(
        "[Sysinfo]\nTitle=星光电脑城维修部一二三四五六七八九十甲乙\nService TEL=400-1\n"
        "Technology TEL=800-2\nAdd=海港路 7 号\n"
        "[Display]\nTitle=0\nService TEL=0\nTechnology TEL=0\nAdd=0\n"
        "[Config]\nlabel5=<b>热线</b>\nlabel6=维修\nlabel7=<img src=x>\n"));
    tideedit::Main w;
    w.Form_Load();
    EXPECT_EQ(w.Text1.text(), QStringLiteral("星光电脑城维修部一二三四五六七八"));
    EXPECT_EQ(w.Text2.text(), QStringLiteral("400-1"));
    EXPECT_EQ(w.Text3.text(), QStringLiteral("800-2"));
    EXPECT_EQ(w.Text4.text(), QStringLiteral("海港路 7 号"));
    EXPECT_EQ(w.Label2.text(), QStringLiteral("<b>热线</b>"));
    EXPECT_EQ(w.Label3.text(), QStringLiteral("维修"));
    EXPECT_EQ(w.Label4.text(), QStringLiteral("<img src=x>"));
    for (QLabel* row : {&w.Label2, &w.Label4}) {
        EXPECT_TRUE(editor_testing::showsAsTyped(*row)) << row->text().toStdString();
    }
    for (QCheckBox* check : {&w.Check1, &w.Check2, &w.Check3, &w.Check4}) {
        EXPECT_TRUE(check->isChecked());
    }

    // The title of twenty characters was cut to the box; a confirm stores the cut text.
    w.Command1_Click();
    EXPECT_EQ(value("Sysinfo", "Title"), QStringLiteral("星光电脑城维修部一二三四五六七八"));
    expectSwitches("1", "1", "1", "1");
}

TEST_F(MainWindow, ConfirmStoresTheTextsAndSwitchesAndSaysSo) {
    tideedit::Main w;
    w.Form_Load();
    editor_testing::type(&w.Text1, QStringLiteral("示例店"));
    w.Text2.setText(QStringLiteral("400-000"));
    w.Check3.setChecked(false);
    w.Command1_Click();
    EXPECT_EQ(value("Sysinfo", "Title"), QStringLiteral("示例店"));
    EXPECT_EQ(value("Sysinfo", "Service TEL"), QStringLiteral("400-000"));
    EXPECT_EQ(value("Sysinfo", "Technology TEL"), empty);
    expectSwitches("1", "1", "0", "1");
    EXPECT_FALSE(app.has(QStringLiteral("Config"), QStringLiteral("label8")));
    expectOnlyBox(QStringLiteral("修改成功"), QStringLiteral("信息"));
}

TEST_F(MainWindow, ConfirmWithARefusedValueWritesNothingAndSaysSo) {
    tideedit::Main w;
    w.Form_Load();
    w.Text1.setText(QStringLiteral("一"));
    w.Text2.setText(QStringLiteral("二"));
    // A character code page 936 lacks, after the values that it could hold.
    w.Text3.setText(QStringLiteral("三😀"));
    w.Text4.setText(QStringLiteral("四"));
    w.Command1_Click();
    EXPECT_EQ(value("Sysinfo", "Title"), empty) << "not even the values before the refused one";
    EXPECT_EQ(value("Sysinfo", "Service TEL"), empty);
    EXPECT_EQ(value("Sysinfo", "Add"), empty);
    EXPECT_FALSE(app.has(QStringLiteral("Display"), QStringLiteral("Title")));
    expectWriteFailure(QStringLiteral("原因：文字中有该文件无法保存的字符。"));
}

TEST_F(MainWindow, CommandsOfAnUnwritableFileReportTheFailure) {
    makeFileUnwritable();
    tideedit::Main w;
    w.Form_Load();
    w.Command1_Click();
    expectWriteFailure();
    seen.boxes.clear();
    w.Command3_Click();
    expectWriteFailure();
    seen.boxes.clear();
    w.munre_Click();
    expectWriteFailure();
    seen.boxes.clear();
    w.Form_Unload(); // closing: the panel would stay off without a word
    expectWriteFailure();
}

TEST_F(MainWindow, CloseFlagCommands) {
    tideedit::Main w;
    w.Form_Load();
    w.Command3_Click();
    EXPECT_EQ(value("Sysinfo", "Close"), QStringLiteral("End"));
    expectOnlyBox(QStringLiteral("关闭成功"), QStringLiteral("信息"));
    seen.boxes.clear();

    w.munre_Click();
    EXPECT_EQ(value("Sysinfo", "Close"), QStringLiteral("Start"));
    expectOnlyBox(QStringLiteral("前台修复成功,您可以再次打开前台!"), QStringLiteral("tideedit"));
    EXPECT_TRUE(seen.ends.empty());
}

TEST_F(MainWindow, ExitEndsAtOnceAndLeavesTheCloseFlag) {
    tideedit::Main w;
    w.Form_Load();
    w.Command3_Click();
    w.MeunExit_Click();
    EXPECT_EQ(seen.ends, std::vector<int>{0});
    EXPECT_EQ(value("Sysinfo", "Close"), QStringLiteral("End"));
}

TEST_F(MainWindow, ClosingTheWindowAfterClearingWritesOnlyTheCloseFlag) {
    app.write(QStringLiteral(
        "[Sysinfo]\nTitle=店\nService TEL=1\nTechnology TEL=2\nAdd=路\nClose=End\n"));
    tideedit::Main w;
    w.Form_Load();
    w.show();
    w.Command4_Click();
    for (QLineEdit* box : {&w.Text1, &w.Text2, &w.Text3, &w.Text4}) {
        EXPECT_EQ(box->text(), empty);
    }
    EXPECT_TRUE(w.Check1.isChecked());
    w.close();
    EXPECT_EQ(value("Sysinfo", "Title"), QStringLiteral("店"));
    EXPECT_EQ(value("Sysinfo", "Add"), QStringLiteral("路"));
    EXPECT_EQ(value("Sysinfo", "Close"), QStringLiteral("Start"));
    EXPECT_EQ(seen.ends, std::vector<int>{0});
    EXPECT_TRUE(seen.boxes.empty());
}

TEST_F(MainWindow, UpdateOpensThePageAndReportsABrowserFailure) {
    tideedit::Main w;
    w.Command2_Click();
    ASSERT_EQ(seen.urls.size(), 1u);
    EXPECT_TRUE(seen.urls[0].startsWith(QLatin1String("http://www.example.com/")));
    EXPECT_TRUE(seen.boxes.empty());

    seen.browserWorks = false;
    w.MeunUpdata_Click();
    EXPECT_EQ(seen.urls.size(), 2u);
    expectOnlyBox(QStringLiteral("调用浏览器错误！"), QStringLiteral("错误："),
                  seams::Icon::Critical);
    EXPECT_FALSE(app.exists()) << "nothing is written";
}

TEST_F(MainWindow, CustomisationNoticeCarriesTheProgramsName) {
    tideedit::Main w;
    w.munding_Click();
    ASSERT_EQ(seen.boxes.size(), 1u);
    EXPECT_EQ(seen.boxes[0].title, QStringLiteral("tideedit"));
    EXPECT_EQ(seen.boxes[0].icon, seams::Icon::None);
    EXPECT_FALSE(app.exists());
}

TEST_F(MainWindow, LimitsRefuseTypingBeyondThem) {
    tideedit::Main w;
    QTest::keyClicks(&w.Text1, QStringLiteral("abcdefghijklmnopq"));
    EXPECT_EQ(w.Text1.text(), QStringLiteral("abcdefghijklmnop"));
    editor_testing::type(&w.Text2, QString(25, QChar(0x7535)));
    EXPECT_EQ(w.Text2.text().size(), 24) << "the limit counts characters";
    QTest::keyClicks(&w.Text3, QString(25, QLatin1Char('9')));
    EXPECT_EQ(w.Text3.text().size(), 24);
    editor_testing::type(&w.Text4, QString(49, QChar(0x8def)));
    EXPECT_EQ(w.Text4.text().size(), 48);
}

TEST_F(MainWindow, KeyboardOrderAndEnter) {
    tideedit::Main w;
    w.Form_Load();
    ASSERT_TRUE(editor_testing::showActive(w));
    EXPECT_EQ(QApplication::focusWidget(), &w.Text1);
    const QWidget* order[] = {&w.Text2,    &w.Text3,    &w.Text4,    &w.Command1,
                              &w.Command2, &w.Command4, &w.Check1,   &w.Check2,
                              &w.Check3,   &w.Check4,   &w.Command3, &w.Text1};
    for (const QWidget* next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next);
    }

    // Enter confirms from a text box, from a check box and from another button.
    for (QWidget* from : {static_cast<QWidget*>(&w.Text3), static_cast<QWidget*>(&w.Check2),
                          static_cast<QWidget*>(&w.Command4)}) {
        seen.boxes.clear();
        from->setFocus();
        w.Text1.setText(QStringLiteral("x"));
        QTest::keyClick(from, Qt::Key_Return);
        expectOnlyBox(QStringLiteral("修改成功"), QStringLiteral("信息"));
        EXPECT_EQ(w.Text1.text(), QStringLiteral("x")) << "Enter did not press 清空数据";
    }
    seen.boxes.clear();
    QTest::keyClick(&w.Text2, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(seen.boxes.size(), 1u);
    w.hide();
}

TEST_F(MainWindow, MenusOpenWithTheirAccessKeys) {
    tideedit::Main w;
    w.Form_Load();
    const QList<QAction*> bar = w.menuBar.actions();
    ASSERT_EQ(bar.size(), 3);
    EXPECT_EQ(bar[0]->text(), QStringLiteral("功能菜单(&M)"));
    EXPECT_EQ(bar[1]->text(), QStringLiteral("帮助(&H)"));
    EXPECT_EQ(bar[2], w.MeunAbout);
    EXPECT_EQ(w.MeunAbout->menu(), nullptr);
    QStringList items;
    for (QAction* a : w.Meun.actions() + w.munHelp.actions()) {
        items << a->text();
        EXPECT_TRUE(a->shortcut().isEmpty());
    }
    EXPECT_EQ(items, QStringList({"高级设置(&A)", "配置设置(&P)", "更新软件(&U)", "定制软件(&D)",
                                  "退出(&E)", "修复前台(&R)", "使用帮助(&H)"}));

    ASSERT_TRUE(editor_testing::showActive(w));
    QTest::keyClick(&w, Qt::Key_H, Qt::AltModifier);
    QTRY_VERIFY(w.munHelp.isVisible());
    QTest::keyClick(&w.munHelp, Qt::Key_R);
    EXPECT_EQ(app.value(QStringLiteral("Sysinfo"), QStringLiteral("Close")),
              QStringLiteral("Start"));
    EXPECT_EQ(seen.boxes.size(), 1u);

    QTest::keyClick(&w, Qt::Key_A, Qt::AltModifier);
    ASSERT_TRUE(w.aboutWindow);
    EXPECT_TRUE(w.aboutWindow->isVisible());
    w.aboutWindow->close();

    ASSERT_TRUE(editor_testing::showActive(w));
    QTest::keyClick(&w, Qt::Key_M, Qt::AltModifier);
    QTRY_VERIFY(w.Meun.isVisible());
    QTest::keyClick(&w.Meun, Qt::Key_E);
    EXPECT_EQ(seen.ends, std::vector<int>{0});
    w.hide();
}

} // namespace
