#include "help.h"

#include "form.h"
#include "kit.h"

#include <QFontMetrics>

#include <algorithm>

namespace tideedit {
namespace {

// The paragraphs sit close together; where the font stands taller than the
// one they were laid out for, it is made smaller until each paragraph ends
// above the next, so that none is drawn over another.
qreal fittingPoints(const QLabel& label, int room) {
    QFont font = label.font();
    for (qreal points = font.pointSizeF(); points >= 6; points -= 0.5) {
        font.setPointSizeF(points);
        const QRect needed = QFontMetrics(font).boundingRect(QRect(0, 0, label.width(), 10000),
                                                             Qt::TextWordWrap, label.text());
        if (needed.height() <= room) {
            break;
        }
    }
    return font.pointSizeF();
}

} // namespace

Help::Help() : QWidget(nullptr, frameFlags()) {
    setWindowTitle(QStringLiteral("使用帮助"));
    refuseMaximise(*this);
    resize(form::px(4560), form::px(3030));
    struct Paragraph {
        QLabel& label;
        const char* text;
        QRect where;
        int room; // twips down to the next control
    };
    const Paragraph paragraphs[] = {
        {Label1,
         "1.如果软件遇到重影问题，请您打开任务管理器，找到文件名的进程，结束所有本软件的进程。"
         "再次运行即可解决。由于本软件有开机启动，所以如果出现此类问题请您去除开机自启动即可！",
         form::rect(120, 120, 4215, 975), 840},
        {Label2,
         "2.如果您在前台程序已经关闭的状态下点击\"关闭前台\"会引起前台无法启动,"
         "出现此问题点击修改器的\"帮助-修复前台\"即可修复！",
         form::rect(120, 960, 4215, 615), 720},
        {Label3,
         "3.如果您在本软件的使用中遇到任何问题可以与我们联系进行解决！请查看关于程序获得联系方式。",
         form::rect(120, 1680, 4215, 495), 720},
    };
    for (const Paragraph& p : paragraphs) {
        p.label.setParent(this);
        p.label.setGeometry(p.where);
        p.label.setText(QString::fromUtf8(p.text));
        p.label.setWordWrap(true);
        p.label.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    // One size for all three, so that they read as one text.
    qreal points = Label1.font().pointSizeF();
    for (const Paragraph& p : paragraphs) {
        points = std::min(points, fittingPoints(p.label, form::px(p.room)));
    }
    for (const Paragraph& p : paragraphs) {
        QFont font = p.label.font();
        font.setPointSizeF(points);
        p.label.setFont(font);
    }
    Command1.setParent(this);
    Command1.setGeometry(form::rect(1680, 2400, 1335, 375));
    Command1.setText(QStringLiteral("关闭"));
    connect(&Command1, &QPushButton::clicked, this, &Help::Command1_Click);
    Command1.setFocus();
}

void Help::Form_Load() {
    setWindowIcon(editorIcon());
}

void Help::Command1_Click() {
    close();
}

} // namespace tideedit
