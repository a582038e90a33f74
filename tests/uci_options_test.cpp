// The option table and setter, the configuration file, and the Elo model.
#include <unistd.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "base/output.h"
#include "search/timecontrol.h"
#include "uci/calibrate.h"
#include "uci/config.h"
#include "uci/options.h"
#include "search/pool.h"
#include "uci_test_util.h"
#include "tests/tablebase_test_util.h"

namespace {

std::string Set(const char* name, const char* value) {
    return Captured([&] { UCI_SetOption(name, value); });
}

std::string TempPath(const std::string& leaf) {
    static std::string dir;
    if (dir.empty()) {
        char templ[] = "/tmp/tesk_opt_XXXXXX";
        dir = mkdtemp(templ);
    }
    return dir + "/" + leaf;
}

std::string LoadConfig(const std::string& path) {
    SetTextField(Personality.ConfigFilePath, SETTING_TEXT_LEN, path.c_str());
    return Captured([] { LoadConfigFile(); });
}

const char* const kUciAnswer =
    "id name Tesk 4.0\n"
    "id author Quillon\n"
    "option name ConfigFilePath type string default \n"
    "option name Hash type spin default 64 min 0 max 16384\n"
    "option name Threads type spin default 1 min 1 max 128\n"
    "option name Clear_Hash type button\n"
    "option name OwnBook type check default false\n"
    "option name OwnBook_File type string default \n"
    "option name OwnBook_Depth type spin default 28 min 0 max 60\n"
    "option name OwnBook_Variety type spin default 25 min 0 max 100\n"
    "option name SyzygyPath type string default \n"
    "option name SyzygyProbeDepth5 type spin default 0 min -5 max 100\n"
    "option name SyzygyProbeDepth6 type spin default 2 min -5 max 100\n"
    "option name Log type check default false\n"
    "option name Ponder type check default true\n"
    "option name MultiPV type spin default 1 min 1 max 255\n"
    "option name MoveOverhead type spin default 50 min 0 max 5000\n"
    "option name UCI_LimitStrength type check default false\n"
    "option name UCI_Elo type spin default 0 min 0 max 2923\n"
    "option name Contempt type spin default 0 min -150 max 150\n"
    "option name Selectivity type spin default 100 min 0 max 200\n"
    "option name Mtl_Pawn type string default 90,110\n"
    "option name Mtl_Knight type string default 380,360\n"
    "option name Mtl_Bishop type string default 390,375\n"
    "option name Mtl_Rook type string default 535,635\n"
    "option name Mtl_Queen type string default 1200,1200\n"
    "option name Mtl_BishopPair type string default 30,50\n"
    "option name PST_Pawn type string default 100,100\n"
    "option name PST_Knight type string default 100,100\n"
    "option name PST_Bishop type string default 100,100\n"
    "option name PST_Rook type string default 100,100\n"
    "option name PST_Queen type string default 100,100\n"
    "option name PST_King type string default 100,100\n"
    "option name Mobility_Knight type string default 100,100\n"
    "option name Mobility_Bishop type string default 100,100\n"
    "option name Mobility_Rook type string default 100,100\n"
    "option name Mobility_Queen type string default 100,100\n"
    "option name Pawn_Structure type string default 100,100\n"
    "option name Passed_Pawns type string default 100,100\n"
    "option name King_Safety type string default 100,100\n"
    "option name Threats type string default 100,100\n"
    "uciok\n";

class OptionsTest : public UciTest {
protected:
    void SetUp() override {
        UciTest::SetUp();
        SearchData.max_elo = EloOfSpeed(1000000.0);
        SearchData.calibration_nps = 1000000.0;
    }
};

}  // namespace

TEST_F(OptionsTest, UciPrintsEveryOptionInOrderWithItsDefaults) {
    EXPECT_EQ(Uci("uci"), kUciAnswer);
}

