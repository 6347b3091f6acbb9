// The widget tests run on the shared offscreen QApplication, with their own test resources.
#pragma once

#include <gtest/gtest.h>

#include "qtapp.h"
#include "widgets/test_resources.h"

class TestResourcesEnvironment : public testing::Environment {
public:
    void SetUp() override {
        TestApplication();
        InitTestResources();
    }
};

inline testing::Environment* const kTestResourcesEnvironment =
    testing::AddGlobalTestEnvironment(new TestResourcesEnvironment);
