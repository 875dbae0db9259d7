#include "notice.h"

#include "names.h"
#include "panel_log.h"
#include "switches.h"

#include <QFileInfo>

#include <tuple>

Q_LOGGING_CATEGORY(lcPanel, "tide.panel")

namespace tidepanel {
namespace {

const QString separator = QStringLiteral("：");

} // namespace

Notice noticeOf(const rwini::Snapshot& s) {
    Notice n;
    n.title = s.text(ini::Sysinfo, ini::key::Title);
    n.serviceTel = s.text(ini::Sysinfo, ini::key::ServiceTel);
    n.technologyTel = s.text(ini::Sysinfo, ini::key::TechnologyTel);
    n.address = s.text(ini::Sysinfo, ini::key::Add);
    n.serviceLabel = s.text(ini::Config, ini::key::label5) + separator;
    n.supportLabel = s.text(ini::Config, ini::key::label6) + separator;
    n.addressLabel = s.text(ini::Config, ini::key::label7) + separator;
    n.titleShown = switchShown(s.text(ini::Display, ini::key::Title));
    n.serviceShown = switchShown(s.text(ini::Display, ini::key::ServiceTel));
    n.supportShown = switchShown(s.text(ini::Display, ini::key::TechnologyTel));
    n.addressShown = switchShown(s.text(ini::Display, ini::key::Add));
    n.infoSwitch = s.text(ini::Display, ini::key::Info);
    n.ends = s.text(ini::Sysinfo, ini::key::Close) == ini::End;
    n.cpu = s.text(ini::Info, ini::key::CPU);
    n.board = s.text(ini::Info, ini::key::MB);
    n.memory = s.text(ini::Info, ini::key::MEM);
    n.disk = s.text(ini::Info, ini::key::HD);
    n.remarks = s.text(ini::Info, ini::key::Show);
    return n;
}

bool operator==(const Notice& a, const Notice& b) {
    auto all = [](const Notice& n) {
        return std::tie(n.title, n.serviceTel, n.technologyTel, n.address, n.serviceLabel,
                        n.supportLabel, n.addressLabel, n.titleShown, n.serviceShown,
                        n.supportShown, n.addressShown, n.infoSwitch, n.ends, n.cpu, n.board,
                        n.memory, n.disk, n.remarks);
    };
    return all(a) == all(b);
}

QList<rwini::Entry> noticeKeys() {
    QList<rwini::Entry> keys;
    for (const QString& key : {ini::key::Title, ini::key::ServiceTel, ini::key::TechnologyTel,
                               ini::key::Add, ini::key::Close}) {
        keys.append({ini::Sysinfo, key, QString()});
    }
    for (const QString& key : {ini::key::Info, ini::key::Title, ini::key::ServiceTel,
                               ini::key::TechnologyTel, ini::key::Add}) {
        keys.append({ini::Display, key, QString()});
    }
    for (const QString& key : {ini::key::label5, ini::key::label6, ini::key::label7}) {
        keys.append({ini::Config, key, QString()});
    }
    for (const QString& key :
         {ini::key::CPU, ini::key::MB, ini::key::MEM, ini::key::HD, ini::key::Show}) {
        keys.append({ini::Info, key, QString()});
    }
    return keys;
}

NoticeSource::NoticeSource() {
    // The folder too: a save that replaces the file by rename ends the file's
    // own watch, and the folder tells of the new one. The several events of
    // one save that arrive together make one read.
    reread_.setSingleShot(true);
    reread_.setInterval(0);
    connect(&reread_, &QTimer::timeout, this, [this] {
        readDue_ = QDeadlineTimer(0);
        refresh();
    });
    connect(&watcher_, &QFileSystemWatcher::fileChanged, &reread_, qOverload<>(&QTimer::start));
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, &reread_,
            qOverload<>(&QTimer::start));
    watch();
    tick_.setInterval(1000);
    connect(&tick_, &QTimer::timeout, this, &NoticeSource::ticked);
}

void NoticeSource::watch() {
    const QString path = rwini::IniFilePath();
    // The folder of the path and, where it is a link (the package's), that of
    // the file itself, where a save's rename and copy of the old bytes show.
    for (const QString& folder :
         {QFileInfo(path).absolutePath(), QFileInfo(QFileInfo(path).canonicalFilePath()).path()}) {
        if (folder != QLatin1String(".") && !watcher_.directories().contains(folder)) {
            watcher_.addPath(folder);
        }
    }
    if (!watcher_.files().contains(path) && QFileInfo::exists(path)) {
        watcher_.addPath(path);
    }
}

void NoticeSource::refresh() {
    if (read_ && snapshot_.current() && !readDue_.hasExpired()) {
        if (defaultsDue_ && rested_.hasExpired()) {
            defaultsDue_ = false;
            rwini::WriteMissing(snapshot_, noticeKeys());
        }
        return;
    }
    const rwini::Snapshot last = snapshot_;
    snapshot_ = rwini::ReadSnapshot(last);
    bool differs = !read_;
    if (!read_ || !snapshot_.sameAs(last)) {
        Notice now = noticeOf(snapshot_);
        differs = differs || now != notice_;
        notice_ = std::move(now);
    }
    read_ = true;
    defaultsDue_ = true;
    rested_.setRemainingTime(900);
    readDue_.setRemainingTime(snapshot_.settled() ? 60000 : 10000);
    watch();
    if (differs) {
        emit changed();
    }
}

void TickShare::start() {
    if (active_) {
        return;
    }
    active_ = true;
    connect(&source_, &NoticeSource::ticked, this, &TickShare::timeout);
    if (source_.shares_++ == 0) {
        source_.tick_.start();
    }
}

void TickShare::start(int ms) {
    source_.tick_.setInterval(ms);
    start();
}

void TickShare::stop() {
    if (!active_) {
        return;
    }
    active_ = false;
    disconnect(&source_, &NoticeSource::ticked, this, &TickShare::timeout);
    if (--source_.shares_ == 0) {
        source_.tick_.stop();
    }
}

} // namespace tidepanel
