// SPDX-License-Identifier: Zlib
/* The C tables as the compiler lays them out must hold each slot where the
 * interface description (written from the header) puts it: a slot moved in
 * one form of the header but not the description stops the build. */
#include <quelt/quelt.h>

#include <stddef.h>

#define QUELT_EXPORT(name, classic)
#define QUELT_SLOT(interface, slot, index)                                                             \
    _Static_assert(offsetof(interface##Vtbl, slot) == (index) * sizeof(void (*)(void)), #interface "::" #slot \
                   " is not in slot " #index);
#define QUELT_SLOTS(interface, count)                                                                  \
    _Static_assert(sizeof(interface##Vtbl) == (count) * sizeof(void (*)(void)), #interface " has other than " \
                   #count " slots");
#include QUELT_EXPORT_NAMES

/* How many slots the tables hold together, so the test sees the checks were compiled. */
int DescribedSlotCount(void) {
    return 0
#undef QUELT_SLOT
#undef QUELT_SLOTS
#define QUELT_SLOT(interface, slot, index)
#define QUELT_SLOTS(interface, count) +(count)
#include QUELT_EXPORT_NAMES
        ;
}
