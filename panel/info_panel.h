// The info panel: the shop's name, phone lines and address as bare coloured
// lettering at the lower right of the screen, refreshed once a second.
#pragma once

#include "config_info.h"
#include "lettering.h"
#include "notice.h"
#include "panel_window.h"

#include <functional>
#include <memory>

namespace tidepanel {

// The start-up duties that reach outside the settings file; tests put their
// own in.
struct Duties {
    std::function<bool()> claimSingleInstance; // false: another copy runs
    std::function<bool()> registerAutostart;   // whether the registration worked
};
// The platform's own duties.
Duties platformDuties();

// The form main (caption "Form1"). Label1: the shop's name; Label2: the
// service phone number, after its label Label5; Label3: the support phone
// number, after Label6; Label4: the address, after Label7; Label8: the credit
// line. Timer1: its part in the one tick, Timer1_Timer its handler. It owns
// the notice source both windows show and the configuration info window.
class MainForm : public PanelWindow {
    Q_OBJECT
    NoticeSource notices_; // first: the windows' parts in its tick refer to it

public:
    explicit MainForm(Duties duties = platformDuties(), DesktopLayer& layer = platformLayer());
    ~MainForm() override;

    void Form_Load();
    void Timer1_Timer();
    void Form_Unload();

    // Unloads the window (once): what closing it or the session's end does.
    void unload();
    bool loaded() const { return loaded_; }

    // The configuration info window while it is loaded, else null.
    Peizhi* peizhi() const;

    Lettering Label1, Label2, Label3, Label4, Label5, Label6, Label7, Label8;
    TickShare Timer1{notices_};

signals:
    // Neither window is loaded any more: the program has nothing left to do.
    void allUnloaded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void finishStart();
    void showPeizhi();
    void unloadPeizhi();
    // Captions, switches and line labels of a new notice.
    void showNotice();

    Duties duties_;
    std::unique_ptr<Peizhi> peizhi_;
    bool loaded_ = true;
};

} // namespace tidepanel
