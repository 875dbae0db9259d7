// The panel's Win32 calls, free of Qt so that they can be built and tested
// with a cross compiler on their own. Results of the window calls are not
// examined: a failure leaves the window opaque or in its place.
#pragma once

#include <string>

namespace win32 {

// Adds WS_EX_LAYERED to the window's extended style (keeping the tool-window
// style that keeps it off the taskbar) and makes `bgr` see-through, for good:
// later changes of the extended style keep WS_EX_LAYERED.
void applyColourKey(void* hwnd, unsigned long bgr);

// Puts the window below all others, in place, without activating it.
void sendToBottom(void* hwnd);

// Claims the session-wide name; false when another running copy holds it.
// The claim lasts until the process ends.
bool claimSingleInstance(const std::wstring& name);

// Stores the path of `program`, in quotation marks, as the string value `name`
// under the Run key of the machine, or of the user when the machine's key is
// refused; whether either worked.
bool registerRun(const std::wstring& name, const std::wstring& program);

} // namespace win32
