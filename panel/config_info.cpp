#include "config_info.h"

#include "form.h"

#include <QCloseEvent>

namespace tidepanel {

Peizhi::Peizhi(NoticeSource& source, DesktopLayer& layer)
    : PanelWindow(source, layer, QStringLiteral("配置信息"), 4170, 3210), Timer1(source) {
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
    connect(&Timer1, &TickShare::timeout, this, &Peizhi::Timer1_Timer);
    Timer1.start();
    connect(&source, &NoticeSource::changed, this, &Peizhi::showNotice);
}

void Peizhi::Form_Load() {
    arrive(Qt::TopRightCorner);
}

void Peizhi::Timer1_Timer() {
    sendToBottom();
    source_.refresh();
    fetching_ = false;
    showLines();
    if (endsHere()) {
        return;
    }
    if (!infoWanted()) {
        unload();
    }
}

void Peizhi::showNotice() {
    if (!fetching_) {
        showLines();
    }
}

void Peizhi::showLines() {
    const Notice& n = source_.notice();
    bool changed = put(Label7, n.cpu);
    changed |= put(Label8, n.board);
    changed |= put(Label9, n.memory);
    changed |= put(Label10, n.disk);
    changed |= put(Label11, n.remarks);
    if (changed) {
        pictureChanged();
    }
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
