// tidepanel: the shop's notice on the desktop, refreshed from SysInfo.ini
// once a second.
#include "application.h"
#include "info_panel.h"
#include "platform_open.h"
#include "resources.h"
#include "session_end.h"
#include "startup.h"

#include <QIcon>

int main(int argc, char** argv) {
    if (!platform::platformPluginPresent(u"tidepanel")) {
        return 1;
    }
    tidepanel::startup::preferPlacableWindows();
    tide::Application app(argc, argv, QStringLiteral("tidepanel"),
                          QStringLiteral(TIDEPANEL_VERSION));
    // The program ends when neither of its windows is loaded, which the info
    // panel tells; its own window stays for the configuration info window.
    QApplication::setQuitOnLastWindowClosed(false);
    tide::initResources();
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/tide/tidepanel-%1.png").arg(size));
    }
    QApplication::setWindowIcon(icon);

    tidepanel::MainForm panel;
    // exit, not quit: quit would first ask every window to close once more.
    QObject::connect(&panel, &tidepanel::MainForm::allUnloaded, &app,
                     [] { QCoreApplication::exit(0); });
    tide::onSessionEnd([&panel] { panel.unload(); });
    panel.Form_Load();
    panel.show();
    return app.exec();
}
