// The error-minimising tuner: the win probability, the reading of results and
// scores from EPD lines, the filters, the error of a file (with the positions
// scored by a stand-in for the search), the sampler, the gradient step, whole
// passes with the real search, and the "-mktune" and "-tune" modes of the
// built engine.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "driver_test_util.h"
#include "e2e_child.h"
#include "tools/registry.h"
#include "tools/tuner.h"
#include "tools_test_util.h"
#include "uci/input.h"
#include "uci_test_util.h"

namespace {

typedef std::vector<std::string> Lines;

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// The lines of the hand-made file that pass the filters of "tune_new.epd":
// the scores six moves on agree well enough with the result, the line has a
// result, its position can be set and is not decided already.
const Lines kKeptLines = {
    "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - bm e5; ce -20; c6 -15; c9 \"1-0\";",
    "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq - bm Nf3; ce 30; c6 40; c9 \"1-0\";",
    "rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq - bm Nc6; ce 100; c6 150; c9 \"1-0\";",
    "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - bm Bb5; ce 60; c6 10; c9 \"1-0\";",
    "rnbqkb1r/pppppppp/5n2/8/3P4/8/PPP1PPPP/RNBQKBNR w KQkq - bm c4; ce -100; c6 -150; c9 \"1-0\";",
    "rnbqkb1r/pppp1ppp/4pn2/8/2PP4/8/PP2PPPP/RNBQKBNR w KQkq - bm Nc3; ce 300; c6 -300; c9 \"1/2-1/2\";",
    "rnbqkb1r/pppp1ppp/4pn2/8/2PP4/2N5/PP2PPPP/R1BQKBNR b KQkq - bm Bb4; ce 20; c6 25; c9 \"0-1\";",
    "r1bqkb1r/pppp1ppp/2n2n2/4p3/4P3/2N2N2/PPPP1PPP/R1BQKB1R w KQkq - bm Bb5; ce -30; c6 -40; c9 \"0-1\";",
    "rnbqkbnr/pppppppp/8/8/3P4/8/PPP1PPPP/RNBQKBNR b KQkq - bm d5; ce -10; c6 -20; c9 \"0-1\";",
};

// A stand-in for the search: a score per position (0 for the others), and
// the number of positions scored.
std::map<std::string, int> stub_scores;
int stub_calls = 0;

int StubScore() {
    stub_calls++;
    char fen[128];
    MakeEPD(&CTD->pos, fen);
    auto it = stub_scores.find(fen);
    return it == stub_scores.end() ? 0 : it->second;
}

// Each test runs in a scratch folder of its own (the tuner's files are
// written to the working directory).
class TunerTest : public UciTest {
protected:
    void SetUp() override {
        UciTest::SetUp();
        ASSERT_TRUE(scratch_.entered) << "no scratch folder";
        stub_scores.clear();
        stub_calls = 0;
        PBlock.noise = 9999.0;
        SearchData.depth_limit = 0;
    }
    InScratchDir scratch_{"tuner"};
};

}  // namespace

// ---- the pieces of the error function ---------------------------------------

TEST(TunerError, WinProbabilityIsALogisticCurveOverFourHundredCentipawns) {
    EXPECT_DOUBLE_EQ(WinProbability(0), 0.5);
    EXPECT_NEAR(WinProbability(400), 10.0 / 11.0, 1e-12);
    EXPECT_NEAR(WinProbability(-400), 1.0 / 11.0, 1e-12);
    EXPECT_NEAR(WinProbability(800), 100.0 / 101.0, 1e-12);
    // 10^0.5 = 3.16227766: 3.16227766 / 4.16227766. A whole-number division
    // of 200 by 400 would give 0.5 here.
    EXPECT_NEAR(WinProbability(200), 0.7597469, 1e-7);
    EXPECT_NEAR(WinProbability(-200), 0.2402531, 1e-7);
    EXPECT_NEAR(WinProbability(1), 0.5014391, 1e-7);
}

TEST(TunerError, ResultIsReadAfterTheC9Opcode) {
    EXPECT_EQ(EpdLineResult("8/8 w - - bm e4; c9 \"1-0\";"), 1.0);
    EXPECT_EQ(EpdLineResult("8/8 w - - bm e4; c9 \"0-1\";"), 0.0);
    EXPECT_EQ(EpdLineResult("8/8 w - - bm e4; c9 \"1/2-1/2\";"), 0.5);
    EXPECT_EQ(EpdLineResult("8/8 w - - bm e4; c9 \"*\";"), -1.0) << "no result";
    EXPECT_EQ(EpdLineResult("8/8 w - - bm e4; ce 10; c6 20;"), -1.0) << "no c9";
    EXPECT_EQ(EpdLineResult("8/8 w - - bm e4;c9 \"1-0\";"), -1.0) << "c9 needs a blank before it";
    EXPECT_EQ(EpdLineResult("8/8 w - - id \"1-0\"; c9 \"0-1\";"), 0.0) << "only the text after c9 counts";
    EXPECT_EQ(EpdLineResult("8/8 w - - c9 \"1/2 0-1 1-0\";"), 1.0) << "1-0 is looked for first";
    EXPECT_EQ(EpdLineResult("8/8 w - - c9 \"1/2 0-1\";"), 0.0) << "then 0-1";
}

