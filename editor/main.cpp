// tideedit: the owner's editor of the panel's SysInfo.ini.
#include "application.h"
#include "form.h"
#include "kit.h"
#include "main_form.h"
#include "platform_open.h"
#include "session_end.h"

int main(int argc, char** argv) {
    if (!platform::platformPluginPresent(u"tideedit")) {
        return 1;
    }
    tide::Application app(argc, argv, QStringLiteral("tideedit"), QStringLiteral(TIDEEDIT_VERSION));
    // The windows were laid out for this font; where it is missing a CJK
    // font of the same kind stands in.
    QApplication::setFont(form::font(QStringLiteral("宋体"), 9, false));
    tideedit::Main window;
    // Ended by the system, the main window unloads as when the user closes it.
    tide::onSessionEnd([&window] { window.Form_Unload(); });
    window.Form_Load();
    tideedit::centreOnScreen(window);
    window.show();
    return app.exec();
}
