// SPDX-License-Identifier: Zlib
/* Linked into the sanitizer build's programs, so that every leak's stack runs
 * from the allocation down to the engine frame above it, and lsan.supp can
 * name the system libraries' own allocation sites rather than whole
 * libraries.
 *
 * Mesa, LLVM and D-Bus are built without frame pointers, where the fast
 * unwinder stops; the slow one (libgcc's, through the unwind tables) walks
 * them. It must not meet llvmpipe's shaders, though: LLVM registers each
 * compiled shader's unwind table with libgcc, whose next search sorts the
 * table while holding its own lock, allocates for that, and the allocation's
 * unwind then waits on the same lock forever. Registration is therefore left
 * out. Shader code raises no exceptions; only a backtrace from inside a
 * shader, which nothing here takes, would stop short. */
void __register_frame(void* begin) { (void)begin; }
void __deregister_frame(void* begin) { (void)begin; }

const char* __lsan_default_options(void) {
    /* LSAN_OPTIONS may still add or override (scripts/test names lsan.supp). */
    return "fast_unwind_on_malloc=0:suppressions=" QUELT_LSAN_SUPPRESSIONS;
}
