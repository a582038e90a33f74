// The probes: their position record and moves (against hand-worked cases and
// the engine's own move generator), the WDL and DTZ probes against the solved
// sample positions in both colours, properties that hold without any table
// (mates, stalemates, minimax over the moves, a winning move lowers the
// distance by one), the cache of DTZ tables, and probes from several threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <random>
#include <set>
#include <thread>

#include "board/attacks.h"
#include "board/movegen.h"
#include "tests/tablebase_test_util.h"

namespace {

int Sq(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }
TbMove M(const char* from, const char* to, int promo = 0) {
    return (TbMove)(Sq(to) | (Sq(from) << 6) | (promo << 12));
}

// ---------------------------------------------------------------------------
// Position record, material and moves.

class ProbePosition : public ::testing::Test {
protected:
    void SetUp() override { InitTestEnvironment(); }
};

TEST_F(ProbePosition, MaterialKeysCountPiecesPerSide) {
    const tb_position kings = TbPosition("8/8/3k4/8/8/8/3K4/8 w - - 0 1");
    EXPECT_EQ(calc_key(&kings, false), 0u) << "two bare kings";
    const tb_position p = TbPosition("8/8/3k4/8/4r3/8/3K4/3Q4 w - - 0 1");
    EXPECT_EQ(calc_key(&p, false), 0xA3EC1ABC71E90863ULL + 0xFD7866B439B94495ULL) << "us queen, them rook";
    EXPECT_EQ(calc_key(&p, true), 0xD6E4E47D24962951ULL + 0x985DEB9FC49333F9ULL) << "them queen, us rook";
    const tb_position f = TbPosition(FlipFen("8/8/3k4/8/4r3/8/3K4/3Q4 w - - 0 1"));
    EXPECT_EQ(calc_key(&f, false), calc_key(&p, true)) << "the colour-flipped position";
    // Only counts matter.
    const tb_position q = TbPosition("Q7/8/3k4/8/8/8/3K4/7r b - - 0 1");
    EXPECT_EQ(calc_key(&q, false), calc_key(&p, false));
}

TEST_F(ProbePosition, MaterialNamesPutTheChosenSideFirst) {
    char buf[16];
    const tb_position p = TbPosition("8/8/3k4/3p4/8/8/2NK4/6N1 w - - 0 1");
    prt_str(&p, buf, false);
    EXPECT_STREQ(buf, "KNNvKP");
    prt_str(&p, buf, true);
    EXPECT_STREQ(buf, "KPvKNN");
    const tb_position q = TbPosition("8/8/3k4/8/4r3/4P3/3K4/3R4 b - - 0 1");
    prt_str(&q, buf, false);
    EXPECT_STREQ(buf, "KRPvKR");
    prt_str(&q, buf, true);
    EXPECT_STREQ(buf, "KRvKRP");
    const tb_position r = TbPosition("8/8/3k4/8/8/8/3K4/QRBN4 w - - 0 1");
    prt_str(&r, buf, false);
    EXPECT_STREQ(buf, "KQRBNvK") << "queens, rooks, bishops, knights, pawns";
}

TEST_F(ProbePosition, DoubleStepSetsEnPassantOnlyNextToAnEnemyPawn) {
    tb_position after;
    tb_position p = TbPosition("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1");
    ASSERT_TRUE(do_move(&after, &p, M("e2", "e4")));
    EXPECT_EQ(after.ep, 0) << "no black pawn can take";
    EXPECT_EQ(after.rule50, 0);
    EXPECT_EQ(after.turn, 0);
    p = TbPosition("4k3/8/8/8/5p2/8/4P3/4K3 w - - 0 1");
    ASSERT_TRUE(do_move(&after, &p, M("e2", "e4")));
    EXPECT_EQ(after.ep, Sq("e3"));
    p = TbPosition("4k3/3p4/8/4P3/8/8/8/4K3 b - - 0 1");
    ASSERT_TRUE(do_move(&after, &p, M("d7", "d5")));
    EXPECT_EQ(after.ep, Sq("d6"));
    // A white pawn beside the square of arrival does not count for white's own step.
    p = TbPosition("4k3/8/8/8/3P4/8/4P3/4K3 w - - 0 1");
    ASSERT_TRUE(do_move(&after, &p, M("e2", "e4")));
    EXPECT_EQ(after.ep, 0);
}

TEST_F(ProbePosition, EnPassantTakesThePawnBehindTheSquare) {
    tb_position p = TbPosition("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", 7);
    ASSERT_EQ(p.ep, Sq("d6"));
    tb_position after;
    ASSERT_TRUE(do_move(&after, &p, M("e5", "d6")));
    EXPECT_EQ(after.pawns, 1ULL << Sq("d6")) << "the d5 pawn is gone, the e5 pawn stands on d6";
    EXPECT_EQ(after.black, 1ULL << Sq("e8"));
    EXPECT_EQ(after.rule50, 0);
    EXPECT_TRUE(is_ep_capture(&p, M("e5", "d6")));
    EXPECT_FALSE(is_ep_capture(&p, M("e5", "e6")));
}

TEST_F(ProbePosition, FiftyMoveCounterCountsOnlyQuietPieceMoves) {
    tb_position p = TbPosition("4k3/8/8/8/3r4/8/4P3/R3K3 w - - 0 1", 40), after;
    ASSERT_TRUE(do_move(&after, &p, M("a1", "a5")));
    EXPECT_EQ(after.rule50, 41);
    ASSERT_TRUE(do_move(&after, &p, M("e2", "e3")));
    EXPECT_EQ(after.rule50, 0) << "a pawn move";
    p = TbPosition("4k3/8/8/8/r7/8/4P3/R3K3 w - - 0 1", 40);
    ASSERT_TRUE(do_move(&after, &p, M("a1", "a4")));
    EXPECT_EQ(after.rule50, 0) << "a capture";
    EXPECT_EQ(after.rooks, 1ULL << Sq("a4")) << "the captured rook leaves every set";
    EXPECT_EQ(after.black, 1ULL << Sq("e8"));
    p = TbPosition("8/4P3/8/8/8/k7/8/4K3 w - - 0 1", 40);
    ASSERT_TRUE(do_move(&after, &p, M("e7", "e8", TB_PROMO_KNIGHT)));
    EXPECT_EQ(after.rule50, 0) << "a promotion";
    EXPECT_EQ(after.knights, 1ULL << Sq("e8"));
    EXPECT_EQ(after.pawns, 0u);
}

TEST_F(ProbePosition, MovesIntoCheckAreIllegal) {
    const tb_position p = TbPosition("8/8/8/3k4/8/3K4/7r/8 w - - 0 1");
    tb_position after;
    EXPECT_FALSE(do_move(&after, &p, M("d3", "e4"))) << "next to the other king";
    EXPECT_FALSE(do_move(&after, &p, M("d3", "d2"))) << "onto the rook's rank";
    EXPECT_TRUE(do_move(&after, &p, M("d3", "e3")));
    EXPECT_FALSE(king_attacked(&after, false)) << "the side that moved is safe";
    EXPECT_TRUE(do_move(&after, &p, M("d3", "c3")));
    // A pinned piece may not leave its line.
    const tb_position pinned = TbPosition("3r4/8/k7/8/8/3N4/8/3K4 w - - 0 1");
    EXPECT_FALSE(do_move(&after, &pinned, M("d3", "f4"))) << "the knight shields the king from the rook";
    EXPECT_TRUE(do_move(&after, &pinned, M("d1", "e1")));
}

TEST_F(ProbePosition, PromotionsComeAsQueenKnightRookBishopInTargetOrder) {
    const tb_position p = TbPosition("3r4/4P3/8/8/8/k7/8/4K3 w - - 0 1");
    TbMove list[TB_MAX_MOVES];
    std::vector<TbMove> pawn;
    for (TbMove* m = list, *end = gen_moves(&p, list); m < end; m++)
        if (TbMoveFrom(*m) == Sq("e7")) pawn.push_back(*m);
    const std::vector<TbMove> expected = {
        M("e7", "d8", 1), M("e7", "d8", 4), M("e7", "d8", 2), M("e7", "d8", 3),
        M("e7", "e8", 1), M("e7", "e8", 4), M("e7", "e8", 2), M("e7", "e8", 3)};
    EXPECT_EQ(pawn, expected);
    std::vector<TbMove> caps(list, gen_captures_or_promotions(&p, list));
    EXPECT_EQ(std::count_if(caps.begin(), caps.end(), [](TbMove m) { return TbMovePromo(m) != 0; }), 8);
}

// Random legal positions of a material (any side to move), as FEN text.
std::vector<std::string> RandomPositions(const std::string& material, int count, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::string> out;
    for (int tries = 0; (int)out.size() < count && tries < count * 50; tries++) {
        char board[64];
        std::fill(board, board + 64, 0);
        bool ok = true;
        bool white = true;
        for (char c : material) {
            if (c == 'v') {
                white = false;
                continue;
            }
            int sq;
            do {
                sq = (int)(rng() % 64);
            } while (board[sq] || (c == 'P' && (sq < 8 || sq >= 56)));
            board[sq] = white ? c : (char)tolower(c);
        }
        std::string fen;
        for (int r = 7; r >= 0; r--) {
            int empty = 0;
            for (int f = 0; f < 8; f++) {
                const char c = board[8 * r + f];
                if (!c) {
                    empty++;
                    continue;
                }
                if (empty) fen += (char)('0' + empty);
                empty = 0;
                fen += c;
            }
            if (empty) fen += (char)('0' + empty);
            if (r) fen += '/';
        }
        fen += rng() % 2 ? " w - - 0 1" : " b - - 0 1";
        Position* pos = &TablebaseRecord()->pos;
        testing::internal::CaptureStdout();
        ok = SetPosition(pos, fen.c_str()) == 0;
        testing::internal::GetCapturedStdout();
        if (ok) out.push_back(fen);
    }
    return out;
}

// The engine's legal moves as probe moves.
std::set<TbMove> EngineLegalMoves(const std::string& fen) {
    Position* pos = EnginePosition(fen);
    MoveEntry list[MAX_LIST_MOVES];
    MoveEntry* end = GenerateMoves(pos, pos->side, list);
    std::set<TbMove> out;
    for (MoveEntry* e = list; e < end; e++) {
        if (!MoveIsLegal(pos, pos->side, e->move)) continue;
        static const int promo_code[7] = {0, 0, TB_PROMO_KNIGHT, TB_PROMO_BISHOP, TB_PROMO_ROOK, TB_PROMO_QUEEN, 0};
        out.insert((TbMove)(MoveTo(e->move) | (MoveFrom(e->move) << 6) | (promo_code[PromoPiece(e->move)] << 12)));
    }
    return out;
}

TEST_F(ProbePosition, LegalMovesAgreeWithTheEngineAndPartialListsWithTheFullOne) {
    std::vector<std::string> fens;
    for (const char* m : {"KQvKR", "KRPvKN", "KPvKP", "KBNvKP", "KPPvKP", "KQvKPP"})
        for (const std::string& f : RandomPositions(m, 150, 99)) fens.push_back(f);
    fens.push_back("6k1/8/8/pP6/8/8/3K4/8 w - a6 0 1");
    fens.push_back("8/1k6/8/K7/5pP1/8/8/8 b - g3 0 1");
    fens.push_back("8/8/8/8/k2pP2R/8/8/4K3 b - e3 0 1");  // the capture would expose the king
    ASSERT_GT(fens.size(), 800u);
    for (const std::string& fen : fens) {
        const tb_position p = TbPosition(fen);
        const std::set<TbMove> legal = ProbeLegalMoves(p);
        EXPECT_EQ(legal, EngineLegalMoves(fen)) << fen;
        TbMove list[TB_MAX_MOVES];
        // Captures and promotions: exactly the legal moves that take or promote.
        std::set<TbMove> caps, expected_caps, pushes, expected_pushes, eps, expected_eps;
        for (TbMove* m = list, *end = gen_captures_or_promotions(&p, list); m < end; m++) {
            tb_position after;
            if (do_move(&after, &p, *m)) caps.insert(*m);
        }
        for (TbMove* m = list, *end = gen_pawn_pushes(&p, list); m < end; m++) {
            tb_position after;
            if (do_move(&after, &p, *m)) pushes.insert(*m);
        }
        for (TbMove* m = list, *end = gen_ep_captures(&p, list); m < end; m++) {
            tb_position after;
            if (do_move(&after, &p, *m)) eps.insert(*m);
        }
        const uint64_t occ = p.white | p.black;
        for (TbMove m : legal) {
            const bool pawn = p.pawns >> TbMoveFrom(m) & 1;
            const bool takes = occ >> TbMoveTo(m) & 1;
            if (takes || TbMovePromo(m) || is_ep_capture(&p, m)) expected_caps.insert(m);
            if (pawn && !takes && !is_ep_capture(&p, m) && (TbMoveFrom(m) & 7) == (TbMoveTo(m) & 7))
                expected_pushes.insert(m);
            if (is_ep_capture(&p, m)) expected_eps.insert(m);
        }
        EXPECT_EQ(caps, expected_caps) << fen;
        EXPECT_EQ(pushes, expected_pushes) << fen;
        EXPECT_EQ(eps, expected_eps) << fen;
    }
}

// ---------------------------------------------------------------------------
// The probes against the solved sample, in both colours.

// The fixture registers the first set of tables, or both sets when the
// second is there (sample2 then holds its solved positions, and all the
// positions of both).
class SampleProbes : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveSyzygyData()) GTEST_SKIP() << "the Syzygy test tables are not in " << SyzygyDir();
        ASSERT_EQ(RegisterTables(SyzygyDir()), "info string found 23 tablebases\n");
        sample = LoadSample();
        ASSERT_EQ(sample.size(), 1300u);
        if (HaveSecondSet()) {
            ASSERT_EQ(RegisterTables(BothSetsPath()), "info string found 37 tablebases\n");
            sample2 = LoadSample(SecondSetDir());
            ASSERT_EQ(sample2.size(), 1541u);
        }
        all = sample;
        all.insert(all.end(), sample2.begin(), sample2.end());
    }
    void TearDown() override { RegisterTables(""); }
    std::vector<SolvedPosition> sample, sample2, all;
};

