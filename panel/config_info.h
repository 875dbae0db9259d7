// The configuration info window: five lines describing the computer, as bare
// lettering at the upper right of the screen.
#pragma once

#include "lettering.h"
#include "notice.h"
#include "panel_window.h"

namespace tidepanel {

// The form Peizhi (caption "配置信息"). Label6: the welcome heading; Label1 to
// Label5: the captions of the processor, main board, memory, hard disk and
// remarks lines; Label7 to Label11: those lines' texts. Timer1: its part in
// the one tick, Timer1_Timer its handler.
class Peizhi : public PanelWindow {
    Q_OBJECT
public:
    // Shows what `source` read, which outlives the window.
    explicit Peizhi(NoticeSource& source, DesktopLayer& layer);

    void Form_Load();
    void Timer1_Timer();

    // Hides the window and leaves the tick; `unloaded` tells the info panel,
    // which owns it and the question whether the program goes on.
    void unload();

    Lettering Label1, Label2, Label3, Label4, Label5, Label6, Label7, Label8, Label9, Label10,
        Label11;
    TickShare Timer1;

signals:
    void unloaded();

protected:
    // Closed from outside (the window manager, the session's end): unloaded.
    void closeEvent(QCloseEvent* event) override;

private:
    // The five lines of the notice, unless the window still shows "获取中".
    void showNotice();
    void showLines();
    // From loading to its first tick the lines read "获取中".
    bool fetching_ = true;
};

} // namespace tidepanel
