// The panel's start-up duties, one implementation per platform.
#pragma once

#include <QString>

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

} // namespace tidepanel::startup
