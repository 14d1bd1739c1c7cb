#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <set>
#include <vector>

#include "geometry/slotset.h"

// The set's answer against std::set's, for lowest and for the lowest at or above a slot.
static int Expected(const std::set<int>& members, int from) {
    auto it = members.lower_bound(from);
    return it == members.end() ? -1 : *it;
}

// Random adds and removes over sets of one to several top-level words (a top-level word covers
// 64 * 64 * 64 slots), with every query checked; members far apart in different top-level words
// are the case a search that stops at the first top-level word gets wrong.
TEST(SlotSet, AgreesWithAnOrderedSetOverRandomChanges) {
    for (int slots : {1, 100, 5000, 300000, 1000000}) {
        std::vector<uint64_t> words(fxSlotSetWords(slots), ~0ull);
        tagFXSlotSet set;
        fxSlotSetPlace(&set, slots, words.data());
        std::set<int> members;
        std::mt19937 random(slots);
        std::uniform_int_distribution<int> any(0, slots - 1);
        ASSERT_EQ(fxSlotSetLowest(&set), -1) << slots;
        for (int step = 0; step < 4000; step++) {
            int slot = any(random);
            // Mostly few members, sometimes a crowd, so both sparse and dense stretches occur.
            if ((step / 500) % 2 == 0 ? members.size() < 3 : random() % 3 != 0) {
                fxSlotSetAdd(&set, slot);
                members.insert(slot);
            } else if (!members.empty()) {
                int gone = members.size() > 1 && random() % 2 == 0 ? *members.rbegin() : *members.begin();
                fxSlotSetRemove(&set, gone);
                members.erase(gone);
            }
            ASSERT_EQ(fxSlotSetLowest(&set), Expected(members, 0)) << slots << " at step " << step;
            int from = any(random);
            ASSERT_EQ(fxSlotSetFrom(&set, from), Expected(members, from)) << slots << " from " << from;
            if (!members.empty()) {
                for (int member : {*members.begin(), *members.rbegin()}) {
                    ASSERT_EQ(fxSlotSetFrom(&set, member + 1), Expected(members, member + 1)) << slots;
                }
            }
        }
        ASSERT_EQ(fxSlotSetFrom(&set, slots), -1) << slots;
    }
}
