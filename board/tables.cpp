// Constant tables, the bitboard tables built at start-up, the portable bit
// routines and the slider attacks.
#include "board/tables.h"

#include <cstring>

// ---- static tables --------------------------------------------------------
const char* const square_name[65] = {
    "a1", "b1", "c1", "d1", "e1", "f1", "g1", "h1", "a2", "b2", "c2", "d2", "e2", "f2", "g2", "h2",
    "a3", "b3", "c3", "d3", "e3", "f3", "g3", "h3", "a4", "b4", "c4", "d4", "e4", "f4", "g4", "h4",
    "a5", "b5", "c5", "d5", "e5", "f5", "g5", "h5", "a6", "b6", "c6", "d6", "e6", "f6", "g6", "h6",
    "a7", "b7", "c7", "d7", "e7", "f7", "g7", "h7", "a8", "b8", "c8", "d8", "e8", "f8", "g8", "h8",
    "-"};
const char piece_letters[2][8] = {" PNBRQK", " pnbrqk"};
const int8_t pawn_dir[2] = {8, -8};
const uint8_t flip_sq[2] = {0, 56};
const uint8_t init_king_sq[2] = {4, 60};
const uint32_t msig[8] = {0, 1, 16, 256, 4096, 65536, 0, 0};
const int16_t npv[8] = {0, 0, 3, 3, 5, 10, 0, 0};
const uint8_t csbits[64] = {
    2, 0, 0, 0, 3, 0, 0, 1,  //
    0, 0, 0, 0, 0, 0, 0, 0,  //
    0, 0, 0, 0, 0, 0, 0, 0,  //
    0, 0, 0, 0, 0, 0, 0, 0,  //
    0, 0, 0, 0, 0, 0, 0, 0,  //
    0, 0, 0, 0, 0, 0, 0, 0,  //
    0, 0, 0, 0, 0, 0, 0, 0,  //
    8, 0, 0, 0, 12, 0, 0, 4};
const int16_t piece_value[8] = {0, 100, 330, 330, 530, 1000, 10000, 0};
const Bitboard BB_r7[2] = {0x00FF000000000000ULL, 0x000000000000FF00ULL};
const Bitboard BB_r6[2] = {0x0000FF0000000000ULL, 0x0000000000FF0000ULL};

#define SQC(r) \
    (uint8_t)(((r) + 1) & 1), (uint8_t)((r) & 1), (uint8_t)(((r) + 1) & 1), (uint8_t)((r) & 1), \
    (uint8_t)(((r) + 1) & 1), (uint8_t)((r) & 1), (uint8_t)(((r) + 1) & 1), (uint8_t)((r) & 1)
// a1 (file 0, rank 0) is dark: a square is dark when file + rank is even.
const uint8_t sq_color[64] = {SQC(0), SQC(1), SQC(2), SQC(3), SQC(4), SQC(5), SQC(6), SQC(7)};
#undef SQC

const Bitboard BB_File[8] = {0x0101010101010101ULL,      0x0101010101010101ULL << 1,
                             0x0101010101010101ULL << 2, 0x0101010101010101ULL << 3,
                             0x0101010101010101ULL << 4, 0x0101010101010101ULL << 5,
                             0x0101010101010101ULL << 6, 0x0101010101010101ULL << 7};
const Bitboard BB_Rank[8] = {0xFFULL,       0xFFULL << 8,  0xFFULL << 16, 0xFFULL << 24,
                             0xFFULL << 32, 0xFFULL << 40, 0xFFULL << 48, 0xFFULL << 56};

// ---- tables computed at start-up -------------------------------------------
uint8_t bitcnt[256];
Bitboard BB_North[8], BB_South[8];
Bitboard BB_Front[2][8], BB_Behind[2][8];
Bitboard BB_AdjacentFiles[8];
Bitboard BB_AdjacentSquares[64];
Bitboard BB_PawnSpan[2][64];
Bitboard BB_PawnRays[2][64];
Bitboard BB_KnightRays[64];
Bitboard BB_KingRays[64];
Bitboard BB_RayN[64], BB_RayS[64], BB_RayE[64], BB_RayW[64];
Bitboard BB_RayNE[64], BB_RayNW[64], BB_RaySE[64], BB_RaySW[64];
Bitboard BB_RookRays[64], BB_BishopRays[64];
Bitboard BB_Between[64][64];

