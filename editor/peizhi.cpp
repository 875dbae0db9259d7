#include "peizhi.h"

#include "form.h"
#include "names.h"
#include "rwini.h"
#include "seams.h"

namespace tideedit {

Peizhi::Peizhi() : QWidget(nullptr, frameFlags()) {
    setWindowTitle(QStringLiteral("电脑配置设置"));
    refuseMaximise(*this);
    resize(form::px(3690), form::px(3705));
    struct Row {
        QLabel& label;
        LineBox& box;
        const char* caption;
        int top;
    };
    const Row rows[] = {{Label1, Text1, "CPU信息", 360},
                        {Label2, Text2, "主板信息", 720},
                        {Label3, Text3, "内存信息", 1080},
                        {Label4, Text4, "硬盘信息", 1440},
                        {Label5, Text5, "说明信息", 1800}};
    for (const Row& row : rows) {
        row.label.setParent(this);
        row.label.setGeometry(form::rect(360, row.top, 855, 255));
        row.label.setText(QString::fromUtf8(row.caption));
        row.box.setParent(this);
        row.box.setGeometry(form::rect(1200, row.top, 2055, 270));
    }
    Command1.setParent(this);
    Command1.setGeometry(form::rect(1320, 2520, 1095, 375));
    Command1.setText(QStringLiteral("确定修改"));
    Check1.setParent(this);
    Check1.setGeometry(form::rect(2280, 3360, 1455, 255));
    Check1.setText(QStringLiteral("显示配置信息"));
    Check1.setChecked(true);
    Check1.setFocusPolicy(Qt::StrongFocus);
    connect(&Command1, &QPushButton::clicked, this, &Peizhi::Command1_Click);
    pressOnEnter(*this, Command1);
    QWidget* order[] = {&Check1, &Text1, &Text2, &Text3, &Text4, &Text5, &Command1};
    for (size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
    Check1.setFocus();
}

void Peizhi::Form_Load() {
    setWindowIcon(editorIcon());
    Text1.setText(rwini::ReadIniValue(ini::Info, ini::key::CPU, QString()));
    Text2.setText(rwini::ReadIniValue(ini::Info, ini::key::MB, QString()));
    Text3.setText(rwini::ReadIniValue(ini::Info, ini::key::MEM, QString()));
    Text4.setText(rwini::ReadIniValue(ini::Info, ini::key::HD, QString()));
    Text5.setText(rwini::ReadIniValue(ini::Info, ini::key::Show, QString()));
}

void Peizhi::Command1_Click() {
    const bool written = writeAll({
        {ini::Info, ini::key::CPU, Text1.text()},
        {ini::Info, ini::key::MB, Text2.text()},
        {ini::Info, ini::key::MEM, Text3.text()},
        {ini::Info, ini::key::HD, Text4.text()},
        {ini::Info, ini::key::Show, Text5.text()},
        {ini::Display, ini::key::Info,
         Check1.isChecked() ? QStringLiteral("1") : QStringLiteral("0")},
    });
    if (written) {
        tell(QStringLiteral("修改成功"), QStringLiteral("信息"));
    }
}

} // namespace tideedit