TEST(TunerError, TuningFileFilterPinsEachThresholdFromBothSides) {
    // A won game whose score six moves on is too low, or falls too far.
    EXPECT_TRUE(KeptForTuningFile(1.0, -120, -150));
    EXPECT_FALSE(KeptForTuningFile(1.0, -120, -151));
    EXPECT_TRUE(KeptForTuningFile(1.0, 60, 10));
    EXPECT_FALSE(KeptForTuningFile(1.0, 60, 9));
    // A lost game, the mirror image.
    EXPECT_TRUE(KeptForTuningFile(0.0, 120, 150));
    EXPECT_FALSE(KeptForTuningFile(0.0, 120, 151));
    EXPECT_TRUE(KeptForTuningFile(0.0, 0, 50));
    EXPECT_FALSE(KeptForTuningFile(0.0, 0, 51));
    // The directions: a won game may rise, a lost one may fall.
    EXPECT_TRUE(KeptForTuningFile(1.0, 0, 500));
    EXPECT_TRUE(KeptForTuningFile(0.0, 0, -500));
    // A draw passes whatever the scores.
    EXPECT_TRUE(KeptForTuningFile(0.5, 300, -300));
    EXPECT_TRUE(KeptForTuningFile(0.5, -300, 300));
}

TEST(TunerError, ErrorFilterDropsResultsTheLaterScoreContradicts) {
    // Win probability 0.7 lies between 147 (0.69977) and 148 (0.70098).
    EXPECT_TRUE(CountsForError(0.0, 147));
    EXPECT_FALSE(CountsForError(0.0, 148));
    EXPECT_TRUE(CountsForError(1.0, -147));
    EXPECT_FALSE(CountsForError(1.0, -148));
    EXPECT_TRUE(CountsForError(1.0, 148));
    EXPECT_TRUE(CountsForError(0.0, -148));
    EXPECT_TRUE(CountsForError(0.5, 1000));
    EXPECT_TRUE(CountsForError(0.5, -1000));
}

// ---- the error of a file ----------------------------------------------------------

TEST_F(TunerTest, ErrorOfTheHandMadeFileWithStandInScores) {
    // Scores for the positions that count (from the side to move's view) and
    // |WinProbability(s) - result| for each, result turned to the mover:
    stub_scores["rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq -"] = 0;               // 0.5 (black, 1-0)
    stub_scores["rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq -"] = 200;          // 0.2402531
    stub_scores["r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -"] = -400;     // 10/11
    stub_scores["r1bqkbnr/1ppp1ppp/p1n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R w KQkq -"] = 0;      // 0.5 (not in -mktune)
    stub_scores["rnbqkb1r/pppp1ppp/4pn2/8/2PP4/8/PP2PPPP/RNBQKBNR w KQkq -"] = 0;           // 0 (draw)
    stub_scores["rnbqkb1r/pppp1ppp/4pn2/8/2PP4/2N5/PP2PPPP/R1BQKBNR b KQkq -"] = 400;       // 1/11 (black, 0-1)
    stub_scores["r1bqkb1r/pppp1ppp/2n2n2/4p3/4P3/2N2N2/PPPP1PPP/R1BQKB1R w KQkq -"] = -400; // 1/11 (white, 0-1)
    stub_scores["rnbqkbnr/pppppppp/8/8/3P4/8/PPP1PPPP/RNBQKBNR b KQkq -"] = 800;            // 1/101
    stub_scores["4k3/8/8/8/8/8/8/QQ2K3 w - -"] = 901;                                        // decided: left out
    const std::string file = Data("tune_small.epd");

    double err = 0;
    std::string printed = Captured([&] { err = EpdError(file.c_str(), 0, StubScore); });
    const double terms = 0.5 + (1.0 - 0.7597469) + 10.0 / 11 + 0.5 + 0.0 + 1.0 / 11 + 1.0 / 11 + 1.0 / 101;
    EXPECT_NEAR(err, terms / 8, 1e-7) << "eight positions count";
    // Lines 3 to 14, the decided one and the last are scored; the castling
    // line is skipped without its position scored, and the ones after it go
    // on. The error-only form reads the samples of a run: it says nothing of
    // the line (the sampler names it once, in the user's file).
    EXPECT_EQ(stub_calls, 14);
    EXPECT_EQ(printed, "");
    EXPECT_FALSE(Exists("tune_new.epd")) << "only the creating form writes it";

    stub_calls = 0;
    printed = Captured([&] { err = EpdError(file.c_str(), 1, StubScore); });
    EXPECT_NEAR(err, (terms - 0.5) / 7, 1e-7) << "the line the file's filter drops does not count either";
    EXPECT_TRUE(Contains(printed, "Creating file tune_new.epd"));
    EXPECT_TRUE(Contains(printed, "line 15 of " + file + " skipped (castling rights without their king or rook): "
                                  "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/1NBQKBNR w KQkq - bm e4;"))
        << printed;
    EXPECT_EQ(FileLines("tune_new.epd"), kKeptLines);
}

