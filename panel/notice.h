// What the panel's two windows show, taken from one snapshot of SysInfo.ini:
// the windows only show it, and one tick reads the file once for both.
#pragma once

#include "rwini.h"

#include <QDeadlineTimer>
#include <QFileSystemWatcher>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

namespace tidepanel {

struct Notice {
    // The notice window (main): the four lines, the wording of their labels
    // (each followed by "："), and the switches that show them.
    QString title, serviceTel, technologyTel, address;
    QString serviceLabel, supportLabel, addressLabel;
    bool titleShown = true, serviceShown = true, supportShown = true, addressShown = true;
    // Display/Info as stored: a number at start-up, a text on ticks.
    QString infoSwitch;
    // The close flag says "End": the program ends at this tick.
    bool ends = false;
    // The configuration info window (Peizhi): the computer's five lines.
    QString cpu, board, memory, disk, remarks;
};

Notice noticeOf(const rwini::Snapshot& snapshot);

// The keys a tick reads, each with the empty default a missing one gets.
QList<rwini::Entry> noticeKeys();

bool operator==(const Notice& a, const Notice& b);
inline bool operator!=(const Notice& a, const Notice& b) {
    return !(a == b);
}

// SysInfo.ini as the panel sees it, and the panel's one tick: the file is read
// at most once a second while it rests, and at once when it changes (a save by
// the editor, a replace by rename), so that an edit is on the screen within
// moments. Both windows are views of it: `changed` gives them a new notice,
// and each window's TickShare the tick for restacking and placing.
class NoticeSource : public QObject {
    Q_OBJECT
public:
    NoticeSource();

    const Notice& notice() const { return notice_; }

    // Reads the file where it changed since the last read, and tells
    // `changed` where the notice differs. The defaults of missing keys are
    // written (where this user may) only once the file has rested a second:
    // another program may be writing it in place, and a default written over
    // its first bytes would lose the rest.
    void refresh();

signals:
    // The notice differs from the one read before (or is the first).
    void changed();
    // Once a second, while any window takes part in the tick.
    void ticked();

private:
    friend class TickShare;
    void watch();

    Notice notice_;
    rwini::Snapshot snapshot_;
    QFileSystemWatcher watcher_;
    QTimer reread_;     // a read soon after the watcher tells of a change
    bool read_ = false; // the file was read at least once
    bool defaultsDue_ = false;
    QDeadlineTimer rested_;
    // A time stamp that is coarse may hide a change made within its tick:
    // the file is read again within 10 s where it had just changed when read,
    // and within a minute otherwise (only a clock gone wrong could hide one).
    QDeadlineTimer readDue_{0};
    QTimer tick_;
    int shares_ = 0; // windows taking part in the tick
};

// A window's part in the source's one tick, with a timer's controls: while
// active, timeout() comes at every tick. The tick runs while any window takes
// part; its period is the same for all.
class TickShare : public QObject {
    Q_OBJECT
public:
    explicit TickShare(NoticeSource& source) : source_(source) {}
    ~TickShare() override { stop(); }
    void start();
    // Sets the tick's period, for every window, and takes part.
    void start(int ms);
    void stop();
    bool isActive() const { return active_; }

signals:
    void timeout();

private:
    NoticeSource& source_;
    bool active_ = false;
};

} // namespace tidepanel
