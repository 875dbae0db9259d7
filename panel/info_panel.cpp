#include "info_panel.h"

#include "form.h"
#include "lettering.h"
#include "names.h"
#include "rwini.h"
#include "seams.h"
#include "startup.h"
#include "switches.h"
#include "window_ops.h"

#include <QCloseEvent>

namespace tidepanel {

Duties platformDuties() {
    return {startup::claimSingleInstance, startup::RegisterAutostart};
}

MainForm::MainForm(Duties duties, DesktopLayer& layer)
    : QWidget(nullptr, layer.windowFlags()), duties_(std::move(duties)), layer_(layer) {
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
    connect(&Timer1, &QTimer::timeout, this, &MainForm::Timer1_Timer);
    Timer1.start();
    connect(&source_, &NoticeSource::changed, this, &MainForm::showChange);
}

MainForm::~MainForm() {
    delete peizhi_.release();
}

Peizhi* MainForm::peizhi() const {
    return peizhi_.get();
}

void MainForm::Form_Load() {
    if (!duties_.claimSingleInstance()) {
        seams::endProcess(0);
        return;
    }
    PlaceLowerRight(layer_, *this);
    ApplyColourKey(layer_, *this);
    SendToBottom(layer_, *this);
    source_.refresh();
    setVisibility();
    setValueCaptions();
    setLineLabels();
    // What the first sight of the notice need not wait for (a synced write,
    // a second window) comes once this window has been shown.
    QTimer::singleShot(0, this, &MainForm::finishStart);
}

void MainForm::finishStart() {
    if (!loaded_) {
        return;
    }
    if (!duties_.registerAutostart()) {
        // Not a reason to stop: the panel runs, it just will not start at logon.
        qWarning("tidepanel: could not register to start at logon");
    }
    // At start-up the Info switch is a number, on ticks a text.
    if (switchShown(source_.notice().infoSwitch)) {
        showPeizhi();
    }
}

void MainForm::Timer1_Timer() {
    SendToBottom(layer_, *this);
    source_.refresh();
    if (!showNotice()) {
        return;
    }
    PlaceLowerRight(layer_, *this);
    ApplyColourKey(layer_, *this, source_.newSince(shownGeneration_));
}

void MainForm::showChange() {
    if (loaded_) {
        if (!showNotice()) {
            return;
        }
        ApplyColourKey(layer_, *this, source_.newSince(shownGeneration_));
    }
    if (peizhi_) {
        peizhi_->showChange();
    }
}

bool MainForm::showNotice() {
    followInfoSwitch();
    setValueCaptions();
    setVisibility();
    setLineLabels();
    if (source_.notice().ends) {
        seams::endProcess(0);
        return false;
    }
    return true;
}

void MainForm::followInfoSwitch() {
    if (source_.notice().infoSwitch == QLatin1String("0")) {
        unloadPeizhi();
    } else {
        showPeizhi();
    }
}

void MainForm::Form_Unload() {
    // A failure is logged, with its reason, by the settings layer: a panel
    // at the session's end has nobody to tell.
    rwini::WriteIniValue(ini::Sysinfo, ini::key::Close, ini::Start);
}

void MainForm::unload() {
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

void MainForm::closeEvent(QCloseEvent* event) {
    unload();
    event->accept();
}

void MainForm::showPeizhi() {
    if (!peizhi_) {
        peizhi_.reset(new Peizhi(source_, layer_));
        Peizhi* window = peizhi_.get();
        connect(window, &Peizhi::unloaded, this, [this, window] {
            if (peizhi_.get() != window) {
                return; // let go already
            }
            // Told from within its own handlers: it goes once they have returned.
            peizhi_.release()->deleteLater();
            if (!loaded_) {
                emit allUnloaded();
            }
        });
        peizhi_->Form_Load();
    }
    peizhi_->show();
}

void MainForm::unloadPeizhi() {
    if (peizhi_) {
        peizhi_->unload();
    }
}

void MainForm::setValueCaptions() {
    const Notice& n = source_.notice();
    Label1.setText(n.title);
    Label1.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label2.setText(n.serviceTel);
    Label2.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label3.setText(n.technologyTel);
    Label3.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label4.setText(n.address);
    Label4.setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void MainForm::setVisibility() {
    // Each switch governs its value line, then its label.
    const Notice& n = source_.notice();
    Label1.setVisible(n.titleShown);
    Label2.setVisible(n.serviceShown);
    Label5.setVisible(n.serviceShown);
    Label3.setVisible(n.supportShown);
    Label6.setVisible(n.supportShown);
    Label4.setVisible(n.addressShown);
    Label7.setVisible(n.addressShown);
}

void MainForm::setLineLabels() {
    const Notice& n = source_.notice();
    Label5.setText(n.serviceLabel);
    Label6.setText(n.supportLabel);
    Label7.setText(n.addressLabel);
}

} // namespace tidepanel
