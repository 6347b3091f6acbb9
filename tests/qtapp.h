// One QApplication for a whole test program, on the offscreen platform unless a display is
// chosen with QT_QPA_PLATFORM.
#pragma once

#include <stdlib.h>

#include <QApplication>

#include "res/init_resources.h"

inline QApplication& TestApplication() {
    static QApplication* app = [] {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "fleetwing-test";
        static char* argv[] = {name, nullptr};
        auto* created = new QApplication(argc, argv);
        InitFleetwingResources();
        return created;
    }();
    return *app;
}
