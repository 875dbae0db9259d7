// The artwork embedded in both programs, under ":/tide/": the icons as
// tidepanel-<size>.png and tideedit-<size>.png, and about.jpg.
#pragma once

namespace tide {

// Registers the embedded artwork; a static library's resources are not
// registered by themselves. Safe to call more than once.
void initResources();

} // namespace tide
