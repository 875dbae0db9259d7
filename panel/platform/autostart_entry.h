// The XDG autostart entry of the panel.
#pragma once

#include <QString>

namespace tidepanel {

// The text of a desktop entry that starts `program` (a full path), with the
// path quoted and escaped as desktop entries require.
QString autostartEntry(const QString& name, const QString& program);

} // namespace tidepanel
