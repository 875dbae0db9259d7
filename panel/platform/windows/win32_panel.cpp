#include "win32_panel.h"

#include <windows.h>

#include <commctrl.h>

namespace win32 {
namespace {

// Qt's backing store drops WS_EX_LAYERED from a frameless window it thinks is
// opaque every time it flushes a repaint, and that takes the colour key with
// it: the window turns into a box of the key's colour. The window keeps the
// style against every change that would take it away.
LRESULT CALLBACK keepLayered(HWND w, UINT message, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
    if (message == WM_STYLECHANGING && wp == WPARAM(GWL_EXSTYLE)) {
        reinterpret_cast<STYLESTRUCT*>(lp)->styleNew |= WS_EX_LAYERED;
    }
    return DefSubclassProc(w, message, wp, lp);
}

} // namespace

void applyColourKey(void* hwnd, unsigned long bgr) {
    const HWND w = static_cast<HWND>(hwnd);
    // Installing it again only replaces the same subclass.
    SetWindowSubclass(w, keepLayered, 1, 0);
    const LONG style = GetWindowLongA(w, GWL_EXSTYLE);
    SetWindowLongA(w, GWL_EXSTYLE, style | WS_EX_LAYERED);
    SetLayeredWindowAttributes(w, COLORREF(bgr), 0, LWA_COLORKEY);
}

void sendToBottom(void* hwnd) {
    // Without SWP_NOACTIVATE the call activates the panel, which lifts it back
    // to the top and takes the keyboard from the user's window every second.
    SetWindowPos(static_cast<HWND>(hwnd), HWND_BOTTOM, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
}

bool claimSingleInstance(const std::wstring& name) {
    // "Local\" keeps the name within the user's logon session.
    const std::wstring full = L"Local\\" + name;
    HANDLE mutex = CreateMutexW(nullptr, FALSE, full.c_str());
    if (!mutex) {
        return true; // no claim possible: better one copy too many than none
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        return false;
    }
    return true; // the handle stays open until the process ends
}

namespace {

bool writeRun(HKEY root, const std::wstring& name, const std::wstring& data) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const DWORD bytes = DWORD((data.size() + 1) * sizeof(wchar_t));
    const LONG status = RegSetValueExW(key, name.c_str(), 0, REG_SZ,
                                       reinterpret_cast<const BYTE*>(data.c_str()), bytes);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

} // namespace

bool registerRun(const std::wstring& name, const std::wstring& program) {
    // Quoted: unquoted, "C:\Program Files\..." would start C:\Program.exe at every logon.
    const std::wstring data = L"\"" + program + L"\"";
    return writeRun(HKEY_LOCAL_MACHINE, name, data) || writeRun(HKEY_CURRENT_USER, name, data);
}

} // namespace win32
