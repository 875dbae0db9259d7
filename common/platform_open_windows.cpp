// Free of Qt, so that the cross build can compile and test it under Wine.
#include "platform_open.h"

#include "ansi.h"

#include <windows.h>

#include <shellapi.h>

namespace platform {

bool shellExecuteSucceeded(long long result) {
    return result > 32;
}

bool openInBrowser(const std::u16string& url) {
    // An address the code page cannot hold would reach the shell garbled.
    std::optional<std::string> bytes = ansi::encode(url);
    if (!bytes || bytes->empty()) {
        return false;
    }
    HINSTANCE result =
        ShellExecuteA(nullptr, nullptr, bytes->c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return shellExecuteSucceeded(static_cast<long long>(reinterpret_cast<INT_PTR>(result)));
}

} // namespace platform
