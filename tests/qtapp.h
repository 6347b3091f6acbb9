// One QApplication for a whole test program, on the offscreen platform so that widgets and
// fonts work without a display. Made before the first test runs (or on first use) and kept to
// the end of the process.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>

inline QApplication& TestApplication() {
    static QApplication* app = [] {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "fleetwing-test";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    return *app;
}

class TestApplicationEnvironment : public testing::Environment {
public:
    void SetUp() override { TestApplication(); }
};

inline testing::Environment* const kTestApplicationEnvironment =
    testing::AddGlobalTestEnvironment(new TestApplicationEnvironment);
