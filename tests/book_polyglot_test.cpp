// Polyglot books: the key table and the published position keys, book
// entries, the weighted choice as a function of the random residue, the
// probe on hand-made book files (also damaged ones), and a real book.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "board/makemove.h"
#include "board/movegen.h"
#include "board/pgn.h"
#include "book/polyglot.h"
#include "scratch_dir.h"
#include "test_util.h"

namespace {

// The position after coordinate moves from the start, on the record.
Position* After(ThreadRecord* rec, const std::vector<const char*>& moves) {
    Position* pos = SetTestPosition(rec, START_FEN);
    for (const char* text : moves) {
        Move m = 0;
        EXPECT_TRUE(MatchMoveText(pos, text, &m)) << "no legal move " << text;
        if (!m) break;
        MakeMove(pos, m);
    }
    rec->ply = 1;
    return pos;
}

// A book entry as the file holds it: 16 bytes, big-endian.
std::string EntryBytes(uint64_t key, uint16_t move, uint16_t weight, uint32_t learn = 0) {
    std::string s;
    for (int i = 7; i >= 0; i--) s += (char)((key >> (8 * i)) & 0xFF);
    s += (char)(move >> 8), s += (char)(move & 0xFF);
    s += (char)(weight >> 8), s += (char)(weight & 0xFF);
    for (int i = 3; i >= 0; i--) s += (char)((learn >> (8 * i)) & 0xFF);
    return s;
}

// Book moves written by hand: from-square << 6 | to-square, squares a1 = 0.
constexpr uint16_t BookCode(int from, int to, int promotion = 0) {
    return (uint16_t)(promotion << 12 | from << 6 | to);
}
enum : int { A1 = 0, C1 = 2, D1 = 3, E1 = 4, F1 = 5, G1 = 6, H1 = 7, D2 = 11, E2 = 12, G2 = 14, B1 = 1,
             C2 = 10, D4 = 27, E4 = 28, E5 = 36, E7 = 52, A8 = 56, C8 = 58, E8 = 60, G8 = 62, H8 = 63 };

const uint64_t kStartKey = 0x463b96181691fc9cULL;

class BookFiles : public RecordTest {
protected:
    void SetUp() override {
        RecordTest::SetUp();
        ASSERT_NE(dir, "/tmp") << "no scratch folder";
        saved_settings = Personality;
        saved_uci = PBlock.uci;
        saved_noise = PBlock.noise;
        PBlock.uci = 1;
        Personality.OwnBook_Variety = 25;
    }
    void TearDown() override {
        Personality = saved_settings;
        PBlock.uci = saved_uci;
        PBlock.noise = saved_noise;
        RemoveTempDir(dir);
        RecordTest::TearDown();
    }
    // Writes a book file and names it in the OwnBook_File setting.
    std::string UseBook(const std::string& bytes, const char* name = "book.bin") {
        std::string path = dir + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        SetTextField(Personality.OwnBook_File, SETTING_TEXT_LEN, path.c_str());
        return path;
    }
    // The probe's move and what it printed.
    Move Probe(Position* pos, std::string* printed = nullptr) {
        testing::internal::CaptureStdout();
        Move m = PG_GetBookMove(pos);
        std::string out = testing::internal::GetCapturedStdout();
        if (printed) *printed = out;
        return m;
    }
    const std::string dir = MakeTempDir("book");
    SettingsRecord saved_settings;
    uint16_t saved_uci = 0;
    double saved_noise = 0;
};

}  // namespace

// ---- the key table and position keys ---------------------------------------------

TEST(PolyglotKeys, TableHoldsThePublishedFirstAndLastKeys) {
    EXPECT_EQ(Random64[0], 0x9D39247E33776D41ULL);
    EXPECT_EQ(Random64[1], 0x2AF7398005AAA5C7ULL);
    EXPECT_EQ(Random64[RANDOM64_WHITE_TO_MOVE], 0xF8D626AAAF278509ULL);
}

