// Scripted console sessions: the built engine started with "-c", commands
// written to its input, and its output lines compared with the expected ones.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_child.h"

namespace {

typedef std::vector<std::string> Lines;

// Everything the session printed after the start-up board, and the exit status.
struct Session {
    Lines lines;
    int status = 0;
};

Session RunConsole(const std::string& script, const std::string& dir = MakeTempDir(),
                   const std::vector<std::string>& args = {"-c"}) {
    EngineChild e = StartEngine(args, dir);
    Send(e, script);
    CloseInput(e);
    Session s;
    s.status = WaitExit(e, 60000);
    EXPECT_EQ(s.status, 0) << "the session did not end cleanly";
    size_t i = 0;
    while (i < e.lines.size() && e.lines[i] != "white") i++;
    for (i += 2; i < e.lines.size(); i++) s.lines.push_back(e.lines[i]);
    return s;
}

// The lines without the rows of board diagrams and without empty lines.
Lines Text(const Lines& lines) {
    Lines out;
    for (const std::string& l : lines)
        if (!l.empty() && l.compare(0, 2, "  ") != 0) out.push_back(l);
    return out;
}

// The text lines that start with prefix.
Lines Starting(const Lines& lines, const std::string& prefix) {
    Lines out;
    for (const std::string& l : lines)
        if (l.compare(0, prefix.size(), prefix) == 0) out.push_back(l);
    return out;
}

std::string Join(const Lines& lines) {
    std::string s;
    for (const std::string& l : lines) s += l + "\n";
    return s;
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

const char* const kStart = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

}  // namespace

TEST(ConsoleSession, TypedMovesInEveryFormTakeBackReplayAndJump) {
    const Session s = RunConsole(
        "e2e4\nmove e5\nNf3\nN8c6\nBb5\ng8f6\nO-O\nNxe4\nNbd2\n"  // d2 holds a pawn: Nbd2 names no move
        "[\nundo\n]\n]\n]\njump 2\njump 99\nnonsense\nquit\n");
    Lines expected = {
        "1. move e2e4", "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3", "black",
        "1. move e5", "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6", "white",
        "2. move Nf3", "rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq -", "black",
        "2. move N8c6", "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -", "white",
        "3. move Bb5", "r1bqkbnr/pppp1ppp/2n5/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R b KQkq -", "black",
        "3. move g8f6", "r1bqkb1r/pppp1ppp/2n2n2/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R w KQkq -", "white",
        "4. move O-O", "r1bqkb1r/pppp1ppp/2n2n2/1B2p3/4P3/5N2/PPPP1PPP/RNBQ1RK1 b kq -", "black",
        "4. move Nxe4", "r1bqkb1r/pppp1ppp/2n5/1B2p3/4n3/5N2/PPPP1PPP/RNBQ1RK1 w kq -", "white",
        "r1bqkb1r/pppp1ppp/2n2n2/1B2p3/4P3/5N2/PPPP1PPP/RNBQ1RK1 b kq -", "black",
        "r1bqkb1r/pppp1ppp/2n2n2/1B2p3/4P3/5N2/PPPP1PPP/RNBQK2R w KQkq -", "white",
        "4. move e1g1", "r1bqkb1r/pppp1ppp/2n2n2/1B2p3/4P3/5N2/PPPP1PPP/RNBQ1RK1 b kq -", "black",
        "4... move f6e4", "r1bqkb1r/pppp1ppp/2n5/1B2p3/4n3/5N2/PPPP1PPP/RNBQ1RK1 w kq -", "white",
        "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6", "white",
        "r1bqkb1r/pppp1ppp/2n5/1B2p3/4n3/5N2/PPPP1PPP/RNBQ1RK1 w kq -", "white",
    };
    EXPECT_EQ(Join(Text(s.lines)), Join(expected));
}

TEST(ConsoleSession, CastlingPromotionsAmbiguityAndRefusedPositions) {
    Session s = RunConsole(
        "fen r3k2r/1P6/8/8/8/8/8/R3K2R w KQkq -\n0-0-0\nundo\no-o\nundo\nO-O\nundo\n"
        "b8=N\nundo\nbxa8q+\nundo\nb7b8r\n"
        "fen 4k3/8/8/8/8/5N2/8/1N2K3 w - -\nNd2\nNbd2\nfen 8/8/8/8/8/8/8/8 w - -\nfen\n"
        // The rook on f4 is pinned: other programs write "Rf5" for f6f5.
        "fen 8/2q3rk/p4Rp1/1p5p/5R1P/2p5/2Q3PK/4r3 w - -\nRf5\n");
    Lines t = Text(s.lines);
    EXPECT_EQ(Starting(t, "1. move"),
              Lines({"1. move 0-0-0", "1. move o-o", "1. move O-O", "1. move b8=N", "1. move bxa8q+",
                     "1. move b7b8r", "1. move Nbd2", "1. move Rf5"}));
    Lines fens;
    for (const std::string& l : t)
        if (l.find('/') != std::string::npos && l.compare(0, 7, "Illegal") != 0) fens.push_back(l);
    EXPECT_EQ(fens, Lines({"r3k2r/1P6/8/8/8/8/8/R3K2R w KQkq -", "r3k2r/1P6/8/8/8/8/8/2KR3R b kq -",
                           "r3k2r/1P6/8/8/8/8/8/R3K2R w KQkq -", "r3k2r/1P6/8/8/8/8/8/R4RK1 b kq -",
                           "r3k2r/1P6/8/8/8/8/8/R3K2R w KQkq -", "r3k2r/1P6/8/8/8/8/8/R4RK1 b kq -",
                           "r3k2r/1P6/8/8/8/8/8/R3K2R w KQkq -", "rN2k2r/8/8/8/8/8/8/R3K2R b KQkq -",
                           "r3k2r/1P6/8/8/8/8/8/R3K2R w KQkq -", "Q3k2r/8/8/8/8/8/8/R3K2R b KQk -",
                           "r3k2r/1P6/8/8/8/8/8/R3K2R w KQkq -", "rR2k2r/8/8/8/8/8/8/R3K2R b KQkq -",
                           "4k3/8/8/8/8/5N2/8/1N2K3 w - -", "4k3/8/8/8/8/5N2/3N4/4K3 b - -",
                           // both refused texts leave the position as it was
                           "4k3/8/8/8/8/5N2/3N4/4K3 b - -", "4k3/8/8/8/8/5N2/3N4/4K3 b - -",
                           "8/2q3rk/p4Rp1/1p5p/5R1P/2p5/2Q3PK/4r3 w - -",
                           "8/2q3rk/p5p1/1p3R1p/5R1P/2p5/2Q3PK/4r3 b - -"}));
    EXPECT_EQ(Starting(t, "ambiguous"), Lines({"ambiguous move"}));
    EXPECT_EQ(Starting(t, "Illegal FEN").size(), 2u);
}

TEST(ConsoleSession, PerftThroughThePickerCountsThePublishedNumbers) {
    Session s = RunConsole(
        "perft 4\n"
        "fen r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -\nperft 3\n"
        "fen 8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -\nperft 5\n"
        "fen r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -\nperft 3\n"
        "fen rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -\nperft 3\n"
        "perft 0\nperft -3\n");
    Lines v = Starting(s.lines, "visited ");
    ASSERT_EQ(v.size(), 7u) << Join(s.lines);
    const char* counts[7] = {"197281", "97862", "674624", "9467", "62379", "1", "1"};
    std::regex speed("visited ([0-9]+) nodes in [0-9]+\\.[0-9]{3} seconds, nps= [0-9]+");
    for (int i = 0; i < 7; i++) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(v[i], m, speed)) << v[i];
        EXPECT_EQ(m[1].str(), counts[i]);
    }
}