TEST_F(TunerTest, AScoreOfNineHundredCountsAndNineHundredAndOneDoesNot) {
    WriteFile("edge.epd",
              "4k3/8/8/8/8/8/8/4K2R w K - bm Rh8; ce 0; c6 0; c9 \"1-0\";\n"
              "4k3/8/8/8/8/8/8/R3K3 w Q - bm Ra8; ce 0; c6 0; c9 \"1-0\";\n");
    stub_scores["4k3/8/8/8/8/8/8/4K2R w K -"] = 900;
    stub_scores["4k3/8/8/8/8/8/8/R3K3 w Q -"] = 901;
    // 1 - 1 / (1 + 10^-2.25) = 0.0056234 / 1.0056234
    EXPECT_NEAR(EpdError("edge.epd", 0, StubScore), 0.0055919, 1e-7);
    stub_scores["4k3/8/8/8/8/8/8/4K2R w K -"] = -901;
    EXPECT_EQ(EpdError("edge.epd", 0, StubScore), 0.0) << "nothing counts: the error is 0";
    stub_scores["4k3/8/8/8/8/8/8/4K2R w K -"] = -900;
    // 1 - 1 / (1 + 10^2.25) = 177.8279 / 178.8279
    EXPECT_NEAR(EpdError("edge.epd", 0, StubScore), 0.9944081, 1e-7);
}

TEST_F(TunerTest, MissingEmptyAndAllFilteredFiles) {
    EXPECT_EQ(EpdError("no_such_file.epd", 0, StubScore), 1.0);
    EXPECT_EQ(EpdError("no_such_file.epd", 1, StubScore), 1.0);
    EXPECT_FALSE(Exists("tune_new.epd")) << "nothing is created for a missing input";
    WriteFile("empty.epd", "");
    EXPECT_EQ(EpdError("empty.epd", 0, StubScore), 0.0);
    WriteFile("filtered.epd",
              "# comment\n"
              "4k3/8/8/8/8/8/8/4K2R w K - bm Rh8; ce 0; c6 -200; c9 \"1-0\";\n"  // the later score says lost
              "4k3/8/8/8/8/8/8/4K2R w K - bm Rh8; ce 0; c6 0;\n"                // no result
              "short\n");
    EXPECT_EQ(EpdError("filtered.epd", 0, StubScore), 0.0);
    EXPECT_EQ(stub_calls, 1) << "only the line with a result is scored";
}

TEST_F(TunerTest, AScoreWithoutTheLaterScoreStandsForIt) {
    // No c6: the later score is ce, here 160, which contradicts a loss.
    WriteFile("ce_only.epd", "4k3/8/8/8/8/8/8/4K2R b K - bm Kd7; ce 160; c9 \"1-0\";\n");
    EXPECT_EQ(EpdError("ce_only.epd", 0, StubScore), 0.0);
    EXPECT_EQ(stub_calls, 1);
    WriteFile("none.epd", "4k3/8/8/8/8/8/8/4K2R b K - bm Kd7; c9 \"1-0\";\n");
    EXPECT_NEAR(EpdError("none.epd", 0, StubScore), 0.5, 1e-12) << "no ce, no c6: both 0";
}

TEST_F(TunerTest, APositionThatCannotBeSetIsSkippedAndTheLinesAfterItCount) {
    WriteFile("bad.epd",
              "4k3/8/8/8/8/8/8/4K2R w K - bm Rh8; ce 0; c6 0; c9 \"1-0\";\n"
              "8/8/8/8/8/8/8/8 w - - bm e4; ce 0; c6 0; c9 \"1-0\";\n"
              "4k3/8/8/8/8/8/8/R3K3 w Q - bm Ra8; ce 0; c6 0; c9 \"1-0\";\n");
    stub_scores["4k3/8/8/8/8/8/8/R3K3 w Q -"] = 400;
    double err = 0;
    std::string printed = Captured([&] { err = EpdError("bad.epd", 1, StubScore); });
    // |0.5 - 1| for the first line, |10/11 - 1| for the third.
    EXPECT_NEAR(err, (0.5 + 1.0 / 11) / 2, 1e-12) << "the mean of the two positions around the bad line";
    EXPECT_EQ(stub_calls, 2);
    EXPECT_TRUE(Contains(printed, "line 2 of bad.epd skipped (not a legal position): 8/8/8/8/8/8/8/8 w - - bm e4; "
                                  "ce 0; c6 0; c9 \"1-0\";\n"))
        << printed;
}

