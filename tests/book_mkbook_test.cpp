// Book creation from PGN games: which moves are counted (plies, comments,
// variations, results), which enter the book (thresholds, weight cap), the
// file written (16-byte big-endian entries, sorted), and a book made by
// Polyglot from the same games.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "board/makemove.h"
#include "board/pgn.h"
#include "book/mkbook.h"
#include "book/polyglot.h"
#include "scratch_dir.h"
#include "test_util.h"

namespace {

// An entry as read back from the file, decoded here from its 16 bytes.
struct Written {
    uint64_t key;
    uint16_t move;
    uint16_t weight;
    uint32_t learn;
    bool operator==(const Written& o) const {
        return key == o.key && move == o.move && weight == o.weight && learn == o.learn;
    }
};

std::ostream& operator<<(std::ostream& os, const Written& w) {
    char text[80];
    snprintf(text, sizeof text, "{%016llx %04x w=%u l=%u}", (unsigned long long)w.key, w.move, w.weight, w.learn);
    return os << text;
}

std::vector<Written> ReadBookFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::string s((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    EXPECT_EQ(s.size() % 16, 0u) << path << " is not made of 16-byte entries";
    std::vector<Written> v;
    for (size_t i = 0; i + 16 <= s.size(); i += 16) {
        const unsigned char* b = (const unsigned char*)s.data() + i;
        uint64_t k = 0;
        for (int j = 0; j < 8; j++) k = k << 8 | b[j];
        v.push_back({k, (uint16_t)(b[8] << 8 | b[9]), (uint16_t)(b[10] << 8 | b[11]),
                     (uint32_t)b[12] << 24 | (uint32_t)b[13] << 16 | (uint32_t)b[14] << 8 | b[15]});
    }
    return v;
}

// Book moves by hand: from << 6 | to, a1 = 0.
constexpr uint16_t Code(int from, int to) { return (uint16_t)(from << 6 | to); }
const uint16_t E2E4 = Code(12, 28), D2D4 = Code(11, 27), G1F3 = Code(6, 21), G2G3 = Code(14, 22),
               B1C3 = Code(1, 18), E7E5 = Code(52, 36);
const uint64_t kStartKey = 0x463b96181691fc9cULL;
const uint64_t kAfterE4Key = 0x823c9b50fd114196ULL;

// One game with its result tag and the result at the end of the move text.
std::string Game(const std::string& result, const std::string& moves) {
    return "[Event \"?\"]\n[Site \"?\"]\n[Result \"" + result + "\"]\n\n" + moves + " " + result + "\n\n";
}
std::string Games(int n, const std::string& result, const std::string& moves) {
    std::string s;
    for (int i = 0; i < n; i++) s += Game(result, moves);
    return s;
}

// Knights out and back: Nf3 Nf6 Ng1 Ng8, again and again, with move numbers;
// a line ends after the plies listed in breaks. Plies from `first` on.
std::string KnightShuffle(int plies, const std::set<int>& breaks = {}, int first = 1) {
    static const char* const cycle[4] = {"Nf3", "Nf6", "Ng1", "Ng8"};
    std::string s;
    for (int p = first; p <= plies; p++) {
        if (p % 2 == 1) s += std::to_string(p / 2 + 1) + ". ";
        s += cycle[(p - 1) % 4];
        s += breaks.count(p) ? "\n" : " ";
    }
    return s;
}

class MakeBook : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        ASSERT_TRUE(scratch.entered) << "no scratch folder";
        saved_pgn = PBlock;
    }
    void TearDown() override { PBlock = saved_pgn; }
    // Runs the book creation on the PGN text; the entries written.
    std::vector<Written> Make(const std::string& pgn, std::string* printed = nullptr) {
        std::ofstream("games.pgn", std::ios::binary) << pgn;
        SetTextField(PBlock.pgn_file, TOOL_FILE_LEN, "games.pgn");
        testing::internal::CaptureStdout();
        EXPECT_TRUE(PG_CreateBook());
        std::string out = testing::internal::GetCapturedStdout();
        if (printed) *printed = out;
        EXPECT_NE(access("tmp_book.bin.part", F_OK), 0) << "the temporary file was left behind";
        return ReadBookFile("tmp_book.bin");
    }
    // The entries of one key.
    static std::vector<Written> Of(const std::vector<Written>& v, uint64_t key) {
        std::vector<Written> out;
        for (const Written& w : v)
            if (w.key == key) out.push_back(w);
        return out;
    }
    InScratchDir scratch{"mkbook"};
    ControlBlock saved_pgn;
};

}  // namespace

