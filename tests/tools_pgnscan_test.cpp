// Scanning PGN games into annotated games and EPD records: the scores read
// from comments, the lines of each mode on hand-made games, a real game file
// checked against pgn-extract, and the files a scan must not overwrite.
//
// tests/data/scan_games.pgn (CRLF line ends, a 472-character line, a comment
// before the first move, a variation with comments, NAGs, a nested comment, an
// escape line, a rest-of-line comment, castling with zeros, a game without a
// Result tag, a game from a FEN tag, a game with an illegal move) and the
// expected files beside it: the positions are those pgn-extract computes for
// the same moves; the scores and marks were worked out by hand:
//  - game 1 (1-0) scores every move 10 except "book" on 1.e4 (0), 8.c3 and
//    9.h3 (100) and 11.Nbd2 (150), so that 7...d6 (move 13) is the one bad
//    move: before it white stood at 10, after it at 100, 100 and 150; its
//    refutation 8.c3 is the one test position;
//  - game 2 has no Result tag and no scores: its training lines say
//    "1/2-1/2", not game 1's "1-0";
//  - game 3 starts with black to move in a rook-and-pawn-against-rook ending
//    that black wins: +M8 (9000), -M7 (-9000), "eval -900" after black's move
//    (900 for black), -9.00 (-900);
//  - game 4 ends at its illegal third move "Ke3".
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "board/position.h"
#include "e2e_child.h"
#include "test_util.h"
#include "tools/pgnscan.h"
#include "tools_test_util.h"

