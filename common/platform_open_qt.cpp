#include "platform_open.h"

#include <QDesktopServices>
#include <QString>
#include <QUrl>

namespace platform {

bool openInBrowser(const std::u16string& url) {
    return QDesktopServices::openUrl(QUrl(QString::fromStdU16String(url)));
}

} // namespace platform
