// One QApplication on the offscreen platform for the whole test program, so that widgets and
// fonts work without a display. It is made before the first test runs and ended after the last.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>

#include <memory>

#include "widgets/test_resources.h"

class OffscreenApp : public testing::Environment {
public:
    void SetUp() override {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        app_ = std::make_unique<QApplication>(argc_, argv_);
        InitTestResources();
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "widgets_test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

inline testing::Environment* const kOffscreenApp =
    testing::AddGlobalTestEnvironment(new OffscreenApp);