// ---- which moves enter ---------------------------------------------------------------

TEST_F(MakeBook, ScoresAndThresholdsDecideWhichMovesEnter) {
    // First moves only; score = draws + 2 * (2 * wins - losses), and a move
    // enters with more than 2 wins and a score above 9.
    std::string pgn = Games(3, "1-0", "1. e4") +                                   // 12: in
                      Games(2, "1-0", "1. d4") +                                   // 8, two wins: out
                      Games(3, "0-1", "1. c4") +                                   // -6: out
                      Games(3, "1-0", "1. Nf3") + Game("0-1", "1. Nf3") +          // 10: in
                      Games(3, "1-0", "1. Nc3") + Games(2, "0-1", "1. Nc3") +      // 9: out
                      Game("1/2-1/2", "1. Nc3") + Games(3, "1-0", "1. g3") +       //
                      Games(2, "0-1", "1. g3") + Games(2, "1/2-1/2", "1. g3") +    // 10: in
                      Games(2, "1-0", "1. b3") + Games(10, "1/2-1/2", "1. b3") +   // 18, two wins: out
                      Games(3, "1-0", "1. f4") + Games(7, "0-1", "1. f4");         // -2: out, never wrapped
    std::string printed;
    std::vector<Written> book = Make(pgn, &printed);
    // Heaviest first; Nf3 and g3 weigh the same and keep the order in which they came.
    std::vector<Written> expected = {{kStartKey, E2E4, 12, 0}, {kStartKey, G1F3, 10, 0}, {kStartKey, G2G3, 10, 0}};
    EXPECT_EQ(book, expected);
    EXPECT_NE(printed.find(" Creating file tmp_book.bin from games in games.pgn\n"), std::string::npos) << printed;
    EXPECT_NE(printed.find("\nwriting book file ...\n"), std::string::npos);
    EXPECT_NE(printed.find("\nngames= 47, nmoves= 8\ndone\n"), std::string::npos) << printed;
}

TEST_F(MakeBook, GamesWithoutAKnownResultCountNothing) {
    std::vector<Written> book = Make(Games(5, "*", "1. e4") + Games(3, "1-0", "1. d4"));
    EXPECT_EQ(book, (std::vector<Written>{{kStartKey, D2D4, 12, 0}}));
    // Moves before the first result tag have no game.
    book = Make("1. e4 e5 1-0\n\n" + Games(3, "1-0", "1. d4"));
    EXPECT_EQ(book, (std::vector<Written>{{kStartKey, D2D4, 12, 0}}));
}

TEST_F(MakeBook, CommentsVariationsAndAnnotationsAreNotCounted) {
    // Each game plays 1. e4 e5 2. Nf3; d4, c4 and Nc3 stand only in
    // comments, variations, a NAG and a ';' comment, three times each.
    std::string moves = "1. e4 {best by test: 1. d4\n2. c4 is another try} (1. d4 d5 (1... Nf6 2. c4) 2. c4)\n"
                        "1... e5 $1 ; or 1... c5 2. Nc3\n"
                        "2. Nf3!? {White has Nc3 here}";
    std::string printed;
    std::vector<Written> book = Make(Games(3, "1-0", moves), &printed);
    std::vector<Written> expected = {{kStartKey, E2E4, 12, 0}};
    EXPECT_EQ(Of(book, kStartKey), expected);
    // Black's e5 lost all three: out; White's Nf3 after 1. e4 e5 won all three.
    EXPECT_TRUE(Of(book, kAfterE4Key).empty());
    std::set<std::pair<uint16_t, uint16_t>> entries;
    for (const Written& w : book) entries.insert({w.move, w.weight});
    EXPECT_EQ(entries, (std::set<std::pair<uint16_t, uint16_t>>{{E2E4, 12}, {G1F3, 12}}));
    // Three moves a game, three distinct pairs of position and move.
    EXPECT_NE(printed.find("ngames= 3, nmoves= 3\n"), std::string::npos) << printed;
}

