// SPDX-License-Identifier: Zlib
// What loading the library does to the process, seen from a fresh process.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <quelt/quelt.h>

#include <cfenv>
#include <cmath>

namespace {

#if defined(__i386__) || defined(__x86_64__)
unsigned short X87ControlWord() {
    unsigned short word = 0;
    __asm__ volatile("fnstcw %0" : "=m"(word));
    return word;
}
#endif

#if defined(__x86_64__) || defined(__SSE__)
unsigned int Mxcsr() {
    unsigned int word = 0;
    __asm__ volatile("stmxcsr %0" : "=m"(word));
    return word;
}

void SetMxcsr(unsigned int word) { __asm__ volatile("ldmxcsr %0" : : "m"(word)); }
#endif

TEST(Load, MasksFloatingPointTrapsAndStartsIdle) {
    // An application that trapped on division by zero before loading us.
    feenableexcept(FE_DIVBYZERO | FE_INVALID);
    ASSERT_NE(fegetexcept(), 0);
#if defined(__x86_64__) || defined(__SSE__)
    // ... and on denormal operands, which fenv cannot name.
    SetMxcsr(Mxcsr() & ~0x0100u);
    ASSERT_EQ(Mxcsr() & 0x0100u, 0u);
#endif
    void* library = dlopen(QUELT_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    EXPECT_EQ(fegetexcept(), 0);
    EXPECT_EQ(fegetround(), FE_TONEAREST);
#if defined(__i386__) || defined(__x86_64__)
    EXPECT_EQ(X87ControlWord() & 0x1F3F, 0x133F);
#endif
#if defined(__x86_64__) || defined(__SSE__)
    EXPECT_EQ(Mxcsr() & 0x1F80u, 0x1F80u); // all six SSE traps masked
#endif
    volatile float zero = 0.0f;
    EXPECT_TRUE(std::isinf(1.0f / zero)); // no trap

    auto fps = reinterpret_cast<int32_t (*)()>(dlsym(library, "qGetFPS"));
    auto hdc = reinterpret_cast<uint32_t (*)()>(dlsym(library, "qGetHDC"));
    auto key = reinterpret_cast<qbool (*)(int32_t)>(dlsym(library, "qIsKeyPressed"));
    auto created = reinterpret_cast<qbool (*)()>(dlsym(library, "isOpenALCreated"));
    ASSERT_TRUE(fps && hdc && key && created);
    EXPECT_EQ(fps(), 0);
    EXPECT_EQ(hdc(), 0u); // no window is opened at load
    EXPECT_EQ(key(27), 0);
    EXPECT_EQ(created(), 0);
    dlclose(library);
}

} // namespace
