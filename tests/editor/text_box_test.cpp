// The editor's one-line text boxes: a line break never gets into them.
#include "editor_support.h"
#include "kit.h"
#include "main_form.h"

#include <QClipboard>
#include <QGuiApplication>

namespace {

using tideedit::LineBox;

void paste(LineBox& box, const QString& text) {
    QGuiApplication::clipboard()->setText(text);
    box.paste();
}

TEST(TextBox, APastedLineBreakEndsWhatIsKept) {
    LineBox box;
    paste(box, QStringLiteral("甲\n乙"));
    EXPECT_EQ(box.text(), QStringLiteral("甲"));

    box.setText(QStringLiteral("ab"));
    box.setCursorPosition(1);
    paste(box, QStringLiteral("丙\r\n丁"));
    EXPECT_EQ(box.text(), QStringLiteral("a丙b")) << "what was there stays";
    EXPECT_EQ(box.cursorPosition(), 2);

    box.selectAll();
    paste(box, QStringLiteral("\n后面"));
    EXPECT_EQ(box.text(), QString());
}

TEST(TextBox, SetTextKeepsTheFirstLineThenTheLimit) {
    LineBox box;
    box.setMaxLength(4);
    box.setText(QStringLiteral("x\r\ny"));
    EXPECT_EQ(box.text(), QStringLiteral("x"));
    box.setText(QStringLiteral("一二三四五\n六"));
    EXPECT_EQ(box.text(), QStringLiteral("一二三四"));
}

using TextBoxOfAWindow = editor_testing::EditorTest;

TEST_F(TextBoxOfAWindow, APastedLineBreakIsNeverStored) {
    tideedit::Main w;
    w.Form_Load();
    paste(w.Text4, QStringLiteral("海港路 7 号\n二楼"));
    w.Command1_Click();
    expectOnlyBox(QStringLiteral("修改成功"), QStringLiteral("信息"));
    EXPECT_EQ(app.value(QStringLiteral("Sysinfo"), QStringLiteral("Add")),
              QStringLiteral("海港路 7 号"));
}

} // namespace
