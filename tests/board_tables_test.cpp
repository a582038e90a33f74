// The bit primitives, the start-up tables and the slider attacks.
#include <random>

#include "test_util.h"

namespace {

int Sq(const char* name) { return (name[0] - 'a') + 8 * (name[1] - '1'); }

Bitboard Squares(std::initializer_list<const char*> names) {
    Bitboard b = 0;
    for (const char* n : names) b |= SqBit(Sq(n));
    return b;
}

// Slider attacks by walking the board square by square.
Bitboard WalkAttacks(int sq, Bitboard occ, const int (*dirs)[2]) {
    Bitboard a = 0;
    for (int d = 0; d < 4; d++) {
        int f = (sq & 7) + dirs[d][0], r = (sq >> 3) + dirs[d][1];
        while (f >= 0 && f < 8 && r >= 0 && r < 8) {
            a |= SqBit(r * 8 + f);
            if (occ & SqBit(r * 8 + f)) break;
            f += dirs[d][0];
            r += dirs[d][1];
        }
    }
    return a;
}
const int kRookDirs[4][2] = {{0, 1}, {0, -1}, {1, 0}, {-1, 0}};
const int kBishopDirs[4][2] = {{1, 1}, {1, -1}, {-1, 1}, {-1, -1}};

class Tables : public BoardTest {};

TEST_F(Tables, PortableBitRoutinesAgreeWithTheCompiler) {
    std::mt19937_64 rng(7);
    for (int i = 0; i < 20000; i++) {
        Bitboard b = rng();
        if (i % 3 == 1) b &= rng();  // sparser values
        if (i % 3 == 2) b = SqBit(i % 64) | (i % 5 ? 0 : SqBit((i * 7) % 64));
        if (!b) continue;
        ASSERT_EQ(PopCountPortable(b), __builtin_popcountll(b)) << std::hex << b;
        ASSERT_EQ(LSBPortable(b), __builtin_ctzll(b)) << std::hex << b;
        ASSERT_EQ(MSBPortable(b), 63 - __builtin_clzll(b)) << std::hex << b;
        ASSERT_EQ(PopCount(b), PopCountPortable(b));
        ASSERT_EQ(LSB(b), LSBPortable(b));
        ASSERT_EQ(MSB(b), MSBPortable(b));
    }
    EXPECT_EQ(PopCountPortable(0), 0);
    EXPECT_EQ(PopCountPortable(~0ULL), 64);
    EXPECT_EQ(PopCountPortable(0xFFFFFFFF00000000ULL), 32);  // a zero low half is skipped
    for (int s = 0; s < 64; s++) {
        EXPECT_EQ(LSBPortable(SqBit(s)), s);
        EXPECT_EQ(MSBPortable(SqBit(s)), s);
    }
    for (int v = 0; v < 256; v++) EXPECT_EQ(bitcnt[v], __builtin_popcount(v));
}

TEST_F(Tables, SliderAttacksMatchABoardWalk) {
    std::mt19937_64 rng(11);
    for (int i = 0; i < 4000; i++) {
        Bitboard occ = rng() & rng();
        if (i % 4 == 0) occ = 0;
        for (int sq : {0, 7, 56, 63, (int)(rng() % 64), (int)(rng() % 64)}) {
            ASSERT_EQ(RookAttacks(sq, occ), WalkAttacks(sq, occ, kRookDirs)) << "rook on " << sq;
            ASSERT_EQ(BishopAttacks(sq, occ), WalkAttacks(sq, occ, kBishopDirs)) << "bishop on " << sq;
            ASSERT_EQ(QueenAttacks(sq, occ), RookAttacks(sq, occ) | BishopAttacks(sq, occ));
        }
    }
}

TEST_F(Tables, SliderAttackExamples) {
    Bitboard a1 = RookAttacks(Sq("a1"), 0);
    EXPECT_EQ(PopCount(a1), 14);
    EXPECT_EQ(a1, (BB_File[0] | BB_Rank[0]) & ~SqBit(Sq("a1")));
    Bitboard blocked = RookAttacks(Sq("a1"), Squares({"a4"}));
    EXPECT_EQ(blocked & BB_File[0], Squares({"a2", "a3", "a4"}));
    // The scan sentinels 63 and 0 are the very corner squares.
    EXPECT_EQ(BishopAttacks(Sq("h8"), Squares({"d4"})), Squares({"g7", "f6", "e5", "d4"}));
    EXPECT_EQ(BishopAttacks(Sq("a1"), Squares({"h8"})), BB_BishopRays[0]);
    EXPECT_EQ(BishopAttacks(Sq("a1"), Squares({"b2", "h8"})), Squares({"b2"}));
}

TEST_F(Tables, BetweenSquares) {
    EXPECT_EQ(BB_Between[Sq("a1")][Sq("h8")], Squares({"b2", "c3", "d4", "e5", "f6", "g7"}));
    EXPECT_EQ(BB_Between[Sq("a1")][Sq("b3")], 0u);
    EXPECT_EQ(BB_Between[Sq("e1")][Sq("e2")], 0u);
    EXPECT_EQ(BB_Between[Sq("e4")][Sq("e4")], 0u);
    EXPECT_EQ(BB_Between[Sq("h1")][Sq("a1")], Squares({"b1", "c1", "d1", "e1", "f1", "g1"}));
    EXPECT_EQ(BB_Between[Sq("a8")][Sq("h1")], BB_Between[Sq("h1")][Sq("a8")]);
    for (int a = 0; a < 64; a++)
        for (int b = 0; b < 64; b++) {
            ASSERT_EQ(BB_Between[a][b], BB_Between[b][a]);
            bool line = (BB_RookRays[a] | BB_BishopRays[a]) & SqBit(b);
            if (line) {
                // Between squares are exactly the attacks of a slider on a
                // toward b with b as the only blocker, minus b.
                Bitboard ray = (BB_RookRays[a] & SqBit(b)) ? RookAttacks(a, SqBit(b)) & RookAttacks(b, SqBit(a))
                                                           : BishopAttacks(a, SqBit(b)) & BishopAttacks(b, SqBit(a));
                ASSERT_EQ(BB_Between[a][b], ray) << a << " " << b;
            } else {
                ASSERT_EQ(BB_Between[a][b], 0u);
            }
        }
}

TEST_F(Tables, PawnAndNeighbourTables) {
    EXPECT_EQ(BB_PawnRays[WHITE][Sq("a2")], Squares({"b3"}));
    EXPECT_EQ(BB_PawnRays[BLACK][Sq("h7")], Squares({"g6"}));
    EXPECT_EQ(BB_PawnRays[WHITE][Sq("e4")], Squares({"d5", "f5"}));
    EXPECT_EQ(BB_PawnRays[WHITE][Sq("e8")], 0u);
    EXPECT_EQ(BB_PawnRays[BLACK][Sq("e1")], 0u);
    EXPECT_EQ(BB_PawnSpan[WHITE][Sq("a2")], (BB_File[0] | BB_File[1]) & BB_North[1]);
    EXPECT_EQ(BB_PawnSpan[BLACK][Sq("e7")], (BB_File[3] | BB_File[4] | BB_File[5]) & BB_South[6]);
    EXPECT_EQ(BB_AdjacentFiles[0], BB_File[1]);
    EXPECT_EQ(BB_AdjacentFiles[7], BB_File[6]);
    EXPECT_EQ(BB_AdjacentSquares[Sq("a5")], Squares({"b5"}));
    EXPECT_EQ(BB_AdjacentSquares[Sq("d5")], Squares({"c5", "e5"}));
    EXPECT_EQ(BB_North[7], 0u);
    EXPECT_EQ(BB_South[0], 0u);
    EXPECT_EQ(BB_North[3] | BB_South[3] | BB_Rank[3], ~0ULL);
    EXPECT_EQ(BB_Front[BLACK][3], BB_South[3]);
    EXPECT_EQ(BB_Behind[BLACK][3], BB_North[3]);
    EXPECT_EQ(PopCount(BB_KnightRays[Sq("a1")]), 2);
    EXPECT_EQ(PopCount(BB_KnightRays[Sq("e4")]), 8);
    EXPECT_EQ(BB_KingRays[Sq("h8")], Squares({"g8", "g7", "h7"}));
}

TEST_F(Tables, SquareColoursAndRankMasks) {
    EXPECT_EQ(sq_color[Sq("a1")], 1);  // dark
    EXPECT_EQ(sq_color[Sq("h8")], 1);
    EXPECT_EQ(sq_color[Sq("b1")], 0);  // light
    EXPECT_EQ(sq_color[Sq("a2")], 0);
    EXPECT_EQ(sq_color[Sq("h1")], 0);
    int dark = 0;
    for (int s = 0; s < 64; s++) dark += sq_color[s];
    EXPECT_EQ(dark, 32);
    EXPECT_EQ(BB_r6[WHITE], 0x0000FF0000000000ULL);
    EXPECT_EQ(BB_r6[BLACK], 0x0000000000FF0000ULL);
    EXPECT_EQ(BB_r7[WHITE], BB_Rank[6]);
    EXPECT_EQ(BB_r7[BLACK], BB_Rank[1]);
    EXPECT_EQ(csbits[Sq("e1")], 3);
    EXPECT_EQ(csbits[Sq("h8")], 4);
    EXPECT_EQ(csbits[Sq("a8")], 8);
}

}  // namespace
