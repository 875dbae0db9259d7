// The panel's Win32 calls on real windows, registry keys and named objects.
// The program runs itself as a child for the single-instance cases:
//   win_panel_test.exe claim NAME   exits 0 when the claim succeeds, 1 when not
//   win_panel_test.exe hold NAME EVENT   claims, signals EVENT, then waits to be killed
#include "check.h"

#include "win32_panel.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

namespace {

const wchar_t* const runKey = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// The Run value as stored, read with the wide functions; "<none>" when absent.
std::wstring runValue(HKEY root, const std::wstring& name) {
    wchar_t data[1024] = {};
    DWORD bytes = sizeof data;
    DWORD type = 0;
    if (RegGetValueW(root, runKey, name.c_str(), RRF_RT_ANY, &type, data, &bytes) !=
        ERROR_SUCCESS) {
        return L"<none>";
    }
    return type == REG_SZ ? std::wstring(data) : L"<not a string>";
}

// The same value through the ANSI functions: converted to the code page.
std::string runValueA(HKEY root, const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS) {
        return "<no key>";
    }
    char data[1024] = {};
    DWORD bytes = sizeof data - 1;
    DWORD type = 0;
    const LONG status =
        RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::string(data) : "<none>";
}

void removeRunValue(HKEY root, const std::wstring& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, runKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, name.c_str());
        RegCloseKey(key);
    }
}

// Wide text as UTF-8, so that the checks can show it.
std::string utf8(const std::wstring& text) {
    std::string out(text.size() * 4, '\0');
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &out[0],
                                      int(out.size()), nullptr, nullptr);
    out.resize(n > 0 ? size_t(n) : 0);
    return out;
}

// Denies everybody the right to store values in a Run key for as long as it
// lives, then puts the key's own security back.
class RefusedRun {
public:
    explicit RefusedRun(HKEY root) {
        HKEY key = nullptr;
        RegCreateKeyExW(root, runKey, 0, nullptr, 0, READ_CONTROL | WRITE_DAC, nullptr, &key,
                        nullptr);
        key_ = key;
        DWORD size = 0;
        RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, nullptr, &size);
        saved_.resize(size);
        saved_ok_ = size > 0 && RegGetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data(),
                                                  &size) == ERROR_SUCCESS;
        // Read access for everybody, and nothing more.
        PSECURITY_DESCRIPTOR readOnly = nullptr;
        applied_ = ConvertStringSecurityDescriptorToSecurityDescriptorW(
                       L"D:P(A;;KR;;;WD)", SDDL_REVISION_1, &readOnly, nullptr) &&
                   RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, readOnly) == ERROR_SUCCESS;
        LocalFree(readOnly);
    }
    ~RefusedRun() {
        if (saved_ok_) {
            RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, saved_.data());
        }
        RegCloseKey(key_);
    }
    bool applied() const { return applied_ && saved_ok_; }

private:
    HKEY key_ = nullptr;
    std::vector<BYTE> saved_;
    bool saved_ok_ = false;
    bool applied_ = false;
};

// Whether this process may store a value in the Run key right now.
bool runWritable(HKEY root) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, runKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

} // namespace

TEST_CASE(
    "the Run value is the executable's full path, quoted, overwritten when the folder moves") {
    const std::wstring name = L"tidepanel_test";
    removeRunValue(HKEY_LOCAL_MACHINE, name);
    removeRunValue(HKEY_CURRENT_USER, name);

    CHECK(win32::registerRun(name, L"C:\\Program Files\\Panel\\tidepanel_test.exe"));
    CHECK_BYTES(utf8(runValue(HKEY_LOCAL_MACHINE, name)),
                utf8(L"\"C:\\Program Files\\Panel\\tidepanel_test.exe\""));
    CHECK(runValue(HKEY_CURRENT_USER, name) == L"<none>");

    CHECK(win32::registerRun(name, L"E:\\Moved\\tidepanel_test.exe"));
    CHECK_BYTES(utf8(runValue(HKEY_LOCAL_MACHINE, name)),
                utf8(L"\"E:\\Moved\\tidepanel_test.exe\""));

    removeRunValue(HKEY_LOCAL_MACHINE, name);
}

