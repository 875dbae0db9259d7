#include "platform_open.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

namespace platform {

bool openInBrowser(const std::u16string& url) {
    return QDesktopServices::openUrl(QUrl(QString::fromStdU16String(url)));
}

// Nowhere but on Windows do the programs' folders call for it.
bool canRestartElevated() {
    return false;
}

bool restartElevated() {
    return false;
}

// Qt's plugins are where Qt itself was installed.
bool platformPluginPresent(const std::u16string&) {
    return true;
}

} // namespace platform
