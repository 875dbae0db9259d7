#include "resources.h"

#include <QtGlobal>

static void registerTide() {
    Q_INIT_RESOURCE(tide);
}

namespace tide {

void initResources() {
    static const bool done = (registerTide(), true);
    (void)done;
}

} // namespace tide
