#include "info_panel.h"

#include "form.h"
#include "names.h"
#include "panel_log.h"
#include "rwini.h"
#include "seams.h"
#include "startup.h"
#include "switches.h"

#include <QCloseEvent>
#include <QTimer>

namespace tidepanel {

Duties platformDuties() {
    return {startup::claimSingleInstance, startup::RegisterAutostart};
}

MainForm::MainForm(Duties duties, DesktopLayer& layer)
    : PanelWindow(notices_, layer, QStringLiteral("Form1"), 4950, 2685),
      duties_(std::move(duties)) {
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

    connect(&Timer1, &TickShare::timeout, this, &MainForm::Timer1_Timer);
    Timer1.start();
    connect(&notices_, &NoticeSource::changed, this, &MainForm::showNotice);
}

MainForm::~MainForm() {
    delete peizhi_.release(); // its part in the tick goes before the source
}

Peizhi* MainForm::peizhi() const {
    return peizhi_.get();
}

void MainForm::Form_Load() {
    if (!duties_.claimSingleInstance()) {
        seams::endProcess(0);
        return;
    }
    // The notice first, so that the first cut-out is made from the picture
    // the window will show; nothing shows before the window does.
    source_.refresh();
    arrive(Qt::BottomRightCorner);
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
        qCWarning(lcPanel, "could not register to start at logon");
    }
    // At start-up the Info switch is a number, on ticks a text.
    if (switchShown(source_.notice().infoSwitch)) {
        showPeizhi();
    }
}

void MainForm::Timer1_Timer() {
    sendToBottom();
    source_.refresh(); // a new notice shows through showNotice
    if (infoWanted()) {
        showPeizhi();
    } else {
        unloadPeizhi();
    }
    if (endsHere()) {
        return;
    }
    place(Qt::BottomRightCorner);
    applyColourKey();
}

void MainForm::showNotice() {
    if (!loaded_) {
        return;
    }
    const Notice& n = source_.notice();
    // Each switch governs its value line, then its label; the captions of
    // hidden lines are set all the same.
    bool changed = put(Label1, n.titleShown);
    changed |= put(Label2, n.serviceShown);
    changed |= put(Label5, n.serviceShown);
    changed |= put(Label3, n.supportShown);
    changed |= put(Label6, n.supportShown);
    changed |= put(Label4, n.addressShown);
    changed |= put(Label7, n.addressShown);
    for (Lettering* line : {&Label1, &Label2, &Label3, &Label4}) {
        line->setAlignment(Qt::AlignLeft | Qt::AlignTop); // the title was centred
    }
    changed |= put(Label1, n.title);
    changed |= put(Label2, n.serviceTel);
    changed |= put(Label3, n.technologyTel);
    changed |= put(Label4, n.address);
    changed |= put(Label5, n.serviceLabel);
    changed |= put(Label6, n.supportLabel);
    changed |= put(Label7, n.addressLabel);
    if (changed) {
        pictureChanged();
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
} // namespace tidepanel