TEST_F(TunerTest, QuitIsReadEvery255PositionsAndEndsTheComputation) {
    std::string text;
    for (int i = 0; i < 600; i++) text += "4k3/8/8/8/8/8/8/4K2R w K - bm Rh8; ce 0; c6 0; c9 \"1-0\";\n";
    WriteFile("many.epd", text);
    const char quit[] = "quit\n";
    QueueInputBytes(quit, sizeof quit - 1);
    EXPECT_EQ(EpdError("many.epd", 0, StubScore), 0.5);
    EXPECT_EQ(stub_calls, 255) << "the input is polled at the 255th position";
    EXPECT_EQ(PBlock.quit, 1);
}

TEST_F(TunerTest, TheTuningFileIsNeverMadeFromItself) {
    const std::string line = "4k3/8/8/8/8/8/8/4K2R w K - bm Rh8; ce 0; c6 0; c9 \"1-0\";";
    WriteFile("tune_new.epd", line + "\n");
    std::string printed = Captured([&] { EXPECT_EQ(EpdError("tune_new.epd", 1, StubScore), 1.0); });
    EXPECT_TRUE(Contains(printed, "tune_new.epd cannot be made from itself")) << printed;
    EXPECT_EQ(FileLines("tune_new.epd"), Lines{line}) << "the file is kept";
}

// ---- the sampler -----------------------------------------------------------------

TEST_F(TunerTest, SampleKeepsWholeLinesInTheirOrder) {
    std::string text;
    Lines all;
    for (int i = 0; i < 1000; i++) {
        all.push_back("line " + std::to_string(i));
        text += all.back() + "\n";
    }
    WriteFile("src.epd", text);
    RandPick("src.epd", "all.epd", 100);
    EXPECT_EQ(FileLines("all.epd"), all);
    RandPick("src.epd", "none.epd", 0);
    EXPECT_TRUE(Exists("none.epd"));
    EXPECT_TRUE(FileLines("none.epd").empty());

    srand(12345);
    RandPick("src.epd", "half.epd", 50);
    Lines half = FileLines("half.epd");
    EXPECT_GT(half.size(), 400u);
    EXPECT_LT(half.size(), 600u);
    size_t at = 0;
    for (const std::string& l : half) {
        while (at < all.size() && all[at] != l) at++;
        ASSERT_LT(at, all.size()) << "'" << l << "' is not a line of the source in its order";
        at++;
    }
}

TEST_F(TunerTest, SampleOfOverlongLinesAndOfMissingOrSameFiles) {
    const std::string long_line(5000, 'x');
    WriteFile("long.epd", long_line + "\nshort\r\n");
    RandPick("long.epd", "out.epd", 100);
    EXPECT_EQ(FileLines("out.epd"), (Lines{std::string(3900, 'x'), "short"})) << "cut, never split";

    WriteFile("old.epd", "old sample\n");
    std::string printed = Captured([] { EXPECT_FALSE(RandPick("missing.epd", "old.epd", 100)); });
    EXPECT_TRUE(Contains(printed, "cannot open missing.epd: No such file or directory")) << printed;
    EXPECT_EQ(FileLines("old.epd"), Lines{"old sample"});

    printed = Captured([] { EXPECT_FALSE(RandPick("old.epd", "old.epd", 100)); });
    EXPECT_TRUE(Contains(printed, "no sample is drawn")) << printed;
    EXPECT_EQ(FileLines("old.epd"), Lines{"old sample"}) << "a file is not sampled onto itself";
}

// ---- the gradient step -----------------------------------------------------------

TEST(TunerStep, ProbeDistanceGrowsWithTheValue) {
    EXPECT_EQ(ProbeDistance(0), 1);
    EXPECT_EQ(ProbeDistance(100), 4);
    EXPECT_EQ(ProbeDistance(-100), 4);
    EXPECT_EQ(ProbeDistance(16.6), 1);   // round(1.498)
    EXPECT_EQ(ProbeDistance(16.7), 2);   // round(1.501)
    EXPECT_EQ(ProbeDistance(50), 3);     // round(2.5): halves away from zero
    EXPECT_EQ(ProbeDistance(512), 16);   // round(16.36)
}