TEST_F(SampleProbes, WdlOfEveryPositionAndItsColourFlip) {
    int ep = 0, spoilt = 0;
    for (const SolvedPosition& s : all) {
        for (const std::string& fen : {s.fen, FlipFen(s.fen)}) {
            const tb_position p = TbPosition(fen);
            int success = 0;
            EXPECT_EQ(probe_wdl(&p, &success), s.wdl) << fen << " (" << s.material << ", " << s.kind << ")";
            EXPECT_NE(success, 0) << fen;
            EXPECT_EQ(TB_Probe_WDL(EnginePosition(fen), 70), s.wdl + 2) << fen;
            ep += p.ep != 0;
            spoilt += s.wdl == 1 || s.wdl == -1;
        }
    }
    EXPECT_GE(ep, 2 * 14) << "the en-passant positions keep their square";
    if (sample2.empty()) GTEST_SKIP() << NoSecondSet() << "; only the first set was checked";
    EXPECT_EQ(spoilt, 2 * 100) << "cursed wins and blessed losses, both colours";
}

TEST_F(SampleProbes, DtzOfEveryPositionAndItsColourFlip) {
    int spoilt = 0, in_moves = 0;
    for (const SolvedPosition& s : all) {
        for (const std::string& fen : {s.fen, FlipFen(s.fen)}) {
            const tb_position p = TbPosition(fen);
            int success = 0;
            const int d = probe_dtz(&p, &success);
            EXPECT_EQ(d, s.probe_dtz) << fen << " (" << s.material << ", " << s.kind << ")";
            EXPECT_NE(success, 0) << fen;
            // The sign of the result; beyond 100 where the fifty-move rule spoils it.
            EXPECT_EQ(d > 0, s.wdl > 0) << fen;
            EXPECT_EQ(d < 0, s.wdl < 0) << fen;
            EXPECT_EQ(std::abs(d) > 100, s.wdl == 1 || s.wdl == -1) << fen;
            spoilt += std::abs(d) > 100;
            if (s.has_dtz && s.probe_dtz != s.dtz) {
                if (EvenDistancesInMoves(s.material)) {
                    // Stored in moves: the winner's even distance of 2r plies reads as
                    // 2r + 1, and so does the loser's one more after it.
                    const int winner_plies = s.dtz > 0 ? s.dtz : -s.dtz - 1;
                    EXPECT_EQ(winner_plies % 2, 0) << fen;
                    EXPECT_EQ(std::abs(s.probe_dtz), std::abs(s.dtz) + 1) << fen;
                    in_moves++;
                } else {
                    EXPECT_EQ(s.dtz, 1) << fen << ": a mate in one read as 2 through the one-ply search";
                    EXPECT_EQ(s.probe_dtz, 2) << fen;
                }
            }
        }
    }
    if (sample2.empty()) GTEST_SKIP() << NoSecondSet() << "; only the first set was checked";
    EXPECT_EQ(spoilt, 2 * 100);
    EXPECT_GT(in_moves, 2 * 100);
}

