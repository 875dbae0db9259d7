#include "autostart_entry.h"

namespace tidepanel {
namespace {

// One argument of Exec: inside double quotes, '"', '`', '$' and '\' take a
// backslash; '%' is doubled, since it starts a field code.
QString quotedArgument(const QString& argument) {
    QString out = QStringLiteral("\"");
    for (const QChar ch : argument) {
        if (ch == u'"' || ch == u'`' || ch == u'$' || ch == u'\\') {
            out += u'\\';
        } else if (ch == u'%') {
            out += u'%';
        }
        out += ch;
    }
    return out + u'"';
}

// Any string value of a desktop entry: backslashes and control characters
// escaped (after the Exec quoting, which adds backslashes of its own).
QString escapedValue(const QString& value) {
    QString out;
    for (const QChar ch : value) {
        switch (ch.unicode()) {
        case '\\':
            out += QStringLiteral("\\\\");
            break;
        case '\n':
            out += QStringLiteral("\\n");
            break;
        case '\r':
            out += QStringLiteral("\\r");
            break;
        case '\t':
            out += QStringLiteral("\\t");
            break;
        default:
            out += ch;
        }
    }
    return out;
}

} // namespace

// TryExec: once the program is gone (a removed package), the entry is ignored.
QString autostartEntry(const QString& name, const QString& program) {
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=%1\n"
                          "Exec=%2\n"
                          "TryExec=%3\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(escapedValue(name), escapedValue(quotedArgument(program)), escapedValue(program));
}

} // namespace tidepanel
