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

namespace {

// This program's full path; empty if the system does not tell it.
std::wstring ownPath() {
    // The path may be longer than MAX_PATH; the buffer grows until it fits.
    std::wstring program(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, program.data(), DWORD(program.size()));
        if (n == 0) {
            return {};
        }
        if (n < program.size()) {
            program.resize(n);
            return program;
        }
        program.resize(program.size() * 2);
    }
}

std::wstring folderOf(const std::wstring& path) {
    return path.substr(0, path.find_last_of(L'\\'));
}

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

bool restartElevated() {
    const std::wstring program = ownPath();
    if (program.empty()) {
        return false;
    }
    HINSTANCE result = ShellExecuteW(nullptr, L"runas", program.c_str(), nullptr,
                                     folderOf(program).c_str(), SW_SHOWNORMAL);
    return shellExecuteSucceeded(static_cast<long long>(reinterpret_cast<INT_PTR>(result)));
}

bool platformPluginPresent(const std::u16string& program) {
    // Told to look elsewhere, Qt is left to find it.
    if (GetEnvironmentVariableW(L"QT_QPA_PLATFORM_PLUGIN_PATH", nullptr, 0) ||
        GetEnvironmentVariableW(L"QT_PLUGIN_PATH", nullptr, 0)) {
        return true;
    }
    const std::wstring folder = folderOf(ownPath()) + L"\\platforms\\";
    if (exists(folder + L"qwindows.dll") || exists(folder + L"qwindowsd.dll")) {
        return true;
    }
    const std::wstring title(program.begin(), program.end());
    MessageBoxW(nullptr,
                L"程序文件不完整：缺少 platforms\\qwindows.dll，程序无法启动。\n"
                L"请把压缩包中的整个文件夹重新解压，不要只复制 exe 文件。",
                title.c_str(), MB_OK | MB_ICONERROR);
    return false;
}

} // namespace platform