TEST_F(OptionsTest, IntegerOptionsAreClampedAndReportedOnce) {
    EXPECT_EQ(Set("Hash", "99999"), "info string Hash set to 16384\n");
    EXPECT_EQ(Personality.Hash, 16384);
    EXPECT_EQ(Set("Contempt", "-1000"), "info string Contempt set to -150\n");
    EXPECT_EQ(Set("SyzygyProbeDepth5", "-9"), "info string SyzygyProbeDepth5 set to -5\n");
    EXPECT_EQ(Set("MoveOverhead", "99999999999999999999999"), "info string MoveOverhead set to 5000\n");
    EXPECT_EQ(Set("MultiPV", "lots"), "info string MultiPV set to 1\n");
    EXPECT_EQ(Set("OwnBook_Depth", "12"), "info string OwnBook_Depth set to 12\n");
    EXPECT_EQ(Personality.OwnBook_Depth, 12);
    EXPECT_EQ(Set("hash", "5"), "") << "names are case-sensitive";
    EXPECT_EQ(Set("NoSuchOption", "5"), "");
}

TEST_F(OptionsTest, PairOptionsTakeOneOrTwoNumbers) {
    EXPECT_EQ(Set("Mtl_Knight", "400"), "info string Mtl_Knight set to 400,360\n");
    EXPECT_EQ(Set("Mtl_Knight", "400,2500"), "info string Mtl_Knight set to 400,2000\n");
    EXPECT_EQ(Set("Mtl_Knight", ",300"), "info string Mtl_Knight set to 400,300\n");
    EXPECT_EQ(Set("Mtl_Pawn", "5,5"), "info string Mtl_Pawn set to 20,20\n");
    EXPECT_EQ(Set("King_Safety", "150,250 junk"), "info string King_Safety set to 150,200\n");
    int16_t* w = Words(Personality);
    EXPECT_EQ(w[250], 400);
    EXPECT_EQ(w[251], 300);
    EXPECT_EQ(w[361], 150);
    EXPECT_EQ(w[362], 200);
    // Listed but not settable; not listed but settable.
    EXPECT_EQ(Set("PST_Pawn", "50,50"), "");
    EXPECT_EQ(w[337], 100);
    EXPECT_EQ(Set("Awareness", "120,80"), "info string Awareness set to 120,80\n");
    EXPECT_EQ(w[365], 120);
}

TEST_F(OptionsTest, CheckOptionsAreTrueWhenTheValueHoldsTrue) {
    EXPECT_EQ(Set("Ponder", "True"), "info string Ponder set to 0\n");
    EXPECT_EQ(Personality.Ponder, 0);
    EXPECT_EQ(Set("Ponder", "untrue"), "info string Ponder set to 1\n");
    EXPECT_EQ(Set("OwnBook", "true"), "info string OwnBook set to 1\n");
    EXPECT_EQ(Personality.OwnBook, 1);
}

TEST_F(OptionsTest, StringValuesAreCutToTheirField) {
    std::string path(300, 'p');
    std::string out = Set("OwnBook_File", path.c_str());
    EXPECT_EQ(std::string(Personality.OwnBook_File), std::string(143, 'p'));
    EXPECT_EQ(out, "info string OwnBook_File set to '" + std::string(143, 'p') + "'\n");
    // The field after it is untouched.
    EXPECT_EQ(Personality.SyzygyPath[0], 0);
    out = Set("SyzygyPath", "");
    EXPECT_EQ(out, "info string SyzygyPath set to ''\n");
}

TEST_F(OptionsTest, SyzygyPathRegistersTheTablesAtOnce) {
    REQUIRE_SYZYGY_DATA();
    const std::string dir = SyzygyDir();
    EXPECT_EQ(Set("SyzygyPath", dir.c_str()),
              "info string SyzygyPath set to '" + dir + "'\ninfo string found 23 tablebases\n");
    EXPECT_EQ(TBnum_piece + TBnum_pawn, 23);
    EXPECT_EQ(TB_Probe_WDL(EnginePosition("8/8/8/4k3/8/8/8/R3K3 w - - 0 1"), 70), 4);
    // A second directory list replaces the first at once.
    ScratchDir s;
    CopyTables(s.path, {"KQvK"});
    EXPECT_EQ(Set("SyzygyPath", s.path.c_str()),
              "info string SyzygyPath set to '" + s.path + "'\ninfo string found 1 tablebases\n");
    EXPECT_EQ(TB_Probe_WDL(EnginePosition("8/8/8/4k3/8/8/8/R3K3 w - - 0 1"), 70), -1) << "KRvK is gone";
    EXPECT_EQ(Set("SyzygyPath", "<empty>"), "info string SyzygyPath set to '<empty>'\n");
    EXPECT_EQ(TBnum_piece + TBnum_pawn, 0);
    EXPECT_EQ(TB_LARGEST, 0u);
}

