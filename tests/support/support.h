// What the tests of both programs share: an application folder of their own
// and a record of what the seams were asked to show or do.
#pragma once

#include "seams.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <optional>
#include <vector>

namespace testing_support {

// A shop's settings file, every key filled in, as UTF-8 text.
extern const QString prepared;

// Waits until `done` holds or `ms` have passed; true when it held.
bool waitUntil(const std::function<bool()>& done, int ms, int stepMs = 20);

// Text as the programs keep it in SysInfo.ini (code page 936).
QByteArray fileBytes(const QString& text);
// A value stored in a settings file's bytes, read by the programs' own
// reader but without writing anything back; nothing when the key is absent.
std::optional<QString> storedValue(const QByteArray& file, const QString& section,
                                   const QString& key);

// Starts `program` as the user `uid` with the group `gid` (the same number
// where none is given) and no others, through setpriv; as this process's own
// user where `uid` is zero.
void startAs(QProcess& process, unsigned uid, const QString& program, const QStringList& args,
             unsigned gid = 0);
// Whether this test may act as other users: it runs as root and has setpriv.
bool canActAsOthers();

// Where the settings layer keeps the old bytes of an in-place write of the
// file at `iniPath`.
QByteArray journalOf(const QString& iniPath);

// A fresh temporary folder that the programs' rwini uses as their
// application folder for as long as this object lives.
class AppFolder {
public:
    AppFolder();
    ~AppFolder();
    AppFolder(const AppFolder&) = delete;
    AppFolder& operator=(const AppFolder&) = delete;

    QString path() const { return dir_.path(); }
    QString iniPath() const;
    // The settings file's bytes (empty when it does not exist).
    QByteArray bytes() const;
    bool exists() const;
    // Writes the settings file from UTF-8 text, encoded as the programs keep it (code page 936).
    void write(const QString& text) const;
    void writeBytes(const QByteArray& bytes) const;
    // A value as the programs would read it, without writing anything back.
    QString value(const QString& section, const QString& key) const;
    // Whether the key is present at all.
    bool has(const QString& section, const QString& key) const;

private:
    QTemporaryDir dir_;
};

struct Box {
    QString text;
    QString title;
    seams::Icon icon;
};

// Installs hooks that record message boxes, browser calls and process ends
// instead of showing or doing them.
class Recorder {
public:
    Recorder();
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    std::vector<Box> boxes;
    std::vector<QString> urls;
    std::vector<int> ends; // statuses passed to endProcess
    bool browserWorks = true;
    std::vector<Box> questions;
    bool answer = true; // to every question
    int restarts = 0;   // elevated restarts asked for

    // From now on the system can restart a program as the administrator
    // (as Windows can); whether such a restart starts.
    void canElevate(bool starts);
    // Runs while a box shows, as the box's own event loop would.
    std::function<void()> whileBoxShows;

private:
    seams::Hooks hooks_;
};

} // namespace testing_support