TEST_F(MakeBook, MoveNumbersGluedToMovesAndCastlingWithZeros) {
    // Two games castle "O-O", one "0-0" glued to its number: three wins.
    const std::string opening = "1.e4 e5 2.Nf3 Nc6 3.Bc4 Bc5 ";
    std::vector<Written> book = Make(Games(2, "1-0", opening + "4. O-O") + Game("1-0", opening + "4.0-0") +
                                     Games(3, "1-0", "1.e4 e5 2.Nf3 Nc6 3.Bc4 Nf6 4...."));
    bool castles = false;
    for (const Written& w : book) {
        if (w.move == Code(4, 7)) castles = w.weight == 12;
        EXPECT_NE(w.move, Code(4, 6)) << "castling is written as the king taking its rook";
    }
    EXPECT_TRUE(castles) << "O-O and 0-0 are one move with three wins";
}

TEST_F(MakeBook, OnlyTheKingsCastlingIsWrittenAsKingTakesRook) {
    // The white queen goes from e1 to g1 (the king stands on e2): no castling.
    std::vector<Written> book =
        Make(Games(3, "1-0", "1. g3 g6 2. Bg2 Bg7 3. Nh3 Nh6 4. e3 e6 5. Ke2 Ke7 6. Qe1 Qe8 7. Qg1 Qg8"));
    bool queen_move = false;
    for (const Written& w : book) {
        if (w.move == Code(4, 6)) queen_move = true;
        EXPECT_NE(w.move, Code(4, 7)) << "the queen's move was written as castling";
    }
    EXPECT_TRUE(queen_move);
}

TEST_F(MakeBook, AnUnreadableMoveEndsItsGameOnly) {
    // Qxf7 is not legal after 1. e4 e5: Nf6 and Nf3 are not counted; the
    // next game is read again.
    std::vector<Written> book =
        Make(Games(3, "1-0", "1. e4 e5 2. Qxf7 Nf6 3. Nf3") + Games(3, "1-0", "1. d4 d5 2. Nc3"));
    std::set<uint16_t> moves;
    for (const Written& w : book) moves.insert(w.move);
    EXPECT_EQ(moves, (std::set<uint16_t>{E2E4, D2D4, B1C3}));
}

TEST_F(MakeBook, GamesFromASetUpPositionArePassedOver) {
    // After 1. Nf3 Nf6 the move 2. Nc3 would also be a first move.
    std::string setup = "[Event \"?\"]\n[Result \"1-0\"]\n[SetUp \"1\"]\n"
                        "[FEN \"rnbqkb1r/pppppppp/5n2/8/8/5N2/PPPPPPPP/RNBQKB1R w KQkq - 2 2\"]\n\n2. Nc3 1-0\n\n";
    std::string start = "[Event \"?\"]\n[Result \"1-0\"]\n[SetUp \"1\"]\n[FEN \"" + std::string(START_FEN) +
                        " 0 1\"]\n\n1. d4 1-0\n\n";
    std::vector<Written> book = Make(setup + setup + setup + start + start + start);
    EXPECT_EQ(book, (std::vector<Written>{{kStartKey, D2D4, 12, 0}}));
}

