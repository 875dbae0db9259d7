// A real X desktop for tests of the real executables: a virtual X server with
// a coloured root window (and optionally a window manager), an application
// folder holding copies of both programs, and what a person does and sees.
#pragma once

#include "support.h"

#include <QColor>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <vector>

namespace desk {

using testing_support::waitUntil;

class Desktop {
public:
    static constexpr int width = 1024;
    static constexpr int height = 768;
    static const QColor rootColour;

    explicit Desktop(bool windowManager);
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    bool ready() const { return ready_; }
    QString display() const { return display_; }
    // DISPLAY, and private XDG and home folders, for every process started here.
    QProcessEnvironment environment() const;

    // Runs a helper command (xdotool, xprop, ...) and returns its standard output.
    QString run(const QString& program, const QStringList& args, int* status = nullptr) const;
    // What the screen shows.
    QImage grab(const QRect& area = QRect(0, 0, width, height)) const;
    // Ids of the mapped windows whose title matches the regular expression
    // (of this process only, where a process id is given).
    QStringList windows(const QString& titleRegex, qint64 pid = 0) const;
    // The first of them once one shows within `ms`, else empty.
    QString awaitWindow(const QString& titleRegex, qint64 pid, int ms) const;
    // Waits for a message box of exactly this title, answers it with Enter and
    // waits for it to go; false when it never came or never went.
    bool answerBox(const QString& title, int ms) const;
    // The X stacking order of the top-level windows, bottom first.
    std::vector<unsigned> stackingOrder() const;
    // Gives the window the keyboard focus, through the window manager where one runs.
    void focus(const QString& window) const;
    // Asks the window to close, as its close box does (WM_DELETE_WINDOW).
    void close(const QString& window) const;
    // Asks the window manager to maximise the window, as its maximise button does.
    void maximise(const QString& window) const;
    // The text that the program holding the primary selection has selected.
    QString selection() const;
    // The window's _NET_WM_STATE atoms, by name.
    QStringList states(const QString& window) const;
    bool hasWindowManager() const { return manager_ != nullptr; }
    // Real key presses through XTEST into the window that has the focus.
    void keys(const QStringList& keys) const;
    void type(const QString& text) const;
    // Replaces the text of the focused box and checks that what arrived is
    // what was typed: a character typed through a spare key may reach the
    // program after that key was given to the next one, and then it is typed again.
    bool fill(const QString& text) const;

private:
    bool ready_ = false;
    QString display_;
    QTemporaryDir home_;
    friend class Program;
    std::unique_ptr<QProcess> server_;
    std::unique_ptr<QProcess> manager_;
};

// A fresh application folder with copies of both programs.
class AppFolder {
public:
    AppFolder();
    QString path() const { return dir_.path(); }
    QString program(const QString& name) const { return dir_.filePath(name); }
    QString iniPath() const { return dir_.filePath(QStringLiteral("SysInfo.ini")); }
    void writeIni(const QString& text) const; // stored in code page 936, as the programs keep it
    QString value(const QString& section, const QString& key) const;

private:
    QTemporaryDir dir_;
};

// A running program, ended (by its process id) when this goes.
class Program {
public:
    // `asUser` runs it as the unprivileged user "nobody", for whom
    // permission bits hold (they do not for root), in no group but its own
    // and those of `groups` (numeric ids, separated by commas).
    Program(const Desktop& desktop, const QString& path, bool asUser = false,
            const QString& groups = QString());
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    qint64 pid() const { return process_.processId(); }
    bool running() const { return process_.state() != QProcess::NotRunning; }
    bool waitForEnd(int ms);
    int exitCode() const { return process_.exitCode(); }
    void terminate();

private:
    QProcess process_;
};

} // namespace desk
