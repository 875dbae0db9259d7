// What the tests of the real programs under Wine ask of Windows itself, one
// command per run; texts in and out are UTF-8.
//   win_drive.exe window TITLE          exit 0 when a visible window has TITLE
//   win_drive.exe close TITLE           sends it WM_CLOSE
//   win_drive.exe raise TITLE           puts it on top of all windows
//   win_drive.exe below LOW HIGH        exit 0 when LOW is below HIGH in the
//                                       window stack
//   win_drive.exe send TITLE ITEM...    makes it the foreground window and
//       types: "text:..." (any characters), Enter, Tab, End, Escape, Down,
//       ctrl+LETTER, alt+LETTER
//   win_drive.exe clip                  prints the clipboard's text
//   win_drive.exe texts TITLE           prints the texts of its child windows
//                                       (a system message box's text, buttons)
//   win_drive.exe profile FILE SECTION KEY   GetPrivateProfileStringA's answer
//   win_drive.exe acp                   prints the ANSI code page
//   win_drive.exe resources EXE         prints the program's CompanyName and
//                                       LegalCopyright, a line each, then its
//                                       manifest
//   win_drive.exe run SECONDS EXE ARG...  runs EXE and exits with its exit
//       code, or 124 when it has not ended within SECONDS (it is then ended);
//       an ARG with a space is quoted unless it is NSIS's /D=, which never is
// Every command leaves its exit code where exit_file.h says.
#include "exit_file.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::wstring wide(const std::string& text, UINT cp = CP_UTF8) {
    std::wstring out(text.size() + 1, L'\0');
    const int n =
        MultiByteToWideChar(cp, 0, text.data(), int(text.size()), out.data(), int(out.size()));
    out.resize(n > 0 ? size_t(n) : 0);
    return out;
}

std::string narrow(const std::wstring& text, UINT cp = CP_UTF8) {
    std::string out(text.size() * 4 + 1, '\0');
    const int n = WideCharToMultiByte(cp, 0, text.data(), int(text.size()), out.data(),
                                      int(out.size()), nullptr, nullptr);
    out.resize(n > 0 ? size_t(n) : 0);
    return out;
}

HWND visibleWindow(const std::wstring& title) {
    HWND w = FindWindowW(nullptr, title.c_str());
    return w && IsWindowVisible(w) ? w : nullptr;
}

INPUT key(WORD vk, WCHAR unit, bool up) {
    INPUT in = {};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = unit;
    in.ki.dwFlags = (unit ? KEYEVENTF_UNICODE : 0) | (up ? KEYEVENTF_KEYUP : 0);
    return in;
}

// The key presses of one item, or none when it is not understood.
std::vector<INPUT> presses(const std::string& item) {
    std::vector<INPUT> out;
    if (item.rfind("text:", 0) == 0) {
        for (WCHAR unit : wide(item.substr(5))) {
            out.push_back(key(0, unit, false));
            out.push_back(key(0, unit, true));
        }
        return out;
    }
    WORD modifier = 0;
    std::string name = item;
    if (name.rfind("ctrl+", 0) == 0 || name.rfind("alt+", 0) == 0) {
        modifier = name[0] == 'c' ? VK_CONTROL : VK_MENU;
        name = name.substr(name.find('+') + 1);
    }
    WORD vk = 0;
    if (name.size() == 1 && name[0] >= 'a' && name[0] <= 'z') {
        vk = WORD(name[0] - 'a' + 'A');
    } else {
        const struct {
            const char* name;
            WORD vk;
        } names[] = {{"Enter", VK_RETURN},  {"Tab", VK_TAB},   {"End", VK_END},
                     {"Escape", VK_ESCAPE}, {"Down", VK_DOWN}, {"Home", VK_HOME}};
        for (const auto& n : names) {
            if (name == n.name) {
                vk = n.vk;
            }
        }
    }
    if (!vk) {
        return out;
    }
    if (modifier) {
        out.push_back(key(modifier, 0, false));
    }
    out.push_back(key(vk, 0, false));
    out.push_back(key(vk, 0, true));
    if (modifier) {
        out.push_back(key(modifier, 0, true));
    }
    return out;
}

int send(HWND w, int count, char** items) {
    SetForegroundWindow(w);
    for (int i = 0; i < count; ++i) {
        std::vector<INPUT> in = presses(items[i]);
        if (in.empty()) {
            std::fprintf(stderr, "unknown key: %s\n", items[i]);
            return 2;
        }
        // One at a time, so that a slow receiver sees them in order.
        for (INPUT& one : in) {
            SendInput(1, &one, sizeof one);
            Sleep(10);
        }
    }
    return 0;
}

std::string clipboard() {
    std::string out;
    if (!OpenClipboard(nullptr)) {
        return out;
    }
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (auto text = static_cast<const wchar_t*>(GlobalLock(data))) {
            out = narrow(text);
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return out;
}

BOOL CALLBACK printText(HWND child, LPARAM) {
    wchar_t text[1024] = {};
    if (GetWindowTextW(child, text, 1024) > 0) {
        std::printf("%s\n", narrow(text).c_str());
    }
    return TRUE;
}

// A text of the version resource's first translation, empty if none.
std::string versionText(const std::wstring& exe, const wchar_t* name) {
    DWORD ignored = 0;
    std::vector<char> data(GetFileVersionInfoSizeW(exe.c_str(), &ignored));
    if (data.empty() || !GetFileVersionInfoW(exe.c_str(), 0, DWORD(data.size()), data.data())) {
        return {};
    }
    WORD* pair = nullptr;
    UINT bytes = 0;
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&pair),
                        &bytes) ||
        bytes < 4) {
        return {};
    }
    wchar_t path[128];
    swprintf(path, 128, L"\\StringFileInfo\\%04x%04x\\%ls", pair[0], pair[1], name);
    wchar_t* text = nullptr;
    if (!VerQueryValueW(data.data(), path, reinterpret_cast<void**>(&text), &bytes) || !text) {
        return {};
    }
    return narrow(text);
}

