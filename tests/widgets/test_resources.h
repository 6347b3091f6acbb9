// The resources the widget tests run against: the program's own (res/), and the templates and
// bitmaps made for the tests (tests/data/widgets/test_widgets.qrc), both compiled in.
#pragma once

#include <QtGlobal>

#include "res/init_resources.h"

// Qt's registration macro declares a function in the current namespace, so this stays outside
// any namespace.
inline void InitTestResources() {
    InitFleetwingResources();
    Q_INIT_RESOURCE(test_widgets);
}