TEST_F(SampleProbes, CaptureSearchKeepsToItsWindow) {
    // The capture search is an alpha-beta search that fails hard low: inside
    // its window it gives the value itself; a value at or below alpha gives
    // alpha, counted as a capture's result (success 2) when alpha is above
    // a draw; a value at or above beta gives at least beta. Where a cursed
    // win meets the window (1, 2) these three cases touch.
    int at_alpha_above_draw = 0;
    for (const SolvedPosition& s : all)
        for (const std::string& fen : {s.fen, FlipFen(s.fen)}) {
            const tb_position p = TbPosition(fen);
            if (p.ep) continue;  // the capture search leaves en passant to probe_wdl
            for (int alpha = -2; alpha < 2; alpha++)
                for (int beta = alpha + 1; beta <= 2; beta++) {
                    int success = 1;
                    const int v = probe_ab(&p, alpha, beta, &success);
                    ASSERT_NE(success, 0) << fen;
                    const std::string window = " in (" + std::to_string(alpha) + ", " + std::to_string(beta) + ")";
                    if (s.wdl <= alpha) {
                        EXPECT_EQ(v, alpha) << fen << window;
                        EXPECT_EQ(success, alpha > 0 ? 2 : 1) << fen << window;
                        at_alpha_above_draw += s.wdl == alpha && alpha > 0;
                    } else if (s.wdl >= beta) {
                        EXPECT_GE(v, beta) << fen << window;
                        EXPECT_LE(v, s.wdl) << fen << window;
                    } else {
                        EXPECT_EQ(v, s.wdl) << fen << window;
                    }
                }
        }
    if (sample2.empty()) GTEST_SKIP() << NoSecondSet() << "; only the first set was checked";
    const long cursed = std::count_if(sample2.begin(), sample2.end(), [](const SolvedPosition& s) { return s.wdl == 1; });
    EXPECT_GT(cursed, 40);
    EXPECT_EQ(at_alpha_above_draw, 2 * cursed) << "every cursed win of the second set, in both colours";
}

