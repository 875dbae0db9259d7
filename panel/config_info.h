// The configuration info window: five lines describing the computer, as bare
// lettering at the upper right of the screen.
#pragma once

#include "lettering.h"

#include <QLabel>
#include <QTimer>
#include <QWidget>

namespace tidepanel {

class DesktopLayer;
class NoticeSource;

// The form Peizhi (caption "配置信息"). Label6: the welcome heading; Label1 to
// Label5: the captions of the processor, main board, memory, hard disk and
// remarks lines; Label7 to Label11: those lines' texts. Timer1: its tick.
class Peizhi : public QWidget {
    Q_OBJECT
public:
    // Shows what `source` read, which outlives the window.
    explicit Peizhi(NoticeSource& source, DesktopLayer& layer);

    void Form_Load();
    void Timer1_Timer();
    // A change of the file, shown at once.
    void showChange();

    // Hides the window and stops its timer; `unloaded` tells the info panel,
    // which owns it and the question whether the program goes on.
    void unload();

    Lettering Label1, Label2, Label3, Label4, Label5, Label6, Label7, Label8, Label9, Label10,
        Label11;
    QTimer Timer1;

signals:
    void unloaded();

private:
    void setCaptions();
    NoticeSource& source_;
    DesktopLayer& layer_;
    quint64 shownGeneration_ = 0; // of the notice whose texts the window shows

protected:
    // Closed from outside (the window manager, the session's end): unloaded.
    void closeEvent(QCloseEvent* event) override;
};

} // namespace tidepanel