TEST(PolyglotKeys, TableMatchesThePublishedListWhereItIsAvailable) {
    const std::string path = std::string(TESK_SHARED_DATA) + "/polyglot_random64.txt";
    std::ifstream f(path);
    if (!f) GTEST_SKIP() << "the published key list " << path << " is not here";
    std::vector<uint64_t> keys;
    std::string line;
    while (std::getline(f, line))
        if (line.compare(0, 2, "0x") == 0) keys.push_back(strtoull(line.c_str() + 2, nullptr, 16));
    ASSERT_EQ(keys.size(), (size_t)RANDOM64_KEYS) << "the list should hold 781 keys";
    for (int i = 0; i < RANDOM64_KEYS; i++) EXPECT_EQ(Random64[i], keys[i]) << "key " << i << " differs from the list";
}

TEST_F(RecordTest, PublishedPolyglotKeysOfTheTestPositions) {
    struct Case {
        std::vector<const char*> moves;
        uint64_t key;
    };
    // The format's own test values; the last one is at or above 2^63.
    const Case cases[] = {
        {{}, 0x463b96181691fc9cULL},
        {{"e2e4"}, 0x823c9b50fd114196ULL},
        {{"e2e4", "d7d5"}, 0x0756b94461c50fb0ULL},
        {{"e2e4", "d7d5", "e4e5"}, 0x662fafb965db29d4ULL},
        {{"e2e4", "d7d5", "e4e5", "f7f5"}, 0x22a48b5a8e47ff78ULL},
        {{"e2e4", "d7d5", "e4e5", "f7f5", "e1e2"}, 0x652a607ca3f242c1ULL},
        {{"e2e4", "d7d5", "e4e5", "f7f5", "e1e2", "e8f7"}, 0x00fdd303c946bdd9ULL},
        {{"a2a4", "b7b5", "h2h4", "b5b4", "c2c4"}, 0x3c8123ea7b067637ULL},
        {{"a2a4", "b7b5", "h2h4", "b5b4", "c2c4", "b4c3", "a1a3"}, 0x5c3f9b829b279560ULL},
    };
    for (const Case& c : cases) {
        Position* pos = After(rec, c.moves);
        EXPECT_EQ(GetHashKey(pos), c.key) << "after " << c.moves.size() << " moves";
    }
}

TEST_F(RecordTest, EnPassantCountsOnlyWhenACaptureIsReady) {
    // After e4 d5 e5 f5 the white pawn on e5 can take on f6: the square counts.
    const uint64_t with_ep = GetHashKey(Set("rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6"));
    EXPECT_EQ(with_ep, 0x22a48b5a8e47ff78ULL);
    EXPECT_NE(GetHashKey(Set("rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq -")), with_ep);
    // After e4 alone no black pawn stands beside e4: "e3" and "-" give one key.
    EXPECT_EQ(GetHashKey(Set("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3")), 0x823c9b50fd114196ULL);
    EXPECT_EQ(GetHashKey(Set("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq -")), 0x823c9b50fd114196ULL);
}

TEST_F(BookFiles, AnEntryIsSixteenBigEndianBytes) {
    std::string bytes = EntryBytes(kStartKey, BookCode(E2, E4), 12135, 0x01020304) + std::string(15, '\x7f');
    std::string path = UseBook(bytes);
    FILE* f = fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    BookEntry e{};
    EXPECT_EQ(ReadEntry(f, &e), 0);
    EXPECT_EQ(e.key, kStartKey);
    EXPECT_EQ(e.move, 0x031C) << "e2 (12) << 6 | e4 (28)";
    EXPECT_EQ(e.weight, 12135);
    EXPECT_EQ(e.learn, 0x01020304u);
    BookEntry left = e;
    EXPECT_EQ(ReadEntry(f, &e), 1) << "only 15 bytes are left";
    EXPECT_EQ(e.key, left.key);
    EXPECT_EQ(ReadEntry(f, &e), 1);
    fclose(f);
}

TEST_F(BookFiles, AnEntryIsWrittenAsTheSixteenBytesThatAreRead) {
    const std::string path = dir + "/written.bin";
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    const BookEntry e{0x463b96181691fc9cULL, 0x031C, 12135, 0x01020304};
    EXPECT_EQ(WriteEntry(f, &e), 0);
    fclose(f);
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, std::string("\x46\x3b\x96\x18\x16\x91\xfc\x9c\x03\x1c\x2f\x67\x01\x02\x03\x04", 16));
    f = fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    BookEntry back{};
    EXPECT_EQ(ReadEntry(f, &back), 0);
    EXPECT_EQ(back.key, e.key);
    EXPECT_EQ(back.move, e.move);
    EXPECT_EQ(back.weight, e.weight);
    EXPECT_EQ(back.learn, e.learn);
    // A stream that takes no writing: the failure is reported.
    EXPECT_EQ(WriteEntry(f, &e), 1);
    fclose(f);
}

