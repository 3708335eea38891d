// SPDX-License-Identifier: Zlib
// The base of every engine object handed out through an interface: an atomic
// reference count, destruction with the last reference, and a query that
// answers for the base interface and for the interface's own (all-zero)
// identifier.
#pragma once

#include <quelt/quelt.h>

#include <atomic>
#include <cstring>

namespace quelt {

// {00000000-0000-0000-C000-000000000046}, the base interface.
inline constexpr QGUID kIIDUnknown = {0, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr QGUID kIIDNone = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

inline bool SameGuid(const QGUID& a, const QGUID& b) { return std::memcmp(&a, &b, sizeof(QGUID)) == 0; }

template <typename Interface>
class TInterfacedObject : public Interface {
public:
    TInterfacedObject() = default;
    TInterfacedObject(const TInterfacedObject&) = delete;
    TInterfacedObject& operator=(const TInterfacedObject&) = delete;

    int32_t QueryInterface(const QGUID* iid, void** object) override {
        if (!object) return Q_NOINTERFACE;
        if (iid && (SameGuid(*iid, kIIDUnknown) || SameGuid(*iid, kIIDNone))) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return Q_OK;
        }
        *object = nullptr;
        return Q_NOINTERFACE;
    }
    int32_t AddRef() override { return ++count_; }
    int32_t Release() override {
        const int32_t left = --count_;
        if (left == 0) delete this;
        return left;
    }
    int32_t RefCount() const { return count_; }

protected:
    // Objects die only through Release.
    virtual ~TInterfacedObject() = default;

private:
    std::atomic<int32_t> count_{0};
};

// Hands a new object to the caller's reference slot with a count of 1.
template <typename Interface, typename Object>
void HandOut(Interface** slot, Object* object) {
    object->AddRef();
    if (!slot) {
        object->Release();
        return;
    }
    *slot = object;
}

} // namespace quelt
