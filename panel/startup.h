// The panel's start-up duties, one implementation per platform
// (platform/linux_desktop.cpp, platform/windows/windows_startup.cpp).
#pragma once

#include <QString>

namespace tidepanel::startup {

// Before the application object exists, picks Qt's platform: in a Wayland
// session natively on Wayland where the compositor offers layer-shell (which
// places and stacks the windows), else through XWayland, where the panel
// places and stacks them itself; a platform the user chose stays.
void preferPlacableWindows();

// Whether this is the only copy running in the user's session; the claim
// lasts until the process ends, and a crashed copy's claim does not count.
bool claimSingleInstance();

// Registers the running executable to start at every logon, replacing an
// older registration; whether it worked.
bool RegisterAutostart();

} // namespace tidepanel::startup
