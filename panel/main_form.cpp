#include "main_form.h"

#include "form.h"
#include "lettering.h"
#include "names.h"
#include "rwini.h"
#include "seams.h"
#include "startup.h"
#include "switches.h"
#include "window_backend.h"
#include "window_ops.h"

#include <QCloseEvent>

namespace tidepanel {
namespace {

const QString separator = QStringLiteral("：");

bool switchOn(const QString& key) {
    return switchShown(readSetting(ini::Display, key));
}

} // namespace

Duties platformDuties() {
    return {startup::claimSingleInstance, startup::RegisterAutostart};
}

main::main(Duties duties) : QWidget(nullptr, backend::windowFlags()), duties_(std::move(duties)) {
    setWindowTitle(QStringLiteral("Form1"));
    setFixedSize(form::px(4950), form::px(2685));
    const QFont title = form::font(QStringLiteral("楷体"), 24, true);
    const QFont line = form::font(QStringLiteral("宋体"), 12, true);
    const QFont address = form::font(QStringLiteral("宋体"), 10.5, true);
    const QFont plain = form::font(QStringLiteral("宋体"), 9, false);
    constexpr unsigned lightRed = 0x8080FF, red = 0xFF, blue = 0xFF0000, silver = 0xC0C0C0;
    setUpLabel(Label1, this, QStringLiteral("电脑服务部"), form::rect(120, 120, 6135, 495),
               lightRed, title);
    setUpLabel(Label5, this, QStringLiteral("服务热线"), form::rect(120, 840, 1335, 255), red,
               line);
    setUpLabel(Label2, this, QStringLiteral("000-00000000"), form::rect(1560, 840, 4335, 255), blue,
               line);
    setUpLabel(Label6, this, QStringLiteral("技术支持"), form::rect(120, 1200, 1335, 255), red,
               line);
    setUpLabel(Label3, this, QStringLiteral("000-00000000"), form::rect(1560, 1200, 4335, 255),
               blue, line);
    setUpLabel(Label7, this, QStringLiteral("地址"), form::rect(120, 1560, 1455, 255), red, line);
    setUpLabel(Label4, this, QStringLiteral("地址"), form::rect(1560, 1560, 2775, 615), blue,
               address);
    setUpLabel(Label8, this, QStringLiteral("2026 潮汐"), form::rect(1920, 2280, 1095, 255), silver,
               plain);
    // The title is centred until start-up sets it; title and address wrap.
    Label1.setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    Label1.setWordWrap(true);
    Label4.setWordWrap(true);

    Timer1.setInterval(1000);
    connect(&Timer1, &QTimer::timeout, this, &main::Timer1_Timer);
    Timer1.start();
}

main::~main() {
    delete peizhi_.data();
}

Peizhi* main::peizhi() const {
    return peizhi_.data();
}

void main::Form_Load() {
    if (!duties_.claimSingleInstance()) {
        seams::endProcess(0);
        return;
    }
    PlaceLowerRight(*this);
    ApplyColourKey(*this);
    SendToBottom(*this);
    if (!duties_.registerAutostart()) {
        // Not a reason to stop: the panel runs, it just will not start at logon.
        qWarning("tidepanel: could not register to start at logon");
    }
    if (switchOn(ini::key::Info)) {
        showPeizhi();
    }
    setVisibility();
    setValueCaptions();
    setLineLabels();
}

void main::Timer1_Timer() {
    SendToBottom(*this);
    if (readSetting(ini::Display, ini::key::Info) == QLatin1String("0")) {
        unloadPeizhi();
    } else {
        showPeizhi();
    }
    setValueCaptions();
    setVisibility();
    setLineLabels();
    if (readSetting(ini::Sysinfo, ini::key::Close) == ini::End) {
        seams::endProcess(0);
        return;
    }
    PlaceLowerRight(*this);
    ApplyColourKey(*this);
}

void main::Form_Unload() {
    if (!rwini::WriteIniValue(ini::Sysinfo, ini::key::Close, ini::Start)) {
        qWarning("tidepanel: could not write the close flag");
    }
}

void main::unload() {
    if (!loaded_) {
        return;
    }
    loaded_ = false;
    Timer1.stop();
    Form_Unload();
    hide();
    if (!peizhi_) {
        emit allUnloaded();
    }
}

void main::closeEvent(QCloseEvent* event) {
    unload();
    event->accept();
}

void main::showPeizhi() {
    if (!peizhi_) {
        peizhi_ = new Peizhi;
        connect(peizhi_, &Peizhi::unloaded, this, [this] {
            peizhi_ = nullptr;
            if (!loaded_) {
                emit allUnloaded();
            }
        });
        peizhi_->Form_Load();
    }
    peizhi_->show();
}

void main::unloadPeizhi() {
    if (peizhi_) {
        peizhi_->unload();
    }
}

void main::setValueCaptions() {
    Label1.setText(readSetting(ini::Sysinfo, ini::key::Title));
    Label1.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label2.setText(readSetting(ini::Sysinfo, ini::key::ServiceTel));
    Label2.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label3.setText(readSetting(ini::Sysinfo, ini::key::TechnologyTel));
    Label3.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label4.setText(readSetting(ini::Sysinfo, ini::key::Add));
    Label4.setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void main::setVisibility() {
    // Each switch is read once and governs its value line, then its label.
    Label1.setVisible(switchOn(ini::key::Title));
    const bool service = switchOn(ini::key::ServiceTel);
    Label2.setVisible(service);
    Label5.setVisible(service);
    const bool support = switchOn(ini::key::TechnologyTel);
    Label3.setVisible(support);
    Label6.setVisible(support);
    const bool address = switchOn(ini::key::Add);
    Label4.setVisible(address);
    Label7.setVisible(address);
}

void main::setLineLabels() {
    Label5.setText(readSetting(ini::Config, ini::key::label5) + separator);
    Label6.setText(readSetting(ini::Config, ini::key::label6) + separator);
    Label7.setText(readSetting(ini::Config, ini::key::label7) + separator);
}

} // namespace tidepanel