// ---- portable bit routines ---------------------------------------------------
int PopCountPortable(Bitboard b) {
    int n = 0;
    for (int half = 0; half < 2; half++) {
        uint32_t x = half ? (uint32_t)(b >> 32) : (uint32_t)b;
        if (!x) continue;
        x = x - ((x >> 1) & 0x55555555u);
        x = (x & 0x33333333u) + ((x >> 2) & 0x33333333u);
        x = (x + (x >> 4)) & 0x0F0F0F0Fu;
        n += (int)((x * 0x01010101u) >> 24);
    }
    return n;
}

namespace {
// Index table of the folding bit scan: the lowest-bit mask b ^ (b - 1),
// folded to 32 bits and multiplied by 0x783A9B23, has a distinct top six
// bits for every square.
struct FoldTable {
    uint8_t sq[64];
};
constexpr uint32_t FoldIndex(uint64_t b) {
    uint64_t m = b ^ (b - 1);
    uint32_t f = (uint32_t)m ^ (uint32_t)(m >> 32);
    return (f * 0x783A9B23u) >> 26;
}
constexpr FoldTable MakeFoldTable() {
    FoldTable t{};
    for (int i = 0; i < 64; i++) t.sq[i] = 0xFF;
    for (int s = 0; s < 64; s++) t.sq[FoldIndex(1ULL << s)] = (uint8_t)s;
    return t;
}
constexpr bool FoldTableComplete(const FoldTable& t) {
    for (int i = 0; i < 64; i++)
        if (t.sq[i] == 0xFF) return false;
    return true;
}
constexpr FoldTable fold_table = MakeFoldTable();
static_assert(FoldTableComplete(fold_table), "folding bit scan needs 64 distinct indices");
}  // namespace

int LSBPortable(Bitboard b) { return fold_table.sq[FoldIndex(b)]; }

int MSBPortable(Bitboard b) {
    int n = 0;
    if (b >> 32) { n += 32; b >>= 32; }
    if (b >> 16) { n += 16; b >>= 16; }
    if (b >> 8) { n += 8; b >>= 8; }
    if (b >> 4) { n += 4; b >>= 4; }
    if (b >> 2) { n += 2; b >>= 2; }
    if (b >> 1) n += 1;
    return n;
}

// ---- building the tables ---------------------------------------------------
static bool OnBoard(int file, int rank) { return file >= 0 && file < 8 && rank >= 0 && rank < 8; }

static Bitboard WalkRay(int sq, int df, int dr) {
    Bitboard b = 0;
    int f = (sq & 7) + df, r = (sq >> 3) + dr;
    while (OnBoard(f, r)) {
        b |= SqBit(r * 8 + f);
        f += df;
        r += dr;
    }
    return b;
}

static Bitboard Steps(int sq, const int (*d)[2], int n) {
    Bitboard b = 0;
    for (int i = 0; i < n; i++) {
        int f = (sq & 7) + d[i][0], r = (sq >> 3) + d[i][1];
        if (OnBoard(f, r)) b |= SqBit(r * 8 + f);
    }
    return b;
}

