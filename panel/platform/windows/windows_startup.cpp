// Start-up duties on Windows: a named mutex and the Run value.
#include "startup.h"
#include "win32_panel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

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

} // namespace tidepanel::startup
