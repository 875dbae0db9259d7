#include "main_form.h"

#include "adset.h"
#include "form.h"
#include "frm_about.h"
#include "help.h"
#include "names.h"
#include "peizhi.h"
#include "rwini.h"
#include "seams.h"

#include <QCloseEvent>

namespace tideedit {

const QString Main::updatePage = QStringLiteral("http://www.example.com/tidepanel/");
const QString Main::customisationNotice =
    QStringLiteral("需要为您的店铺定制名称、界面或功能，请联系潮汐面板项目组，电话：000-0000-0000");

namespace {

void place(QWidget& control, QWidget& parent, const QRect& where) {
    control.setParent(&parent);
    control.setGeometry(where);
}

void setUpBox(LineBox& box, QWidget& parent, const QRect& where, int limit) {
    place(box, parent, where);
    box.setMaxLength(limit);
}

void setUpCheck(QCheckBox& check, QWidget& parent, int top) {
    place(check, parent, form::rect(4200, top, 855, 255));
    check.setText(QStringLiteral("显示"));
    check.setChecked(true);
}

QString switchOf(const QCheckBox& check) {
    return check.isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

Main::Main() : QWidget(nullptr, frameFlags()) {
    setWindowTitle(QStringLiteral("潮汐面板 tideedit器"));
    refuseMaximise(*this);
    setWindowIcon(editorIcon());

    menuBar.setParent(this);
    Meun.setTitle(QStringLiteral("功能菜单(&M)"));
    MeunADSET = Meun.addAction(QStringLiteral("高级设置(&A)"));
    connect(MeunADSET, &QAction::triggered, this, &Main::MeunADSET_Click);
    Meunpz = Meun.addAction(QStringLiteral("配置设置(&P)"));
    connect(Meunpz, &QAction::triggered, this, &Main::Meunpz_Click);
    MeunUpdata = Meun.addAction(QStringLiteral("更新软件(&U)"));
    connect(MeunUpdata, &QAction::triggered, this, &Main::MeunUpdata_Click);
    munding = Meun.addAction(QStringLiteral("定制软件(&D)"));
    connect(munding, &QAction::triggered, this, &Main::munding_Click);
    MeunExit = Meun.addAction(QStringLiteral("退出(&E)"));
    connect(MeunExit, &QAction::triggered, this, &Main::MeunExit_Click);
    munHelp.setTitle(QStringLiteral("帮助(&H)"));
    munre = munHelp.addAction(QStringLiteral("修复前台(&R)"));
    connect(munre, &QAction::triggered, this, &Main::munre_Click);
    munshiyong = munHelp.addAction(QStringLiteral("使用帮助(&H)"));
    connect(munshiyong, &QAction::triggered, this, &Main::munshiyong_Click);
    menuBar.addMenu(&Meun);
    menuBar.addMenu(&munHelp);
    MeunAbout = menuBar.addAction(QStringLiteral("关于(&A)"));
    connect(MeunAbout, &QAction::triggered, this, &Main::MeunAbout_Click);

    const int menuHeight = menuBar.sizeHint().height();
    place(client, *this, QRect(0, menuHeight, form::px(5550), form::px(3000)));
    resize(form::px(5550), menuHeight + form::px(3000));

    place(Label6, client, form::rect(4200, 120, 735, 255));
    Label6.setText(QStringLiteral("是否显示"));
    place(Label1, client, form::rect(600, 480, 975, 255));
    Label1.setText(QStringLiteral("标题信息"));
    setUpBox(Text1, client, form::rect(1440, 480, 2655, 270), 16);
    setUpCheck(Check1, client, 480);
    // The row labels show stored wording: as the characters typed, never as markup.
    for (QLabel* row : {&Label2, &Label3, &Label4}) {
        row->setTextFormat(Qt::PlainText);
    }
    place(Label2, client, form::rect(600, 840, 975, 255));
    Label2.setText(QStringLiteral("服务热线"));
    setUpBox(Text2, client, form::rect(1440, 840, 2655, 270), 24);
    setUpCheck(Check2, client, 840);
    place(Label3, client, form::rect(600, 1200, 975, 255));
    Label3.setText(QStringLiteral("技术支持"));
    setUpBox(Text3, client, form::rect(1440, 1200, 2655, 270), 24);
    setUpCheck(Check3, client, 1200);
    place(Label4, client, form::rect(600, 1560, 975, 255));
    Label4.setText(QStringLiteral("地址"));
    setUpBox(Text4, client, form::rect(1440, 1560, 2655, 270), 48);
    setUpCheck(Check4, client, 1560);
    place(Command1, client, form::rect(1320, 2160, 1215, 375));
    Command1.setText(QStringLiteral("确定修改"));
    place(Command4, client, form::rect(2880, 2160, 1215, 375));
    Command4.setText(QStringLiteral("清空数据"));
    place(Command3, client, form::rect(0, 2640, 1335, 375));
    Command3.setText(QStringLiteral("关闭前台程序"));
    place(Label5, client, form::rect(2280, 2760, 1095, 255));
    Label5.setText(QStringLiteral("2026 潮汐组"));
    QPalette grey = Label5.palette();
    grey.setColor(QPalette::WindowText, form::bgr(0x808080));
    Label5.setPalette(grey);
    place(Command2, client, form::rect(4440, 2640, 1095, 375));
    Command2.setText(QStringLiteral("更新软件"));

    connect(&Command1, &QPushButton::clicked, this, &Main::Command1_Click);
    connect(&Command2, &QPushButton::clicked, this, &Main::Command2_Click);
    connect(&Command3, &QPushButton::clicked, this, &Main::Command3_Click);
    connect(&Command4, &QPushButton::clicked, this, &Main::Command4_Click);
    pressOnEnter(*this, Command1);

    QWidget* order[] = {&Text1,    &Text2,  &Text3,  &Text4,  &Command1, &Command2,
                        &Command4, &Check1, &Check2, &Check3, &Check4,   &Command3};
    for (QWidget* w : order) {
        w->setFocusPolicy(Qt::StrongFocus);
    }
    for (size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
    Text1.setFocus();
}

Main::~Main() = default;

void Main::Form_Load() {
    Text1.setText(rwini::ReadIniValue(ini::Sysinfo, ini::key::Title, QString()));
    Text2.setText(rwini::ReadIniValue(ini::Sysinfo, ini::key::ServiceTel, QString()));
    Text3.setText(rwini::ReadIniValue(ini::Sysinfo, ini::key::TechnologyTel, QString()));
    Text4.setText(rwini::ReadIniValue(ini::Sysinfo, ini::key::Add, QString()));
    Label2.setText(rwini::ReadIniValue(ini::Config, ini::key::label5, QString()));
    Label3.setText(rwini::ReadIniValue(ini::Config, ini::key::label6, QString()));
    Label4.setText(rwini::ReadIniValue(ini::Config, ini::key::label7, QString()));
}

void Main::Form_Unload() {
    // A panel told to end stays off until this reaches the file: the owner must know.
    told(rwini::WriteIniValue(ini::Sysinfo, ini::key::Close, ini::Start));
    seams::endProcess(0);
}

void Main::Command1_Click() {
    const bool written = writeAll({
        {ini::Sysinfo, ini::key::Title, Text1.text()},
        {ini::Sysinfo, ini::key::ServiceTel, Text2.text()},
        {ini::Sysinfo, ini::key::TechnologyTel, Text3.text()},
        {ini::Sysinfo, ini::key::Add, Text4.text()},
        {ini::Display, ini::key::Title, switchOf(Check1)},
        {ini::Display, ini::key::ServiceTel, switchOf(Check2)},
        {ini::Display, ini::key::TechnologyTel, switchOf(Check3)},
        {ini::Display, ini::key::Add, switchOf(Check4)},
    });
    if (written) {
        tell(QStringLiteral("修改成功"), QStringLiteral("信息"));
    }
}

void Main::Command2_Click() {
    openUpdatePage();
}

void Main::Command3_Click() {
    if (writeAll({{ini::Sysinfo, ini::key::Close, ini::End}})) {
        tell(QStringLiteral("关闭成功"), QStringLiteral("信息"));
    }
}

void Main::Command4_Click() {
    Text1.setText(QString());
    Text2.setText(QString());
    Text3.setText(QString());
    Text4.setText(QString());
}

void Main::MeunADSET_Click() {
    showSecondary(adsetWindow);
}

void Main::Meunpz_Click() {
    showSecondary(peizhiWindow);
}

void Main::MeunUpdata_Click() {
    openUpdatePage();
}

void Main::munding_Click() {
    tell(customisationNotice);
}

void Main::MeunExit_Click() {
    seams::endProcess(0);
}

void Main::munre_Click() {
    if (writeAll({{ini::Sysinfo, ini::key::Close, ini::Start}})) {
        tell(QStringLiteral("前台修复成功,您可以再次打开前台!"));
    }
}

void Main::munshiyong_Click() {
    showSecondary(helpWindow);
}

void Main::MeunAbout_Click() {
    showSecondary(aboutWindow);
}

void Main::closeEvent(QCloseEvent* event) {
    event->accept();
    Form_Unload();
}

void Main::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    menuBar.setGeometry(0, 0, width(), menuBar.sizeHint().height());
}

void Main::openUpdatePage() {
    if (!seams::openUrl(updatePage)) {
        tell(QStringLiteral("调用浏览器错误！"), QStringLiteral("错误："), seams::Icon::Critical);
    }
}

} // namespace tideedit
