// What the programs ask of the system's shell: opening a web page in the
// default browser, and starting the program again as the administrator. One
// implementation per platform (the Windows one is free of Qt, so that the
// cross build can test it).
#pragma once

#include <string>

namespace platform {

// Whether the browser took the address.
bool openInBrowser(const std::u16string& url);

// Whether the system can start a program with the administrator's rights on
// request (Windows, through its consent prompt).
bool canRestartElevated();
// Starts this program again with the administrator's rights, asking the
// system's consent; whether it started (not when the user declined).
bool restartElevated();

// Whether Qt's platform plugin is where the programs' folder keeps it (on
// Windows, `platforms` beside the program). Without it Qt could not show a
// window and would end the program with a box in English; where it is
// missing, this says so in Chinese, titled `program`, and the program ends.
bool platformPluginPresent(const std::u16string& program);

// Windows: whether a ShellExecute result means the shell took the address
// (results of 32 and below are error codes).
bool shellExecuteSucceeded(long long result);

} // namespace platform
