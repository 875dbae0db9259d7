#include "config_info.h"

#include "form.h"
#include "lettering.h"
#include "names.h"
#include "notice.h"
#include "seams.h"
#include "window_ops.h"

#include <QCloseEvent>

namespace tidepanel {

Peizhi::Peizhi(NoticeSource& source, DesktopLayer& layer)
    : QWidget(nullptr, layer.windowFlags()), source_(source), layer_(layer) {
    setWindowTitle(QStringLiteral("配置信息"));
    setFixedSize(form::px(4170), form::px(3210));
    const QFont heading = form::font(QStringLiteral("微软雅黑"), 12, true);
    const QFont caption = form::font(QStringLiteral("宋体"), 9, true);
    const QFont plain = form::font(QStringLiteral("宋体"), 9, false);
    const QString fetching = QStringLiteral("获取中");
    constexpr unsigned red = 0xFF, blue = 0xFF0000;
    setUpLabel(Label6, this, QStringLiteral("欢迎使用"), form::rect(1560, 120, 975, 375), red,
               heading);
    setUpLabel(Label1, this, QStringLiteral("CPU信息："), form::rect(360, 600, 975, 255), red,
               caption);
    setUpLabel(Label7, this, fetching, form::rect(1320, 600, 2415, 255), blue, plain);
    setUpLabel(Label2, this, QStringLiteral("主板信息："), form::rect(360, 960, 975, 255), red,
               caption);
    setUpLabel(Label8, this, fetching, form::rect(1320, 960, 2415, 255), blue, plain);
    setUpLabel(Label3, this, QStringLiteral("内存信息："), form::rect(360, 1320, 975, 255), red,
               caption);
    setUpLabel(Label9, this, fetching, form::rect(1320, 1320, 2415, 255), blue, plain);
    setUpLabel(Label4, this, QStringLiteral("硬盘信息："), form::rect(360, 1680, 1095, 255), red,
               caption);
    setUpLabel(Label10, this, fetching, form::rect(1320, 1680, 2415, 255), blue, plain);
    setUpLabel(Label5, this, QStringLiteral("说明："), form::rect(360, 2160, 975, 255), red,
               caption);
    setUpLabel(Label11, this, fetching, form::rect(1320, 2160, 2415, 255), blue, plain);
    Timer1.setInterval(1000);
    connect(&Timer1, &QTimer::timeout, this, &Peizhi::Timer1_Timer);
    Timer1.start();
}

void Peizhi::Form_Load() {
    PlaceUpperRight(layer_, *this);
    ApplyColourKey(layer_, *this);
    SendToBottom(layer_, *this);
}

void Peizhi::Timer1_Timer() {
    SendToBottom(layer_, *this);
    source_.refresh();
    setCaptions();
    if (source_.notice().ends) {
        seams::endProcess(0);
        return;
    }
    if (source_.notice().infoSwitch == QLatin1String("0")) {
        unload();
    }
}

void Peizhi::showChange() {
    // Its captions only: its first tick is the one that replaces "获取中".
    if (Label7.text() != QStringLiteral("获取中") || !Timer1.isActive()) {
        setCaptions();
    }
}

void Peizhi::setCaptions() {
    const Notice& n = source_.notice();
    Label7.setText(n.cpu);
    Label8.setText(n.board);
    Label9.setText(n.memory);
    Label10.setText(n.disk);
    Label11.setText(n.remarks);
    // The cut-out made ready for new texts before anything paints them.
    ApplyColourKey(layer_, *this, source_.newSince(shownGeneration_));
}

void Peizhi::closeEvent(QCloseEvent* event) {
    event->accept();
    Timer1.stop();
    emit unloaded();
}

void Peizhi::unload() {
    Timer1.stop();
    hide();
    emit unloaded();
}

} // namespace tidepanel