TEST_F(OptionsTest, EloOptionSetsTheTargetSpeed) {
    std::string out = Set("UCI_Elo", "1000");
    EXPECT_TRUE(Contains(out, "info string UCI_Elo set to 1500\n")) << out;
    EXPECT_EQ(Personality.UCI_Elo, 1500);
    EXPECT_NEAR(EloOfSpeed(SearchData.target_nps), 1500.0, 0.5);
    EXPECT_TRUE(Contains(out, "info string target nps = ")) << out;

    Set("UCI_Elo", "2200");
    EXPECT_EQ(Personality.UCI_Elo, 2200);
    EXPECT_NEAR(EloOfSpeed(SearchData.target_nps), 2200.0, 0.5);

    // Within 10 of the top (or above it): full strength.
    Personality.UCI_LimitStrength = 1;
    out = Set("UCI_Elo", "2915");
    EXPECT_EQ(Personality.UCI_LimitStrength, 0);
    EXPECT_EQ(Personality.UCI_Elo, 2923);
    EXPECT_EQ(SearchData.target_nps, 1000000.0);
    EXPECT_TRUE(Contains(out, "info string target nps = 1000000\n")) << out;
}

TEST_F(OptionsTest, EloOptionBeforeTheSpeedIsKnownGivesFullStrength) {
    SearchData.max_elo = 0.0;
    SearchData.calibration_nps = 0.0;
    std::string out = Set("UCI_Elo", "2000");
    EXPECT_EQ(Personality.UCI_Elo, 0);
    EXPECT_EQ(Personality.UCI_LimitStrength, 0);
    EXPECT_EQ(SearchData.target_nps, 1e9) << "no measured speed: no limit";
}

TEST_F(OptionsTest, SwitchingTheLimitBackOnRestoresTheTargetOfTheElo) {
    Set("UCI_Elo", "1800");
    double target = SearchData.target_nps;
    Set("UCI_LimitStrength", "true");
    SearchData.target_nps = 1e9;  // as a search without the limit leaves it
    Set("UCI_LimitStrength", "false");
    Set("UCI_LimitStrength", "true");
    EXPECT_EQ(Personality.UCI_LimitStrength, 1);
    EXPECT_DOUBLE_EQ(SearchData.target_nps, target);
}

TEST_F(OptionsTest, ThreadsAreKeptWithinOneTo128) {
    // Without a pool thread no "go" could be answered with a move: the
    // option's range is the one "uci" announces, 1 to 128.
    Set("Threads", "2");
    EXPECT_EQ(SearchData.threads.load(), 2);
    EXPECT_NE(ThreadData[0], nullptr);
    EXPECT_NE(ThreadData[1], nullptr);
    EXPECT_EQ(Set("Threads", "0"), "info string Threads set to 1\n");
    EXPECT_EQ(SearchData.threads.load(), 1);
    EXPECT_EQ(Personality.Threads, 1);
    EXPECT_NE(ThreadData[0], nullptr);
    EXPECT_EQ(ThreadData[1], nullptr);
    EXPECT_EQ(Set("Threads", "abc"), "info string Threads set to 1\n");
    EXPECT_EQ(Set("Threads", "-7"), "info string Threads set to 1\n");
    EXPECT_EQ(SearchData.threads.load(), 1);
    EXPECT_EQ(Set("Threads", "129"), "info string Threads set to 128\n");
    EXPECT_EQ(SearchData.threads.load(), 128);
    EXPECT_NE(ThreadData[127], nullptr);
    EXPECT_EQ(Set("Threads", "3"), "info string Threads set to 3\n");
    EXPECT_EQ(ThreadData[3], nullptr);
    DefaultPersonality = Personality;
    EXPECT_TRUE(Contains(Uci("uci"), "option name Threads type spin default 3 min 1 max 128\n"));
    // A configuration file goes through the same setter.
    std::string path = TempPath("threads.cfg");
    std::ofstream(path) << "Threads = 0\n";
    LoadConfig(path);
    EXPECT_EQ(SearchData.threads.load(), 1);
    EXPECT_NE(ThreadData[0], nullptr);
    Set("Threads", "0");
    KillThreadPool(SearchData.threads);
    SearchData.threads = 0;
}

