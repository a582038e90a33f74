// The evaluation as a whole: colour symmetry, the caches, the early returns,
// the exact endgame rules, tempo, contempt and the score clamp.
#include "eval_test_util.h"

namespace {

class EvalDriver : public ::testing::Test {
protected:
    void SetUp() override {
        InitEvalEnvironment();
        t = NewEvalRecord();
    }
    void TearDown() override {
        FreeThreadRecord(t);
        Personality = DefaultPersonality;
        SetEvalParams();
        SearchData.target_time = 1.0;
        SearchData.root_side = 0;
    }
    ThreadRecord* t = nullptr;
};

int QueenCount(const Position* pos, int c) { return PopCount(pos->bb[8 * c + QUEEN]); }

TEST_F(EvalDriver, ScoreIsSymmetricUnderColourFlip) {
    std::vector<std::string> fens = RandomPositions(StartFens(), 60, 80, 12345);
    for (const char* f : StartFens()) fens.push_back(f);
    ThreadRecord* m = NewEvalRecord();
    int compared = 0;
    for (const std::string& fen : fens) {
        std::string mir = MirrorFen(fen);
        int a = EvalFen(t, fen.c_str());
        if (a == -10001 || QueenCount(&t->pos, 0) > 1 || QueenCount(&t->pos, 1) > 1) continue;
        int b = EvalFen(m, mir.c_str());
        ASSERT_EQ(a, b) << fen << "  versus  " << mir;
        EXPECT_EQ(t->stack[1].eval_extra1, m->stack[1].eval_extra2) << fen;
        EXPECT_EQ(t->stack[1].eval_extra2, m->stack[1].eval_extra1) << fen;
        compared++;
    }
    EXPECT_GT(compared, 3000);
    FreeThreadRecord(m);
}

TEST_F(EvalDriver, CachesNeverChangeAScore) {
    std::vector<std::string> fens = RandomPositions(StartFens(), 20, 80, 4242);
    // Warm record: every position twice in a row, the second from the cache,
    // and the pawn hash shared between positions with the same pawns.
    ThreadRecord* cold = NewEvalRecord();
    for (const std::string& f : fens) {
        int fresh = EvalFen(cold, f.c_str(), 1, 0);
        int first = EvalFen(t, f.c_str(), 2, 5);
        uint64_t hits = t->eval_hits;
        int second = EvalFen(t, f.c_str(), 2, 5);
        ASSERT_EQ(fresh, first) << f;
        ASSERT_EQ(fresh, second) << f;
        if (fresh != -10001 && !t->stack[2].eval_draw && (t->pos.material[0] && t->pos.material[1])) {
            EXPECT_EQ(t->eval_hits, hits + 1) << f;
        }
    }
    EXPECT_GT(t->pawn_hits.load(), 100u);
    FreeThreadRecord(cold);
}

TEST_F(EvalDriver, CacheIsReadOnlyFromPlyTwoOfTheSecondIteration) {
    const char* fen = "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3";
    EvalFen(t, fen, 1, 5);
    EvalFen(t, fen, 1, 5);
    EvalFen(t, fen, 3, 1);
    EXPECT_EQ(t->eval_hits, 0u);
    EXPECT_EQ(t->eval_probes, 3u);
    t->eval_cache[t->pos.key & (EVAL_CACHE_SIZE - 1)].extra1 = 77;  // marks the stored entry
    EvalFen(t, fen, 2, 2);
    EXPECT_EQ(t->eval_hits, 1u);
    EXPECT_EQ(t->stack[2].eval_extra1, 77);
}

TEST_F(EvalDriver, InCheckAndDeadDraws) {
    EXPECT_EQ(EvalFen(t, "4k3/8/8/8/8/8/8/R3K2r w - - 0 1"), -10001);
    EXPECT_EQ(EvalFen(t, "4k3/8/2n5/8/8/8/8/1N2K3 w - - 0 1", 3), 0);
    EXPECT_EQ(t->stack[3].eval_draw, 1);
    EXPECT_EQ(EvalFen(t, "4k3/8/2b5/8/8/8/8/1N2KN2 b - - 0 1", 3), 0);  // two knights against a bishop
    EXPECT_EQ(t->stack[3].eval_draw, 1);
    EvalFen(t, "4k3/8/8/8/8/8/8/1B2KB2 w - - 0 1", 3);  // two bishops mate
    EXPECT_EQ(t->stack[3].eval_draw, 0);
    EvalFen(t, "4k3/8/8/8/8/8/8/1NN1KN2 w - - 0 1", 3);
    EXPECT_EQ(t->stack[3].eval_draw, 0);
}

TEST_F(EvalDriver, RookOrQueenAgainstTheBareKing) {
    // 500 + 200 + 2 * (edge[a8] 60 - 8 * distance 5).
    EXPECT_EQ(EvalFen(t, "k7/8/8/8/8/2K5/8/7R w - - 0 1"), 740);
    EXPECT_EQ(EvalFen(t, "k7/8/8/8/8/2K5/8/7R b - - 0 1"), -740);
    // Pawns of the strong side are not counted; the clamp holds absurd material.
    EXPECT_EQ(EvalFen(t, "7k/8/8/8/8/2P5/QQQQQQ2/QQQQQQK1 w - - 0 1"), EVAL_LIMIT);
}

TEST_F(EvalDriver, TempoAndContempt) {
    const char* start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
    EXPECT_EQ(EvalFen(t, start), 16);  // the tempo (16, 8) alone
    Words(Personality)[W_CONTEMPT] = 41;
    SetEvalParams();
    SearchData.target_time = 10.0;
    SearchData.root_side = WHITE;
    EXPECT_EQ(EvalFen(t, start), 16 + 41);  // (32 - 3 + 2 * 6) * 41 / 41
    SearchData.root_side = BLACK;
    EXPECT_EQ(EvalFen(t, start), 16 - 41);
    SearchData.target_time = 6000.0;
    EXPECT_EQ(EvalFen(t, start), 16);
}

TEST_F(EvalDriver, TraceIsWrittenOnlyWhenAskedAndStartsClean) {
    const char* fen = "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1";
    memset(&PBlock.eval_trace, 0x5A, sizeof PBlock.eval_trace);
    EvalTrace junk = PBlock.eval_trace;
    int plain = EvalFen(t, fen);
    EXPECT_EQ(memcmp(&junk, &PBlock.eval_trace, sizeof junk), 0);
    int traced = Evaluate(t, t->pos.side, 1, 0, 1);
    EXPECT_EQ(traced, plain);
    const EvalTrace& tr = PBlock.eval_trace;
    EXPECT_EQ(tr.stage, t->eval_work.phase);
    EXPECT_EQ(tr.scale, 1.0);
    EXPECT_EQ(tr.pinned, t->eval_work.pinned);
    for (int sq = 0; sq < 64; sq++)
        if (!t->pos.board[sq]) {
            EXPECT_EQ(tr.square[sq], 0) << square_name[sq];
        }
    PBlock.eval_trace = EvalTrace();
}

}  // namespace
