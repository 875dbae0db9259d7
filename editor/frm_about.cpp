#include "frm_about.h"

#include "form.h"
#include "kit.h"
#include "resources.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QVersionNumber>

namespace tideedit {
namespace {

void setUpLabel(QLabel& label, QWidget& parent, const QString& text, const QRect& where) {
    label.setParent(&parent);
    label.setGeometry(where);
    label.setText(text);
    label.setAttribute(Qt::WA_TranslucentBackground);
}

void colour(QLabel& label, unsigned bgr) {
    QPalette p = label.palette();
    p.setColor(QPalette::WindowText, form::bgr(bgr));
    label.setPalette(p);
}

} // namespace

frmAbout::frmAbout()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint),
      picture_((tide::initResources(), QStringLiteral(":/tide/about.jpg"))) {
    setWindowTitle(QStringLiteral("关于"));
    setWindowIcon(panelIcon());
    resize(form::px(7185), form::px(4830));

    setUpLabel(lblTitle, *this, QStringLiteral("潮汐面板 Beta 2"),
               form::rect(1440, 240, 4485, 480));
    lblTitle.setFont(form::font(QStringLiteral("微软雅黑"), 18, false));
    colour(lblTitle, 0xFF00);
    setUpLabel(lblVersion, *this, QStringLiteral("修改器版本"), form::rect(720, 1200, 3885, 225));
    // The panel's version as the build defines it, beside the editor's own.
    setUpLabel(Label5, *this, QStringLiteral("主程序版本：") + QStringLiteral(TIDEPANEL_VERSION),
               form::rect(720, 1440, 3015, 255));
    setUpLabel(lblDescription, *this,
               QStringLiteral("一款完全免费的桌面广告修改器，可让您的客户快速联系到你！"
                              "是电脑公司、网吧的好助手"),
               form::rect(720, 1920, 5685, 450));
    lblDescription.setWordWrap(true);
    colour(lblDescription, 0x000000);
    Line1[0] = {QLine(0, form::px(2520), form::px(7200), form::px(2520)), Qt::white, 2};
    Line1[1] = {Line1[0].line, form::bgr(0x808080), 1};
    setUpLabel(Label2, *this, QStringLiteral("潮汐面板项目组"), form::rect(1920, 2760, 3135, 255));
    Label2.setFont(form::font(QStringLiteral("宋体"), 12, false));
    colour(Label2, 0xFF);
    setUpLabel(lblDisclaimer, *this, QStringLiteral("QQ：10000"),
               form::rect(1920, 3240, 3630, 225));
    colour(lblDisclaimer, 0x000000);
    setUpLabel(Label1, *this, QStringLiteral("E-mail：support@example.com"),
               form::rect(1920, 3480, 3735, 255));
    setUpLabel(Label4, *this, QStringLiteral("2025-2026 潮汐组"),
               form::rect(2880, 4560, 1575, 255));
    colour(Label4, 0x808080);

    cmdOK.setParent(this);
    cmdOK.setGeometry(form::rect(2880, 4080, 1500, 345));
    cmdOK.setText(QStringLiteral("确定"));
    cmdOK.setFocusPolicy(Qt::StrongFocus);
    connect(&cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    cmdOK.setFocus();
}

void frmAbout::Form_Load() {
    const QVersionNumber v = QVersionNumber::fromString(QCoreApplication::applicationVersion());
    lblVersion.setText(QStringLiteral("修改器版本：%1.%2.%3")
                           .arg(v.majorVersion())
                           .arg(v.minorVersion())
                           .arg(v.microVersion()));
}

void frmAbout::cmdOK_Click() {
    close();
}

void frmAbout::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    painter.drawPixmap(0, 0, picture_);
    // Each line fills its width from its top edge down, the later on top.
    for (const Line& l : Line1) {
        painter.fillRect(QRect(l.line.p1(), QPoint(l.line.x2(), l.line.y1() + l.width - 1)),
                         l.colour);
    }
}

void frmAbout::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
        cmdOK.click();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace tideedit
