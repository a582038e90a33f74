// The position key table: fixed values from the multiply-with-carry
// generator and the quality the generator's test promises.
#include "test_util.h"

namespace {

class Keys : public BoardTest {};

TEST_F(Keys, TableHoldsTheGeneratorsFixedValues) {
    // Worked out by hand from the generator (z = w = 1 at the start, two
    // steps per key): the first keys pass the quality test at their first try.
    EXPECT_EQ(rtable[0][0], 0x906946505e60d900ULL);
    EXPECT_EQ(rtable[0][1], 0xe708e34f294dde49ULL);
    EXPECT_EQ(rtable[15][63], 0x952ae7d351aa5567ULL);
    uint64_t all = 0;
    for (auto& row : rtable)
        for (uint64_t k : row) all ^= k;
    EXPECT_EQ(all, 0x2cee8f6e7406f7c1ULL);
    // A second call changes nothing.
    uint64_t first = rtable[3][17];
    MakeKeys();
    EXPECT_EQ(rtable[3][17], first);
}

TEST_F(Keys, EveryPairOfKeysDiffersInBothHalves) {
    const uint64_t* k = &rtable[0][0];
    for (int n = 0; n < 1024; n++) {
        ASSERT_GT(PopCount(k[n]), 15) << "key " << n;
        for (int m = 0; m < n; m++) {
            uint64_t x = k[n] ^ k[m];
            ASSERT_GE(PopCount(x & 0xFFFFFFFFULL), 4) << n << " " << m;
            ASSERT_GE(PopCount(x >> 32), 4) << n << " " << m;
        }
    }
}

TEST_F(Keys, SideToMoveIsBitZero) {
    ThreadRecord* t = NewTestRecord();
    uint64_t w = SetTestPosition(t, "4k3/8/8/3pP3/8/8/8/4K3 w - -")->key;
    uint64_t b = SetTestPosition(t, "4k3/8/8/3pP3/8/8/8/4K3 b - -")->key;
    EXPECT_EQ(w & 1, 0u);
    EXPECT_EQ(b & 1, 1u);
    EXPECT_EQ(w ^ b, 1u);
    FreeThreadRecord(t);
}

}  // namespace