TEST_F(SampleProbes, WinsAndLossesAreCountedInPliesEachByTheirOwnFlag) {
    // Every table here that counts plies does so for wins and losses alike,
    // so the two flags are pulled apart in copies of the symmetric KQvKQ and
    // KRvKR (flags byte at offset 10). With one flag cleared, the results it
    // covers are read as moves: the r = |dtz| - 1 stored gives 2r + 1; the
    // other results keep their distance.
    for (const uint8_t cleared : {(uint8_t)DTZ_LOSS_PLIES, (uint8_t)DTZ_WIN_PLIES}) {
        ScratchDir dir;
        CopyTables(dir.path, ShippedMaterials());
        for (const char* name : {"KQvKQ", "KRvKR"}) {
            std::string z = ReadBytes(SyzygyDir() + "/" + name + ".rtbz");
            ASSERT_EQ((uint8_t)z[10], DTZ_HAS_MAPS | DTZ_WIN_PLIES | DTZ_LOSS_PLIES) << name;
            z[10] = (char)(z[10] & ~cleared);
            WriteBytes(dir.path + "/" + name + ".rtbz", z);
        }
        ASSERT_EQ(RegisterTables(dir.path), "info string found 23 tablebases\n");
        int changed_wins = 0, changed_losses = 0, kept = 0;
        for (const SolvedPosition& s : sample) {
            if ((s.material != "KQvKQ" && s.material != "KRvKR") || s.wdl == 0) continue;
            const bool in_moves = (s.wdl > 0) == (cleared == DTZ_WIN_PLIES);
            const int magnitude = in_moves ? 2 * std::abs(s.dtz) - 1 : std::abs(s.dtz);
            const int expected = s.dtz > 0 ? magnitude : -magnitude;
            for (const std::string& fen : {s.fen, FlipFen(s.fen)}) {
                const tb_position p = TbPosition(fen);
                int success = 0;
                EXPECT_EQ(probe_dtz(&p, &success), expected) << fen << " with flag " << (int)cleared << " cleared";
                EXPECT_NE(success, 0) << fen;
                if (expected == s.dtz) kept++;
                else (s.wdl > 0 ? changed_wins : changed_losses)++;
            }
        }
        EXPECT_GT(kept, 10);
        EXPECT_GT(cleared == DTZ_WIN_PLIES ? changed_wins : changed_losses, 4);
        EXPECT_EQ(cleared == DTZ_WIN_PLIES ? changed_losses : changed_wins, 0);
    }
}

