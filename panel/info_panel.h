// The info panel: the shop's name, phone lines and address as bare coloured
// lettering at the lower right of the screen, refreshed once a second.
#pragma once

#include "config_info.h"
#include "desktop_layer.h"
#include "notice.h"

#include "lettering.h"

#include <QLabel>
#include <QTimer>
#include <QWidget>

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
// line. Timer1: the tick. It owns the configuration info window and the
// notice both windows show.
class MainForm : public QWidget {
    Q_OBJECT
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
    QTimer Timer1;

signals:
    // Neither window is loaded any more: the program has nothing left to do.
    void allUnloaded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void finishStart();
    void showPeizhi();
    void unloadPeizhi();
    void followInfoSwitch();
    void setValueCaptions();
    void setVisibility();
    void setLineLabels();
    // A change of the file, shown at once rather than at the next tick.
    void showChange();
    // The info window, captions, switches and close flag of the notice, in
    // the tick's order; false when the close flag ended the program.
    bool showNotice();

    Duties duties_;
    DesktopLayer& layer_;
    NoticeSource source_;
    quint64 shownGeneration_ = 0; // of the notice whose texts the window shows
    std::unique_ptr<Peizhi> peizhi_;
    bool loaded_ = true;
};

} // namespace tidepanel