TEST_F(OptionsTest, UciListsTheEloInForceAsItsDefault) {
    // After the speed calibration the live Elo is the top of the range
    // (full strength), while the defaults still hold the Elo from before it.
    // An interface that echoes the listed default must not weaken the engine.
    DefaultPersonality.UCI_Elo = 0;
    Personality.UCI_Elo = (int16_t)(int)SearchData.max_elo;
    std::string out = Uci("uci");
    EXPECT_TRUE(Contains(out, "option name UCI_Elo type spin default 2923 min 0 max 2923\n")) << out;
    // Echoing it back keeps full strength.
    Set("UCI_Elo", "2923");
    EXPECT_EQ(Personality.UCI_LimitStrength, 0);
    EXPECT_EQ(SearchData.target_nps, SearchData.calibration_nps);
    Set("UCI_Elo", "2100");
    EXPECT_TRUE(Contains(Uci("uci"), "option name UCI_Elo type spin default 2100 min 0 max 2923\n"));
}

TEST_F(OptionsTest, FailedLogOpenIsReportedNotAnnounced) {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    std::string dir = TempPath("logdir");
    mkdir(dir.c_str(), 0700);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    // A "tesk.log" that cannot be removed: a directory with a file in it.
    mkdir("tesk.log", 0700);
    std::ofstream("tesk.log/keep") << "x";
    FILE* saved = fdlog;
    fdlog = nullptr;
    std::string out = Set("Log", "true");
    fdlog = saved;
    ASSERT_EQ(chdir(cwd), 0);
    EXPECT_EQ(Personality.Log, 0);
    EXPECT_TRUE(Contains(out, "log file in use.\n")) << out;
    EXPECT_TRUE(Contains(out, "info string Log set to 0\n")) << out;
    EXPECT_FALSE(Contains(out, "Log set to 1")) << out;
}

// ---- configuration file ----------------------------------------------------------

TEST_F(OptionsTest, ConfigFileHandlesBlanksCommentsAndWindowsLineEnds) {
    std::string path = TempPath("engine.cfg");
    std::ofstream(path) << "# engine settings\n"
                           "Hash   =   128\r\n"
                           "MultiPV=3\n"
                           "\n"
                           "   \n"
                           "Ponder = false # no pondering = please\n"
                           "SyzygyProbeDepth5 = 7   \n"
                           "Mtl_Knight = 390,370\r\n"
                           "OwnBook_File = books/a b.bin   # blanks inside stay\n"
                           "a=\n"
                           "no equals sign here\n"
                           "# Contempt = 100\n"
                           "UnknownOption = 5\n"
                           "threads = 3\n"
                           "Hash 16\n"
                           "  = 4\n"
                        << "# " << std::string(300, '-') << " Selectivity = 10\n"
                        << "Contempt = 20";  // no line end at all
    const int threads = SearchData.threads;
    std::string out = LoadConfig(path);
    EXPECT_TRUE(Contains(out, "info string loading parameters from " + path + "\n")) << out;
    // Lines that name no option are reported as "setoption" reports them,
    // with the file and the line; blank, comment and short lines are not.
    std::string unknown;
    std::istringstream lines(out);
    for (std::string l; std::getline(lines, l);)
        if (Contains(l, "unknown option") || Contains(l, "names no option")) unknown += l + "\n";
    EXPECT_EQ(unknown,
              "info string unknown option no equals sign here in line 11 of " + path + " (a line is: name = value)\n"
              "info string unknown option UnknownOption in line 13 of " + path + "\n"
              "info string unknown option threads in line 14 of " + path + "\n"
              "info string unknown option Hash 16 in line 15 of " + path + " (a line is: name = value)\n"
              "info string line 16 of " + path + " names no option before its '='\n");
    EXPECT_EQ((int)SearchData.threads, threads) << "names are case-sensitive";
    EXPECT_EQ(Personality.Hash, 128);
    EXPECT_EQ(Personality.MultiPV, 3);
    EXPECT_EQ(Personality.Ponder, 0);
    EXPECT_EQ(Personality.SyzygyProbeDepth5, 7);
    EXPECT_EQ(Words(Personality)[250], 390);
    EXPECT_EQ(Words(Personality)[251], 370);
    EXPECT_STREQ(Personality.OwnBook_File, "books/a b.bin");
    EXPECT_EQ(Personality.Selectivity, 100) << "a long comment line is one comment";
    EXPECT_EQ(Personality.Contempt, 20);
    // The file's values become the defaults that "uci" reports.
    EXPECT_EQ(DefaultPersonality.Hash, 128);
    EXPECT_EQ(Personality.params_changed, 1);
}

