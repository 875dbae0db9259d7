#include "adset.h"

#include "form.h"
#include "names.h"
#include "rwini.h"
#include "seams.h"

namespace tideedit {
namespace {

// The section as this window has always written it; the file's sections
// match without regard to letter case, so it is the same as ini::Config.
const QString configWritten = QStringLiteral("config");

QString rowCaption(const QString& key) {
    return QStringLiteral("修改<") + rwini::ReadIniValue(ini::Config, key, QString()) +
           QStringLiteral(">字样");
}

} // namespace

adset::adset() : QWidget(nullptr, frameFlags()) {
    setWindowTitle(QStringLiteral("高级设置"));
    refuseMaximise(*this);
    resize(form::px(5295), form::px(2520));
    struct Row {
        QLabel& label;
        LineBox& box;
        int top;
    };
    for (const Row& row :
         {Row{Label1, Text1, 240}, Row{Label2, Text2, 720}, Row{Label3, Text3, 1200}}) {
        row.label.setParent(this);
        // Stored wording shows as the characters typed, never as markup.
        row.label.setTextFormat(Qt::PlainText);
        row.label.setGeometry(form::rect(600, row.top, 1695, 255));
        row.box.setParent(this);
        row.box.setGeometry(form::rect(2280, row.top, 2055, 270));
        row.box.setMaxLength(4);
        row.box.setToolTip(QStringLiteral("最多4位数"));
    }
    Command1.setParent(this);
    Command1.setGeometry(form::rect(2040, 1800, 1215, 375));
    Command1.setText(QStringLiteral("确定"));
    connect(&Command1, &QPushButton::clicked, this, &adset::Command1_Click);
    pressOnEnter(*this, Command1);
    setTabOrder(&Text1, &Text2);
    setTabOrder(&Text2, &Text3);
    setTabOrder(&Text3, &Command1);
    Text1.setFocus();
}

void adset::Form_Load() {
    setWindowIcon(editorIcon());
    Label1.setText(rowCaption(ini::key::label5));
    Label2.setText(rowCaption(ini::key::label6));
    Label3.setText(rowCaption(ini::key::label7));
}

void adset::Command1_Click() {
    const QString one = Text1.text(), two = Text2.text(), three = Text3.text();
    if (one.isEmpty() || two.isEmpty() || three.isEmpty()) {
        tell(QStringLiteral("修改失败,所有值都不能为空!"), QStringLiteral("信息"));
        return;
    }
    const bool written = writeAll({{configWritten, ini::key::label5, one},
                                   {configWritten, ini::key::label6, two},
                                   {configWritten, ini::key::label7, three}});
    if (written) {
        tell(QStringLiteral("修改成功"), QStringLiteral("信息"));
    }
}

} // namespace tideedit