TEST_F(SampleProbes, DrawsNeedNoDtzFile) {
    ScratchDir s;
    CopyTables(s.path, ShippedMaterials(), false);
    RegisterTables(s.path);
    int draws = 0;
    for (const SolvedPosition& sp : sample) {
        if (sp.wdl != 0) continue;
        const tb_position p = TbPosition(sp.fen);
        if (p.ep) continue;  // the position without its capture may be decided
        int success = 0;
        EXPECT_EQ(probe_dtz(&p, &success), 0) << sp.fen;
        EXPECT_NE(success, 0) << sp.fen << ": a draw answers without a DTZ file";
        draws++;
    }
    EXPECT_GT(draws, 50);
    // A win decided by a capture or a promotion needs none either.
    const tb_position win = TbPosition("8/4P3/8/8/8/k7/8/4K3 w - - 0 1");
    int success = 0;
    EXPECT_EQ(probe_dtz(&win, &success), 1);
    EXPECT_NE(success, 0);
    EXPECT_EQ(dtz_tables_cached(), 0);
}

// ---------------------------------------------------------------------------
// Properties that need no table values.

// The value of a move for the side that makes it, and the plies from it to
// zeroing: the successor's value turned round, where a decided result that
// the move carries past 100 plies without zeroing is spoilt by the
// fifty-move rule (a win that takes longer is cursed, a loss blessed). A move
// that zeroes the counter or mates is one ply from zeroing (101 for a spoilt
// result). A successor with a mate in one is 1 away from its end.
int MoveValue(const tb_position& p, TbMove m, int* plies, bool* ok) {
    tb_position after;
    do_move(&after, &p, m);
    int success = 0;
    const int w = -probe_wdl(&after, &success);
    *ok &= success != 0;
    if (after.rule50 == 0 || (king_attacked(&after, true) && ProbeLegalMoves(after).empty())) {
        *plies = w == 1 || w == -1 ? 101 : 1;
        return w;
    }
    *plies = 0;
    if (w == 0) return 0;
    int child = probe_dtz(&after, &success);
    *ok &= success != 0;
    if (child == 2 && HasMateInOne(after)) child = 1;
    *plies = 1 + std::abs(child);
    if (w == 2 && *plies > 100) return 1;
    if (w == -2 && *plies > 100) return -1;
    return w;
}

