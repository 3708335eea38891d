// SPDX-License-Identifier: Zlib
// Loads libQuelt.so the way an application does and checks its boundary.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <quelt/quelt.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>

extern "C" int DescribedSlotCount(void);

namespace {

// Every export the header declares, with whether it is one of the classic 91;
// written from the header at build time.
struct Export {
    const char* name;
    bool classic;
};
const Export kExports[] = {
#define QUELT_EXPORT(name, classic) {#name, classic},
#define QUELT_SLOT(interface, slot, index)
#define QUELT_SLOTS(interface, count)
#include QUELT_EXPORT_NAMES
};

struct Library {
    void* handle = dlopen(QUELT_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ~Library() {
        if (handle) dlclose(handle);
    }
    template <typename F>
    F Get(const char* name) const {
        return reinterpret_cast<F>(dlsym(handle, name));
    }
};

TEST(Exports, AllNinetyOneNamesResolve) {
    size_t classic = 0;
    for (const Export& entry : kExports) classic += entry.classic;
    ASSERT_EQ(classic, 91u);
    Library library;
    ASSERT_NE(library.handle, nullptr) << dlerror();
    for (const Export& entry : kExports) EXPECT_NE(dlsym(library.handle, entry.name), nullptr) << entry.name;
}

TEST(Exports, TableSlotsAreWhereTheDescriptionSays) {
    // The answer of tests/abi/slots.c, where the C compiler checks each slot's place.
    EXPECT_GT(DescribedSlotCount(), 30);
}

TEST(Exports, NamesAreCaseSensitive) {
    Library library;
    ASSERT_NE(library.handle, nullptr);
    for (const char* name : {"QCreateWindow", "qcreatewindow", "Vec3D", "ADD3D", "qSetProcAddress", "IsOpenALCreated"})
        EXPECT_EQ(dlsym(library.handle, name), nullptr) << name;
}

TEST(Exports, NothingElseOfOursIsVisible) {
    std::set<std::string> expected;
    for (const Export& entry : kExports) expected.insert(entry.name);
    const std::string command = std::string("nm -D --defined-only ") + QUELT_LIBRARY_PATH;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    ASSERT_TRUE(pipe);
    char line[512];
    std::set<std::string> seen;
    while (fgets(line, sizeof line, pipe.get())) {
        char type = 0;
        char name[400] = {0};
        if (sscanf(line, "%*s %c %399s", &type, name) != 2) continue;
        seen.insert(name);
        EXPECT_TRUE(expected.count(name)) << "unexpected export: " << name << " (" << type << ")";
    }
    EXPECT_EQ(seen.size(), expected.size());
}

TEST(Exports, VectorHelpersAcceptAliasedResults) {
    Library library;
    ASSERT_NE(library.handle, nullptr);
    auto add = library.Get<void (*)(const TVec3D*, const TVec3D*, TVec3D*)>("add3D");
    auto cross = library.Get<void (*)(const TVec3D*, const TVec3D*, TVec3D*)>("cross3D");
    auto norm = library.Get<void (*)(const TVec3D*, TVec3D*)>("norm3D");
    auto len = library.Get<float (*)(const TVec3D*)>("len3D");
    auto fresh = library.Get<TVec3D* (*)(const TVec3D*)>("new3D");
    ASSERT_TRUE(add && cross && norm && len && fresh);

    TVec3D a{1, 2, 3};
    const TVec3D b{4, 5, 6};
    add(&a, &b, &a);
    EXPECT_EQ(a.x, 5.0f);
    EXPECT_EQ(a.y, 7.0f);
    EXPECT_EQ(a.z, 9.0f);

    TVec3D x{1, 0, 0};
    const TVec3D y{0, 1, 0};
    cross(&x, &y, &x); // reads x fully before writing it
    EXPECT_EQ(x.x, 0.0f);
    EXPECT_EQ(x.y, 0.0f);
    EXPECT_EQ(x.z, 1.0f);

    TVec3D v{0, 3, 4};
    norm(&v, &v);
    EXPECT_FLOAT_EQ(len(&v), 1.0f);

    TVec3D* heap = fresh(&b);
    ASSERT_NE(heap, nullptr);
    EXPECT_EQ(heap->z, 6.0f);
    std::free(heap);
}

TEST(Exports, FirstRandomDirectionAfterLoad) {
    Library library;
    ASSERT_NE(library.handle, nullptr);
    auto rand = library.Get<void (*)(float, TVec3D*)>("rand3D");
    ASSERT_TRUE(rand);
    TVec3D r;
    rand(1.0f, &r);
    EXPECT_NEAR(r.x, 0.0f, 2e-6f);
    EXPECT_NEAR(r.y, 0.036420f, 2e-6f);
    EXPECT_NEAR(r.z, 0.999337f, 2e-6f);
}

TEST(Exports, TextResultsAndErrorsCrossAsMallocedStrings) {
    Library library;
    ASSERT_NE(library.handle, nullptr);
    auto intToStr = library.Get<void (*)(int32_t, char**)>("qInttoStr");
    auto addToLog = library.Get<void (*)(const char*, const char*)>("qAddToLog");
    auto lastError = library.Get<qbool (*)(char**)>("qGetLastError");
    ASSERT_TRUE(intToStr && addToLog && lastError);

    char* text = nullptr;
    intToStr(-15, &text);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "-15");
    intToStr(2147483647, &text); // frees the old value
    EXPECT_STREQ(text, "2147483647");

    EXPECT_EQ(lastError(&text), 0);
    EXPECT_STREQ(text, "");
    addToLog("/dev/full", "no room"); // opens, then the write fails
    EXPECT_EQ(lastError(&text), 1);
    EXPECT_NE(std::string(text).find("/dev/full"), std::string::npos) << text;
    std::free(text);
}

} // namespace