TEST_F(MakeBook, ASetUpPositionIsKnownWhereverItsTagStands) {
    // Black's d-pawn is missing: 1. e4 Kd7 is a game from elsewhere, and
    // from the start position Kd7 is no move at all. Three games of 1. d4
    // from the start follow each time; they alone enter the book.
    const std::string fen = "[FEN \"rnbqkbnr/ppp1pppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1\"]";
    const std::string moves = "\n1. e4 Kd7 1-0\n\n";
    const std::string d4 = Games(3, "1-0", "1. d4");
    const std::vector<Written> only_d4 = {{kStartKey, D2D4, 12, 0}};
    auto five = [](const std::string& game) {
        std::string s;
        for (int i = 0; i < 5; i++) s += game;
        return s;
    };
    // The FEN tag before the result tag, and after it.
    EXPECT_EQ(Make(five("[Event \"?\"]\n[SetUp \"1\"]\n" + fen + "\n[Result \"1-0\"]\n" + moves) + d4), only_d4);
    EXPECT_EQ(Make(five("[Event \"?\"]\n[Result \"1-0\"]\n[SetUp \"1\"]\n" + fen + "\n" + moves) + d4), only_d4);
    // Tags sharing a line, in either order.
    EXPECT_EQ(Make(five("[Event \"?\"] [SetUp \"1\"] " + fen + " [Result \"1-0\"]\n" + moves) + d4), only_d4);
    EXPECT_EQ(Make(five("[Event \"?\"] [Result \"1-0\"] " + fen + "\n" + moves) + d4), only_d4);
    EXPECT_EQ(Make(five("[Event \"?\"]\n" + fen + "[Result \"1-0\"]\n" + moves) + d4), only_d4);
    // A FEN tag of the start position before the result: its games count.
    const std::string start = "[FEN \"" + std::string(START_FEN) + " 0 1\"]\n";
    std::vector<Written> book = Make(Games(3, "0-1", "1. e4") + five(start + "[Result \"1-0\"]\n\n1. e4 1-0\n\n"));
    EXPECT_EQ(book, (std::vector<Written>{{kStartKey, E2E4, 14, 0}})) << "five wins and three losses";
}

// ---- which plies are counted ---------------------------------------------------------------

TEST_F(MakeBook, LinesAreReadWhileAtMost35PliesAreCounted) {
    // Nf3 from the start position is played at plies 1, 5, ..., 33, 37, 41.
    // A line that starts after 36 counted plies is not read:
    std::vector<Written> book = Make(Games(3, "1-0", KnightShuffle(37, {36})));
    ASSERT_FALSE(Of(book, kStartKey).empty());
    EXPECT_EQ(Of(book, kStartKey)[0].weight, 4 * 27) << "9 wins a game";
    // ...one that starts after 35 is read to its end:
    book = Make(Games(3, "1-0", KnightShuffle(37, {35})));
    EXPECT_EQ(Of(book, kStartKey)[0].weight, 4 * 30) << "10 wins a game";
    // ...and so is the line on which the 36th ply falls.
    book = Make(Games(3, "1-0", KnightShuffle(45, {30, 41})));
    EXPECT_EQ(Of(book, kStartKey)[0].weight, 4 * 33) << "11 wins a game";
}

// The text followed by a comment of x's that ends it at exactly `size`
// characters: the reader's first 1023-character piece of a line.
std::string FilledTo(const std::string& text, size_t size) {
    EXPECT_GE(size, text.size() + 2);
    return text + "{" + std::string(size - text.size() - 2, 'x') + "}";
}

TEST_F(MakeBook, PiecesOfALongLineAreReadLikeLinesOfTheirOwn) {
    // The first 1023 characters of a line hold 36 plies: the rest of the
    // line (plies 37 to 44) is not read, just as when the line breaks there.
    const std::string first36 = FilledTo(KnightShuffle(36), 1023);
    const std::string rest = " " + KnightShuffle(44, {}, 37);
    std::vector<Written> book = Make(Games(3, "1-0", first36 + rest));
    ASSERT_FALSE(Of(book, kStartKey).empty());
    EXPECT_EQ(Of(book, kStartKey)[0].weight, 4 * 27) << "9 wins a game (plies 1 to 33)";
    book = Make(Games(3, "1-0", first36 + "\n" + rest));
    EXPECT_EQ(Of(book, kStartKey)[0].weight, 4 * 27) << "the same game wrapped there";
    // After 35 plies the next piece is read to its end: all 44 plies.
    const std::string first35 = FilledTo(KnightShuffle(35), 1023);
    const std::string rest36 = " " + KnightShuffle(44, {}, 36);
    book = Make(Games(3, "1-0", first35 + rest36));
    EXPECT_EQ(Of(book, kStartKey)[0].weight, 4 * 33) << "11 wins a game (plies 1 to 41)";
    book = Make(Games(3, "1-0", first35 + "\n" + rest36));
    EXPECT_EQ(Of(book, kStartKey)[0].weight, 4 * 33) << "the same game wrapped there";
    // A move cut by the end of the piece is read whole: ply 37, Nf3, is
    // counted ("N" ends the first piece, "f3" begins the second); 38 on are not.
    const std::string cut = FilledTo(KnightShuffle(36) + "19. ", 1022) + "Nf3 " + KnightShuffle(44, {}, 38);
    ASSERT_EQ(cut[1022], 'N');
    book = Make(Games(3, "1-0", cut));
    EXPECT_EQ(Of(book, kStartKey)[0].weight, 4 * 30) << "10 wins a game (plies 1 to 37)";
}