TEST(ConsoleSession, ALongPerftEndsAtADotOrQuit) {
    // Depth 6 from the start position has 119060324 leaves; the "." typed
    // behind it ends the count long before, and the next count runs whole.
    Session s = RunConsole("perft 6\n.\nperft 2\n");
    Lines t = Text(s.lines);
    EXPECT_EQ(Starting(t, "perft stopped").size(), 1u) << Join(t);
    Lines v = Starting(t, "visited ");
    ASSERT_EQ(v.size(), 2u) << Join(t);
    std::regex count("visited ([0-9]+) nodes in .*");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(v[0], m, count)) << v[0];
    EXPECT_LT(std::stoll(m[1].str()), 119060324LL) << "the count was not ended";
    ASSERT_TRUE(std::regex_match(v[1], m, count)) << v[1];
    EXPECT_EQ(m[1].str(), "400") << "the \".\" was used up by the count it ended";

    // "quit" ends the count and then the engine.
    EngineChild e = StartEngine({"-c"}, MakeTempDir());
    Send(e, "perft 6\nquit\n");
    EXPECT_EQ(WaitExit(e, 60000), 0);
    bool stopped = false;
    for (const std::string& l : e.lines) stopped |= l.compare(0, 13, "perft stopped") == 0;
    EXPECT_TRUE(stopped) << Join(e.lines);
}

TEST(ConsoleSession, SwapListsTheExchangeValueOfEveryAttackedPiece) {
    Session s = RunConsole(
        "fen 4k3/8/3p4/4p3/3P4/2N5/8/4K3 w - -\nswap\nfen 4k3/4r3/8/8/4B3/8/8/1q2K3 w - -\nswap\n");
    EXPECT_EQ(Starting(s.lines, "sq="), Lines({"sq= d4, swap=  100", "sq= e5, swap=    0", "sq= b1, swap= 1000",
                                               "sq= e1, swap= 9999", "sq= e4, swap=  330"}));
}

