#include "res/init_resources.h"

#include <QtGlobal>

// Qt's registration macro declares a function in the current namespace, so it is used here,
// outside any namespace.
void InitFleetwingResources() {
    Q_INIT_RESOURCE(resources);
}
