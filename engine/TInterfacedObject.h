// SPDX-License-Identifier: Zlib
// The base of every engine object handed out through an interface: an atomic
// reference count, destruction with the last reference, and a query that
// answers for the base interface and for the interface's own (all-zero)
// identifier.
#pragma once

#include <quelt/quelt.h>

#include <atomic>
#include <cstring>
#include <utility>

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

// The first reference to a new object, the one way objects are handed out:
// released (destroying the object) unless handed over, so an object whose
// making fails half-way never leaks.
template <typename Object>
class FirstReference {
public:
    explicit FirstReference(Object* object) : object_(object) { object_->AddRef(); }
    FirstReference(const FirstReference&) = delete;
    FirstReference& operator=(const FirstReference&) = delete;
    ~FirstReference() {
        if (object_) object_->Release();
    }
    Object* get() const { return object_; }
    Object* operator->() const { return object_; }
    // The caller takes the reference: the object has a count of 1.
    Object* HandOver() { return std::exchange(object_, nullptr); }

private:
    Object* object_;
};

// Hands a new object to the caller's reference slot with a count of 1; with
// no slot the object is released at once.
template <typename Interface, typename Object>
void HandOut(Interface** slot, Object* object) {
    FirstReference<Object> reference(object);
    if (slot) *slot = reference.HandOver();
}

} // namespace quelt
