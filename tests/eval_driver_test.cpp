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

}  // namespace
