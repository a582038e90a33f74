// The command line, the book-move screen of the loop and the speed
// calibration.
#include <cmath>
#include <string>
#include <vector>

#include "board/makemove.h"
#include "search/timecontrol.h"
#include "uci/calibrate.h"
#include "uci/loop.h"
#include "uci/startup.h"
#include "uci_test_util.h"

namespace {

// Parses the words as a command line; returns the mode (0 when refused).
int Parse(std::vector<std::string> words, std::string* out = nullptr) {
    words.insert(words.begin(), "tesk");
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(&w[0]);
    argv.push_back(nullptr);
    int mode = MODE_ENGINE;
    bool ok = true;
    std::string printed = Captured([&] { ok = ParseCommandLine((int)words.size(), argv.data(), &mode); });
    if (out) *out = printed;
    return ok ? mode : 0;
}

}  // namespace

TEST_F(UciTest, SettingSwitchesAreClamped) {
    Parse({"-hash", "20000", "-threads", "0", "-d", "80"});
    EXPECT_EQ(Personality.Hash, 16384);
    EXPECT_EQ(Personality.Threads, 1);
    EXPECT_EQ(SearchData.depth_limit, 66);
    EXPECT_EQ(SearchData.limit_kind, 1);
    EXPECT_EQ(SearchData.move_time, 10000.0);
    Parse({"-hash", "-5", "-threads", "500", "-d", "-2"});
    EXPECT_EQ(Personality.Hash, 0);
    EXPECT_EQ(Personality.Threads, 128);
    EXPECT_EQ(SearchData.depth_limit, 0);
    Parse({"-n", "3000000000", "-t", "2.5"});
    EXPECT_EQ(SearchData.node_limit, 3000000000ull) << "node counts beyond 32 bits";
    EXPECT_EQ(SearchData.move_time, 2.5) << "-t after -n sets the time";
}

TEST_F(UciTest, ModeAndFileSwitches) {
    EXPECT_EQ(Parse({"-c"}), MODE_ENGINE);
    EXPECT_EQ(PBlock.uci, 0);
    EXPECT_EQ(Parse({"-bench", "-mkconfig"}), MODE_MKCONFIG) << "the last mode switch decides";
    EXPECT_EQ(Parse({"-anepd", "suite.epd"}), MODE_ANEPD);
    EXPECT_STREQ(PBlock.epd_file, "suite.epd");
    EXPECT_EQ(Parse({"-scan_pgn3", "games.pgn"}), MODE_SCAN_PGN1 + 2);
    EXPECT_STREQ(PBlock.pgn_file, "games.pgn");
    EXPECT_EQ(Parse({"-scan_pgn1", "first.pgn"}), MODE_SCAN_PGN1);
    EXPECT_EQ(Parse({"-scan_pgn4", "last.pgn"}), MODE_SCAN_PGN4);
    EXPECT_STREQ(PBlock.pgn_file, "last.pgn");
    EXPECT_EQ(Parse({"-pbench"}), MODE_PBENCH);
    EXPECT_EQ(Parse({"-tune", "t.epd"}), MODE_TUNE);
    EXPECT_EQ(Parse({"-unknown", "-mkbook", "g.pgn", "stray"}), MODE_MKBOOK);
}

TEST_F(UciTest, AnArgumentIsComparedWithTheLaterSwitches) {
    EXPECT_EQ(Parse({"-cfg", "-tune4"}), MODE_TUNE4);
    EXPECT_STREQ(Personality.ConfigFilePath, "-tune4");
}

TEST_F(UciTest, TextSwitchesAreCutToTheirField) {
    Parse({"-book", "opening.bin", "-cfg", std::string(300, 'c')});
    EXPECT_STREQ(Personality.OwnBook_File, "opening.bin");
    EXPECT_EQ(Personality.OwnBook, 0) << "-book names the file only";
    EXPECT_EQ(std::string(Personality.ConfigFilePath), std::string(143, 'c'));
}

