// Start-up duties on Windows: a named mutex, the Run value, and Qt's own
// handling of log-off and shut-down.
#include "startup.h"
#include "win32_panel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

#include <memory>

namespace tidepanel::startup {

void preferPlacableWindows() {}

bool claimSingleInstance() {
    return win32::claimSingleInstance(
        (QCoreApplication::applicationName() + QStringLiteral("-single-instance")).toStdWString());
}

bool RegisterAutostart() {
    const QString program = QDir::toNativeSeparators(QCoreApplication::applicationFilePath());
    return win32::registerRun(QFileInfo(program).completeBaseName().toStdWString(),
                              program.toStdWString());
}

void onSessionEnd(std::function<void()> ending) {
    auto shared = std::make_shared<std::function<void()>>(std::move(ending));
    // Log-off and shut-down end Qt's event loop; the window unloads first.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, qApp, [shared] { (*shared)(); });
}

} // namespace tidepanel::startup