TEST(TunerStep, StepFollowsTheGradientDownhillWithinItsLimit) {
    // Limit 0.025 * (100 + 6) = 2.65 either way.
    EXPECT_NEAR(GradientStep(1.0, 3000.0, 100), -2.65, 1e-12);
    EXPECT_NEAR(GradientStep(-1.0, 3000.0, 100), 2.65, 1e-12);
    EXPECT_NEAR(GradientStep(1.0, 3000.0, -100), -2.65, 1e-12);
    EXPECT_NEAR(GradientStep(1e-6, 3000.0, 100), -0.318, 1e-12);  // -1e-6 * 3000 * 106
    EXPECT_NEAR(GradientStep(-1e-6, 3000.0, 0), 0.018, 1e-12);    // 1e-6 * 3000 * 6
    EXPECT_EQ(GradientStep(0.0, 3000.0, 50), 0.0);
}

TEST(TunerStep, LearningRateAdjustsOutsideItsBand) {
    // r = 100 * (0.2 * max + 0.8 * average)
    EXPECT_DOUBLE_EQ(NextLearningRate(1000.0, 0.007499, 0.007499), 1050.0);
    EXPECT_DOUBLE_EQ(NextLearningRate(1000.0, 0.007501, 0.007501), 1000.0);
    EXPECT_DOUBLE_EQ(NextLearningRate(1000.0, 0.012499, 0.012499), 1000.0);
    EXPECT_DOUBLE_EQ(NextLearningRate(1000.0, 0.012501, 0.012501), 950.0);
    EXPECT_DOUBLE_EQ(NextLearningRate(1000.0, 0.0, 0.05), 1000.0) << "0.2 * 0.05 gives r = 1";
    EXPECT_DOUBLE_EQ(NextLearningRate(1000.0, 0.0, 0.0), 1050.0);
}

// ---- whole passes on positions where the probes differ ----------------------------

namespace {

// One parameter's line of a pass, as printed.
struct ProbeLine {
    int p1 = 0, p2 = 0;  // the words probed
    double e1 = 0, e2 = 0, g = 0, glr = 0, step = 0, value = 0;
};
// One pass as printed: its learning rate, the words of its parameters and
// their probe lines, both in registry order.
struct PrintedPass {
    double k0 = 0;
    double err = -1;
    std::vector<std::string> names;
    std::vector<int> words;
    std::vector<ProbeLine> probes;
};

std::vector<PrintedPass> ReadPasses(const std::string& printed) {
    std::vector<PrintedPass> passes;
    const std::regex head(R"(pass= (\d+), k0= (\S+), avg_lr= \S+, max_lr= \S+)");
    const std::regex word(R"(\*\* (\S+) = (-?\d+))");
    const std::regex err(R"(err= (\d\.\d{5}))");
    const std::regex probe(
        R"(p1=\s*(-?\d+)/(\d\.\d{5}), p2=\s*(-?\d+)/(\d\.\d{5}), g=\s*(\S+), lr=\s*(\S+), x=\s*(\S+), p=\s*(\S+))");
    std::istringstream in(printed);
    std::smatch m;
    for (std::string l; std::getline(in, l);) {
        if (std::regex_match(l, m, head)) {
            passes.emplace_back();
            passes.back().k0 = std::stod(m[2]);
        } else if (passes.empty()) {
            continue;
        } else if (std::regex_match(l, m, word)) {
            passes.back().names.push_back(m[1]);
            passes.back().words.push_back(std::stoi(m[2]));
        } else if (std::regex_match(l, m, err)) {
            passes.back().err = std::stod(m[1]);
        } else if (std::regex_match(l, m, probe)) {
            passes.back().probes.push_back({std::stoi(m[1]), std::stoi(m[3]), std::stod(m[2]), std::stod(m[4]),
                                            std::stod(m[5]), std::stod(m[6]), std::stod(m[7]), std::stod(m[8])});
        }
    }
    return passes;
}

}  // namespace

