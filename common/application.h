// The application object of both programs: an error that no handler
// expects is shown in a run-time error box naming it, and the process ends.
#pragma once

#include <QApplication>

namespace tide {

class Application : public QApplication {
public:
    Application(int& argc, char** argv, const QString& name, const QString& version);
    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the run-time error box and ends the process with status 1. While
    // the box shows nothing else of the program runs: timers of other objects
    // do not fire, windows do not close, and a further error shows no box.
    static void fail(const QString& what);
    // Whether the run-time error box is showing.
    static bool failed();
};

// Qt's own texts (the standard buttons of message boxes: 确定, 取消, 是, 否) in
// Chinese like the rest of the programs, from Qt's translation in the folder
// `translations` beside the program, or else where this Qt keeps its own.
// Whether it was found.
bool installQtTranslation();

} // namespace tide