TEST(ConsoleSession, SavedGamesLoadBackAndReadAsPgn) {
    std::string dir = MakeTempDir();
    // A game with a capture, a promotion with capture, disambiguation and
    // castling, saved twice and loaded back.
    Session s = RunConsole(
        "d4\nd5\nc4\ne6\nNc3\nNf6\nNf3\nNbd7\ncxd5\nexd5\nBg5\nBe7\ne3\nO-O\n"
        "save\nsave\nload tmp.pgn 2\nfen r3k3/1P6/8/8/8/8/8/2N1K1N1 w - -\nbxa8=R+\nKd7\nNge2\nKe7\nNc3\nsave\n"
        "load tmp.pgn 3\n"
        // A position with its counters (EPD operations after them): they are
        // written with the game.
        "fen 6k1/8/8/8/8/8/6PP/R5K1 b - - 37 52 bm Kf7;\nKf7\nRa7+\nKe6\nh4\nsave\n"
        // The start position, but at move 5: a set-up position all the same.
        "fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 5\ne4\nsave\n",
        dir);
    Lines t = Text(s.lines);
    auto loaded = [&](const std::string& tag) {
        for (size_t i = 0; i + 1 < t.size(); i++)
            if (t[i] == "loading tmp.pgn, tag " + tag) return t[i + 1];
        return std::string("(not loaded)");
    };
    EXPECT_EQ(loaded("2"), "r1bq1rk1/pppnbppp/5n2/3p2B1/3P4/2N1PN2/PP3PPP/R2QKB1R w KQ -");
    EXPECT_EQ(loaded("3"), "R7/4k3/8/8/8/2N5/8/2N1K3 b - -");
    std::string pgn = ReadFile(dir + "/tmp.pgn");
    const std::string game1 =
        "[Event \"Unknown\"]\n\n"
        "d4 d5 c4 e6 Nc3 Nf6 Nf3 Nbd7 cxd5 exd5 Bg5 \nBe7 e3 O-O *\n\n";
    EXPECT_EQ(pgn.substr(0, 2 * game1.size()), game1 + game1);
    EXPECT_NE(pgn.find("[SetUp \"1\"]\n[FEN \"r3k3/1P6/8/8/8/8/8/2N1K1N1 w - - 0 1\"]\n\nbxa8=R+ Kd7 Nge2 Ke7 Nc3 *"),
              std::string::npos)
        << pgn;
    // A FEN tag names the position where the game begins, before its first
    // move, with that position's counters (as the "fen" text gave them).
    EXPECT_NE(pgn.find("[FEN \"6k1/8/8/8/8/8/6PP/R5K1 b - - 37 52\"]\n\nKf7 Ra7+ Ke6 h4 *"), std::string::npos) << pgn;
    EXPECT_NE(pgn.find("[Event \"Unknown\"]\n[SetUp \"1\"]\n"
                       "[FEN \"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 5\"]\n\ne4 *\n\n"),
              std::string::npos)
        << pgn;

    // An independent reader accepts every game.
    if (access("/usr/games/pgn-extract", X_OK) != 0 && access("/usr/bin/pgn-extract", X_OK) != 0) {
        GTEST_SKIP() << "pgn-extract is not installed: the saved games were not checked by another PGN reader";
    }
    std::string cmd = "cd " + dir + " && PATH=$PATH:/usr/games pgn-extract -s -F tmp.pgn 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[512];
    while (fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
    EXPECT_NE(out.find("\"r1bq1rk1/pppnbppp/5n2/3p2B1/3P4/2N1PN2/PP3PPP/R2QKB1R w KQ - 1 8\""), std::string::npos)
        << out;
    EXPECT_NE(out.find("\"R7/4k3/8/8/8/2N5/8/2N1K3 b - - 4 3\""), std::string::npos) << out;
    EXPECT_EQ(out.find("Fail"), std::string::npos) << out;
    // The counters of the position where the game began count on.
    EXPECT_NE(out.find("\"8/R7/4k3/8/7P/8/6P1/6K1 b - h3 0 54\""), std::string::npos) << out;
    EXPECT_NE(out.find("\"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 5\""), std::string::npos) << out;
}

TEST(ConsoleSession, LoadReadsRealWorldPgn) {
    // Final positions as an independent PGN reader computes them.
    std::string file = std::string(TESK_TEST_DATA) + "/console_games.pgn";
    Session s = RunConsole("load " + file + "\nload " + file + " 2\nload " + file + " Castling\n[\n[\n]\n" +
                           "load " + file + " Bxf3\nload " + file + " 7\nload " + file + " 0\nload nowhere.pgn\n");
    Lines t = Text(s.lines);
    Lines expected = {
        "loading " + file + ", tag ", "1n1Rkb1r/p4ppp/4q3/4p1B1/4P3/8/PPP2PPP/2K5 b k -", "black",
        "loading " + file + ", tag 2", "rnb3Q1/ppp1k2p/4p3/2Pp4/8/8/PPP2KPP/RNBQ1BNR b - -", "black",
        "loading " + file + ", tag Castling", "r1q2rk1/pppbppbp/2np1np1/8/8/2NP1NP1/PPPBPPBP/R1Q2RK1 w - -", "white",
        "r2q1rk1/pppbppbp/2np1np1/8/8/2NP1NP1/PPPBPPBP/R1Q2RK1 b - -", "black",
        "r2q1rk1/pppbppbp/2np1np1/8/8/2NP1NP1/PPPBPPBP/R2Q1RK1 w - -", "white",
        "8. move d1c1", "r2q1rk1/pppbppbp/2np1np1/8/8/2NP1NP1/PPPBPPBP/R1Q2RK1 b - -", "black",
        // a text found inside a game reads that game from the line holding it
        "loading " + file + ", tag Bxf3", "can't parse move 'Qxf3'", kStart, "white",
        "loading " + file + ", tag 7", "load: " + file + " has no game 7", kStart, "white",
        // numbers outside 1..1000 choose the first game
        "loading " + file + ", tag 0", "1n1Rkb1r/p4ppp/4q3/4p1B1/4P3/8/PPP2PPP/2K5 b k -", "black",
        "loading nowhere.pgn, tag ", "load: cannot open nowhere.pgn: No such file or directory"};
    EXPECT_EQ(Join(t), Join(expected));
}

TEST(ConsoleSession, LoadReadsTheFenTagHoweverItIsWritten) {
    std::string dir = MakeTempDir();
    WriteFile(dir + "/setup.pgn",
              "[Event \"indented\"]\n  [FEN \"4k3/8/8/8/8/8/8/4K2R w K - 0 1\"]\n\n1. O-O Kd7 *\n\n"
              "[Event \"blanks\"]\n[ FEN  \"4k3/8/8/8/8/8/8/R3K3 w Q - 0 1\" ]\n\n1. O-O-O Ke7 *\n\n"
              "[Event \"one line\"] [SetUp \"1\"] [FEN \"4k3/8/8/8/8/8/8/4K2R b K - 0 1\"]\n\n1... Kd8 2. Rh8+ *\n"
              // Two white kings: the moves, legal from the start position,
              // belong to no position the engine can set.
              "[Event \"refused\"]\n[FEN \"4k3/8/8/8/8/8/8/4KK1R w - - 0 1\"]\n\n1. e4 e5 *\n");
    Session s = RunConsole(
        "load setup.pgn 1\nload setup.pgn 2\nload setup.pgn 3\n[\nload setup.pgn 4\nload setup.pgn refused\n]\n", dir);
    Lines t = Text(s.lines);
    const std::string refused =
        "Illegal FEN - each side needs exactly one king: 4k3/8/8/8/8/8/8/4KK1R w - - 0 1\n"
        "load: the FEN tag of game 4 in setup.pgn is refused; the game is not loaded\n"
        "3k4/8/8/8/8/8/8/4K2R w K -\nwhite\n";
    Lines expected = {"loading setup.pgn, tag 1", "8/3k4/8/8/8/8/8/5RK1 w - -", "white",
                      "loading setup.pgn, tag 2", "8/4k3/8/8/8/8/8/2KR4 w - -", "white",
                      "loading setup.pgn, tag 3", "3k3R/8/8/8/8/8/8/4K3 b - -", "black",
                      "3k4/8/8/8/8/8/8/4K2R w K -", "white"};
    // The refused game leaves the game record as it was: the move taken back
    // before it is replayed afterwards.
    EXPECT_EQ(Join(t), Join(expected) + "loading setup.pgn, tag 4\n" + refused + "loading setup.pgn, tag refused\n" +
                           refused + "1. move h1h8\n3k3R/8/8/8/8/8/8/4K3 b - -\nblack\n");
}

TEST(ConsoleSession, GetTakesAPositionByItsIdFromTestEpd) {
    std::string dir = MakeTempDir();
    WriteFile(dir + "/test.epd",
              "; a comment with id \"a\"\n"
              " 8/8/8/8/8/8/8/K6k w - - id \"a\";\n"
              "4k3/8/8/8/8/8/8/4K2R w K - bm O-O; id \"a\";\n"
              "4k3/8/8/8/8/8/8/R3K3 w Q - id \"b\";\n");
    std::string long_id(3000, 'x');
    Session s = RunConsole("get a\nget b\nget zz\nget " + long_id + "\n", dir);
    Lines t = Text(s.lines);
    EXPECT_EQ(Join(t), Join({"4k3/8/8/8/8/8/8/4K2R w K - bm O-O; id \"a\";", "4k3/8/8/8/8/8/8/4K2R w K -", "white",
                             "4k3/8/8/8/8/8/8/R3K3 w Q - id \"b\";", "4k3/8/8/8/8/8/8/R3K3 w Q -", "white",
                             "4k3/8/8/8/8/8/8/R3K3 w Q -", "white", "4k3/8/8/8/8/8/8/R3K3 w Q -", "white"}));
}

TEST(ConsoleSession, BoardEditorBuildsPositionsAndRefusesUnplayableOnes) {
    Session s = RunConsole(
        "edit\n#\nw Ke1 Rh1 Ra1 Pa2\nb ke8 Qd8 xd8 nb8\n.\n"
        "edit\nw xe1 Ke2 Pi2 Pb2\nb Ph2\nhello\n.\n"  // the king moves: both white rights go
        "edit\n#\nw Ke1\n.\n"                       // no black king
        "edit\nb Kd8 Pa1\n.\n"                      // two black kings and a pawn on the first rank
        "edit\nb pa1\n.\n"
        "bd\n");
    Lines t = Text(s.lines);
    EXPECT_EQ(Starting(t, ".  "), Lines({".                    end edit", ".                    end edit",
                                         ".                    end edit", ".                    end edit",
                                         ".                    end edit"}));
    Lines fens;
    for (const std::string& l : t)
        if (l.find('/') != std::string::npos) fens.push_back(l);
    const std::string kept = "1n2k3/8/8/8/8/8/P3K2p/R6R b - -";
    EXPECT_EQ(fens, Lines({"1n2k3/8/8/8/8/8/P7/R3K2R b KQ -", kept, kept, kept, kept, kept}));
    EXPECT_EQ(Starting(t, "edit:"),
              Lines({"edit: bad square in 'Pi2'; the rest of the line is ignored",
                     "edit: a line starts with w (white), b (black), # (clear) or . (end)",
                     "edit: black has no king; the previous position is kept",
                     "edit: black has more than one king; the previous position is kept",
                     "edit: a pawn stands on the first or last rank; the previous position is kept"}));
    // Each editor session starts with two empty lines and the help.
    size_t help = 0;
    for (size_t i = 2; i < s.lines.size(); i++)
        if (s.lines[i] == ".                    end edit" && s.lines[i - 1].empty() && s.lines[i - 2].empty()) help++;
    EXPECT_EQ(help, 5u);
}

TEST(ConsoleSession, SettingsTuneBookAndParameterListings) {
    Session s = RunConsole(
        "set level 40 5:00 0\nset level 0 120 2\nset ponder 0\nset NMP_depth 500\nset FP_depth -4\n"
        "set ss 0\nset ss 1\nset target_nps 250000\nset MultiPV 4\nset nothing 1\n"
        "tune pawn_value_op\nbook\nlmr\nsp\n");
    Lines t = Text(s.lines);
    Lines expected = {"set level to 40 moves in 300.00 seconds, inc 0.00",
                      "set level to 0 moves in 120.00 seconds, inc 2.00",
                      "ponder set to 0",
                      "NMP_depth is kept within 0..99",
                      "NMP_depth set to 99",
                      "FP_depth is kept within 0..11",
                      "FP_depth set to 0",
                      "selectivity set to OFF",
                      "set default personality",
                      "target_nps set to 250000",
                      // Without a tuning file there is no sample to sweep over.
                      "tune file= tune.epd",
                      "tuning pawn_value_op",
                      "cannot open tune.epd: No such file or directory",
                      // No book named by OwnBook_File.
                      "book: no book (OwnBook_File is not set)",
                      "BP_margin= 15",
                      "FP_depth= 3, margins= 175 300 425"};
    ASSERT_GE(t.size(), expected.size());
    EXPECT_EQ(Join(Lines(t.begin(), t.begin() + (long)expected.size())), Join(expected));
    EXPECT_EQ(Starting(t, "piece values=").size(), 1u);
    EXPECT_EQ(Starting(t, "Defended Pawn").size(), 2u);
}

TEST(ConsoleSession, AfterATuneSweepTheGameAndTheSearchAreAsBefore) {
    // The sweep sets every tuning position in turn and searches them silently
    // to quiescence: afterwards the game, with its line to replay, and the
    // console's depth and output are back.
    std::string dir = MakeTempDir();
    WriteFile(dir + "/tune.epd", ReadFile(std::string(TESK_TEST_DATA) + "/tune_small.epd"));
    EngineChild e = StartEngine({"-c"}, dir);
    Send(e, "set depth 3\nfen 6k1/5ppp/8/8/8/8/8/R5K1 w - -\nRb1\n[\ntune pawn_value_op tune.epd 100\n]\n[\nmv\n");
    ASSERT_EQ(WaitFor(e, "done!"), "done!");
    Lines after;
    std::string report = WaitFor(e, "move= ", 20000, &after);
    after = Text(after);
    ASSERT_GE(after.size(), 4u) << Join(after);
    EXPECT_EQ(after[0], "1. move a1b1") << "the move taken back before the sweep is replayed";
    EXPECT_EQ(after[1], "6k1/5ppp/8/8/8/8/8/1R4K1 b - -");
    EXPECT_EQ(after[3], "6k1/5ppp/8/8/8/8/8/R5K1 w - -");
    // "mv" searches the game position and shows its lines again: the
    // back-rank mate a1a8 (mate with the first move: 10000 - 2).
    EXPECT_EQ(report.compare(0, 11, "move= a1a8,"), 0) << report;
    EXPECT_NE(report.find("score= 9998,"), std::string::npos) << report;
    EXPECT_EQ(Starting(after, "00] 01.   0.0       0K  9998  a1a8").size(), 1u) << Join(after);
    // From the start position the search runs to the depth set before the
    // sweep, 3, and no further.
    Send(e, "new\nmv\n");
    after.clear();
    report = WaitFor(e, "move= ", 20000, &after);
    EXPECT_TRUE(std::regex_match(report, std::regex("move= [a-h][1-8][a-h][1-8], .*"))) << report;
    EXPECT_FALSE(Starting(after, "00] 03.").empty()) << Join(after);
    EXPECT_TRUE(Starting(after, "00] 04").empty()) << Join(after);
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
}

TEST(ConsoleSession, ATuneTypedDuringASweepIsRefusedAndTheGameIsKept) {
    // 600 positions: the sweep's error computations read the input at their
    // 255th position, where the second "tune" waits.
    std::string dir = MakeTempDir(), text;
    for (int i = 0; i < 300; i++)
        text += "4k3/8/8/8/8/8/8/4K2R w K - bm Rh8; ce 0; c6 0; c9 \"1-0\";\n"
                "4k3/8/8/8/8/8/8/R3K3 b Q - bm Kd7; ce 0; c6 0; c9 \"1/2\";\n";
    WriteFile(dir + "/many.epd", text);
    EngineChild e = StartEngine({"-c"}, dir);
    Send(e, "e4\ntune p1 many.epd 100\ntune p2 many.epd 100\n");
    Lines during;
    ASSERT_EQ(WaitFor(e, "done!", 60000, &during), "done!");
    EXPECT_EQ(Starting(during, "tune p2: refused, a sweep is running").size(), 1u) << Join(Text(during));
    EXPECT_TRUE(Starting(during, "tuning p2").empty()) << "the second sweep ran inside the first";
    const size_t shown = e.lines.size();
    Send(e, "bd\nquit\n");
    EXPECT_EQ(WaitExit(e), 0);
    Lines board;
    for (size_t i = shown; i < e.lines.size(); i++)
        if (e.lines[i].find('/') != std::string::npos) board.push_back(e.lines[i]);
    EXPECT_EQ(board, Lines{"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3"}) << "the game after 1. e4";
}

TEST(ConsoleSession, TheBookCommandListsTheBookMovesAndPicksOne) {
    // A book of two moves for the start position (its published key), 3:1,
    // and a third of weight 0, which is never offered.
    std::string dir = MakeTempDir();
    auto entry = [](int from, int to, int weight) {
        std::string s = "\x46\x3b\x96\x18\x16\x91\xfc\x9c";
        const int move = from << 6 | to;
        s += (char)(move >> 8), s += (char)(move & 0xFF), s += (char)(weight >> 8), s += (char)(weight & 0xFF);
        return s + std::string(4, '\0');
    };
    std::ofstream(dir + "/two.bin", std::ios::binary) << entry(12, 28, 3) << entry(11, 27, 1) << entry(6, 21, 0);
    Session s = RunConsole("book\ne2e4\nbook\nnew\nmv\n", dir, {"-c", "-book", "two.bin", "-d", "2"});
    Lines listed;
    for (const std::string& l : s.lines)
        if (l.find("cnt=") != std::string::npos || l.compare(0, 9, "selecting") == 0) listed.push_back(l);
    ASSERT_EQ(listed.size(), 3u) << "g1f3 of weight 0 is not listed:\n" << Join(s.lines);
    EXPECT_EQ(listed[0], "  e2e4  cnt=     3, weight= 75.00% -> 75.00%");
    EXPECT_EQ(listed[1], "  d2d4  cnt=     1, weight= 25.00% -> 25.00%");
    EXPECT_TRUE(listed[2] == "selecting e2e4" || listed[2] == "selecting d2d4") << listed[2];
    // "book" plays no move itself: the typed e2e4 is the first move; after it
    // the book has nothing, and nothing is listed.
    Lines t = Text(s.lines);
    EXPECT_EQ(Starting(t, "1. move ").size(), 1u);
    EXPECT_TRUE(Starting(t, "book:").empty()) << Join(t);
    // With OwnBook off (the default) "mv" searches.
    EXPECT_TRUE(Starting(t, " book move is").empty());
    EXPECT_EQ(Starting(t, "move= ").size(), 1u);

    // OwnBook switched on by the configuration file: "mv" takes the book move,
    // its line starting with a blank (no "info string" in the console).
    std::ofstream(dir + "/book.cfg") << "OwnBook = true\nOwnBook_File = two.bin\n";
    s = RunConsole("mv\n", dir, {"-c", "-cfg", "book.cfg", "-d", "2"});
    t = Text(s.lines);
    Lines picked = Starting(t, " book move is ");
    ASSERT_EQ(picked.size(), 1u) << Join(t);
    EXPECT_TRUE(picked[0] == " book move is e2e4" || picked[0] == " book move is d2d4") << picked[0];
    Lines report = Starting(t, "move= ");
    ASSERT_EQ(report.size(), 1u);
    EXPECT_EQ(report[0].compare(0, 11, "move= " + picked[0].substr(14) + ","), 0) << report[0];

    // A book file that is not there: "book" says so (no book named at all:
    // SettingsTuneBookAndParameterListings).
    s = RunConsole("book\n", dir, {"-c", "-book", "gone.bin"});
    EXPECT_EQ(Join(Text(s.lines)), "book: no book: cannot open gone.bin: No such file or directory\n");
}

TEST(ConsoleSession, SearchesAreReportedAndThePvComesFromTheTable) {
    EngineChild e = StartEngine({"-c"}, MakeTempDir());
    Send(e, "fen 6k1/5ppp/8/8/8/8/8/R5K1 w - -\nan 4\n");
    std::string move = WaitFor(e, "move= ");
    EXPECT_EQ(move.compare(0, 11, "move= a1a8,"), 0) << move;
    EXPECT_EQ(WaitFor(e, "Hash fill= ").compare(0, 11, "Hash fill= "), 0);
    Send(e, "pv\n");
    EXPECT_EQ(WaitFor(e, "PV: "), "PV: Ra8+ ");
    EXPECT_EQ(WaitFor(e, "R5k1/"), "R5k1/5ppp/8/8/8/8/8/6K1 b - -") << "the board at the end of the variation";
    Send(e, "bd\n");
    EXPECT_EQ(WaitFor(e, "6k1/"), "6k1/5ppp/8/8/8/8/8/R5K1 w - -") << "the game position is unchanged";
    // "mv" searches under the current limits; "." ends a search at once.
    Send(e, "set depth 3\nnew\nmv\n");
    std::string reply = WaitFor(e, "move= ");
    EXPECT_TRUE(std::regex_match(reply, std::regex("move= [a-h][1-8][a-h][1-8], time= .*"))) << reply;
    Send(e, "an\n");
    usleep(300000);
    Send(e, ".\n");
    EXPECT_EQ(WaitFor(e, "move= ").compare(0, 6, "move= "), 0);
    // A move typed during an analysis ends it: the report comes first.
    Send(e, "an\n");
    usleep(300000);
    Send(e, "zzz\ne4\n");
    std::vector<std::string> seen;
    EXPECT_EQ(WaitFor(e, "1. move", 20000, &seen), "1. move e4");
    EXPECT_EQ(Starting(seen, "move= ").size(), 1u);
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
}

TEST(ConsoleSession, AnalysesWithSeveralThreads) {
    EngineChild e = StartEngine({"-c", "-threads", "4"}, MakeTempDir());
    // With the debug switch on the root's evaluation is traced; a new analysis
    // first ends the running one, which is reported, then runs to its own depth.
    Send(e, "set debug 1\nan\n");
    usleep(300000);
    Send(e, "an 3\n");
    Lines first, second;
    ASSERT_EQ(WaitFor(e, "move= ", 20000, &first).compare(0, 6, "move= "), 0) << Join(first);
    ASSERT_EQ(WaitFor(e, "move= ", 20000, &second).compare(0, 6, "move= "), 0) << Join(second);
    // Each analysis traces its root evaluation once, before its report: the
    // king lines of the start position (both kings behind three pawns of the
    // second rank: shield 2 x 54 x 4 / 16 - 64 = -37, no attack yet).
    for (const Lines* seen : {&first, &second}) {
        EXPECT_EQ(Starting(*seen, "sq=e1, KD= -37").size(), 1u) << "white king not traced once:\n" << Join(*seen);
        EXPECT_EQ(Starting(*seen, "sq=e8, KD= -37").size(), 1u) << "black king not traced once:\n" << Join(*seen);
    }
    // The second report is the new analysis's, which ran to its own depth 3.
    Lines lines = Starting(second, "00] ");
    ASSERT_FALSE(lines.empty()) << Join(second);
    EXPECT_EQ(lines.back().compare(0, 7, "00] 03."), 0) << "the new analysis ends at depth 3:\n" << Join(second);
    EXPECT_TRUE(Starting(second, "00] 04").empty()) << Join(second);
    // Switched to UCI during an analysis, which "stop" then ends.
    Send(e, "set debug 0\nan\n");
    usleep(300000);
    Send(e, "uci\nstop\n");
    EXPECT_EQ(WaitFor(e, "bestmove").compare(0, 9, "bestmove "), 0);
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
}

TEST(ConsoleSession, AtTheEndOfInputASearchRunsToItsOwnLimits) {
    // With a depth the analysis runs to it.
    Session s = RunConsole("an 4\n");
    Lines t = Text(s.lines);
    ASSERT_EQ(Starting(t, "move= ").size(), 1u);
    EXPECT_FALSE(Starting(t, "00] 04").empty()) << Join(t);
    EXPECT_TRUE(Starting(t, "00] 05").empty()) << Join(t);
    // "mv" after an analysis searches under its limits: only "." ends it.
    s = RunConsole("an\n.\nmv\n");
    EXPECT_EQ(Starting(Text(s.lines), "move= ").size(), 2u) << Join(s.lines);
}

TEST(ConsoleSession, AMoveTypedDuringSelfPlayIsCheckedAgainstThePositionOfTheMoment) {
    EngineChild e = StartEngine({"-c"}, MakeTempDir());
    // Each search lasts a second: the typed move arrives while white's first
    // search runs, and the engine's own move for white is made first.
    Send(e, "set level 1 1 0\nself\n");
    WaitFor(e, "Ply= 0");
    usleep(200000);
    Send(e, "e4\n");
    std::vector<std::string> seen;
    EXPECT_EQ(WaitFor(e, "move e4", 20000, &seen), "move e4 does not fit the position after the engine's move");
    EXPECT_EQ(Starting(seen, "move= ").size(), 1u) << "white's search was reported before the typed move";
    Send(e, "quit\n");
    EXPECT_EQ(WaitExit(e), 0);
    EXPECT_TRUE(Starting(e.lines, "1. move").empty());
}

TEST(ConsoleSession, OverlongInputIsHandledWithoutHarm) {
    std::string dir = MakeTempDir();
    // A PGN game whose comment and move text run over very long lines.
    std::string pgn = "[Event \"Long\"]\n\n1. e4 {" + std::string(200000, 'c') + "\n" + std::string(5000, '[') +
                      "} e5 ; " + std::string(100000, ';') + "\n2. Nf3 (2. f4 exf4 {" + std::string(3000, 'v') +
                      "} (2... d5)) Nc6 " + std::string(70000, ' ') + "3. " + std::string(500, 'N') + " *\n";
    WriteFile(dir + "/long.pgn", pgn);
    std::string word(3000, 'q');
    Session s = RunConsole(word + "\nmove " + word + "\nset " + word + " 1\nload long.pgn\nload " + word + " " +
                               word + "\nfen " + word + "\n",
                           dir);
    Lines t = Text(s.lines);
    std::string cut(32, 'N');
    EXPECT_EQ(Starting(t, "can't parse"), Lines({"can't parse move '" + cut + "'"}));
    // The game up to the move that cannot be read; the refused "fen" keeps it.
    const std::string reached = "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -";
    EXPECT_EQ(Starting(t, "r1bqkbnr/"), Lines({reached, reached}));
    Lines loading = Starting(t, "loading ");
    ASSERT_EQ(loading.size(), 2u);
    EXPECT_EQ(loading[1], "loading " + std::string(127, 'q') + ", tag " + std::string(127, 'q'));
}

TEST(ConsoleSession, AnAnalysisWithoutDepthEndsAtTheEndOfInput) {
    // Only "." could end it; once the input has ended none can come, so the
    // analysis is reported and the session ends.
    Session s = RunConsole("new\ngo\n");
    EXPECT_EQ(Starting(Text(s.lines), "move= ").size(), 1u) << Join(s.lines);
}