TEST_F(MakeBook, AGameOnOneLongLineCountsABoundedNumberOfPlies) {
    // 800 plies on one line: its first 1023 characters are "1. Nf3 Nf6 "
    // to "9. Ng1 Ng8 " (11 characters a move pair) and "10. Nf3 Nf6 " to
    // "86. Ng1 Ng8 " (12 each): 172 plies, among them Nf3 from the start 43
    // times (plies 1 to 169). The rest of the line is not read.
    std::vector<Written> book = Make(Games(3, "1-0", KnightShuffle(800)));
    ASSERT_FALSE(Of(book, kStartKey).empty());
    EXPECT_EQ(Of(book, kStartKey)[0].weight, 4 * 3 * 43);
    // Wrapped after every 8 plies the line starting after 32 plies is the
    // last one read: 40 plies, Nf3 from the start 10 times.
    std::set<int> breaks;
    for (int p = 8; p < 800; p += 8) breaks.insert(p);
    book = Make(Games(3, "1-0", KnightShuffle(800, breaks)));
    EXPECT_EQ(Of(book, kStartKey)[0].weight, 4 * 3 * 10);
}

TEST_F(MakeBook, LinesOfAnyLengthAreRead) {
    // A comment of 5000 characters puts the moves after it far past any
    // line buffer; Nf3 is placed across a boundary of 1023-character pieces.
    std::string padding(5000, 'x');
    std::string line = "1. e4 {" + padding + "} e5 2. ";
    const size_t across = (line.size() / 1023 + 1) * 1023 - 1;
    std::string filler(across - line.size(), ' ');
    std::string moves = line + filler + "Nf3 Nc6 3. Bb5";
    std::vector<Written> book = Make(Games(3, "1-0", moves) + Games(3, "1-0", "1. e4 e5 2. Nf3 Nc6 3. Bb5"));
    std::set<uint16_t> white;
    for (const Written& w : book) {
        white.insert(w.move);
        EXPECT_EQ(w.weight, 24) << "six wins of each white move";
    }
    EXPECT_EQ(white, (std::set<uint16_t>{E2E4, G1F3, Code(5, 33)}));
}

// ---- weights -------------------------------------------------------------------------------

TEST_F(MakeBook, WeightsAreScaledOnlyAboveTheCap) {
    // A game of 160 plies on one line of 951 characters (read whole: it
    // started before the ply limit and fits one piece of the reader) plays
    // Nf3 from the start 40 times; 375 won games score 4 * 15000 = 60000 for
    // it. A second move, e4, scores 13 (three wins, one draw).
    const std::string shuffle = KnightShuffle(160);
    ASSERT_EQ(shuffle.size(), 951u);
    const std::string e4 = Games(3, "1-0", "1. e4") + Game("1/2-1/2", "1. e4");
    std::vector<Written> book = Make(Games(375, "1-0", shuffle) + e4);
    std::vector<Written> start = Of(book, kStartKey);
    ASSERT_EQ(start.size(), 2u);
    EXPECT_EQ(start[0], (Written{kStartKey, G1F3, 60000, 0}));
    EXPECT_EQ(start[1], (Written{kStartKey, E2E4, 13, 0})) << "at exactly 60000 nothing is scaled";
    // One more won Nf3: 60004, so every weight of the key is scaled by 60000 / 60004.
    book = Make(Games(375, "1-0", shuffle) + Game("1-0", "1. Nf3") + e4);
    start = Of(book, kStartKey);
    ASSERT_EQ(start.size(), 2u);
    EXPECT_EQ(start[0].weight, 60000);
    EXPECT_EQ(start[1].weight, 12) << "13 * 60000 / 60004, truncated";
    // Twice the cap halves them: 13 / 2 is truncated to 6.
    book = Make(Games(750, "1-0", shuffle) + e4);
    start = Of(book, kStartKey);
    ASSERT_EQ(start.size(), 2u);
    EXPECT_EQ(start[0].weight, 60000);
    EXPECT_EQ(start[1].weight, 6);
}

