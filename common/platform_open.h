// Opening a web page in the default browser, one implementation per platform
// (the Windows one is free of Qt, so that the cross build can test it).
#pragma once

#include <string>

namespace platform {

// Whether the browser took the address.
bool openInBrowser(const std::u16string& url);

// Windows: whether a ShellExecute result means the shell took the address
// (results of 32 and below are error codes).
bool shellExecuteSucceeded(long long result);

} // namespace platform
