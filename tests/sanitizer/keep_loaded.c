// SPDX-License-Identifier: Zlib
/* Linked into the sanitizer build's programs. Mesa and glvnd unload their
 * drivers when the display closes, before the leak check runs; their
 * allocations then show only "<unknown module>" and cannot be matched
 * against lsan.supp. System libraries therefore stay loaded; everything
 * else (the engine above all) is unloaded as usual, except in a program
 * built with KEEP_EVERY_LIBRARY: Showcase never closes its window, by
 * design, and the only pointers to the window's system objects live in the
 * engine, so unloading the engine would make them look leaked. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <link.h>
#include <string.h>

static int IsSystemLibrary(void* handle) {
    struct link_map* map = NULL;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return 0;
    return strncmp(map->l_name, "/usr/lib/", 9) == 0 || strncmp(map->l_name, "/lib/", 5) == 0;
}

int dlclose(void* handle) {
    static int (*next)(void*) = NULL;
#ifdef KEEP_EVERY_LIBRARY
    (void)handle;
    return 0;
#endif
    if (IsSystemLibrary(handle)) return 0;
    if (!next) next = (int (*)(void*))dlsym(RTLD_NEXT, "dlclose");
    return next(handle);
}
