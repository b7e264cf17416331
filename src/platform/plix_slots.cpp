// Per-thread slots over the platform's per-thread record: a short table of
// (slot, value) pairs, searched by the slot's address.
#include "platform/plix_platform.h"

void *plix_slot_get(const plix_slot *slot) {
    plix_thread *t = plix_thread_get(false);
    if (!t) return nullptr;
    for (const auto &item : t->items)
        if (item.slot == slot) return item.value;
    return nullptr;
}

bool plix_slot_set(const plix_slot *slot, void *value) {
    plix_thread *t = value ? plix_thread_get(true) : plix_thread_get(false);
    if (!t) {
        if (value) slot->release(value);
        return value == nullptr;
    }
    for (auto &item : t->items) {
        if (item.slot == slot || !item.slot) {
            if (item.slot && item.value) slot->release(item.value);
            item.slot = slot;
            item.value = value;
            return true;
        }
    }
    // More slots than the record has places: a fault of the build, which a
    // test of every slot in use catches.
    if (value) slot->release(value);
    return false;
}