// ---- the file ------------------------------------------------------------------------------

TEST_F(MakeBook, EntriesAreSortedByKeyAndHeaviestFirst) {
    // The games of the data file, each three times with its result.
    std::ifstream f(std::string(TESK_TEST_DATA) + "/book_games.pgn");
    std::stringstream ss;
    ss << f.rdbuf();
    std::vector<Written> book = Make(ss.str() + ss.str() + ss.str());
    ASSERT_GT(book.size(), 20u);
    for (size_t i = 1; i < book.size(); i++) {
        const Written &a = book[i - 1], &b = book[i];
        EXPECT_TRUE(a.key < b.key || (a.key == b.key && a.weight >= b.weight)) << "entries " << i - 1 << " and " << i;
        EXPECT_FALSE(a.key == b.key && a.move == b.move) << "a move twice at one key";
    }
    EXPECT_GE(book.back().key, 0x8000000000000000ULL) << "keys at or above 2^63 come last";
    for (const Written& w : book) EXPECT_EQ(w.learn, 0u);
}

TEST_F(MakeBook, DotsMarkEvery1024Games) {
    std::string printed;
    Make(Games(1023, "1-0", "1. e4"), &printed);
    EXPECT_NE(printed.find("games.pgn\n\nwriting book file"), std::string::npos) << "no dot before the 1024th game";
    Make(Games(1024, "1-0", "1. e4"), &printed);
    EXPECT_NE(printed.find("games.pgn\n.\nwriting book file"), std::string::npos) << printed;
}

TEST_F(MakeBook, FailuresLeaveNoCutBookBehind) {
    std::string printed;
    // A missing PGN file: a message, no book.
    SetTextField(PBlock.pgn_file, TOOL_FILE_LEN, "missing.pgn");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(PG_CreateBook());
    printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "cannot open the PGN file missing.pgn: No such file or directory; no book is written\n");
    EXPECT_NE(access("tmp_book.bin", F_OK), 0);
    // A book that cannot be put in place (a folder holds its name): a
    // message, no temporary file left, the folder untouched.
    ASSERT_EQ(mkdir("tmp_book.bin", 0755), 0);
    std::ofstream("tmp_book.bin/keep") << "x";
    std::ofstream("games.pgn") << Games(3, "1-0", "1. e4");
    SetTextField(PBlock.pgn_file, TOOL_FILE_LEN, "games.pgn");
    testing::internal::CaptureStdout();
    EXPECT_FALSE(PG_CreateBook());
    printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("cannot write the book file tmp_book.bin"), std::string::npos) << printed;
    EXPECT_NE(access("tmp_book.bin.part", F_OK), 0);
    EXPECT_EQ(access("tmp_book.bin/keep", F_OK), 0);
    // An older book is replaced whole by a new one.
    std::filesystem::remove_all("tmp_book.bin");
    EXPECT_EQ(Make(Games(3, "1-0", "1. e4")).size(), 1u);
    EXPECT_EQ(Make(Games(3, "1-0", "1. d4") + Games(3, "1-0", "1. e4 e5 2. Nf3")).size(), 3u);
}

