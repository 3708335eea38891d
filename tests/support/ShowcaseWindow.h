// SPDX-License-Identifier: Zlib
// For Showcase's GL tests: the engine's own window, opened through the bound
// library as Showcase does, with Showcase's GL binding, once per test suite.
#pragma once

#include <gtest/gtest.h>

#include "OpenGL.h"
#include "Quelt.h"

namespace showcase_test {

class ShowcaseWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(showcase::BindQuelt(QUELT_LIBRARY_PATH));
        ASSERT_TRUE(showcase::qCreateWindow());
        ASSERT_TRUE(showcase::BindOpenGL());
    }
    static void TearDownTestSuite() { showcase::qKillWindow(); }
};

} // namespace showcase_test
