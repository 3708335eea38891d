// SPDX-License-Identifier: Zlib
// Binding the engine by name at run time: the real library, a missing file,
// and a library that lacks one export.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <cstdlib>
#include <set>
#include <string>

#include "Quelt.h"

namespace {

int CountBound() {
    int bound = 0;
    for (const showcase::BoundExport& e : showcase::BoundExports()) bound += e.address != nullptr;
    return bound;
}

} // namespace

TEST(Binding, ListsEveryExportOnceInBindingOrder) {
    const auto exports = showcase::BoundExports();
    ASSERT_EQ(exports.size(), std::size_t(showcase::kExportCount));
    std::set<std::string> names;
    for (const auto& e : exports) names.insert(e.name);
    EXPECT_EQ(names.size(), exports.size());
    EXPECT_STREQ(exports.front().name, "qGetHDC");
    EXPECT_STREQ(exports[47].name, "vec2D");
    EXPECT_STREQ(exports.back().name, "qCreateFrustum");
}

// Each case runs in a child process, so that it starts from unbound references.
TEST(Binding, MissingLibraryBindsNothing) {
    EXPECT_EXIT(
        {
            const bool loaded = showcase::BindQuelt("/nonexistent/folder/libQuelt.so");
            const bool reported = !showcase::BindError().empty();
            std::exit(!loaded && reported && CountBound() == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(Binding, RealLibraryBindsAllNinetyOneExports) {
    EXPECT_EXIT(
        {
            if (!showcase::BindQuelt(QUELT_LIBRARY_PATH)) std::exit(1);
            void* handle = dlopen(QUELT_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD);
            for (const auto& e : showcase::BoundExports())
                if (!e.address || e.address != dlsym(handle, e.name)) std::exit(2);
            // The references keep their values once the library is released.
            void* before = reinterpret_cast<void*>(showcase::qCreateWindow);
            showcase::ReleaseQuelt();
            std::exit(CountBound() == 91 && before == reinterpret_cast<void*>(showcase::qCreateWindow) ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(Binding, LibraryLackingOneExportBindsTheOtherNinety) {
    EXPECT_EXIT(
        {
            if (!showcase::BindQuelt(SHOWCASE_PARTIAL_LIBRARY)) std::exit(1);
            const bool missingIsNull = showcase::qSetUPS == nullptr;
            std::exit(missingIsNull && CountBound() == 90 ? 0 : 2);
        },
        ::testing::ExitedWithCode(0), "");
}