// Endings of a knight against pawns, with results that the knight's and the
// pawns' endgame values move the error for, tuned through all passes by the
// real search. Everything is checked from the printed numbers: the gradient
// g = (e2 - e1) / (2h) of the probes at word - h and word + h, the step
// against g, the running value and the next pass's word; and, for the last
// pass, the printed errors against the error of the same sample computed
// again at the printed probe words.
TEST_F(TunerTest, PassesStepAgainstTheGradientTheProbesMeasure) {
    SetUpSearchEngine(1);
    PBlock.noise = 9999.0;
    PBlock.quit = 0;
    SearchData.depth_limit = 0;
    SearchData.node_limit = 0;
    if (nParams < 1) AddParams();
    for (int i = 0; i < nParams; i++) {
        ParamList[i].value = *ParamList[i].param;
        ParamList[i].work = 0.0;
        ParamList[i].selected = 0;
    }
    const std::vector<std::string> tuned = {"pawn_value_en", "knight_value_en"};
    for (const std::string& n : tuned) SetFlag(n.c_str());

    const Lines positions = {
        "4k3/ppp5/8/8/8/8/8/3NK3 w - - c9 \"1/2-1/2\";",
        "4k3/pp6/8/8/8/8/8/3NK3 w - - c9 \"1-0\";",
        "3nk3/8/8/8/8/8/PPP5/4K3 b - - c9 \"1/2-1/2\";",
        "3nk3/pp6/8/8/8/8/PPP5/4K3 w - - c9 \"0-1\";",
        "4k3/pppp4/8/8/8/8/8/2N1K3 b - - c9 \"1/2-1/2\";",
        "2n1k3/8/8/8/8/8/PP6/4K3 w - - c9 \"0-1\";",
    };
    std::string text;
    for (int i = 0; i < 20; i++)
        for (const std::string& l : positions) text += l + "\n";
    WriteFile("source.epd", text);
    WriteFile("junk0.epd", text);
    SetTextField(PBlock.epd_file, TOOL_FILE_LEN, "source.epd");
    srand(4321);
    const std::string printed = Captured([] { TuneEvalParams(); });
    const std::vector<PrintedPass> passes = ReadPasses(printed);
    ASSERT_EQ(passes.size(), (size_t)TUNE_PASSES) << printed.substr(0, 2000);

    int differing = 0;
    for (size_t k = 0; k < passes.size(); k++) {
        const PrintedPass& pass = passes[k];
        ASSERT_EQ(pass.names, tuned) << "pass " << k;
        ASSERT_EQ(pass.probes.size(), tuned.size()) << "pass " << k;
        for (size_t j = 0; j < tuned.size(); j++) {
            const ProbeLine& p = pass.probes[j];
            const std::string where = "pass " + std::to_string(k) + ", " + tuned[j];
            const int word = pass.words[j];
            // The probes lie at equal distances on either side of the word.
            const int h = (p.p2 - p.p1) / 2;
            EXPECT_GE(h, 1) << where;
            EXPECT_EQ(p.p1 + p.p2, 2 * word) << where;
            // g from the two printed errors (each rounded to 5 decimals; g
            // itself is printed with three digits).
            const double g = (p.e2 - p.e1) / (2.0 * h);
            EXPECT_NEAR(p.g, g, 1e-5 / (2.0 * h) + 0.006 * std::fabs(p.g) + 1e-12) << where;
            if (std::fabs(p.e2 - p.e1) >= 1e-4) differing++;
            // "lr" is 100 g lr with the pass's rate.
            EXPECT_NEAR(p.glr, 100.0 * p.g * pass.k0, 0.006 + 0.006 * std::fabs(p.glr)) << where;
            // The step goes against g, and only when there is a g.
            if (p.g > 0) {
                EXPECT_LE(p.step, 0.0) << where;
            } else if (p.g < 0) {
                EXPECT_GE(p.step, 0.0) << where;
            } else {
                EXPECT_EQ(p.step, 0.0) << where;
            }
            // The new value is the old one (whose rounded word this pass
            // used) plus the step, and the next pass uses its rounded word.
            EXPECT_NEAR(p.value - p.step, word, 0.5 + 0.1) << where;
            if (k + 1 < passes.size()) {
                EXPECT_NEAR(passes[k + 1].words[j], p.value, 0.5 + 0.05) << where;
            }
        }
    }
    EXPECT_GE(differing, 20) << "the probes must see a gradient in many passes";

    // The last pass left the words as it used them and its sample on disk:
    // the errors at its probe words, computed again, are the printed ones.
    const PrintedPass& last = passes.back();
    for (size_t j = 0; j < tuned.size(); j++) {
        ParamEntry* e = FindParam(tuned[j].c_str());
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(*e->param, last.words[j]) << tuned[j];
    }
    EXPECT_NEAR(Process_EPD_File("junk0.epd", 0), last.err, 0.5e-5 + 1e-9);
    for (size_t j = 0; j < tuned.size(); j++) {
        int16_t* w = FindParam(tuned[j].c_str())->param;
        const ProbeLine& p = last.probes[j];
        *w = (int16_t)p.p1;
        EXPECT_NEAR(Process_EPD_File("junk.epd", 0), p.e1, 0.5e-5 + 1e-9) << tuned[j] << " at " << p.p1;
        *w = (int16_t)p.p2;
        EXPECT_NEAR(Process_EPD_File("junk.epd", 0), p.e2, 0.5e-5 + 1e-9) << tuned[j] << " at " << p.p2;
        *w = (int16_t)last.words[j];
    }
    for (int i = 0; i < nParams; i++) ParamList[i].selected = 0;
    KillThreadPool(128);
    SearchData.threads = 0;
}