// The manifest Windows reads when it creates the process (resource 1 of RT_MANIFEST).
std::string manifest(const std::wstring& exe) {
    HMODULE m = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC found = m ? FindResourceW(m, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)) : nullptr;
    HGLOBAL loaded = found ? LoadResource(m, found) : nullptr;
    std::string out;
    if (loaded) {
        out.assign(static_cast<const char*>(LockResource(loaded)), SizeofResource(m, found));
    }
    if (m) {
        FreeLibrary(m);
    }
    return out;
}

// The program's exit code, or 124 when it outlives the limit.
int run(DWORD seconds, int count, char** args) {
    std::wstring line;
    for (int i = 0; i < count; ++i) {
        const std::wstring arg = wide(args[i]);
        const bool quoted =
            i == 0 || (arg.find(L' ') != std::wstring::npos && arg.rfind(L"/D=", 0) != 0);
        line += (i ? L" " : L"") + (quoted ? L'"' + arg + L'"' : arg);
    }
    // Its output goes where ours does.
    STARTUPINFOW start = {};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    HANDLE* std[] = {&start.hStdInput, &start.hStdOutput, &start.hStdError};
    const DWORD ids[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (int i = 0; i < 3; ++i) {
        *std[i] = GetStdHandle(ids[i]);
        SetHandleInformation(*std[i], HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                        &process)) {
        std::fprintf(stderr, "cannot start %s: error %lu\n", args[0], GetLastError());
        return 127;
    }
    DWORD code = 124;
    if (WaitForSingleObject(process.hProcess, seconds * 1000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &code);
    } else {
        TerminateProcess(process.hProcess, 124);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return int(code);
}

int command(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "window" && argc == 3) {
        return visibleWindow(wide(argv[2])) ? 0 : 1;
    }
    if (command == "close" && argc == 3) {
        HWND w = FindWindowW(nullptr, wide(argv[2]).c_str());
        return w && PostMessageW(w, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    if (command == "raise" && argc == 3) {
        HWND w = visibleWindow(wide(argv[2]));
        return w && SetWindowPos(w, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE) ? 0 : 1;
    }
    if (command == "below" && argc == 4) {
        HWND low = visibleWindow(wide(argv[2]));
        HWND high = visibleWindow(wide(argv[3]));
        for (HWND h = high; low && h; h = GetWindow(h, GW_HWNDNEXT)) {
            if (h == low) {
                return 0;
            }
        }
        return 1;
    }
    if (command == "send" && argc >= 3) {
        HWND w = visibleWindow(wide(argv[2]));
        return w ? send(w, argc - 3, argv + 3) : 1;
    }
    if (command == "texts" && argc == 3) {
        HWND w = visibleWindow(wide(argv[2]));
        return w ? (EnumChildWindows(w, printText, 0), 0) : 1;
    }
    if (command == "clip") {
        std::fputs(clipboard().c_str(), stdout);
        return 0;
    }
    if (command == "profile" && argc == 5) {
        // The names go in through the code page, as an ANSI program would pass them.
        const std::string file = narrow(wide(argv[2]), CP_ACP);
        const std::string section = narrow(wide(argv[3]), CP_ACP);
        const std::string name = narrow(wide(argv[4]), CP_ACP);
        char value[4096] = {};
        GetPrivateProfileStringA(section.c_str(), name.c_str(), "<none>", value, sizeof value,
                                 file.c_str());
        std::fputs(narrow(wide(value, CP_ACP)).c_str(), stdout);
        return 0;
    }
    if (command == "resources" && argc == 3) {
        const std::wstring exe = wide(argv[2]);
        std::printf("%s\n%s\n%s\n", versionText(exe, L"CompanyName").c_str(),
                    versionText(exe, L"LegalCopyright").c_str(), manifest(exe).c_str());
        return 0;
    }
    if (command == "hold" && argc == 3) {
        // As another user's program may: open, sharing reading only, until ended.
        HANDLE h = CreateFileW(wide(argv[2]).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            return 1;
        }
        std::puts("held");
        std::fflush(stdout);
        Sleep(INFINITE);
    }
    if (command == "run" && argc >= 4) {
        return run(DWORD(std::atoi(argv[2])), argc - 3, argv + 3);
    }
    if (command == "acp") {
        std::printf("%u\n", GetACP());
        return 0;
    }
    std::fputs("usage: see the top of drive.cpp\n", stderr);
    return 2;
}

} // namespace

int main() {
    // The arguments as typed, not through the ANSI code page.
    int argc = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> texts;
    std::vector<char*> argv;
    for (int i = 0; i < argc; ++i) {
        texts.push_back(narrow(args[i]));
    }
    for (std::string& text : texts) {
        argv.push_back(text.data());
    }
    return recordExit(command(argc, argv.data()));
}