void InitBoardTables() {
    for (int i = 0; i < 256; i++) {
        int n = 0;
        for (int v = i; v; v >>= 1) n += v & 1;
        bitcnt[i] = (uint8_t)n;
    }
    for (int r = 0; r < 8; r++) {
        BB_North[r] = r == 7 ? 0 : ~0ULL << (8 * (r + 1));
        BB_South[r] = r == 0 ? 0 : ~0ULL >> (8 * (8 - r));
    }
    for (int r = 0; r < 8; r++) {
        BB_Front[0][r] = BB_North[r];
        BB_Front[1][r] = BB_South[r];
        BB_Behind[0][r] = BB_South[r];
        BB_Behind[1][r] = BB_North[r];
    }
    for (int f = 0; f < 8; f++)
        BB_AdjacentFiles[f] = (f > 0 ? BB_File[f - 1] : 0) | (f < 7 ? BB_File[f + 1] : 0);

    static const int knight[8][2] = {{1, 2}, {2, 1}, {2, -1}, {1, -2}, {-1, -2}, {-2, -1}, {-2, 1}, {-1, 2}};
    static const int king[8][2] = {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};
    static const int side_steps[2][2] = {{-1, 0}, {1, 0}};
    static const int wpawn[2][2] = {{-1, 1}, {1, 1}};
    static const int bpawn[2][2] = {{-1, -1}, {1, -1}};

    for (int s = 0; s < 64; s++) {
        int file = s & 7, rank = s >> 3;
        BB_AdjacentSquares[s] = Steps(s, side_steps, 2);
        BB_KnightRays[s] = Steps(s, knight, 8);
        BB_KingRays[s] = Steps(s, king, 8);
        BB_PawnRays[0][s] = Steps(s, wpawn, 2);
        BB_PawnRays[1][s] = Steps(s, bpawn, 2);
        for (int c = 0; c < 2; c++)
            BB_PawnSpan[c][s] = BB_Front[c][rank] & (BB_File[file] | BB_AdjacentFiles[file]);
        BB_RayN[s] = WalkRay(s, 0, 1);
        BB_RayS[s] = WalkRay(s, 0, -1);
        BB_RayE[s] = WalkRay(s, 1, 0);
        BB_RayW[s] = WalkRay(s, -1, 0);
        BB_RayNE[s] = WalkRay(s, 1, 1);
        BB_RayNW[s] = WalkRay(s, -1, 1);
        BB_RaySE[s] = WalkRay(s, 1, -1);
        BB_RaySW[s] = WalkRay(s, -1, -1);
        BB_RookRays[s] = BB_RayN[s] | BB_RayS[s] | BB_RayE[s] | BB_RayW[s];
        BB_BishopRays[s] = BB_RayNE[s] | BB_RayNW[s] | BB_RaySE[s] | BB_RaySW[s];
    }

    memset(BB_Between, 0, sizeof BB_Between);
    static const int dirs[8][2] = {{0, 1}, {0, -1}, {1, 0}, {-1, 0}, {1, 1}, {-1, 1}, {1, -1}, {-1, -1}};
    for (int a = 0; a < 64; a++) {
        for (const auto& d : dirs) {
            Bitboard between = 0;
            int f = (a & 7) + d[0], r = (a >> 3) + d[1];
            while (OnBoard(f, r)) {
                int b = r * 8 + f;
                BB_Between[a][b] = between;
                between |= SqBit(b);
                f += d[0];
                r += d[1];
            }
        }
    }
}

// ---- slider attacks ------------------------------------------------------------
// Rays that run to higher squares stop at their lowest blocker (square 63
// stands for "no blocker": its rays in these directions are empty); rays to
// lower squares stop at their highest blocker (square 0 likewise).
Bitboard BishopAttacks(int sq, Bitboard occ) {
    Bitboard a = BB_BishopRays[sq];
    a ^= BB_RayNE[LSB((BB_RayNE[sq] & occ) | 0x8000000000000000ULL)];
    a ^= BB_RayNW[LSB((BB_RayNW[sq] & occ) | 0x8000000000000000ULL)];
    a ^= BB_RaySE[MSB((BB_RaySE[sq] & occ) | 1ULL)];
    a ^= BB_RaySW[MSB((BB_RaySW[sq] & occ) | 1ULL)];
    return a;
}

Bitboard RookAttacks(int sq, Bitboard occ) {
    Bitboard a = BB_RookRays[sq];
    a ^= BB_RayN[LSB((BB_RayN[sq] & occ) | 0x8000000000000000ULL)];
    a ^= BB_RayE[LSB((BB_RayE[sq] & occ) | 0x8000000000000000ULL)];
    a ^= BB_RayS[MSB((BB_RayS[sq] & occ) | 1ULL)];
    a ^= BB_RayW[MSB((BB_RayW[sq] & occ) | 1ULL)];
    return a;
}