TEST_F(UciTest, NpsSwitchSetsTheStrengthAndPrintsItsElo) {
    std::string out;
    Parse({"-nps", "1000000"}, &out);
    EXPECT_EQ(out, "Elo= 2923\n");
    EXPECT_EQ(Personality.UCI_Elo, 2923);
    EXPECT_EQ(Personality.UCI_LimitStrength, 1);
    EXPECT_EQ(SearchData.target_nps, 1000000.0);
    // Speeds at or below the model's floor are raised to it.
    Parse({"-nps", "5"}, &out);
    EXPECT_EQ(SearchData.target_nps, 30.0);
    EXPECT_EQ(Personality.UCI_Elo, 1386) << "30 nodes per second are worth 1386.55 Elo";
    // Absurd speeds give the top of the 16-bit word, never a wrapped value.
    Parse({"-nps", "1e300"}, &out);
    EXPECT_EQ(Personality.UCI_Elo, 32767);
    Parse({"-nps", "inf"}, &out);
    EXPECT_EQ(Personality.UCI_Elo, 32767);
}

TEST_F(UciTest, SwitchWithoutItsArgumentIsRefused) {
    std::string out;
    EXPECT_EQ(Parse({"-threads", "2", "-cfg"}, &out), 0);
    EXPECT_EQ(out, "info string switch -cfg needs an argument\n");
    EXPECT_EQ(Parse({"-scan_pgn2"}, &out), 0);
    EXPECT_EQ(out, "info string switch -scan_pgn2 needs an argument\n");
    // A "-scan_pgn" switch that is none of the four scans would start the
    // engine with the file unread.
    for (const char* word : {"-scan_pgn5", "-scan_pgn0", "-scan_pgn", "-scan_pgn12", "-scan_pgn1.pgn"}) {
        EXPECT_EQ(Parse({word, "games.pgn"}, &out), 0) << word;
        EXPECT_EQ(out, std::string("info string switch ") + word +
                           " names no scan mode: use -scan_pgn1 to -scan_pgn4\n");
    }
    // A file name that only holds it is no switch, as an argument or alone.
    PBlock.pgn_file[0] = 0;
    EXPECT_EQ(Parse({"-d", "3", "-anepd", "x-scan_pgn1.epd"}, &out), MODE_ANEPD);
    EXPECT_EQ(out, "");
    EXPECT_STREQ(PBlock.epd_file, "x-scan_pgn1.epd");
    EXPECT_STREQ(PBlock.pgn_file, "") << "nothing is taken for a scan's file";
    EXPECT_EQ(Parse({"x-scan_pgn1.pgn", "-bench"}, &out), MODE_BENCH);
}

// ---- book moves ------------------------------------------------------------------

TEST_F(UciTest, BookMoveThatRepeatsThePositionAThirdTimeIsNotPlayed) {
    Move back = MakeMoveCode(45, 62);  // f6g8
    Uci("position startpos moves g1f3 g8f6 f3g1");
    EXPECT_TRUE(BookMoveIsPlayable(back)) << "one earlier occurrence does not stop it";
    Uci("position startpos moves g1f3 g8f6 f3g1 f6g8 g1f3 g8f6 f3g1");
    EXPECT_FALSE(BookMoveIsPlayable(back));
    EXPECT_EQ(CTD->game_ply, 7) << "the game is left as it was";
    // A move that is not legal in the position is never played.
    EXPECT_FALSE(BookMoveIsPlayable(MakeMoveCode(12, 28)));
}

// ---- calibration -----------------------------------------------------------------

TEST_F(UciTest, CalibrationMeasuresTheSpeedAndSetsTheEloRange) {
    DefaultPersonality.UCI_Elo = 0;
    Personality.UCI_Elo = 1234;
    std::string out = Captured([] { Calibrate(); });
    EXPECT_EQ(out.compare(0, 16, "info string et= "), 0) << out;
    EXPECT_TRUE(Contains(out, ", calibration nps= ")) << out;
    EXPECT_GT(SearchData.calibration_nps, 1000.0);
    // The Elo model: 126 ln(n) + 1183 - 4500 / (n - 10) for n nodes per second.
    const double n = SearchData.calibration_nps;
    EXPECT_NEAR(SearchData.max_elo, 126.0 * std::log(n) + 1183.0 - 4500.0 / (n - 10.0), 1e-9)
        << "the top of the Elo range is the model's Elo of the measured speed " << n;
    EXPECT_EQ(Personality.UCI_Elo, (int)SearchData.max_elo);
    EXPECT_EQ(DefaultPersonality.UCI_Elo, 0) << "the defaults keep their value";
    char fen[128];
    MakeEPD(&CTD->pos, fen);
    EXPECT_STREQ(fen, START_FEN);
}
