#include "switches.h"

namespace tidepanel {

bool switchShown(const QString& text) {
    bool isNumber = false;
    // C-locale decimal notation: sign, fraction, exponent; blanks around are trimmed.
    const double number = text.trimmed().toDouble(&isNumber);
    return !isNumber || number != 0.0;
}

} // namespace tidepanel
