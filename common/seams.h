// What a user sees or loses through a program's few outward actions: message
// boxes, the browser, a restart as the administrator and the end of the process. Widget tests
// replace them, so that they see what a user would see without a modal box blocking them.
#pragma once

#include <QString>

#include <functional>

namespace seams {

enum class Icon { None, Critical };

struct Hooks {
    std::function<void(const QString& text, const QString& title, Icon icon)> messageBox;
    std::function<bool(const QString& url)> openUrl;
    // Answered true for 是, false for 否.
    std::function<bool(const QString& text, const QString& title, Icon icon)> question;
    // Set, it stands for a system that can restart a program elevated.
    std::function<bool()> restartElevated;
    // In tests this returns; callers return right after calling endProcess.
    std::function<void(int status)> endProcess;
};

// An application-modal box with one OK button; an empty title shows the
// program's name.
void messageBox(const QString& text, const QString& title = QString(), Icon icon = Icon::None);

// An application-modal box with 是 and 否 (是 the default); whether 是 was chosen.
bool question(const QString& text, const QString& title, Icon icon = Icon::None);

// Whether the system can start the program again as the administrator, and
// doing so; whether it started.
bool canRestartElevated();
bool restartElevated();

// Whether the default browser took the address.
bool openUrl(const QString& url);

// Ends the process at once: no unload handler runs, nothing more is written.
void endProcess(int status);

// Tests install their own; empty hooks restore the real actions.
void setHooks(Hooks hooks);

} // namespace seams
