// The panel's start-up duties, one implementation per platform.
#pragma once

#include <QString>

#include <functional>

namespace tidepanel::startup {

// Before the application object exists: a Wayland session lets no client
// place or stack its own windows, so the panel runs through XWayland unless
// the user chose a platform.
void preferPlacableWindows();

// Whether this is the only copy running in the user's session; the claim
// lasts until the process ends, and a crashed copy's claim does not count.
bool claimSingleInstance();

// Registers the running executable to start at every logon, replacing an
// older registration; whether it worked.
bool RegisterAutostart();

// Runs `ending` when the session ends (log-off, shut-down, a termination
// signal), on the program's one thread, from its event loop.
void onSessionEnd(std::function<void()> ending);

} // namespace tidepanel::startup