TEST_F(MakeBook, GamesFromAPipeMakeTheBookTheFileMakes) {
    // As from "tesk -mkbook <(zcat games.pgn.gz)": the games come through a
    // pipe named by /dev/fd.
    const std::string pgn = Games(3, "1-0", "1. e4 e5 2. Nf3") + Games(4, "0-1", "1. d4 d5 2. c4");
    const std::vector<Written> from_file = Make(pgn);
    ASSERT_FALSE(from_file.empty());
    remove("tmp_book.bin");
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], pgn.data(), pgn.size()), (ssize_t)pgn.size()) << "the games fit a pipe's buffer";
    close(fds[1]);
    SetTextField(PBlock.pgn_file, TOOL_FILE_LEN, ("/dev/fd/" + std::to_string(fds[0])).c_str());
    testing::internal::CaptureStdout();
    EXPECT_TRUE(PG_CreateBook());
    testing::internal::GetCapturedStdout();
    close(fds[0]);
    EXPECT_EQ(ReadBookFile("tmp_book.bin"), from_file);
}

// ---- a peer program ------------------------------------------------------------------------

// The pairs of position key and move of every move of the games, and
// whether the side that played it did not lose: read here with the PGN
// reader on games split at their "[Event" tags.
namespace {
struct Replay {
    Position* pos;
    int result;  // 0 white won, 1 black won, 2 draw
    std::set<std::pair<uint64_t, uint16_t>> all, not_lost;
};
void ReplayWord(Replay& r, const std::string& word) {
    const char* text = PgnMoveText(word.c_str());
    if (!text) return;
    Move m = ReadMoveText(r.pos, text);
    ASSERT_NE(m, 0) << "move " << text;
    std::pair<uint64_t, uint16_t> pair(GetHashKey(r.pos), BookMoveCode(r.pos, m));
    r.all.insert(pair);
    if (r.result == 2 || r.result == r.pos->side) r.not_lost.insert(pair);
    MakeMove(r.pos, m);
    r.pos->owner->ply = 1;
}
}  // namespace

TEST_F(MakeBook, KeysAndMovesAgreeWithABookMadeByPolyglot) {
    // book_games_polyglot.bin is `polyglot make-book -pgn book_games.pgn
    // -min-game 1 -max-ply 1000`: every move of the games that its side did
    // not lose, keyed by Polyglot's own keys; it counted 307 distinct pairs.
    ThreadRecord* rec = NewTestRecord();
    Replay r{&rec->pos, 2, {}, {}};
    std::ifstream f(std::string(TESK_TEST_DATA) + "/book_games.pgn");
    ASSERT_TRUE(f.good());
    PgnReader reader;
    std::string line;
    int games = 0;
    while (std::getline(f, line)) {
        line += '\n';
        if (line.compare(0, 7, "[Event ") == 0) {
            SetTestPosition(rec, START_FEN);
            PgnResetReader(reader);
            games++;
        }
        if (line.compare(0, 8, "[Result ") == 0)
            r.result = line.find("1-0") != std::string::npos ? 0 : line.find("0-1") != std::string::npos ? 1 : 2;
        if (PgnClassifyLine(reader, line.c_str()) != PGN_LINE_MOVES) continue;
        for (char c : line)
            if (PgnReadChar(reader, c) == PGN_TOKEN_WORD) ReplayWord(r, reader.word);
    }
    EXPECT_EQ(games, 20);
    EXPECT_EQ(r.all.size(), 307u);
    std::set<std::pair<uint64_t, uint16_t>> theirs;
    for (const Written& w : ReadBookFile(std::string(TESK_TEST_DATA) + "/book_games_polyglot.bin"))
        theirs.insert({w.key, w.move});
    EXPECT_EQ(r.not_lost, theirs);
    FreeThreadRecord(rec);

    // The engine's own count of the same games.
    std::ifstream again(std::string(TESK_TEST_DATA) + "/book_games.pgn");
    std::stringstream ss;
    ss << again.rdbuf();
    std::string printed;
    Make(ss.str(), &printed);
    EXPECT_NE(printed.find("ngames= 20, nmoves= 307\n"), std::string::npos) << printed;
}
