// The self-play tuner: the random change of a parameter, the update after a
// cycle, the end of a game, the form of "self.pgn", a "quit" that ends the
// whole run, and one real cycle of the built engine.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "board/makemove.h"
#include "board/tables.h"
#include "driver_test_util.h"
#include "e2e_child.h"
#include "tools/registry.h"
#include "tools/selfplay.h"
#include "uci/input.h"
#include "uci_test_util.h"

namespace {

typedef std::vector<std::string> Lines;

std::string ReadFile(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// The text a game of moves makes in "self.pgn".
std::string GameText(int game, bool changed_white, const char* result, const std::vector<SelfPlayMove>& moves) {
    char name[] = "/tmp/tesk_selfplay_XXXXXX";
    int fd = mkstemp(name);
    FILE* f = fdopen(fd, "w");
    WriteSelfPlayGame(f, game, changed_white, result, moves.data(), (int)moves.size());
    fclose(f);
    std::string text = ReadFile(name);
    remove(name);
    return text;
}

}  // namespace

TEST(SelfPlayRules, AChangeIsAtLeastOneAndAHalfUnlessItsFactorIsZero) {
    EXPECT_EQ(PerturbedWord(5, 200), 5) << "factor exactly 0";
    EXPECT_EQ(PerturbedWord(5, 201), 7) << "+0.005 widened to 1.5: 6.5 rounds to 7";
    EXPECT_EQ(PerturbedWord(5, 399), 7) << "+0.995 widened too";
    EXPECT_EQ(PerturbedWord(5, 199), 4) << "-0.005 widened to -1.5: 3.5 rounds to 4";
    EXPECT_EQ(PerturbedWord(5, 0), 4) << "-1.0 widened to -1.5";
    EXPECT_EQ(PerturbedWord(0, 0), 0) << "a value of 0 never moves";
    EXPECT_EQ(PerturbedWord(0, 399), 0);
}

TEST(SelfPlayRules, ChangesReachTwentyPercentEitherWay) {
    EXPECT_EQ(PerturbedWord(100, 0), 80);
    EXPECT_EQ(PerturbedWord(100, 399), 120);   // 119.9
    EXPECT_EQ(PerturbedWord(100, 250), 105);
    EXPECT_EQ(PerturbedWord(1200, 399), 1439); // 1438.8
    EXPECT_EQ(PerturbedWord(-9, 0), -7);       // -9 + 1.8 = -7.2
    EXPECT_EQ(PerturbedWord(-9, 399), -11);    // -9 - 1.791 = -10.791
    EXPECT_EQ(PerturbedWord(-10, 250), -12) << "-11.5 rounds away from zero";
    EXPECT_EQ(PerturbedWord(10, 250), 12) << "11.5 rounds away from zero";
    EXPECT_EQ(PerturbedWord(30000, 399), 32767) << "a word keeps to 16 bits";
}

TEST(SelfPlayRules, ValuesMoveTowardsTheChangeOfAWinningPlayer) {
    // Three wins of the changed player, one of the base player, two draws: d = 2.
    EXPECT_NEAR(UpdatedValue(380.0, 400, 2), 380.08, 1e-12);
    EXPECT_NEAR(UpdatedValue(380.0, 360, 2), 379.92, 1e-12);
    EXPECT_NEAR(UpdatedValue(380.0, 400, -1), 379.96, 1e-12) << "a losing change is moved away from";
    EXPECT_EQ(UpdatedValue(380.0, 400, 0), 380.0);
    // The change is measured from the rounded value.
    EXPECT_NEAR(UpdatedValue(380.4, 390, 2), 380.44, 1e-12);
    EXPECT_NEAR(UpdatedValue(380.5, 391, 2), 380.54, 1e-12);   // round(380.5) = 381
    EXPECT_NEAR(UpdatedValue(-2.5, -1, 1), -2.496, 1e-12);     // round(-2.5) = -3
}

TEST(SelfPlayRules, ScoresBeyondFiveHundredDecideTheGame) {
    const Move m = 0x0C1C;  // any move
    EXPECT_EQ(JudgeMove(-501, m, 0, false, true, 1), GAME_MOVER_LOSES);
    EXPECT_EQ(JudgeMove(-500, m, 0, false, true, 1), GAME_GOES_ON);
    EXPECT_EQ(JudgeMove(501, m, 0, false, true, 1), GAME_MOVER_WINS);
    EXPECT_EQ(JudgeMove(500, m, 0, false, true, 1), GAME_GOES_ON);
    EXPECT_EQ(JudgeMove(600, m, 100, false, true, 1), GAME_MOVER_WINS) << "the score is judged first";
}

TEST(SelfPlayRules, DrawsByTheFiftyMoveRuleRepetitionOrNoMove) {
    const Move m = 0x0C1C;
    EXPECT_EQ(JudgeMove(0, m, 100, false, true, 1), GAME_DRAWN);
    EXPECT_EQ(JudgeMove(0, m, 99, false, true, 1), GAME_GOES_ON);
    EXPECT_EQ(JudgeMove(0, 0, 10, true, true, 1), GAME_DRAWN) << "the position stood there twice before";
    EXPECT_EQ(JudgeMove(0, 0, 0, false, false, 1), GAME_DRAWN) << "stalemate";
    EXPECT_EQ(JudgeMove(-9999, 0, 0, false, false, 1), GAME_MOVER_LOSES) << "mate";
}

TEST(SelfPlayRules, NoMoveWhereThereIsOneDoesNotEndTheGame) {
    EXPECT_EQ(JudgeMove(0, 0, 0, false, true, 1), GAME_SEARCH_AGAIN);
    EXPECT_EQ(JudgeMove(120, 0, 30, false, true, 50), GAME_SEARCH_AGAIN);
}

TEST(SelfPlayRules, AGameThatFillsItsRecordIsDrawn) {
    const Move m = 0x0C1C;
    EXPECT_EQ(JudgeMove(30, m, 10, false, true, SELFPLAY_RECORD_SIZE - 1), GAME_GOES_ON);
    EXPECT_EQ(JudgeMove(30, m, 10, false, true, SELFPLAY_RECORD_SIZE), GAME_DRAWN);
    EXPECT_EQ(JudgeMove(-700, m, 10, false, true, SELFPLAY_RECORD_SIZE), GAME_MOVER_LOSES);
}

TEST(SelfPlayPgn, GameOfThreeMovesHasTwoMovesALine) {
    const std::vector<SelfPlayMove> moves = {{"e2e4", 35, 12}, {"e7e5", -20, 11}, {"g1f3", 41, 12}};
    EXPECT_EQ(GameText(2, true, "1-0", moves),
              "[Event selfplay]\n"
              "[Game 2]\n"
              "[White \"Player1\"]\n"
              "[Black \"Player2\"]\n"
              "[Result \"1-0\"]\n"
              "e2e4 {0.35/12}   e7e5 {-0.20/11}\n"
              "g1f3 {0.41/12}\n\n");
}

TEST(SelfPlayPgn, EvenGameEndsWithItsLineAndTheBasePlayerMayBeWhite) {
    const std::vector<SelfPlayMove> moves = {{"d2d4", -5, 3}, {"a1a1", 0, 0}};
    EXPECT_EQ(GameText(6, false, "1/2-1/2", moves),
              "[Event selfplay]\n"
              "[Game 6]\n"
              "[White \"Player2\"]\n"
              "[Black \"Player1\"]\n"
              "[Result \"1/2-1/2\"]\n"
              "d2d4 {-0.05/3}   a1a1 {0.00/0}\n"
              "\n\n");
}

// A "quit" during the first game ends the whole run, not only its cycle.
TEST(SelfPlayRun, QuitEndsTheWholeRun) {
    SetUpSearchEngine(1);
    ResetInput();
    memset(ParamList, 0, sizeof ParamList);
    nParams = 0;
    flag = 0;
    PBlock.quit = 0;
    SearchData.depth_limit = 66;
    SearchData.node_limit = 0;
    char old_dir[4096];
    ASSERT_NE(getcwd(old_dir, sizeof old_dir), nullptr);
    const std::string dir = MakeTempDir();
    ASSERT_EQ(chdir(dir.c_str()), 0);
    const char quit[] = "quit\n";
    QueueInputBytes(quit, sizeof quit - 1);

    const double start = GetTime();
    std::string printed = Captured([] { Tune_4(); });
    EXPECT_LT(GetTime() - start, 30.0) << "a run of 300000 games was not cut short";
    ASSERT_EQ(chdir(old_dir), 0);

    EXPECT_EQ(PBlock.quit, 1);
    EXPECT_TRUE(Contains(printed, "Starting match...")) << printed;
    EXPECT_TRUE(Contains(printed, "ngames= 0\n")) << printed;
    EXPECT_FALSE(Contains(printed, "ngames= 6")) << "no second cycle starts";
    EXPECT_EQ(ReadFile(dir + "/self.pgn"), "") << "the game that the quit broke off is not written";
    // The tuner marked its 26 parameters; no game was decided, so no value moved.
    int marked = 0;
    for (int i = 0; i < nParams; i++) {
        marked += ParamList[i].selected;
        EXPECT_EQ(ParamList[i].value, (double)*ParamList[i].param) << ParamList[i].name;
    }
    EXPECT_EQ(marked, 26);
    // Personality holds the base player: the start settings with the tuner's own.
    EXPECT_EQ(Personality.OwnBook_Depth, 6);
    EXPECT_EQ(Personality.OwnBook_Variety, 50);
    EXPECT_EQ(Personality.Hash, 2);
    EXPECT_EQ(memcmp(&Personality, &DefaultPersonality, sizeof Personality), 0);
    EXPECT_EQ(SearchData.move_time, 0.03);
    PBlock.quit = 0;
    ResetInput();
}

namespace {

// One game of "self.pgn": its tags and its moves with their comments.
struct PgnGame {
    int number = 0;
    std::string white, black, result;
    std::vector<std::string> moves;
    std::vector<int> scores;  // centipawns
};

std::vector<PgnGame> ParseSelfPgn(const std::string& text) {
    std::vector<PgnGame> games;
    std::istringstream in(text);
    std::string line;
    const std::regex tag(R"re(\[(\w+) "?([^"\]]*)"?\])re");
    const std::regex move(R"(([a-h][1-8][a-h][1-8]) \{(-?\d+\.\d\d)/(-?\d+)\})");
    std::smatch m;
    while (std::getline(in, line)) {
        if (line == "[Event selfplay]") {
            games.emplace_back();
            continue;
        }
        if (games.empty()) continue;
        PgnGame& g = games.back();
        if (std::regex_match(line, m, tag)) {
            if (m[1] == "Game") g.number = std::stoi(m[2]);
            if (m[1] == "White") g.white = m[2];
            if (m[1] == "Black") g.black = m[2];
            if (m[1] == "Result") g.result = m[2];
            continue;
        }
        for (auto it = std::sregex_iterator(line.begin(), line.end(), move); it != std::sregex_iterator(); ++it) {
            g.moves.push_back((*it)[1]);
            g.scores.push_back((int)std::lround(std::stod((*it)[2]) * 100));
        }
    }
    return games;
}

// The parameter lines printed at the start of a cycle: name -> (value, word).
std::map<std::string, std::pair<double, int>> CycleBlock(const Lines& lines, const std::string& header) {
    std::map<std::string, std::pair<double, int>> block;
    size_t i = 0;
    while (i < lines.size() && lines[i] != header) i++;
    const std::regex param(R"( \* (\w+)\s+: \s*(-?\d+\.\d)\s+(-?\d+))");
    std::smatch m;
    for (i++; i < lines.size() && std::regex_match(lines[i], m, param); i++)
        block[m[1]] = {std::stod(m[2]), std::stoi(m[3])};
    return block;
}

// Whether moves[i..n) can be played in turn from pos. A move is written
// by its squares only, so a promotion may stand for any piece: each is tried.
bool Replays(Position* pos, const std::vector<std::string>& moves, size_t i, size_t n) {
    if (i == n) return true;
    Move legal[MAX_LEGAL_MOVES];
    const int count = GenerateLegalMoves(pos, legal);
    for (int k = 0; k < count; k++) {
        const std::string text = std::string(square_name[MoveFrom(legal[k])]) + square_name[MoveTo(legal[k])];
        if (text != moves[i]) continue;
        MakeMove(pos, legal[k]);
        const bool ok = Replays(pos, moves, i + 1, n);
        UnmakeMove(pos);
        if (ok) return true;
    }
    return false;
}

}  // namespace

TEST(SelfPlayRun, OneCycleOfRealGames) {
    const std::string dir = MakeTempDir();
    EngineChild e = StartEngine({"-d", "1", "-tune4"}, dir);
    ASSERT_NE(WaitFor(e, "ngames= 0", 30000), "");
    ASSERT_NE(WaitFor(e, "ngames= 6", 120000), "") << "the first cycle did not end";
    // Wait until the block of the second cycle is complete, then quit.
    ASSERT_NE(WaitFor(e, " * hung_piece_en", 30000), "");
    Send(e, "quit\n");
    ASSERT_EQ(WaitExit(e, 60000), 0);

    const std::vector<PgnGame> games = ParseSelfPgn(ReadFile(dir + "/self.pgn"));
    ASSERT_GE(games.size(), 6u);
    int wins_changed = 0, wins_base = 0;
    for (int k = 0; k < 6; k++) {
        const PgnGame& g = games[k];
        SCOPED_TRACE("game " + std::to_string(k + 1));
        EXPECT_EQ(g.number, k + 1);
        EXPECT_TRUE((g.white == "Player1" && g.black == "Player2") || (g.white == "Player2" && g.black == "Player1"));
        ASSERT_GE(g.moves.size(), 2u) << "no game ends before its first searched move";

        // Every move is legal from the start position; only a last entry
        // may be no move (a draw by rule, a mate or a stalemate).
        SetGamePosition(START_FEN);
        size_t played = g.moves.size();
        if (g.moves.back() == "a1a1") played--;
        for (size_t i = 0; i + 1 < played; i++) EXPECT_NE(g.moves[i], "a1a1") << "no move only at the end";
        EXPECT_TRUE(Replays(&CTD->pos, g.moves, 0, played)) << "the moves are not a legal game";
        // The result follows from the last entry: its mover won or lost by
        // its score, or the game was drawn.
        const int last = g.scores.back();
        const bool white_moved = (g.moves.size() - 1) % 2 == 0;
        std::string expected = "1/2-1/2";
        if (last > 500) expected = white_moved ? "1-0" : "0-1";
        if (last < -500) expected = white_moved ? "0-1" : "1-0";
        EXPECT_EQ(g.result, expected);
        if (g.result != "1/2-1/2") {
            const bool changed_won = (g.result == "1-0") == (g.white == "Player1");
            (changed_won ? wins_changed : wins_base)++;
        }
    }

    // The values after the first cycle follow the update rule from the
    // printed values, the changed words and the six results.
    const auto before = CycleBlock(e.lines, "ngames= 0");
    const auto after = CycleBlock(e.lines, "ngames= 6");
    ASSERT_EQ(before.size(), 26u);
    ASSERT_EQ(after.size(), 26u);
    const int d = wins_changed - wins_base;
    for (const auto& [name, vw] : before) {
        const double v = vw.first;
        const double expected = v + d * 0.002 * (vw.second - std::lround(v));
        ASSERT_EQ(after.count(name), 1u) << name;
        EXPECT_NEAR(after.at(name).first, expected, 0.051) << name << " with d = " << d;
        // The next changed word lies within 20 % (at least 1.5) of the value.
        const double next = after.at(name).second, now = after.at(name).first;
        EXPECT_LE(std::fabs(next - now), std::max(0.2 * std::fabs(now), 1.5) + 0.6) << name;
    }
    EXPECT_EQ(before.at("knight_value_op").first, 380.0);
    EXPECT_EQ(before.at("pawn_storm").first, -9.0);
}
