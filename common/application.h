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

} // namespace tide
