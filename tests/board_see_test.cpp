// Static exchange evaluation: the worked examples and a comparison with an
// exhaustive exchange search on small random positions.
#include <algorithm>
#include <cstring>
#include <random>

#include "board/see.h"
#include "test_util.h"

namespace {

int Sq(const char* name) { return (name[0] - 'a') + 8 * (name[1] - '1'); }

class Exchange : public RecordTest {
protected:
    Bitboard Occ(const Position* p) { return p->bb[0] | p->bb[8]; }
    int Swap(Position* p, int side, const char* target, int clip = 0, int attacker = NO_SQ) {
        Position before;
        memcpy(&before, p, sizeof before);
        int v = swapoff1(p, side, attacker, Sq(target), Occ(p), clip);
        EXPECT_EQ(memcmp(&before, p, sizeof before), 0) << "swapoff1 changed the position";
        return v;
    }
};

TEST_F(Exchange, LeastValuableAttackerFirst) {
    // d5 is attacked by a pawn, a knight, a bishop (behind the pawn), a
    // rook, a queen and the king; each is found once the cheaper ones are gone.
    Position* p = Set("k7/8/8/3p3Q/2K1P3/2N2B2/8/3R4 w - -");
    const int d5 = Sq("d5");
    EXPECT_EQ(GetAtakr(p, d5, WHITE, Occ(p)), Sq("e4"));
    EXPECT_EQ(GetAtakr(p, d5, BLACK, Occ(p)), NO_SQ);
    Bitboard occ = Occ(p) & ~SqBit(Sq("e4"));
    p->bb[PAWN] = 0;
    EXPECT_EQ(GetAtakr(p, d5, WHITE, occ), Sq("c3"));
    p->bb[KNIGHT] = 0;
    EXPECT_EQ(GetAtakr(p, d5, WHITE, occ), Sq("f3")) << "the bishop sees through the emptied e4";
    EXPECT_EQ(GetAtakr(p, d5, WHITE, Occ(p) & ~SqBit(Sq("c3"))), Sq("d1")) << "with e4 still occupied";
    p->bb[BISHOP] = 0;
    EXPECT_EQ(GetAtakr(p, d5, WHITE, occ), Sq("d1"));
    p->bb[ROOK] = 0;
    EXPECT_EQ(GetAtakr(p, d5, WHITE, occ), Sq("h5"));
    p->bb[QUEEN] = 0;
    EXPECT_EQ(GetAtakr(p, d5, WHITE, occ), Sq("c4"));
}

TEST_F(Exchange, WorkedExamples) {
    // Pawn takes an undefended knight, then a knight defended by a pawn.
    EXPECT_EQ(Swap(Set("4k3/8/8/3n4/4P3/8/8/4K3 w - -"), WHITE, "d5"), 330);
    EXPECT_EQ(Swap(Set("4k3/8/2p5/3n4/4P3/8/8/4K3 w - -"), WHITE, "d5"), 230);
    // Queen takes a pawn defended by a pawn.
    Position* p = Set("4k3/8/2p5/3p4/8/8/8/3QK3 w - -");
    EXPECT_EQ(Swap(p, WHITE, "d5"), -900);
    EXPECT_EQ(Swap(p, WHITE, "d5", 1), 0);
    // Rook takes a pawn defended by a rook, with a second rook behind the first.
    EXPECT_EQ(Swap(Set("3rk3/8/8/3p4/8/8/3R4/3RK3 w - -"), WHITE, "d5"), 100);
    // Without the second rook the exchange loses the rook for a pawn.
    EXPECT_EQ(Swap(Set("3rk3/8/8/3p4/8/8/3R4/4K3 w - -"), WHITE, "d5"), 100 - 530);
    // A king may not take a defended piece.
    EXPECT_EQ(Swap(Set("4k3/8/2p5/3p4/4K3/8/8/8 w - -"), WHITE, "d5"), 100 - 9999);
    EXPECT_EQ(Swap(Set("4k3/8/8/3p4/4K3/8/8/8 w - -"), WHITE, "d5"), 100);
    // A king on the target square scores 9999 at once; nothing attacking gives 0.
    EXPECT_EQ(Swap(Set("8/8/8/3k4/8/8/8/3RK3 b - -"), WHITE, "d5"), 9999);
    EXPECT_EQ(Swap(Set("4k3/8/8/3p4/8/8/8/4K3 w - -"), WHITE, "d5"), 0);
    // A given first attacker is used even when a cheaper one exists.
    p = Set("4k3/8/2p5/3p4/4P3/8/8/3QK3 w - -");
    EXPECT_EQ(Swap(p, WHITE, "d5", 0, Sq("d1")), 100 - 1000 + 100);
    EXPECT_EQ(Swap(p, WHITE, "d5"), 100);
}

// ---- an exhaustive exchange search on a plain board ------------------------------
struct Board {
    int code[64];
};

bool Attacks(const Board& b, int from, int to) {
    int code = b.code[from], t = code & 7, c = code >> 3;
    int df = (to & 7) - (from & 7), dr = (to >> 3) - (from >> 3);
    switch (t) {
    case PAWN: return std::abs(df) == 1 && dr == (c == WHITE ? 1 : -1);
    case KNIGHT: return (std::abs(df) == 1 && std::abs(dr) == 2) || (std::abs(df) == 2 && std::abs(dr) == 1);
    case KING: return std::max(std::abs(df), std::abs(dr)) == 1;
    default: break;
    }
    bool straight = df == 0 || dr == 0, diagonal = std::abs(df) == std::abs(dr);
    if (from == to || (!straight && !diagonal)) return false;
    if (t == BISHOP && !diagonal) return false;
    if (t == ROOK && !straight) return false;
    int sf = (df > 0) - (df < 0), sr = (dr > 0) - (dr < 0);
    for (int f = (from & 7) + sf, r = (from >> 3) + sr; f != (to & 7) || r != (to >> 3); f += sf, r += sr)
        if (b.code[r * 8 + f]) return false;
    return true;
}

// Best result for side s, which may capture on sq or stop (0).
int BestGain(Board& b, int s, int sq) {
    int best = 0;
    for (int a = 0; a < 64; a++) {
        if (!b.code[a] || (b.code[a] >> 3) != s || !Attacks(b, a, sq)) continue;
        if ((b.code[sq] & 7) == KING) return 9999;
        int victim = b.code[sq], mover = b.code[a];
        b.code[sq] = mover;
        b.code[a] = 0;
        int v = piece_value[victim & 7] - BestGain(b, s ^ 1, sq);
        b.code[a] = mover;
        b.code[sq] = victim;
        best = std::max(best, v);
    }
    return best;
}

// Result of side s capturing first on sq with the piece on a.
int ForcedGain(Board& b, int s, int a, int sq) {
    if ((b.code[sq] & 7) == KING) return 9999;
    int victim = b.code[sq], mover = b.code[a];
    b.code[sq] = mover;
    b.code[a] = 0;
    int v = piece_value[victim & 7] - BestGain(b, s ^ 1, sq);
    b.code[a] = mover;
    b.code[sq] = victim;
    return v;
}

TEST_F(Exchange, AgreesWithAnExhaustiveSearchOnSmallPositions) {
    std::mt19937 rng(2024);
    int compared = 0;
    const char letters[] = "PNBRQpnbrq";
    while (compared < 3000) {
        // Two kings and up to seven other pieces, all kinds, pawns off the last ranks.
        char fen[100], *f = fen;
        char squares[64];
        memset(squares, 0, sizeof squares);
        int wk = rng() % 64, bk;
        do bk = rng() % 64;
        while (bk == wk || std::max(std::abs((bk & 7) - (wk & 7)), std::abs((bk >> 3) - (wk >> 3))) < 2);
        squares[wk] = 'K';
        squares[bk] = 'k';
        int extra = 2 + rng() % 6;
        for (int i = 0; i < extra; i++) {
            int sq = rng() % 64;
            char c = letters[rng() % 10];
            if (squares[sq] || ((c == 'P' || c == 'p') && (sq < 8 || sq >= 56))) continue;
            squares[sq] = c;
        }
        for (int r = 7; r >= 0; r--) {
            int run = 0;
            for (int file = 0; file < 8; file++) {
                char c = squares[r * 8 + file];
                if (!c) { run++; continue; }
                if (run) *f++ = (char)('0' + run);
                run = 0;
                *f++ = c;
            }
            if (run) *f++ = (char)('0' + run);
            if (r) *f++ = '/';
        }
        strcpy(f, " w - -");
        // Positions with a side in check are refused; that is fine, skip them.
        testing::internal::CaptureStdout();
        int r = SetPosition(&rec->pos, fen);
        testing::internal::GetCapturedStdout();
        if (r != 0) continue;
        Position* p = &rec->pos;
        Board b;
        for (int sq = 0; sq < 64; sq++) b.code[sq] = p->board[sq];
        for (int sq = 0; sq < 64; sq++) {
            if (!p->board[sq]) continue;
            const int s = PieceColor(p->board[sq]) ^ 1;  // the side that captures first
            // With the least valuable attacker chosen by the routine.
            int lva = GetAtakr(p, sq, s, Occ(p));
            if (lva == NO_SQ) {
                EXPECT_EQ(swapoff1(p, s, NO_SQ, sq, Occ(p), 0), 0) << fen;
                continue;
            }
            ASSERT_TRUE(Attacks(b, lva, sq)) << fen << " " << square_name[lva] << " does not attack " << square_name[sq];
            for (int a = 0; a < 64; a++) {
                if (!p->board[a] || PieceColor(p->board[a]) != s || !Attacks(b, a, sq)) continue;
                int want = ForcedGain(b, s, a, sq);
                ASSERT_EQ(swapoff1(p, s, a, sq, Occ(p), 0), want)
                    << fen << " first capture " << square_name[a] << "x" << square_name[sq];
                ASSERT_EQ(swapoff1(p, s, a, sq, Occ(p), 1), std::max(0, want));
            }
            ASSERT_EQ(swapoff1(p, s, NO_SQ, sq, Occ(p), 0), ForcedGain(b, s, lva, sq)) << fen;
            compared++;
        }
    }
}

}  // namespace
