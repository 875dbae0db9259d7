// What the panel's two windows show, taken from one snapshot of SysInfo.ini:
// the windows only show it, and one tick reads the file once for both.
#pragma once

#include "rwini.h"

#include <QDeadlineTimer>
#include <QFileSystemWatcher>
#include <QList>
#include <QObject>
#include <QString>

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

// SysInfo.ini as the panel sees it: read at most once a second while it
// rests, and at once when it changes (a save by the editor, a replace by
// rename), so that an edit is on the screen within moments.
class NoticeSource : public QObject {
    Q_OBJECT
public:
    NoticeSource();

    const Notice& notice() const { return notice_; }
    // Whether the notice was read anew since a window last showed it, the
    // read `shown` records (zero: none yet); it then records this one.
    bool newSince(quint64& shown) const {
        const bool fresh = shown != generation_;
        shown = generation_;
        return fresh;
    }

    // Reads the file where it changed since the last read. The defaults of
    // missing keys are written (where this user may) only once the file has
    // rested a second: another program may be writing it in place, and a
    // default written over its first bytes would lose the rest.
    void refresh();

signals:
    // The file changed on disk and was read again.
    void changed();

private:
    void watch();

    Notice notice_;
    rwini::Snapshot snapshot_;
    QFileSystemWatcher watcher_;
    quint64 generation_ = 0; // reads of the file so far
    bool defaultsDue_ = false;
    QDeadlineTimer rested_;
    // A time stamp that is coarse may hide a change made within its tick:
    // the file is read again at least this often.
    QDeadlineTimer readDue_{0};
};

} // namespace tidepanel