// The DTZ of a position from its successors' probe values: a win takes the
// quickest move that keeps its result, a loss the slowest.
int DtzFromSuccessors(const tb_position& p, int wdl, bool* ok) {
    const std::set<TbMove> legal = ProbeLegalMoves(p);
    if (legal.empty()) return king_attacked(&p, true) ? -1 : 0;
    int best = wdl > 0 ? 100000 : 0;
    for (TbMove m : legal) {
        int d = 0;
        if (MoveValue(p, m, &d, ok) != wdl) continue;  // not a move that keeps the result
        best = wdl > 0 ? std::min(best, d) : std::max(best, d);
    }
    return wdl > 0 ? best : -best;
}

TEST_F(SampleProbes, WinningMoveLowersTheDistanceByOne) {
    int checked = 0, spoilt = 0;
    for (const SolvedPosition& s : all) {
        if (!s.has_dtz || s.wdl == 0) continue;
        for (const std::string& fen : {s.fen, FlipFen(s.fen)}) {
            const tb_position p = TbPosition(fen);
            bool ok = true;
            const int d = DtzFromSuccessors(p, s.wdl, &ok);
            if (EvenDistancesInMoves(s.material)) {
                EXPECT_TRUE(d == s.dtz || d == s.probe_dtz) << fen << " (" << s.material << "): " << d;
            } else {
                EXPECT_EQ(d, s.dtz) << fen << " (" << s.material << ")";
            }
            EXPECT_TRUE(ok) << fen;
            checked++;
            spoilt += s.wdl == 1 || s.wdl == -1;
        }
    }
    EXPECT_GT(checked, 1200);
    if (sample2.empty()) GTEST_SKIP() << NoSecondSet() << "; only the first set was checked";
    EXPECT_EQ(spoilt, 2 * 100) << "cursed wins and blessed losses";
}

TEST_F(SampleProbes, EveryMaterialIsMinimaxConsistentOnRandomPositions) {
    // A position's value is the best of its moves' values, the fifty-move
    // rule counted along; a side with no move is mated (-2) or stalemated (0).
    int mated = 0, stalemated = 0, positions = 0, spoilt = 0;
    uint32_t seed = 1;
    std::vector<std::string> materials = ShippedMaterials();
    if (!sample2.empty())
        for (const std::string& m : SecondSetMaterials()) materials.push_back(m);
    for (const std::string& material : materials) {
        for (const std::string& fen : RandomPositions(material, 120, seed++)) {
            const tb_position p = TbPosition(fen);
            int success = 0;
            const int v = probe_wdl(&p, &success);
            ASSERT_NE(success, 0) << fen;
            const std::set<TbMove> legal = ProbeLegalMoves(p);
            int best = -3;
            bool ok = true;
            for (TbMove m : legal) {
                int plies = 0;
                best = std::max(best, MoveValue(p, m, &plies, &ok));
            }
            ASSERT_TRUE(ok) << fen;
            if (legal.empty()) {
                best = king_attacked(&p, true) ? -2 : 0;
                (best ? mated : stalemated)++;
            }
            EXPECT_EQ(v, best) << fen;
            spoilt += v == 1 || v == -1;
            // The DTZ agrees with the successors' too (and has the WDL's sign).
            if (v != 0 && !HasMateInOne(p)) {
                const int d = probe_dtz(&p, &success), from_successors = DtzFromSuccessors(p, v, &ok);
                if (EvenDistancesInMoves(material) && v > 0 && d == from_successors + 1) {
                    EXPECT_EQ(d % 2, 1) << fen << ": 2r + 1";
                } else {
                    EXPECT_EQ(d, from_successors) << fen;
                }
                EXPECT_TRUE(ok);
            }
            positions++;
        }
    }
    EXPECT_GT(positions, 2500);
    if (sample2.empty()) GTEST_SKIP() << NoSecondSet() << "; only the first set was checked";
    EXPECT_GT(spoilt, 0) << "random KBBvKN positions include cursed wins or blessed losses";
}

