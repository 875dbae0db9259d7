// tidepanel: the shop's notice on the desktop, refreshed from SysInfo.ini
// once a second.
#include "application.h"
#include "main_form.h"
#include "startup.h"

int main(int argc, char** argv) {
    tidepanel::startup::preferPlacableWindows();
    tide::Application app(argc, argv, QStringLiteral("tidepanel"),
                          QStringLiteral(TIDEPANEL_VERSION));
    // The program ends when neither of its windows is loaded, which the info
    // panel tells; its own window stays for the configuration info window.
    QApplication::setQuitOnLastWindowClosed(false);

    tidepanel::main panel;
    // exit, not quit: quit would first ask every window to close once more.
    QObject::connect(&panel, &tidepanel::main::allUnloaded, &app,
                     [] { QCoreApplication::exit(0); });
    tidepanel::startup::onSessionEnd([&panel] { panel.unload(); });
    panel.Form_Load();
    panel.show();
    return app.exec();
}