TEST_F(OptionsTest, ConfigFileThatCannotBeOpenedIsReported) {
    Personality.Hash = 64;
    std::string out = LoadConfig("/nonexistent/dir/tesk.cfg");
    EXPECT_EQ(out, "info string cannot open configuration file /nonexistent/dir/tesk.cfg: No such file or directory\n");
    EXPECT_EQ(Personality.Hash, 64);
    // A directory cannot be read as a file: refused the same way, saying why.
    out = LoadConfig("/tmp");
    EXPECT_EQ(out, "info string cannot open configuration file /tmp: not a regular file\n");
}

TEST_F(OptionsTest, ConfigFilesThatNameEachOtherAreNotLoadedAgain) {
    std::string a = TempPath("a.cfg"), b = TempPath("b.cfg"), self = TempPath("self.cfg");
    std::ofstream(self) << "Hash = 32\nConfigFilePath = " << self << "\nMultiPV = 4\n";
    std::string out = LoadConfig(self);
    EXPECT_EQ(Personality.Hash, 32);
    EXPECT_EQ(Personality.MultiPV, 4) << "the rest of the file is still read";
    EXPECT_TRUE(Contains(out, "is already being loaded, not loaded again")) << out;

    std::ofstream(a) << "ConfigFilePath = " << b << "\nSelectivity = 50\n";
    std::ofstream(b) << "Contempt = 10\nConfigFilePath = " << a << "\n";
    out = LoadConfig(a);
    EXPECT_EQ(Personality.Contempt, 10);
    EXPECT_EQ(Personality.Selectivity, 50);
    EXPECT_TRUE(Contains(out, "info string configuration file " + a + " is already being loaded")) << out;
}

TEST_F(OptionsTest, ConfigFileEloRulesAfterLoading) {
    std::string path = TempPath("elo.cfg");
    std::ofstream(path) << "UCI_Elo = 2000\n";
    LoadConfig(path);
    EXPECT_EQ(Personality.UCI_Elo, 2000);
    EXPECT_EQ(Personality.UCI_LimitStrength, 1) << "an Elo below the top switches the limit on";

    // Without a measured speed an Elo cannot be set, and the limit stays off.
    SearchData.max_elo = 0.0;
    Personality.UCI_Elo = 0;
    Personality.UCI_LimitStrength = 0;
    LoadConfig(path);
    EXPECT_EQ(Personality.UCI_Elo, 0);
    EXPECT_EQ(Personality.UCI_LimitStrength, 0);
}

// ---- Elo model ---------------------------------------------------------------------

TEST(EloModel, WorkedValues) {
    EXPECT_NEAR(EloOfSpeed(30.0), 1386.55, 0.01);
    EXPECT_NEAR(EloOfSpeed(1000.0), 2048.83, 0.01);
    EXPECT_NEAR(EloOfSpeed(1000000.0), 2923.75, 0.01);
    // At and below the model's floor the speed counts as the floor: no
    // logarithm of 0 and no division by zero.
    EXPECT_EQ(EloOfSpeed(10.0), EloOfSpeed(30.0));
    EXPECT_EQ(EloOfSpeed(0.0), EloOfSpeed(30.0));
    EXPECT_TRUE(std::isfinite(EloOfSpeed(-5.0)));
}

TEST(EloModel, SpeedSearchEndsForEveryTarget) {
    EXPECT_NEAR(SpeedForElo(2048.83), 1000.0, 10.0);
    EXPECT_NEAR(EloOfSpeed(SpeedForElo(2048.83)), 2048.83, 0.5);
    EXPECT_NEAR(EloOfSpeed(SpeedForElo(2500)), 2500.0, 0.5);
    // Below 1500 the target is 1500.
    EXPECT_NEAR(EloOfSpeed(SpeedForElo(200)), 1500.0, 0.5);
    EXPECT_NEAR(EloOfSpeed(SpeedForElo(-1e9)), 1500.0, 0.5);
    // Above the model's range: the top speed, and the search ends.
    EXPECT_NEAR(SpeedForElo(4000), MAX_MODEL_NPS, 1.0);
    EXPECT_NEAR(SpeedForElo(1e12), MAX_MODEL_NPS, 1.0);
}