// ---- the modes of the built engine ------------------------------------------------

TEST(TunerModes, MakeTuneWritesThePositionsThatPassTheFilters) {
    const std::string dir = MakeTempDir();
    // The hand-made file with a position that cannot be set as its line 5:
    // the lines after it are read all the same.
    Lines lines = FileLines(Data("tune_small.epd"));
    const std::string bad = "4k3/8/8/8/8/8/8/4K2K w - - bm Kd2; ce 0; c6 0; c9 \"1-0\";";
    lines.insert(lines.begin() + 4, bad);
    std::string text;
    for (const std::string& l : lines) text += l + "\n";
    WriteFile(dir + "/with_bad.epd", text);
    EngineChild e = StartEngine({"-mktune", "with_bad.epd"}, dir);
    CloseInput(e);
    EXPECT_EQ(WaitExit(e, 60000), 0);
    EXPECT_EQ(FileLines(dir + "/tune_new.epd"), kKeptLines)
        << "the real search scores the two-queen position above 900 and the others below";
    EXPECT_TRUE(HasLine(e.lines, "Creating file tune_new.epd"));
    EXPECT_TRUE(HasLine(e.lines, "line 5 of with_bad.epd skipped (not a legal position): " + bad));

    // Sixty copies (over 64 KB, over 256 positions) piped in as /dev/stdin,
    // the engine's input: no line of them is taken as a command.
    std::string many;
    Lines kept;
    for (int i = 0; i < 60; i++) {
        many += text;
        kept.insert(kept.end(), kKeptLines.begin(), kKeptLines.end());
    }
    EngineChild p = StartEngine({"-mktune", "/dev/stdin"}, dir);
    Send(p, many);
    CloseInput(p);
    EXPECT_EQ(WaitExit(p, 60000), 0);
    EXPECT_EQ(FileLines(dir + "/tune_new.epd"), kept);

    // A full disk (/dev/full in the place of tune_new.epd) fails the run.
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full to stand for a full disk";
    ASSERT_EQ(remove((dir + "/tune_new.epd").c_str()), 0);
    ASSERT_EQ(symlink("/dev/full", (dir + "/tune_new.epd").c_str()), 0);
    EngineChild f = StartEngine({"-mktune", "with_bad.epd"}, dir);
    CloseInput(f);
    EXPECT_EQ(WaitExit(f, 60000), 1);
    EXPECT_TRUE(HasLine(f.lines, "cannot write tune_new.epd in full"));
}

