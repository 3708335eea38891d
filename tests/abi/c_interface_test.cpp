// SPDX-License-Identifier: Zlib
#include "c_interface.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

TEST(CInterface, FrustumSlotsMatchTheCTable) {
    void* library = dlopen(QUELT_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    auto create = reinterpret_cast<void (*)(IFrustum**)>(dlsym(library, "qCreateFrustum"));
    ASSERT_NE(create, nullptr);
    IFrustum* frustum = reinterpret_cast<IFrustum*>(0x1); // the slot is cleared, not released
    create(&frustum);
    ASSERT_NE(frustum, nullptr);
    EXPECT_EQ(CheckFrustumFromC(frustum), 0);
    EXPECT_EQ(frustum->Release(), 0);
    dlclose(library);
}
