// Sections, keys and fixed values of SysInfo.ini. Callers pass them
// literally to rwini; the letter case is as the programs have always written it.
#pragma once

#include <QString>

namespace ini {

inline const QString Sysinfo = QStringLiteral("Sysinfo");
inline const QString Display = QStringLiteral("Display");
inline const QString Config = QStringLiteral("Config");
inline const QString Info = QStringLiteral("Info");

namespace key {
inline const QString Title = QStringLiteral("Title");
inline const QString ServiceTel = QStringLiteral("Service TEL");
inline const QString TechnologyTel = QStringLiteral("Technology TEL");
inline const QString Add = QStringLiteral("Add");
inline const QString Close = QStringLiteral("Close"); // the close flag
inline const QString Info = QStringLiteral("Info");   // Display/Info
inline const QString label5 = QStringLiteral("label5");
inline const QString label6 = QStringLiteral("label6");
inline const QString label7 = QStringLiteral("label7");
inline const QString CPU = QStringLiteral("CPU");
inline const QString MB = QStringLiteral("MB");
inline const QString MEM = QStringLiteral("MEM");
inline const QString HD = QStringLiteral("HD");
inline const QString Show = QStringLiteral("Show");
} // namespace key

// Values of the close flag: "End" tells a running panel to end at its next tick.
inline const QString End = QStringLiteral("End");
inline const QString Start = QStringLiteral("Start");

} // namespace ini
