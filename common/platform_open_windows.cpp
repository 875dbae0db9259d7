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

bool canRestartElevated() {
    return true;
}

bool restartElevated() {
    // The path may be longer than MAX_PATH; the buffer grows until it fits.
    std::wstring program(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, program.data(), DWORD(program.size()));
        if (n == 0) {
            return false;
        }
        if (n < program.size()) {
            program.resize(n);
            break;
        }
        program.resize(program.size() * 2);
    }
    const std::wstring folder = program.substr(0, program.find_last_of(L'\\'));
    HINSTANCE result =
        ShellExecuteW(nullptr, L"runas", program.c_str(), nullptr, folder.c_str(), SW_SHOWNORMAL);
    return shellExecuteSucceeded(static_cast<long long>(reinterpret_cast<INT_PTR>(result)));
}

} // namespace platform