TEST_CASE("a Chinese path reads back exactly, wide and in code page 936") {
    const std::wstring name = L"tidepanel_test";
    const std::wstring path = L"C:\\\u5e97\u94fa\\\u684c\u9762\u9762\u677f\\tidepanel_test.exe";
    CHECK(GetACP() == 936);
    CHECK(win32::registerRun(name, path));
    CHECK_BYTES(utf8(runValue(HKEY_LOCAL_MACHINE, name)), utf8(L"\"" + path + L"\""));
    // 店铺\桌面面板 in GBK.
    CHECK_BYTES(runValueA(HKEY_LOCAL_MACHINE, "tidepanel_test"),
                "\"C:\\\xB5\xEA\xC6\xCC\\\xD7\xC0\xC3\xE6\xC3\xE6\xB0\xE5\\tidepanel_test.exe\"");
    removeRunValue(HKEY_LOCAL_MACHINE, name);
}

TEST_CASE("a refused machine key sends the Run value to the user's key") {
    const std::wstring name = L"tidepanel_test";
    removeRunValue(HKEY_LOCAL_MACHINE, name);
    removeRunValue(HKEY_CURRENT_USER, name);
    {
        RefusedRun refused(HKEY_LOCAL_MACHINE);
        CHECK(refused.applied());
        CHECK(!runWritable(HKEY_LOCAL_MACHINE)); // the refusal is real, not assumed
        CHECK(win32::registerRun(name, L"D:\\Panel\\tidepanel_test.exe"));
        CHECK_BYTES(utf8(runValue(HKEY_CURRENT_USER, name)),
                    utf8(L"\"D:\\Panel\\tidepanel_test.exe\""));
        CHECK(runValue(HKEY_LOCAL_MACHINE, name) == L"<none>");
    }
    CHECK(runWritable(HKEY_LOCAL_MACHINE));
    removeRunValue(HKEY_CURRENT_USER, name);
}

TEST_CASE("both keys refused is reported as a failure") {
    const std::wstring name = L"tidepanel_test";
    {
        RefusedRun machine(HKEY_LOCAL_MACHINE);
        RefusedRun user(HKEY_CURRENT_USER);
        CHECK(machine.applied() && user.applied());
        CHECK(!win32::registerRun(name, L"D:\\Panel\\tidepanel_test.exe"));
        CHECK(runValue(HKEY_LOCAL_MACHINE, name) == L"<none>");
        CHECK(runValue(HKEY_CURRENT_USER, name) == L"<none>");
    }
    CHECK(runWritable(HKEY_LOCAL_MACHINE) && runWritable(HKEY_CURRENT_USER));
}