TEST(BookEntries, KeysCompareUnsignedAndHeavierEntriesComeFirst) {
    BookEntry high{0x8000000000000000ULL, 0, 1, 0}, low{0x7FFFFFFFFFFFFFFFULL, 0, 9, 0};
    EXPECT_EQ(key_compare(&high, &low), 1) << "a key at or above 2^63 is the greater";
    EXPECT_EQ(key_compare(&low, &high), -1);
    BookEntry light{5, 0, 3, 0}, heavy{5, 0, 10, 0};
    EXPECT_GT(key_compare(&light, &heavy), 0);
    EXPECT_LT(key_compare(&heavy, &light), 0);
    EXPECT_EQ(key_compare(&heavy, &heavy), 0);

    std::vector<BookEntry> v = {high, light, low, heavy, {0xFFFFFFFFFFFFFFFFULL, 0, 0, 0}, {0, 0, 1, 0}};
    std::sort(v.begin(), v.end(), [](const BookEntry& a, const BookEntry& b) { return key_compare(&a, &b) < 0; });
    const uint64_t order[] = {0, 5, 5, 0x7FFFFFFFFFFFFFFFULL, 0x8000000000000000ULL, 0xFFFFFFFFFFFFFFFFULL};
    for (size_t i = 0; i < v.size(); i++) EXPECT_EQ(v[i].key, order[i]) << "place " << i;
    EXPECT_EQ(v[1].weight, 10) << "the heavier of two entries of one key first";
}

