// SPDX-License-Identifier: Zlib
// Late-bound entry points, the one way the engine calls into a library it
// loads at run time (GL, GLU, OpenAL): a typed function pointer set from the
// address found by name. A name that is not found, or not looked up yet,
// leaves a stub that does nothing and returns zero, so a call through an
// entry point never jumps through null and needs no check of its own.
#pragma once

namespace quelt {

template <typename F>
struct Stub;
template <typename R, typename... A, bool NoExcept>
struct Stub<R (*)(A...) noexcept(NoExcept)> {
    static R Call(A...) noexcept(NoExcept) { return R(); }
};

// The stub of an entry point of type F.
template <typename F>
constexpr F StubFor() {
    return &Stub<F>::Call;
}

// Points `entry` at `address`, or at its stub when there is none.
template <typename F>
void BindEntry(F& entry, void* address) {
    entry = address ? reinterpret_cast<F>(address) : StubFor<F>();
}

// Whether `entry` reaches a library rather than its stub.
template <typename F>
bool IsBound(F entry) {
    return entry != StubFor<F>();
}

} // namespace quelt
