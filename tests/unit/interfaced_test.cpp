// SPDX-License-Identifier: Zlib
#include <gtest/gtest.h>

#include <stdexcept>

#include "TInterfacedObject.h"

namespace quelt {
namespace {

// Counts the objects alive, so that a test sees each die with its last reference.
int alive = 0;

class Counted final : public TInterfacedObject<IQueltUnknown> {
public:
    Counted() { ++alive; }

private:
    ~Counted() override { --alive; }
};

TEST(FirstReference, TheCallerGetsOneReferenceAndNothingElseSurvives) {
    IQueltUnknown* slot = nullptr;
    HandOut(&slot, new Counted);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(alive, 1);
    EXPECT_EQ(slot->Release(), 0);
    EXPECT_EQ(alive, 0);

    HandOut(static_cast<IQueltUnknown**>(nullptr), new Counted); // no slot: released at once
    EXPECT_EQ(alive, 0);

    // Making an object that fails half-way leaves nothing behind.
    EXPECT_THROW(
        {
            FirstReference<Counted> made(new Counted);
            EXPECT_EQ(made->RefCount(), 1);
            throw std::runtime_error("the file is damaged");
        },
        std::runtime_error);
    EXPECT_EQ(alive, 0);

    FirstReference<Counted> made(new Counted);
    Counted* handed = made.HandOver();
    EXPECT_EQ(handed->RefCount(), 1);
    EXPECT_EQ(handed->Release(), 0);
    EXPECT_EQ(alive, 0);
}

} // namespace
} // namespace quelt
