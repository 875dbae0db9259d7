// The session's end on POSIX systems: the termination signals turned into an
// orderly end through a self-pipe, and Qt's quit.
#include "application.h"
#include "seams.h"
#include "session_end.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace tide {
namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int number) {
    const int saved = errno;
    const char byte = char(number);
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

void onSessionEnd(std::function<void()> ending) {
    auto shared = std::make_shared<std::function<void()>>(std::move(ending));
    // The session manager's quit and a window-system shut-down reach Qt as a quit.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, qApp, [shared] { (*shared)(); });
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("%s: no pipe for the termination signals",
                 qPrintable(QCoreApplication::applicationName()));
        return;
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, qApp, [shared] {
        char byte;
        while (::read(signalPipe[0], &byte, 1) > 0) {
        }
        // Under the run-time error box nothing of the program runs any more.
        if (Application::failed()) {
            seams::endProcess(1);
            return;
        }
        (*shared)();
        QCoreApplication::exit(0);
    });
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGTERM, SIGHUP, SIGINT}) {
        sigaction(number, &action, nullptr);
    }
}

} // namespace tide
