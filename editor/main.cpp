// tideedit: the owner's editor of the panel's SysInfo.ini.
#include "application.h"
#include "kit.h"
#include "main_form.h"

int main(int argc, char** argv) {
    tide::Application app(argc, argv, QStringLiteral("tideedit"), QStringLiteral(TIDEEDIT_VERSION));
    tideedit::Main window;
    window.Form_Load();
    tideedit::centreOnScreen(window);
    window.show();
    return app.exec();
}