TEST_F(SampleProbes, MatedAndStalematedSidesFoundByMoveGeneration) {
    // Search random positions for sides without a move; their values follow
    // from the rules alone.
    int mates = 0, stalemates = 0;
    uint32_t seed = 1000;
    for (const char* material : {"KQvK", "KRvK", "KQvKN", "KRvKB", "KBNvK", "KPvK", "KQvKP"}) {
        for (const std::string& fen : RandomPositions(material, 4000, seed++)) {
            const tb_position p = TbPosition(fen);
            if (!ProbeLegalMoves(p).empty()) continue;
            int success = 0;
            if (king_attacked(&p, true)) {
                EXPECT_EQ(probe_wdl(&p, &success), -2) << fen;
                EXPECT_EQ(probe_dtz(&p, &success), -1) << fen;
                mates++;
            } else {
                EXPECT_EQ(probe_wdl(&p, &success), 0) << fen;
                EXPECT_EQ(probe_dtz(&p, &success), 0) << fen;
                stalemates++;
            }
        }
    }
    for (const SolvedPosition& s : sample)
        if (s.kind == "mated" || s.kind == "stalemate") {
            const tb_position p = TbPosition(s.fen);
            ASSERT_TRUE(ProbeLegalMoves(p).empty()) << s.fen;
            EXPECT_EQ(king_attacked(&p, true), s.kind == "mated") << s.fen;
        }
    EXPECT_GT(mates, 3);
    EXPECT_GT(stalemates, 3);
}

TEST_F(SampleProbes, EnPassantPositionsAreMinimaxConsistent) {
    // Every KPvKP position right after a double step that an enemy pawn can
    // take: its value is the best of its moves' values, the capture included.
    int positions = 0, changed = 0;
    for (int turn = 0; turn < 2; turn++)
        for (int pushed = 24; pushed < 32; pushed++)
            for (int side : {-1, 1}) {
                const int taker = pushed + side;
                if ((taker >> 3) != (pushed >> 3)) continue;
                // White to move: black's pawn stepped to rank 5; the board is mirrored.
                const int ps = turn ? pushed ^ 56 : pushed, ts = turn ? taker ^ 56 : taker;
                const int passed = turn ? ps + 8 : ps - 8, start = turn ? ps + 16 : ps - 16;
                for (int wk = 0; wk < 64; wk += 1)
                    for (int bk = (wk * 7) % 3; bk < 64; bk += 3) {
                        const uint64_t occupied = 1ULL << ps | 1ULL << ts;
                        if (wk == bk || (occupied >> wk & 1) || (occupied >> bk & 1)) continue;
                        if (wk == passed || bk == passed || wk == start || bk == start) continue;
                        if (std::abs((wk & 7) - (bk & 7)) <= 1 && std::abs((wk >> 3) - (bk >> 3)) <= 1) continue;
                        tb_position p{};
                        const uint64_t white_pawn = 1ULL << (turn ? ts : ps), black_pawn = 1ULL << (turn ? ps : ts);
                        p.white = 1ULL << wk | white_pawn;
                        p.black = 1ULL << bk | black_pawn;
                        p.kings = 1ULL << wk | 1ULL << bk;
                        p.pawns = white_pawn | black_pawn;
                        p.turn = (uint8_t)turn;
                        p.ep = (uint8_t)passed;
                        if (king_attacked(&p, false)) continue;
                        int success = 0;
                        const int v = probe_wdl(&p, &success);
                        ASSERT_NE(success, 0);
                        int best = -3;
                        const std::set<TbMove> legal = ProbeLegalMoves(p);
                        for (TbMove m : legal) {
                            tb_position after;
                            do_move(&after, &p, m);
                            best = std::max(best, -probe_wdl(&after, &success));
                        }
                        if (legal.empty()) best = king_attacked(&p, true) ? -2 : 0;
                        ASSERT_EQ(v, best) << "wk " << wk << " bk " << bk << " pawns " << ps << " " << ts
                                           << (turn ? " white" : " black") << " to move";
                        tb_position no_ep = p;
                        no_ep.ep = 0;
                        changed += probe_wdl(&no_ep, &success) != v;
                        positions++;
                    }
            }
    EXPECT_GT(positions, 20000);
    EXPECT_GT(changed, 100) << "positions whose capture changes the value";
}