namespace {

// Compares two files line by line, naming the first line that differs.
void ExpectSameLines(const std::string& got_path, const std::string& want_path) {
    std::vector<std::string> got = FileLines(got_path), want = FileLines(want_path);
    for (size_t i = 0; i < got.size() && i < want.size(); i++) {
        if (got[i] != want[i]) {
            ADD_FAILURE() << got_path << " line " << i + 1 << ":\n  got:  " << got[i] << "\n  want: " << want[i];
            return;
        }
    }
    EXPECT_EQ(got.size(), want.size()) << got_path << " has a different number of lines than " << want_path;
}

// Runs the engine with the arguments in dir; returns its output lines.
std::vector<std::string> RunTool(const std::vector<std::string>& args, const std::string& dir, int* status) {
    EngineChild e = StartEngine(args, dir);
    *status = WaitExit(e, 60000);
    return e.lines;
}

const char* PgnExtract() {
    if (access("/usr/games/pgn-extract", X_OK) == 0) return "/usr/games/pgn-extract";
    if (access("/usr/bin/pgn-extract", X_OK) == 0) return "/usr/bin/pgn-extract";
    return nullptr;
}

std::string Command(const std::string& cmd) {
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

TEST(CommentScores, EngineCommentsGiveCentipawnsForTheMover) {
    EXPECT_EQ(CommentScore("+0.35/12 0.5s", false), 35);
    EXPECT_EQ(CommentScore("-1.20/15", true), -120) << "the '/' form is already the mover's view";
    EXPECT_EQ(CommentScore(" -M5/20", false), -9000);
    EXPECT_EQ(CommentScore("+M3/9", true), 9000);
    EXPECT_EQ(CommentScore("book", false), 0);
    EXPECT_EQ(CommentScore("out of book +0.50/3", false), 0) << "any comment naming the book";
}

TEST(CommentScores, ScoresAreRoundedNotTruncated) {
    // 0.29 x 100 is 28.999... in binary.
    EXPECT_EQ(CommentScore("+0.29/10", false), 29);
    EXPECT_EQ(CommentScore("-0.29/10", false), -29);
    EXPECT_EQ(CommentScore("+0.57/10", false), 57);
    EXPECT_EQ(CommentScore("+0.004/1", false), 0);
    EXPECT_EQ(CommentScore("+0.006/1", false), 1);
}

TEST(CommentScores, EvalCommentsAreFromWhitesView) {
    EXPECT_EQ(CommentScore("eval 40", false), 40);
    EXPECT_EQ(CommentScore("eval 40", true), -40);
    EXPECT_EQ(CommentScore("eval -15, depth 12", true), 15);
    EXPECT_EQ(CommentScore("eval ", false), SCORE_UNREADABLE);
    EXPECT_EQ(CommentScore("eval ,3", false), SCORE_UNREADABLE);
}

TEST(CommentScores, OtherCommentsAndOutOfRangeNumbers) {
    EXPECT_EQ(CommentScore("a quiet move", false), SCORE_UNREADABLE);
    EXPECT_EQ(CommentScore("abc/12", false), SCORE_UNREADABLE);
    EXPECT_EQ(CommentScore("+999.00/1", false), 29998) << "kept inside the 16-bit score";
    EXPECT_EQ(CommentScore("eval -99999", false), -29998);
    EXPECT_EQ(CommentScore("eval nan", false), SCORE_UNREADABLE);
}

class ProcessGameTest : public BoardTest {
protected:
    // A scan sets the search limits and the output level for its run.
    void SetUp() override {
        BoardTest::SetUp();
        depth_limit = SearchData.depth_limit;
        use_hash = SearchData.use_hash;
        noise = PBlock.noise;
    }
    void TearDown() override {
        SearchData.depth_limit = depth_limit;
        SearchData.use_hash = use_hash;
        PBlock.noise = noise;
    }
    uint8_t depth_limit = 0, use_hash = 0;
    double noise = 0.0;

    // Writes one game in a mode; returns what went to the main file.
    std::string Run(const ScannedGame& g, int mode, int* positions, std::string* extra = nullptr) {
        FILE* out = tmpfile();
        FILE* out_x = tmpfile();
        *positions = ProcessGame(out, mode == SCAN_ANNOTATE ? out_x : nullptr, g, mode);
        std::string text = Contents(out), x = Contents(out_x);
        if (extra) *extra = x;
        fclose(out);
        fclose(out_x);
        return text;
    }
    static std::string Contents(FILE* f) {
        std::string s;
        rewind(f);
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
        return s;
    }
    static ScannedGame Game(const std::vector<std::string>& words, int16_t score = 10) {
        ScannedGame g;
        g.number = 1;
        for (const std::string& w : words) g.moves.push_back({w, score});
        return g;
    }
};

TEST_F(ProcessGameTest, TrainingPositionsNeedMoreThanEightMoves) {
    int n = -1;
    ScannedGame g = Game({"e4", "e5", "Nf3", "Nc6", "Bc4", "Bc5", "c3", "Nf6"});
    EXPECT_EQ(Run(g, SCAN_TRAINING, &n), "");
    EXPECT_EQ(n, 0);
}

TEST_F(ProcessGameTest, TrainingPositionsStartAtPly12WithAFiftyMoveCounterOfAtMost32) {
    // Knights out and back from a start whose counter is 20: ply i has the
    // counter 20 + i, so of plies 12 to 15 (a game of 24 plies is read up to
    // ply 24 - 9) only ply 12, at 32, is written; ply 13 is at 33. Ply 12 is
    // the start position again.
    std::vector<std::string> words;
    for (int i = 0; i < 6; i++)
        for (const char* w : {"Nf3", "Nf6", "Ng1", "Ng8"}) words.push_back(w);
    ScannedGame g = Game(words);
    g.start_fen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 20 11";
    g.moves[18].score = 25;  // six plies after ply 12
    int n = -1;
    EXPECT_EQ(Run(g, SCAN_TRAINING, &n),
              "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - bm Nf3; ce 10; c6 25; c9 \"1/2-1/2\";\n");
    EXPECT_EQ(n, 1);
    // One more on the counter, and no ply qualifies.
    g.start_fen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 21 11";
    EXPECT_EQ(Run(g, SCAN_TRAINING, &n), "");
    EXPECT_EQ(n, 0);
}

TEST_F(ProcessGameTest, ScoredPositionsEndAfterTheFirstDecidedScore) {
    ScannedGame g = Game({"e4", "e5", "Qh5", "Nc6", "Bc4", "Nf6", "Qxf7#"});
    g.moves[1].score = 501;
    int n = -1;
    std::string text = Run(g, SCAN_SCORES, &n);
    EXPECT_EQ(text,
              "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - bm e4; ce 10;\n"
              "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 bm e5; ce 501;\n");
    EXPECT_EQ(n, 2);
    // A score of exactly 500 does not end it.
    g.moves[1].score = 500;
    g.moves[3].score = -500;
    text = Run(g, SCAN_SCORES, &n);
    EXPECT_EQ(n, 7) << text;
}

TEST_F(ProcessGameTest, ScoredPositionsLeaveOutTheSideInCheck) {
    ScannedGame g = Game({"e4", "f5", "Qh5+", "g6", "Qxg6+"});
    int n = -1;
    std::string text = Run(g, SCAN_SCORES, &n);
    EXPECT_EQ(n, 4) << text;
    EXPECT_EQ(text.find("bm g6;"), std::string::npos) << "black was in check before g6";
    EXPECT_NE(text.find("bm Qxg6+;"), std::string::npos) << "a move that gives check is written";
}

TEST_F(ProcessGameTest, AGameStopsAtItsFirstIllegalMove) {
    testing::internal::CaptureStdout();
    int n = -1;
    std::string text = Run(Game({"e4", "e5", "Ke3", "Nc6"}), SCAN_SCORES, &n);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(n, 2) << text;
    EXPECT_NE(out.find("game 1: move 3 \"Ke3\" is not legal"), std::string::npos) << out;
}

// Other programs write "Rf5", not "R6f5", when the other rook that could go
// there is pinned; the scan reads both, and the moves after them.
TEST_F(ProcessGameTest, StandardSanLeavesOutATwinThatIsPinned) {
    struct Case {
        const char* fen;
        std::vector<std::string> words;
        const char* after;  // the position after the first move, worked by hand
    };
    const Case cases[] = {
        // The rook on f4 is pinned by the queen on c7 against the king on h2.
        {"8/2q3rk/p4Rp1/1p5p/5R1P/2p5/2Q3PK/4r3 w - -", {"Rf5", "gxf5"}, "8/2q3rk/p5p1/1p3R1p/5R1P/2p5/2Q3PK/4r3 b - -"},
        {"8/2q3rk/p4Rp1/1p5p/5R1P/2p5/2Q3PK/4r3 w - -", {"R6f5", "gxf5"}, "8/2q3rk/p5p1/1p3R1p/5R1P/2p5/2Q3PK/4r3 b - -"},
        // The rook on e5 is pinned by the bishop on d4 against the king on h8.
        {"7k/7B/6PP/r3r3/Pp1BP1P1/8/8/1R4K1 b - -", {"Rc5", "Bxc5"}, "7k/7B/6PP/2r1r3/Pp1BP1P1/8/8/1R4K1 w - -"},
    };
    for (const Case& c : cases) {
        ScannedGame g = Game(c.words);
        g.start_fen = c.fen;
        int n = -1;
        testing::internal::CaptureStdout();
        const std::string text = Run(g, SCAN_SCORES, &n);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(text, std::string(c.fen) + " bm " + c.words[0] + "; ce 10;\n" + c.after + " bm " + c.words[1] +
                            "; ce 10;\n")
            << c.words[0];
        EXPECT_EQ(n, 2);
        EXPECT_EQ(out, "") << c.words[0];
    }
}

TEST_F(ProcessGameTest, AGameLongerThanTheHistoryStopsAtItsEnd) {
    std::vector<std::string> words;
    for (int i = 0; i < 226; i++)
        for (const char* w : {"Nf3", "Nf6", "Ng1", "Ng8"}) words.push_back(w);
    testing::internal::CaptureStdout();
    int n = -1;
    std::string text = Run(Game(words), SCAN_ANNOTATE, &n);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("game 1 is longer than 900 plies: the rest of the game is passed over"), std::string::npos)
        << out;
    size_t lines = 0;
    for (char c : text) lines += c == '\n';
    EXPECT_EQ(lines, 900u + 1) << "900 moves and the empty line after the game";
}

TEST_F(ProcessGameTest, AnUnplayableFenTagSkipsTheGame) {
    testing::internal::CaptureStdout();
    ScannedGame g = Game({"Kd2"});
    g.start_fen = "8/8/8/8/8/8/8/4K3 w - -";
    int n = -1;
    EXPECT_EQ(Run(g, SCAN_SCORES, &n), "");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(n, 0);
    EXPECT_NE(out.find("game 1 skipped: its FEN tag is not a legal position"), std::string::npos) << out;
}

TEST_F(ProcessGameTest, BadMoveThresholdsFromBothSides) {
    // 26 plies scored 10; a bad move at ply 13 needs the opponent's next
    // scores above p + |p|/10 + 30 (plies 14 and 16) and + 50 (ply 20).
    std::vector<std::string> moves = {"e4", "e5", "Nf3", "Nc6", "Bb5", "a6", "Ba4", "Nf6", "O-O",
                                      "Be7", "Re1", "b5", "Bb3", "d6", "c3", "O-O", "h3", "Nb8",
                                      "d4", "Nbd7", "Nbd2", "Bb7", "Bc2", "Re8", "Nf1", "Bf8"};
    // The opponent's scores after the move at ply `bad` (plies bad + 1,
    // bad + 3 and bad + 7) are raised; the others stay 10.
    auto marks_at = [&](int bad, int s1, int s3, int s7) {
        ScannedGame g = Game(moves);
        g.moves[bad + 1].score = (int16_t)s1;
        g.moves[bad + 3].score = (int16_t)s3;
        g.moves[bad + 7].score = (int16_t)s7;
        int n = -1;
        std::string x;
        std::string text = Run(g, SCAN_ANNOTATE, &n, &x);
        return std::to_string(n) + (text.find(" ? ") != std::string::npos ? "?" : "-");
    };
    auto marks = [&](int s14, int s16, int s20) { return marks_at(13, s14, s16, s20); };
    EXPECT_EQ(marks(42, 42, 62), "1?");  // 42 - 10 = 32 > 31, 62 - 10 = 52 > 51
    EXPECT_EQ(marks(41, 42, 62), "0-");  // 31 is not above 31
    EXPECT_EQ(marks(42, 41, 62), "0-");
    EXPECT_EQ(marks(42, 42, 61), "0-");  // 51 is not above 51
    // Only plies 13 to 15 of these 26 are tested (after ply 12, and more
    // than ten plies before the end).
    EXPECT_EQ(marks_at(12, 42, 42, 62), "0-");
    EXPECT_EQ(marks_at(15, 42, 42, 62), "1?");
    EXPECT_EQ(marks_at(16, 42, 42, 62), "0-");

    // The bad move's own score plays no part; a refutation without a score
    // of its own is not marked and gives no test position.
    ScannedGame g = Game(moves);
    g.moves[13].score = SCORE_NO_COMMENT;
    g.moves[14].score = 100;
    g.moves[16].score = 100;
    g.moves[20].score = 150;
    int n = -1;
    std::string text = Run(g, SCAN_ANNOTATE, &n);
    // (the mark's text is cut at 63 characters)
    EXPECT_NE(text.find("\n      d6      { ? r1bqk2r/2ppbppp/p1n2n2/1p2p3/4P3/1B3N2/PPPP1PPP/RNBQR1K1 b k}\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(n, 1);
    g.moves[14].score = SCORE_UNREADABLE;
    g.moves[13].score = 10;
    text = Run(g, SCAN_ANNOTATE, &n);
    EXPECT_EQ(n, 0) << text;
    EXPECT_NE(text.find("\n  8.  c3      {}\n"), std::string::npos) << text;
}

TEST(ScanPgn, EachModeWritesTheExpectedLinesForTheHandMadeGames) {
    std::string dir = MakeTempDir();
    const std::string games = Data("scan_games.pgn");
    struct Case {
        int mode;
        const char* totals;
    };
    for (Case c : {Case{1, "games= 4, positions= 1"}, Case{2, "games= 4, positions= 8"},
                   Case{3, "games= 4, positions= 30"}, Case{4, "games= 4, positions= 3"}}) {
        SCOPED_TRACE("mode " + std::to_string(c.mode));
        remove((dir + "/tmpX.epd").c_str());
        int status = -1;
        std::vector<std::string> out = RunTool({"-scan_pgn" + std::to_string(c.mode), games}, dir, &status);
        EXPECT_EQ(status, 0);
        EXPECT_TRUE(HasLine(out, c.totals)) << "no line \"" << c.totals << "\"";
        // Mode 2 does not replay a game of three moves.
        EXPECT_EQ(HasLine(out, "game 4: move 3 \"Ke3\" is not legal in its position; the rest of the game is "
                               "passed over"),
                  c.mode != 2);
        if (c.mode == 1) {
            ExpectSameLines(dir + "/tmp.pgn", Data("scan_games.mode1.pgn"));
            ExpectSameLines(dir + "/tmpX.epd", Data("scan_games.mode1x.epd"));
        } else {
            ExpectSameLines(dir + "/tmp.epd", Data("scan_games.mode" + std::to_string(c.mode) + ".epd"));
            EXPECT_FALSE(FileExists((dir + "/tmpX.epd").c_str())) << "only mode 1 opens tmpX.epd";
        }
    }
}

TEST(ScanPgn, AGameWithoutAResultTagDoesNotTakeThePreviousOne) {
    std::vector<std::string> lines = FileLines(Data("scan_games.mode2.epd"));
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[8], "");
    for (int i = 0; i < 6; i++) EXPECT_NE(lines[i].find("c9 \"1-0\";"), std::string::npos) << lines[i];
    for (int i = 6; i < 8; i++) EXPECT_NE(lines[i].find("c9 \"1/2-1/2\";"), std::string::npos) << lines[i];
}

TEST(ScanPgn, AScanRefusesToOverwriteItsOwnInput) {
    std::string dir = MakeTempDir();
    const std::string games = Data("scan_games.pgn");
    std::ifstream src(games, std::ios::binary);
    std::stringstream text;
    text << src.rdbuf();
    for (const char* name : {"tmp.pgn", "tmpX.epd"}) {
        std::ofstream(dir + "/" + name, std::ios::binary) << text.str();
        int status = -1;
        std::vector<std::string> out = RunTool({"-scan_pgn1", name}, dir, &status);
        EXPECT_EQ(status, 1) << "nothing was scanned";
        EXPECT_TRUE(HasLine(out, std::string(name) + " is a file this scan writes: choose another name for the games"))
            << name;
        std::ifstream after(dir + "/" + name, std::ios::binary);
        std::stringstream kept;
        kept << after.rdbuf();
        EXPECT_EQ(kept.str(), text.str()) << name << " was changed";
        remove((dir + "/" + name).c_str());
    }
    // The same file under another spelling of its path.
    std::ofstream(dir + "/tmp.epd", std::ios::binary) << text.str();
    int status = -1;
    std::vector<std::string> out = RunTool({"-scan_pgn3", "./tmp.epd"}, dir, &status);
    EXPECT_TRUE(HasLine(out, "./tmp.epd is a file this scan writes: choose another name for the games"));
    EXPECT_EQ(FileLines(dir + "/tmp.epd").size(), FileLines(games).size());
    // Mode 3 does not write tmp.pgn, so it may read it.
    std::ofstream(dir + "/tmp.pgn", std::ios::binary) << text.str();
    out = RunTool({"-scan_pgn3", "tmp.pgn"}, dir, &status);
    EXPECT_TRUE(HasLine(out, "games= 4, positions= 30"));
    EXPECT_EQ(status, 0);
}

TEST(ScanPgn, GamesFromAPipeGiveTheLinesTheFileGives) {
    // As from "tesk -scan_pgn3 /dev/stdin < games.pgn".
    std::ifstream src(Data("scan_games.pgn"), std::ios::binary);
    std::stringstream text;
    text << src.rdbuf();
    const std::string dir = MakeTempDir();
    EngineChild e = StartEngine({"-scan_pgn3", "/dev/stdin"}, dir);
    Send(e, text.str());
    CloseInput(e);
    EXPECT_EQ(WaitExit(e, 60000), 0);
    EXPECT_TRUE(HasLine(e.lines, "games= 4, positions= 30"));
    ExpectSameLines(dir + "/tmp.epd", Data("scan_games.mode3.epd"));
}

TEST(ScanPgn, AnOutputThatCannotBeWrittenInFullFailsTheScan) {
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full to stand for a full disk";
    const std::string dir = MakeTempDir();
    ASSERT_EQ(symlink("/dev/full", (dir + "/tmp.epd").c_str()), 0);
    int status = -1;
    std::vector<std::string> out = RunTool({"-scan_pgn3", Data("scan_games.pgn")}, dir, &status);
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(HasLine(out, "cannot write tmp.epd in full"));
}

TEST(ScanPgn, AMissingFileOrAMissingModeIsReported) {
    int status = -1;
    std::vector<std::string> out = RunTool({"-scan_pgn2", "nowhere.pgn"}, MakeTempDir(), &status);
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(HasLine(out, "cannot open the game file nowhere.pgn: No such file or directory"));
    // A scan word that names no mode ends the run at once (the input is left
    // open: an engine started instead would wait on it).
    EngineChild e = StartEngine({"-scan_pgn5", Data("scan_games.pgn")}, MakeTempDir());
    EXPECT_EQ(WaitExit(e, 10000), 1);
    EXPECT_TRUE(HasLine(e.lines, "info string switch -scan_pgn5 names no scan mode: use -scan_pgn1 to -scan_pgn4"));
}

// The ECO file of pgn-extract, every move given a score comment, scanned in
// mode 3: the positions and move words must be the ones pgn-extract
// computes, except positions whose side to move is in check.
TEST(ScanPgn, RealGamesGiveThePositionsPgnExtractComputes) {
    const char* tool = PgnExtract();
    const char* eco = "/usr/share/pgn-extract/eco.pgn";
    if (!tool || access(eco, R_OK) != 0)
        GTEST_SKIP() << "pgn-extract (Debian package pgn-extract) is not installed: real games not checked";
    std::string dir = MakeTempDir();
    std::string san = Command(std::string(tool) + " -s -Wsan -w1000 " + eco + " 2>/dev/null");
    std::string epd = Command(std::string(tool) + " -s -Wepd " + eco + " 2>/dev/null");
    ASSERT_FALSE(san.empty());

    // The games' move words, and the file with a score after every move.
    std::vector<std::vector<std::string>> game_moves;
    std::ofstream scored(dir + "/scored.pgn");
    std::istringstream in(san);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] == '[') {
            if (line.compare(0, 7, "[Event ") == 0) game_moves.emplace_back();
            scored << line << "\n";
            continue;
        }
        std::istringstream words(line);
        for (std::string w; words >> w;) {
            scored << w << " ";
            if (isalpha((unsigned char)w[0]) && !game_moves.empty()) {
                game_moves.back().push_back(w);
                scored << "{+0.01/1} ";
            }
        }
        scored << "\n";
    }
    scored.close();

    // pgn-extract's positions, a block per game.
    std::vector<std::vector<std::string>> game_positions(1);
    std::istringstream ein(epd);
    for (std::string line; std::getline(ein, line);) {
        if (line.empty()) {
            if (!game_positions.back().empty()) game_positions.emplace_back();
            continue;
        }
        std::istringstream f(line);
        std::string a, b, c, d;
        f >> a >> b >> c >> d;
        game_positions.back().push_back(a + " " + b + " " + c + " " + d);
    }
    if (game_positions.back().empty()) game_positions.pop_back();
    ASSERT_EQ(game_positions.size(), game_moves.size());

    std::vector<std::string> want;
    for (size_t g = 0; g < game_moves.size(); g++) {
        const auto& moves = game_moves[g];
        ASSERT_EQ(game_positions[g].size(), moves.size() + 1) << "game " << g + 1;
        for (size_t i = 0; i < moves.size() && i <= 200; i++) {
            const bool in_check = i > 0 && (moves[i - 1].back() == '+' || moves[i - 1].back() == '#');
            if (!in_check) want.push_back(game_positions[g][i] + " bm " + moves[i] + "; ce 1;");
        }
    }
    int status = -1;
    std::vector<std::string> out = RunTool({"-scan_pgn3", "scored.pgn"}, dir, &status);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(HasLine(out, "games= " + std::to_string(game_moves.size()) +
                                 ", positions= " + std::to_string(want.size())));
    std::vector<std::string> got = FileLines(dir + "/tmp.epd");
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back(), "") << "the file ends with a line break of its own";
    got.pop_back();
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); i++) ASSERT_EQ(got[i], want[i]) << "line " << i + 1;
}

}  // namespace