namespace {

LRESULT CALLBACK plainProc(HWND w, UINT message, WPARAM wp, LPARAM lp) {
    return DefWindowProcW(w, message, wp, lp);
}

HWND makeWindow(DWORD exStyle, DWORD style, int x, int y) {
    static const wchar_t* const cls = L"tide_test_window";
    static bool registered = false;
    if (!registered) {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = plainProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = cls;
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        registered = RegisterClassW(&wc) != 0;
    }
    HWND w = CreateWindowExW(exStyle, cls, L"", style | WS_VISIBLE, x, y, 240, 90, nullptr, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
    ShowWindow(w, SW_SHOWNOACTIVATE);
    UpdateWindow(w);
    return w;
}

void pumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Position of `w` in the stack of top-level windows, 0 at the top; -1 if absent.
int stackIndex(HWND w) {
    int i = 0;
    for (HWND h = GetTopWindow(nullptr); h; h = GetWindow(h, GW_HWNDNEXT), ++i) {
        if (h == w) {
            return i;
        }
    }
    return -1;
}

bool sameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

} // namespace

TEST_CASE("the colour key is added to the extended style, which keeps the tool-window bit") {
    HWND panel = makeWindow(WS_EX_TOOLWINDOW, WS_POPUP, 600, 500);
    CHECK(panel != nullptr);
    win32::applyColourKey(panel, 0xFEFEFE);
    pumpMessages();
    const LONG style = GetWindowLongA(panel, GWL_EXSTYLE);
    CHECK((style & WS_EX_LAYERED) != 0);
    CHECK((style & WS_EX_TOOLWINDOW) != 0);

    COLORREF key = 0;
    BYTE alpha = 1;
    DWORD flags = 0;
    CHECK(GetLayeredWindowAttributes(panel, &key, &alpha, &flags));
    CHECK(key == 0xFEFEFE);
    CHECK(flags == LWA_COLORKEY);

    // Every tick applies it again: nothing accumulates or is lost.
    win32::applyColourKey(panel, 0xFEFEFE);
    CHECK(GetWindowLongA(panel, GWL_EXSTYLE) == style);

    // What Qt's backing store does on every flush of a frameless window it
    // thinks opaque: the layered style and its colour key stay.
    SetWindowLongPtrW(panel, GWL_EXSTYLE, style & ~WS_EX_LAYERED);
    CHECK(GetWindowLongA(panel, GWL_EXSTYLE) == style);
    key = 0;
    CHECK(GetLayeredWindowAttributes(panel, &key, &alpha, &flags) && key == 0xFEFEFE);
    DestroyWindow(panel);
}

TEST_CASE("the panel goes below another window and keeps its place and size") {
    HWND panel = makeWindow(WS_EX_TOOLWINDOW, WS_POPUP, 600, 500);
    HWND other = makeWindow(0, WS_OVERLAPPEDWINDOW, 100, 100);
    CHECK(panel && other);
    win32::applyColourKey(panel, 0xFEFEFE);
    // The user works in the other window: the panel must not take that away.
    SetActiveWindow(other);
    // Start with the panel on top, so that the move below is the call's doing.
    SetWindowPos(panel, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    pumpMessages();
    CHECK(GetActiveWindow() == other);
    CHECK(stackIndex(panel) >= 0 && stackIndex(panel) < stackIndex(other));

    RECT before = {};
    GetWindowRect(panel, &before);
    win32::sendToBottom(panel);
    pumpMessages();
    CHECK(stackIndex(other) >= 0 && stackIndex(other) < stackIndex(panel));
    CHECK(GetWindow(panel, GW_HWNDNEXT) == nullptr); // the very bottom
    RECT after = {};
    GetWindowRect(panel, &after);
    CHECK(sameRect(before, after));
    CHECK(IsWindowVisible(panel));
    CHECK(GetActiveWindow() == other);

    // Raising the other window later leaves the panel where it is.
    SetWindowPos(other, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    win32::sendToBottom(panel);
    CHECK(stackIndex(other) < stackIndex(panel));
    DestroyWindow(other);
    DestroyWindow(panel);
}

namespace {

std::wstring selfPath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

// Starts this program with `args`; the process handle, or null.
HANDLE startSelf(const std::wstring& args) {
    std::wstring line = L"\"" + selfPath() + L"\" " + args;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi)) {
        return nullptr;
    }
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

// The exit code of a child claiming `name`: 0 claimed, 1 refused, other: trouble.
DWORD claimInChild(const std::wstring& name) {
    HANDLE child = startSelf(L"claim " + name);
    if (!child) {
        return 99;
    }
    DWORD code = 98;
    if (WaitForSingleObject(child, 20000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(child, &code);
    } else {
        TerminateProcess(child, 97);
    }
    CloseHandle(child);
    return code;
}

} // namespace

TEST_CASE("a second copy in another process is refused while the first runs") {
    const std::wstring name = L"tide-test-first-" + std::to_wstring(GetCurrentProcessId());
    CHECK(win32::claimSingleInstance(name));
    CHECK(claimInChild(name) == 1);
    CHECK(claimInChild(name + L"-other") == 0); // other names are free
}

TEST_CASE("a stale error code does not make a free name look taken") {
    const std::wstring name = L"tide-test-stale-" + std::to_wstring(GetCurrentProcessId());
    SetLastError(ERROR_ALREADY_EXISTS);
    CHECK(win32::claimSingleInstance(name));
}

TEST_CASE("a killed first copy does not lock the panel out") {
    const std::wstring name = L"tide-test-held-" + std::to_wstring(GetCurrentProcessId());
    const std::wstring ready = name + L"-ready";
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, ready.c_str());
    HANDLE holder = startSelf(L"hold " + name + L" " + ready);
    CHECK(event && holder);
    if (!event || !holder) {
        return;
    }
    const bool held = WaitForSingleObject(event, 20000) == WAIT_OBJECT_0;
    CHECK(held);
    if (held) {
        CHECK(!win32::claimSingleInstance(name));
        CHECK(claimInChild(name) == 1);
    }
    TerminateProcess(holder, 1);
    CHECK(WaitForSingleObject(holder, 20000) == WAIT_OBJECT_0);
    CloseHandle(holder);
    CloseHandle(event);
    CHECK(win32::claimSingleInstance(name));
}

// The child modes first; the checks otherwise.
int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"claim" && argc == 3) {
        return win32::claimSingleInstance(argv[2]) ? 0 : 1;
    }
    if (mode == L"hold" && argc == 4) {
        if (!win32::claimSingleInstance(argv[2])) {
            return 2;
        }
        HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[3]);
        SetEvent(ready);
        Sleep(60000); // ended by the parent long before this
        return 3;
    }
    LocalFree(argv);
    return check::runAll();
}