TEST(TunerModes, OneTuningPassWritesItsLog) {
    const std::string dir = MakeTempDir();
    // Many positions, so that the first error computation reads the "quit"
    // (after 255 positions) and the run ends after its first pass.
    std::string text, small;
    for (const std::string& l : FileLines(Data("tune_small.epd"))) small += l + "\n";
    for (int i = 0; i < 60; i++) text += small;
    WriteFile(dir + "/many.epd", text);
    EngineChild e = StartEngine({"-tune", "many.epd"}, dir);
    Send(e, "quit\n");
    ASSERT_EQ(WaitExit(e, 120000), 0);

    const Lines log = FileLines(dir + "/tune.log");
    ASSERT_GE(log.size(), 41u) << "tune.log has " << log.size() << " lines";
    size_t i = 0;
    EXPECT_EQ(log[i++], "tuning file is many.epd");
    EXPECT_EQ(log[i++], "");
    EXPECT_EQ(log[i++], "pass= 0, k0= 3.000e+03, avg_lr= 0.0, max_lr= 0.0");
    EXPECT_EQ(log[i++], "");
    // The marked parameters in registry order with their built-in words.
    const Lines marked = {"** king_safety = 100", "** p1 = 2",  "** p2 = 4",   "** p3 = 8",   "** p4 = 16",
                          "** p5 = 32",           "** p6 = 64", "** p7 = 128", "** p8 = 256", "** p9 = 512",
                          "** p10 = 12",          "** p11 = 16", "** p12 = 12", "** p13 = 16", "** p14 = 20",
                          "** p15 = 4"};
    for (const std::string& m : marked) EXPECT_EQ(log[i++], m);
    EXPECT_EQ(log[i++], "");
    std::smatch match;
    ASSERT_TRUE(std::regex_match(log[i], match, std::regex(R"(err= (\d\.\d{5}))"))) << log[i];
    const double err = std::stod(match[1]);
    EXPECT_GT(err, 0.0);
    EXPECT_LT(err, 1.0);
    i++;
    EXPECT_EQ(log[i++], "");
    EXPECT_EQ(log[i++], "");
    // Each parameter is probed round(0.03 |x| + 1) away on either side.
    const int probes[][2] = {{96, 104}, {1, 3},   {3, 5},     {7, 9},   {15, 17}, {30, 34},
                             {61, 67},  {123, 133}, {247, 265}, {496, 528}, {11, 13}, {15, 17},
                             {11, 13},  {15, 17}, {18, 22},   {3, 5}};
    const std::regex probe(
        R"(p1=\s*(-?\d+)/\d\.\d{5}, p2=\s*(-?\d+)/\d\.\d{5}, g=\s*-?\d\.\d\de[+-]\d\d, lr=\s*-?\d+\.\d\d, x=\s*-?\d+\.\d, p=\s*-?\d+\.\d)");
    for (const auto& p : probes) {
        ASSERT_LT(i, log.size());
        ASSERT_TRUE(std::regex_match(log[i], match, probe)) << log[i];
        EXPECT_EQ(std::stoi(match[1]), p[0]) << log[i];
        EXPECT_EQ(std::stoi(match[2]), p[1]) << log[i];
        i++;
    }
    ASSERT_LT(i, log.size());
    EXPECT_EQ(log[i++], "") << "a pass ends with an empty line";
    EXPECT_EQ(i, log.size()) << "the quit ends the run after one pass";

    // The pass lines also go to standard output.
    size_t shown = 0;
    for (const std::string& l : e.lines) shown += l == "pass= 0, k0= 3.000e+03, avg_lr= 0.0, max_lr= 0.0";
    EXPECT_EQ(shown, 1u);
    // Line 15 of each copy gives castling rights without the rook: each of
    // the 60 is named once, in the user's file, however often the samples
    // that hold it are read.
    std::vector<std::string> named;
    size_t refusals = 0;
    for (const std::string& l : e.lines) {
        if (Contains(l, "skipped")) named.push_back(l.substr(0, l.find(" skipped")));
        refusals += Contains(l, "Illegal EPD - ");
    }
    ASSERT_EQ(named.size(), 60u);
    for (size_t k = 0; k < named.size(); k++)
        EXPECT_EQ(named[k], "line " + std::to_string(15 + 20 * k) + " of many.epd");
    EXPECT_EQ(refusals, 60u);
    // Both samples are made of whole lines of the file.
    std::set<std::string> source;
    for (const std::string& l : FileLines(Data("tune_small.epd"))) source.insert(l);
    for (const char* sample : {"/junk0.epd", "/junk.epd"}) {
        const Lines lines = FileLines(dir + sample);
        EXPECT_FALSE(lines.empty()) << sample;
        for (const std::string& l : lines) EXPECT_EQ(source.count(l), 1u) << sample << ": " << l;
    }
    EXPECT_GT(FileLines(dir + "/junk0.epd").size(), 420u) << "about half of 1200 lines";
}

TEST(TunerModes, AMissingOrUnreadableTuningFileIsReportedOnceAndFails) {
    const std::string dir = MakeTempDir();
    ASSERT_EQ(mkdir((dir + "/folder.epd").c_str(), 0700), 0);  // a folder cannot be read as a file
    for (const char* mode : {"-tune", "-mktune"}) {
        for (const char* name : {"nowhere.epd", "folder.epd"}) {
            EngineChild e = StartEngine({mode, name}, dir);
            CloseInput(e);
            EXPECT_EQ(WaitExit(e, 30000), 1) << mode << " " << name;
            int said = 0;
            for (const std::string& l : e.lines) said += Contains(l, "cannot open");
            EXPECT_EQ(said, 1) << mode << " " << name;
            const std::string why = name[0] == 'n' ? "No such file or directory" : "not a regular file";
            EXPECT_TRUE(HasLine(e.lines, std::string("cannot open the tuning file ") + name + ": " + why)) << mode;
            EXPECT_FALSE(Exists(dir + "/tune.log")) << "no passes are logged";
            EXPECT_FALSE(Exists(dir + "/junk0.epd"));
            EXPECT_FALSE(Exists(dir + "/junk.epd"));
            EXPECT_FALSE(Exists(dir + "/tune_new.epd"));
        }
    }
}

TEST(TunerModes, AnUnwritableLogEndsTheModeQuietly) {
    const std::string dir = MakeTempDir();
    ASSERT_EQ(mkdir((dir + "/tune.log").c_str(), 0700), 0);  // a folder cannot be opened as a file
    EngineChild e = StartEngine({"-tune", Data("tune_small.epd")}, dir);
    CloseInput(e);
    EXPECT_EQ(WaitExit(e, 30000), 0);
    EXPECT_FALSE(Exists(dir + "/junk0.epd")) << "no sample is drawn";
}
