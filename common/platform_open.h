// Opening a web page in the default browser, one implementation per platform
// (the Windows one is free of Qt, so that the cross build can test it).
#pragma once

#include <string>

namespace platform {

// Whether the browser took the address.
bool openInBrowser(const std::u16string& url);

} // namespace platform
