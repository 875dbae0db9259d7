// The Display switches: "1" shows, "0" hides.
#pragma once

#include <QString>

namespace tidepanel {

// Whether a switch read as a number shows its lines: zero hides, any other
// number shows. A text that is no number (empty in a fresh folder, or typed
// by hand) shows too, rather than stopping the panel.
bool switchShown(const QString& text);

} // namespace tidepanel