TEST_F(RecordTest, StoredMovesBecomeEngineMoves) {
    Position* pos = Set("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    // King takes own rook: castling, for a king on its start square.
    EXPECT_EQ(BookMoveToMove(pos, BookCode(E1, H1)), MakeMoveCode(E1, G1));
    EXPECT_EQ(BookMoveToMove(pos, BookCode(E1, A1)), MakeMoveCode(E1, C1));
    EXPECT_EQ(BookMoveToMove(pos, BookCode(E8, H8)), MakeMoveCode(E8, G8));
    EXPECT_EQ(BookMoveToMove(pos, BookCode(E8, A8)), MakeMoveCode(E8, C8));
    // Promotions: 1 knight, 2 bishop, 3 rook, 4 queen.
    pos = Set("8/4P3/8/8/8/8/8/k3K3 w - -");
    EXPECT_EQ(BookMoveToMove(pos, BookCode(E7, E8, 1)), MakeMoveCode(E7, E8) | PROMO_KNIGHT);
    EXPECT_EQ(BookMoveToMove(pos, BookCode(E7, E8, 2)), MakeMoveCode(E7, E8) | PROMO_BISHOP);
    EXPECT_EQ(BookMoveToMove(pos, BookCode(E7, E8, 3)), MakeMoveCode(E7, E8) | PROMO_ROOK);
    EXPECT_EQ(BookMoveToMove(pos, BookCode(E7, E8, 4)), MakeMoveCode(E7, E8) | PROMO_QUEEN);
    // Codes that no move has.
    EXPECT_EQ(BookMoveToMove(pos, BookCode(E7, E8, 5)), 0);
    EXPECT_EQ(BookMoveToMove(pos, BookCode(E7, E8, 7)), 0);
    EXPECT_EQ(BookMoveToMove(pos, (uint16_t)(0x8000 | BookCode(E2, E4))), 0);

    // A rook on e1 (the king elsewhere) taking on h1 is a rook move.
    pos = Set("3k4/8/8/8/8/8/8/K3R2r w - -");
    EXPECT_EQ(BookMoveToMove(pos, BookCode(E1, H1)), MakeMoveCode(E1, H1));
    // So is a queen's e8-a8 with the black king elsewhere.
    pos = Set("r3q3/8/8/8/8/8/8/3K3k b - -");
    EXPECT_EQ(BookMoveToMove(pos, BookCode(E8, A8)), MakeMoveCode(E8, A8));
}

TEST_F(RecordTest, BookMoveCodesRoundTripForEveryLegalMove) {
    // The published perft positions: castling both ways, promotions of
    // every kind (also capturing), en passant.
    std::vector<const char*> fens;
    for (const PerftCase& c : kPerftCases) fens.push_back(c.fen);
    fens.push_back(kMirroredPerftCase.fen);
    fens.push_back("rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6");
    for (const char* fen : fens) {
        Position* pos = Set(fen);
        Move legal[MAX_LEGAL_MOVES];
        int n = GenerateLegalMoves(pos, legal);
        for (int i = 0; i < n; i++)
            EXPECT_EQ(BookMoveToMove(pos, BookMoveCode(pos, legal[i])), legal[i]) << fen << " move " << i;
    }
    Position* pos = Set("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    EXPECT_EQ(BookMoveCode(pos, MakeMoveCode(E1, G1)), BookCode(E1, H1)) << "castling short as king takes rook";
    EXPECT_EQ(BookMoveCode(pos, MakeMoveCode(E1, C1)), BookCode(E1, A1));
    // A queen going from e1 to g1 is no castling move.
    pos = Set("3k4/8/8/8/8/8/8/3KQ3 w - -");
    EXPECT_EQ(BookMoveCode(pos, MakeMoveCode(E1, G1)), BookCode(E1, G1));
}

// ---- the choice -------------------------------------------------------------------------

TEST(BookChoice, ResidueOfTheRandomNumber) {
    // (r * 98765 + 123456789) in 32 bits, modulo 1000, worked by hand.
    EXPECT_EQ(BookResidue(0), 789);
    EXPECT_EQ(BookResidue(1), 554);
    EXPECT_EQ(BookResidue(2), 319);
    EXPECT_EQ(BookResidue(43489), 578) << "4418647874 wraps to 123680578";
    EXPECT_EQ(BookResidue(2147483647), 672) << "the largest rand() value wraps";
}

namespace {
// The choice for every residue, as runs of (index, count).
std::vector<std::pair<int, int>> ChoiceRuns(const std::vector<uint16_t>& weights, int variety) {
    std::vector<BookEntry> e;
    for (uint16_t w : weights) e.push_back({1, 0, w, 0});
    std::vector<std::pair<int, int>> runs;
    int64_t share[MAX_BOOK_MOVES];
    for (int r = 0; r < 1000; r++) {
        int c = ChooseBookEntry(e.data(), (int)e.size(), variety, r, share);
        if (runs.empty() || runs.back().first != c) runs.push_back({c, 0});
        runs.back().second++;
    }
    return runs;
}
typedef std::vector<std::pair<int, int>> Runs;

// The moves of the line "info string ( book moves are: ... )".
std::vector<std::string> ListedMoves(const std::string& line) {
    const std::string head = "info string ( book moves are: ";
    std::vector<std::string> moves;
    EXPECT_EQ(line.compare(0, head.size(), head), 0) << line;
    size_t p = head.size();
    for (;;) {
        size_t q = line.find(' ', p);
        if (q == std::string::npos || q == p) break;
        moves.push_back(line.substr(p, q - p));
        p = q + 1;
    }
    EXPECT_EQ(line.substr(p), " )\n") << line;
    return moves;
}
}  // namespace

TEST(BookChoice, StoredProportionsAtVarietyTwentyFive) {
    // Weights 3 and 1: shares 7500 and 2500; residue r gives the threshold
    // 10 r, and the second entry needs a threshold above 7500.
    EXPECT_EQ(ChoiceRuns({3, 1}, 25), (Runs{{0, 751}, {1, 249}}));
    BookEntry e[2] = {{1, 0, 3, 0}, {1, 0, 1, 0}};
    int64_t share[2];
    EXPECT_EQ(ChooseBookEntry(e, 2, 25, 750, share), 0) << "threshold 7500 is not above 7500";
    EXPECT_EQ(share[0], 7500);
    EXPECT_EQ(share[1], 2500);
    EXPECT_EQ(ChooseBookEntry(e, 2, 25, 751, share), 1);
}

TEST(BookChoice, VarietyFlattensOrSharpensTheProportions) {
    // Weights 100 and 20, variety 75: both rise by 50, shares 12500 and 5833
    // of 18333; residue 681 gives 12484, 682 gives 12503.
    EXPECT_EQ(ChoiceRuns({100, 20}, 75), (Runs{{0, 682}, {1, 318}}));
    // Variety 100: both rise by 75, shares 14583 and 7916; 648 -> 14579, 649 -> 14601.
    EXPECT_EQ(ChoiceRuns({100, 20}, 100), (Runs{{0, 649}, {1, 351}}));
    // Variety 0: both fall by 25, the light move's share is 0: never chosen.
    EXPECT_EQ(ChoiceRuns({100, 20}, 0), (Runs{{0, 1000}}));
    BookEntry e[2] = {{1, 0, 100, 0}, {1, 0, 20, 0}};
    int64_t share[2];
    ChooseBookEntry(e, 2, 0, 0, share);
    EXPECT_EQ(share[0], 6250);
    EXPECT_EQ(share[1], 0);
}

TEST(BookChoice, EntriesOfWeightZeroArePassedOver) {
    // The middle entry is never chosen; 500 -> threshold 5000 stays with the first.
    EXPECT_EQ(ChoiceRuns({5, 0, 5}, 25), (Runs{{0, 501}, {2, 499}}));
    // A first entry of weight 0 is the choice only when nothing qualifies
    // (residue 0, threshold 0).
    EXPECT_EQ(ChoiceRuns({0, 4}, 25), (Runs{{0, 1}, {1, 999}}));
    // A key whose weights add up to 0 gives no choice at all.
    EXPECT_EQ(ChoiceRuns({0, 0, 0}, 25), (Runs{{-1, 1000}}));
    EXPECT_EQ(ChoiceRuns({0}, 100), (Runs{{-1, 1000}}));
    EXPECT_EQ(ChoiceRuns({7}, 0), (Runs{{0, 1000}}));
}

// ---- finding a key's entries --------------------------------------------------------------

TEST_F(BookFiles, EntriesOfAKeyAreFoundByHalving) {
    const uint64_t keys[] = {0x0000000000000001ULL, 0x7FFFFFFFFFFFFFFFULL, 0x8000000000000000ULL,
                             0xFFFFFFFFFFFFFFFEULL};
    std::string bytes;
    bytes += EntryBytes(keys[0], 1, 1);
    for (int i = 0; i < 5; i++) bytes += EntryBytes(0x10, (uint16_t)(100 + i), 1);
    bytes += EntryBytes(keys[1], 2, 1);
    bytes += EntryBytes(keys[2], 3, 30);
    bytes += EntryBytes(keys[2], 4, 20);
    bytes += EntryBytes(keys[2], 5, 10);
    bytes += EntryBytes(keys[3], 6, 1);
    FILE* f = fopen(UseBook(bytes).c_str(), "rb");
    ASSERT_NE(f, nullptr);
    BookEntry out[MAX_BOOK_MOVES];
    EXPECT_EQ(FindBookEntries(f, keys[0], out), 1) << "the first entry of the file";
    EXPECT_EQ(out[0].move, 1);
    EXPECT_EQ(FindBookEntries(f, 0x10, out), 5);
    EXPECT_EQ(out[0].move, 100);
    EXPECT_EQ(out[4].move, 104);
    ASSERT_EQ(FindBookEntries(f, keys[2], out), 3) << "a key at or above 2^63";
    EXPECT_EQ(out[0].move, 3);
    EXPECT_EQ(out[2].weight, 10);
    EXPECT_EQ(FindBookEntries(f, keys[3], out), 1) << "the last entry of the file";
    EXPECT_EQ(FindBookEntries(f, 0xFFFFFFFFFFFFFFFFULL, out), 0) << "above every key";
    EXPECT_EQ(FindBookEntries(f, 0, out), 0) << "below every key";
    EXPECT_EQ(FindBookEntries(f, 0x11, out), 0) << "between two keys";
    fclose(f);
}

TEST_F(BookFiles, AKeyOffersAtMost128Entries) {
    std::string bytes = EntryBytes(5, 1, 1);
    for (int i = 0; i < 130; i++) bytes += EntryBytes(kStartKey, (uint16_t)i, (uint16_t)(200 - i));
    bytes += EntryBytes(0x9000000000000000ULL, 1, 1);
    FILE* f = fopen(UseBook(bytes).c_str(), "rb");
    ASSERT_NE(f, nullptr);
    BookEntry out[MAX_BOOK_MOVES];
    ASSERT_EQ(FindBookEntries(f, kStartKey, out), 128);
    EXPECT_EQ(out[127].move, 127);
    fclose(f);
    // Only the first 128 are listed by the probe: the last is b1h8 (code 127).
    std::string printed;
    Probe(SetTestPosition(rec, START_FEN), &printed);
    std::vector<std::string> listed = ListedMoves(printed);
    ASSERT_EQ(listed.size(), 128u) << printed;
    EXPECT_EQ(listed[0], "a1a1");
    EXPECT_EQ(listed[127], "b1h8");
}

TEST_F(BookFiles, DamagedOrMissingBooksGiveNoMoveAndNoCrash) {
    Position* pos = SetTestPosition(rec, START_FEN);
    std::string printed;
    Personality.OwnBook_File[0] = 0;
    EXPECT_EQ(Probe(pos, &printed), 0) << "no book named";
    SetTextField(Personality.OwnBook_File, SETTING_TEXT_LEN, (dir + "/missing.bin").c_str());
    EXPECT_EQ(Probe(pos, &printed), 0);
    EXPECT_EQ(printed, "") << "a missing book is passed over without a message";
    UseBook("");
    EXPECT_EQ(Probe(pos), 0) << "empty file";
    UseBook(EntryBytes(kStartKey, BookCode(E2, E4), 1).substr(0, 15));
    EXPECT_EQ(Probe(pos), 0) << "a file shorter than one entry";
    // A whole entry followed by a partial one: the whole one is read.
    UseBook(EntryBytes(kStartKey, BookCode(E2, E4), 1) + EntryBytes(kStartKey, BookCode(D2, D4), 9).substr(0, 12));
    EXPECT_EQ(Probe(pos), MakeMoveCode(E2, E4)) << "a trailing partial entry is not read";
    // Garbage in the move field: never played.
    const uint16_t garbage[] = {BookCode(E2, E5), BookCode(E2, E4, 4), BookCode(E2, E2), BookCode(B1, D2),
                                BookCode(E1, H1), BookCode(E1, G1), (uint16_t)0xFFFF, BookCode(60, 52)};
    for (uint16_t g : garbage) {
        UseBook(EntryBytes(kStartKey, g, 100));
        EXPECT_EQ(Probe(pos), 0) << "stored move " << g;
    }
    // A key whose weights add up to 0.
    UseBook(EntryBytes(kStartKey, BookCode(E2, E4), 0) + EntryBytes(kStartKey, BookCode(D2, D4), 0));
    EXPECT_EQ(Probe(pos, &printed), 0);
    EXPECT_EQ(printed, "");
}

TEST_F(BookFiles, AnUnsortedBookNeverCrashesOrGivesAnIllegalMove) {
    // Random keys and moves in no order, the start position's entries among them.
    srand(7);
    std::string bytes;
    for (int i = 0; i < 500; i++) {
        uint64_t k = ((uint64_t)rand() << 33) ^ ((uint64_t)rand() << 11) ^ (uint64_t)rand();
        bytes += EntryBytes(i % 50 == 0 ? kStartKey : k, (uint16_t)rand(), (uint16_t)rand());
    }
    UseBook(bytes);
    Position* pos = SetTestPosition(rec, START_FEN);
    for (int i = 0; i < 50; i++) {
        Move m = Probe(pos);
        if (m) {
            EXPECT_TRUE(IsGeneratedLegalMove(pos, m)) << "move " << m;
        }
    }
}

// ---- the probe ------------------------------------------------------------------------------

TEST_F(BookFiles, AOneEntryKeyIsListedAndPlayed) {
    std::string bytes = EntryBytes(0x10, 1, 1) + EntryBytes(kStartKey, BookCode(D2, D4), 7) +
                        EntryBytes(0xF000000000000000ULL, BookCode(E2, E4), 5);
    UseBook(bytes);
    std::string printed;
    EXPECT_EQ(Probe(SetTestPosition(rec, START_FEN), &printed), MakeMoveCode(D2, D4));
    EXPECT_EQ(printed, "info string ( book moves are: d2d4  )\n");
}

TEST_F(BookFiles, TheConsoleListsWeightsAndShares) {
    UseBook(EntryBytes(kStartKey, BookCode(E2, E4), 3) + EntryBytes(kStartKey, BookCode(D2, D4), 1));
    PBlock.uci = 0;
    PBlock.noise = 0.0;
    Personality.OwnBook_Variety = 75;
    std::string printed;
    Move m = Probe(SetTestPosition(rec, START_FEN), &printed);
    // Variety 75 lifts both by 3 * 0.5 = 1 (truncated): 4 * 10000 / 4 and 2 * 10000 / 4.
    std::string listing = "  e2e4  cnt=     3, weight= 75.00% -> 66.67%\n"
                          "  d2d4  cnt=     1, weight= 25.00% -> 33.33%\n";
    ASSERT_EQ(printed.compare(0, listing.size(), listing), 0) << printed;
    EXPECT_TRUE(m == MakeMoveCode(E2, E4) || m == MakeMoveCode(D2, D4));
    char sel[32];
    snprintf(sel, sizeof sel, "selecting %s%s\n", square_name[MoveFrom(m)], square_name[MoveTo(m)]);
    EXPECT_EQ(printed.substr(listing.size()), sel);
    // A quiet console prints nothing.
    PBlock.noise = 9999.0;
    EXPECT_NE(Probe(SetTestPosition(rec, START_FEN), &printed), 0);
    EXPECT_EQ(printed, "");
    // An entry of weight 0 is not listed, neither in the console nor to an
    // interface (at variety 25 its share is 0 and the others keep 3:1).
    UseBook(EntryBytes(kStartKey, BookCode(E2, E4), 3) + EntryBytes(kStartKey, BookCode(D2, D4), 1) +
            EntryBytes(kStartKey, BookCode(G1, 21), 0));
    PBlock.noise = 0.0;
    Personality.OwnBook_Variety = 25;
    Probe(SetTestPosition(rec, START_FEN), &printed);
    EXPECT_EQ(printed.find("  e2e4  cnt=     3, weight= 75.00% -> 75.00%\n"
                           "  d2d4  cnt=     1, weight= 25.00% -> 25.00%\nselecting "),
              0u)
        << printed;
    PBlock.uci = 1;
    Probe(SetTestPosition(rec, START_FEN), &printed);
    EXPECT_EQ(printed, "info string ( book moves are: e2e4 d2d4  )\n");
}

TEST_F(BookFiles, CastlingIsReadOnlyForAKingOnItsStartSquare) {
    Position* pos = Set("r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w KQkq -");
    UseBook(EntryBytes(GetHashKey(pos), BookCode(E1, H1), 10));
    EXPECT_EQ(Probe(pos), MakeMoveCode(E1, G1));
    UseBook(EntryBytes(GetHashKey(pos), BookCode(E1, A1), 10));
    EXPECT_EQ(Probe(pos), MakeMoveCode(E1, C1));
    // Without the right, the king's two-square move is not legal: no move.
    pos = Set("r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R w Qkq -");
    UseBook(EntryBytes(GetHashKey(pos), BookCode(E1, H1), 10));
    EXPECT_EQ(Probe(pos), 0);
    // A rook on e1 that takes on h1 plays just that.
    pos = Set("3k4/8/8/8/8/8/8/K3R2r w - -");
    UseBook(EntryBytes(GetHashKey(pos), BookCode(E1, H1), 10));
    EXPECT_EQ(Probe(pos), MakeMoveCode(E1, H1));
    // Black castles long.
    pos = Set("r3k2r/pppppppp/8/8/8/8/PPPPPPPP/R3K2R b KQkq -");
    UseBook(EntryBytes(GetHashKey(pos), BookCode(E8, A8), 10));
    EXPECT_EQ(Probe(pos), MakeMoveCode(E8, C8));
    // A move that leaves the own king attacked is never played.
    pos = Set("4k3/8/8/8/8/8/4r3/3QK3 w - -");
    UseBook(EntryBytes(GetHashKey(pos), BookCode(D1, D2), 10));
    EXPECT_EQ(Probe(pos), 0);
}

// ---- a real book ------------------------------------------------------------------------------

namespace {
const char kRealBook[] = "/usr/share/games/gnuchess/book.bin";

bool HaveRealBook() { return access(kRealBook, R_OK) == 0; }

std::vector<BookEntry> RealEntries(const Position* pos) {
    std::vector<BookEntry> v(MAX_BOOK_MOVES);
    FILE* f = fopen(kRealBook, "rb");
    if (!f) return {};
    int n = FindBookEntries(f, GetHashKey(pos), v.data());
    fclose(f);
    v.resize((size_t)n);
    return v;
}

std::string Listing(Position* pos, const std::vector<BookEntry>& v) {
    std::string s;
    for (const BookEntry& e : v) {
        char text[8];
        Move m = BookMoveToMove(pos, e.move);
        snprintf(text, sizeof text, "%s%s", square_name[MoveFrom(m)], square_name[MoveTo(m)]);
        s += text;
        s += ":" + std::to_string(e.weight) + " ";
    }
    return s;
}
}  // namespace

TEST_F(BookFiles, RealBookStartPositionAndFirstReplies) {
    if (!HaveRealBook()) GTEST_SKIP() << kRealBook << " is missing (Debian package gnuchess-book)";
    Position* pos = SetTestPosition(rec, START_FEN);
    // The 13 entries of the start position, as the file holds them.
    EXPECT_EQ(Listing(pos, RealEntries(pos)),
              "e2e4:12135 d2d4:11257 g1f3:3745 c2c4:3294 g2g3:243 b2b3:38 f2f4:35 b1c3:16 b2b4:16 e2e3:7 "
              "d2d3:5 g2g4:4 a2a3:2 ");
    pos = After(rec, {"e2e4"});
    EXPECT_EQ(Listing(pos, RealEntries(pos)),
              "c7c5:14550 e7e5:10621 e7e6:3913 c7c6:2340 d7d6:1135 g7g6:922 g8f6:860 d7d5:303 b8c6:167 "
              "b7b6:48 g7g5:12 a7a6:8 h7h6:5 ");
    pos = After(rec, {"e2e4", "d7d5"});
    EXPECT_EQ(Listing(pos, RealEntries(pos)), "e4d5:821 b1c3:4 ");

    SetTextField(Personality.OwnBook_File, SETTING_TEXT_LEN, kRealBook);
    std::string printed;
    Move m = Probe(SetTestPosition(rec, START_FEN), &printed);
    EXPECT_EQ(printed,
              "info string ( book moves are: e2e4 d2d4 g1f3 c2c4 g2g3 b2b3 f2f4 b1c3 b2b4 e2e3 d2d3 g2g4 a2a3  )\n");
    EXPECT_TRUE(IsGeneratedLegalMove(pos, m));
}

TEST_F(BookFiles, RealBookFollowsALineThatPolyglotDumps) {
    if (!HaveRealBook()) GTEST_SKIP() << kRealBook << " is missing (Debian package gnuchess-book)";
    // A line of `polyglot dump-book -color white` on this book, with the
    // share that it shows for each white move (weight / total, in whole
    // percent); the black moves are book moves too.
    const std::vector<std::pair<const char*, int>> line = {
        {"e4", 39},  {"b6", -1}, {"d4", 94},  {"e6", -1},  {"Bd3", 79},  {"Bb7", -1},  {"Nf3", 51},
        {"c5", -1},  {"c3", 100}, {"Nf6", -1}, {"Qe2", 57},  {"Be7", -1},  {"O-O", 100}, {"Nc6", -1},
        {"a3", 100}, {"Na5", -1}, {"Nbd2", 100}, {"c4", -1}, {"Bc2", 100}, {"Qc7", -1},  {"Ne5", 100},
        {"b5", -1},  {"f4", 100}, {"O-O", -1}, {"Ng4", 100}, {"Nxg4", -1}, {"Qxg4", 100}, {"Nb3", -1},
        {"Rb1", 100}, {"Nxd2", -1}, {"Bxd2", 100}, {"Bxe4", -1}, {"Bxe4", 100}};
    Position* pos = SetTestPosition(rec, START_FEN);
    int ply = 0;
    for (const auto& step : line) {
        Move m = ParseSan(pos, step.first);
        ASSERT_NE(m, 0) << "ply " << ply << ": " << step.first;
        std::vector<BookEntry> v = RealEntries(pos);
        int total = 0, weight = -1;
        for (const BookEntry& e : v) {
            total += e.weight;
            if (BookMoveToMove(pos, e.move) == m) weight = e.weight;
        }
        ASSERT_GE(weight, 0) << "ply " << ply << ": " << step.first << " is not in the book";
        if (step.second >= 0) {
            EXPECT_EQ(std::lround(weight * 100.0 / total), step.second) << "ply " << ply << ": " << step.first;
        }
        MakeMove(pos, m);
        rec->ply = 1;
        ply++;
    }
}