// ---------------------------------------------------------------------------
// The DTZ cache.

int MappedDtzFiles() {
    std::ifstream maps("/proc/self/maps");
    std::set<std::string> regions;
    int n = 0;
    for (std::string line; std::getline(maps, line);)
        if (line.find(".rtbz") != std::string::npos) n++;
    return n;
}

TEST_F(SampleProbes, DtzCacheHolds64TablesAndReloadsEvictedOnes) {
    // With black the stronger side, a table that is not the most recent one
    // is found only by its first key, so alternating two materials loads a
    // new cache entry on every probe.
    // Black to move and stronger; the three tables store this side to move.
    const std::string a = "8/8/8/3K4/8/7k/8/q7 b - - 0 1";      // KQvK
    const std::string b = "8/8/1K6/8/8/8/5k2/2b2b2 b - - 0 1";  // KBBvK
    const std::string c = "8/8/1K6/8/8/8/5k2/2b1n3 b - - 0 1";  // KBNvK
    int sa = 0, sb = 0, sc = 0;
    const tb_position pa = TbPosition(a), pb = TbPosition(b), pc = TbPosition(c);
    const int va = probe_dtz(&pa, &sa);
    const int vb = probe_dtz(&pb, &sb);
    const int vc = probe_dtz(&pc, &sc);
    ASSERT_TRUE(sa && sb && sc);
    EXPECT_GT(va, 0);
    EXPECT_GT(vb, 0);
    EXPECT_GT(vc, 0);
    RegisterTables(SyzygyDir());
    EXPECT_EQ(dtz_tables_cached(), 0);
    for (int i = 0; i < 100; i++) {
        const std::string& fen = i % 2 ? a : b;
        const tb_position p = TbPosition(fen);
        int success = 0;
        EXPECT_EQ(probe_dtz(&p, &success), i % 2 ? va : vb) << "probe " << i;
        EXPECT_LE(dtz_tables_cached(), 64);
    }
    EXPECT_EQ(dtz_tables_cached(), 64) << "full, and no more";
    EXPECT_EQ(MappedDtzFiles(), 64) << "evicted tables are unmapped";
    // KBNvK's first load was evicted long ago; it loads again and answers alike.
    int success = 0;
    EXPECT_EQ(probe_dtz(&pc, &success), vc);
    EXPECT_EQ(dtz_tables_cached(), 64);
    // Registering again empties the cache and unmaps every file.
    RegisterTables(SyzygyDir());
    EXPECT_EQ(dtz_tables_cached(), 0);
    EXPECT_EQ(MappedDtzFiles(), 0);
    EXPECT_EQ(probe_dtz(&pc, &success), vc) << "and loads again after that";
}

// ---------------------------------------------------------------------------
// Probes from several threads at once: the tables load lazily, once each.

TEST_F(SampleProbes, ThreadsProbingTogetherLoadEachTableOnceAndAgree) {
    RegisterTables(SyzygyDir());  // nothing loaded yet
    std::vector<tb_position> positions;
    std::vector<int> wdl, dtz;
    for (const SolvedPosition& s : sample) {
        positions.push_back(TbPosition(s.fen));
        wdl.push_back(s.wdl);
        dtz.push_back(s.probe_dtz);
    }
    std::atomic<int> wrong{0}, failed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++)
        threads.emplace_back([&, t] {
            for (size_t k = 0; k < positions.size(); k++) {
                const size_t i = (k * 7 + (size_t)t * 331) % positions.size();
                int success = 0;
                const int v = probe_wdl(&positions[i], &success);
                if (!success) failed++;
                else if (v != wdl[i]) wrong++;
                if (t < 2 && k % 5 == 0) {
                    const int d = probe_dtz(&positions[i], &success);
                    if (!success) failed++;
                    else if (d != dtz[i]) wrong++;
                }
            }
        });
    testing::internal::CaptureStderr();
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(failed.load(), 0);
    EXPECT_EQ(wrong.load(), 0);
    for (int i = 0; i < TBnum_piece; i++) EXPECT_EQ(TB_piece[i].ready.load(), 1) << i;
    for (int i = 0; i < TBnum_pawn; i++) EXPECT_EQ(TB_pawn[i].ready.load(), 1) << i;
}

}  // namespace
