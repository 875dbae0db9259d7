// The end of the user's session as each program sees it, one implementation
// per platform.
#pragma once

#include <functional>

namespace tide {

// Runs `ending` when the session ends (log-off, shut-down, a termination
// signal) or Qt is told to quit, on the program's one thread, from its event
// loop; the program's event loop ends afterwards.
void onSessionEnd(std::function<void()> ending);

} // namespace tide
