// The session's end on Windows: Qt's own handling of log-off and shut-down.
#include "session_end.h"

#include <QCoreApplication>

#include <memory>

namespace tide {

void onSessionEnd(std::function<void()> ending) {
    auto shared = std::make_shared<std::function<void()>>(std::move(ending));
    // Log-off and shut-down end Qt's event loop; the window unloads first.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, qApp, [shared] { (*shared)(); });
}

} // namespace tide
