// The UCI commands: what each one does to the game record, the search
// control record, the settings and the control block.
#include <cstdio>
#include <string>

#include "base/output.h"
#include "uci/options.h"
#include "search/tt.h"
#include "uci_test_util.h"

namespace {

int Sq(const char* name) { return (name[0] - 'a') + 8 * (name[1] - '1'); }
Move Mv(const char* from, const char* to) { return MakeMoveCode(Sq(from), Sq(to)); }

std::string Fen() {
    char buf[128];
    MakeEPD(&CTD->pos, buf);
    return buf;
}

}  // namespace

// ---- position ---------------------------------------------------------------

TEST_F(UciTest, PositionWithMovesBuildsTheGameHistory) {
    Uci("position startpos moves e2e4 e7e5");
    EXPECT_EQ(CTD->game_ply, 2);
    EXPECT_EQ(CTD->undo[0].move, Mv("e2", "e4"));
    EXPECT_EQ(CTD->undo[1].move, Mv("e7", "e5"));
    EXPECT_EQ(CTD->undo[2].move, 0) << "nothing beyond the current position may be replayed";
    EXPECT_EQ(Fen(), "rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6");
}

TEST_F(UciTest, PositionAcceptsCastlingEnPassantAndPromotions) {
    Uci("position fen r3k2r/8/8/8/8/8/8/R3K2R w KQkq - 0 1 moves e1g1 e8c8");
    EXPECT_EQ(Fen(), "2kr3r/8/8/8/8/8/8/R4RK1 w - -");
    Uci("position startpos moves e2e4 a7a6 e4e5 d7d5 e5d6");
    EXPECT_EQ(CTD->game_ply, 5);
    EXPECT_EQ(Fen(), "rnbqkbnr/1pp1pppp/p2P4/8/8/8/PPPP1PPP/RNBQKBNR b KQkq -");
    Uci("position fen 7k/P7/8/8/8/8/8/K7 w - - moves a7a8n");
    EXPECT_EQ(CTD->pos.board[Sq("a8")], KNIGHT);
    // Promotion letters in upper case, as some interfaces write them.
    for (const char* p : {"Q", "R", "B", "N"}) {
        std::string out = Uci(std::string("position fen 7k/P7/8/8/8/8/8/K7 w - - moves a7a8") + p + " h8g7");
        EXPECT_EQ(out, "") << p;
        EXPECT_EQ(CTD->game_ply, 2) << "a7a8" << p << " was not read as a promotion";
        EXPECT_EQ(CTD->pos.board[Sq("a8")], std::string("PNBRQ").find(p) + 1) << p;
    }
    // Only the promotion letter may be a capital.
    std::string out = Uci("position fen 7k/P7/8/8/8/8/8/K7 w - - moves A7A8Q");
    EXPECT_TRUE(Contains(out, "illegal move A7A8Q")) << out;
    out = Uci("position fen 7k/P7/8/8/8/8/8/K7 w - - moves a7a8K");
    EXPECT_TRUE(Contains(out, "illegal move a7a8K")) << out;
}

TEST_F(UciTest, PositionKeepsTheFenCountersInTheGameRecord) {
    Uci("position fen 8/8/8/4k3/8/8/8/4K2R w - - 99 60");
    EXPECT_EQ(CTD->pos.fifty, 99);
    EXPECT_EQ(FullMoveNumber(&CTD->pos), 60);
    Uci("position fen 8/8/8/4k3/8/8/8/4K2R w - - 99 60 moves h1h2 e5d4");
    EXPECT_EQ(CTD->pos.fifty, 101);
    EXPECT_EQ(FullMoveNumber(&CTD->pos), 61);
    std::string out = Uci("position fen 8/8/8/4k3/8/8/8/4K2R w - - -3 60");
    EXPECT_TRUE(Contains(out, "info string Illegal FEN")) << out;
    EXPECT_EQ(CTD->pos.fifty, 101) << "a refused text leaves the game as it was";
}

TEST_F(UciTest, PositionStopsAtTheFirstMoveThatIsNotLegal) {
    std::string out = Uci("position startpos moves e2e4 e7e5 e1e2x e8e7");
    EXPECT_TRUE(Contains(out, "info string position: illegal move e1e2x")) << out;
    EXPECT_EQ(CTD->game_ply, 2);

    out = Uci("position startpos moves e2e4 e2e4 d7d5");
    EXPECT_TRUE(Contains(out, "illegal move e2e4")) << out;
    EXPECT_EQ(CTD->game_ply, 1);

    // A move that leaves the own king in check, and garbage.
    out = Uci("position fen 4k3/8/8/8/8/8/8/r3K3 w - - moves e1f1 a1b1");
    EXPECT_EQ(CTD->game_ply, 0) << "f1 is still on the checking rook's rank";
    EXPECT_TRUE(Contains(out, "illegal move e1f1")) << out;
    out = Uci("position startpos moves zz99");
    EXPECT_TRUE(Contains(out, "illegal move zz99")) << out;
    EXPECT_EQ(CTD->game_ply, 0);
}

TEST_F(UciTest, MalformedPositionIsRefusedAndThePreviousGameStays) {
    Uci("position startpos moves e2e4 c7c5");
    std::string before = Fen();
    const char* bad[] = {
        "position fen 8/8/8 w - -",                                          // too few ranks
        "position fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR x KQkq -",  // side
        "position fen rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",  // nine squares
        "position fen 4k3/8/8/8/8/8/8/8 w - -",                              // no white king
        "position fen 4k3/8/8/8/8/8/4Q3/4K3 w - -",                          // side not to move in check
        "position fen",                                                      // nothing at all
        "position fen moves e2e4",
    };
    for (const char* line : bad) {
        std::string out = Uci(line);
        EXPECT_TRUE(Contains(out, "info string")) << line << " gave no message";
        EXPECT_EQ(Fen(), before) << line;
        EXPECT_EQ(CTD->game_ply, 2) << line;
    }
    std::string out = Uci("position moves e2e4");
    EXPECT_TRUE(Contains(out, "startpos or fen expected")) << out;
    EXPECT_EQ(Fen(), before);
}

TEST_F(UciTest, PositionKeywordsAtTheEndOfTheLineReadNothingBeyondIt) {
    Uci("position startpos moves");
    EXPECT_EQ(CTD->game_ply, 0);
    EXPECT_EQ(Fen(), START_FEN);
    Uci("position startpos moves ");
    EXPECT_EQ(CTD->game_ply, 0);
}

TEST_F(UciTest, GameLongerThanTheHistoryIsRefusedAtItsLimit) {
    std::string line = "position startpos moves";
    const char* cycle[] = {" g1f3", " g8f6", " f3g1", " f6g8"};
    for (int i = 0; i < MAX_GAME_PLY + 8; i++) line += cycle[i % 4];
    std::string out = Uci(line);
    EXPECT_EQ(CTD->game_ply, MAX_GAME_PLY);
    EXPECT_TRUE(Contains(out, "longer than 900 plies")) << out;
}

// ---- go -----------------------------------------------------------------------

TEST_F(UciTest, GoTakesTheIncrementOfTheSideToMoveOnly) {
    Uci("position startpos");
    Uci("go wtime 1000 btime 2000 winc 500 binc 0");
    EXPECT_DOUBLE_EQ(SearchData.wtime, 1.0);
    EXPECT_DOUBLE_EQ(SearchData.btime, 2.0);
    EXPECT_DOUBLE_EQ(SearchData.increment, 0.5);
    EXPECT_EQ(SearchData.limit_kind, 0);
    EXPECT_EQ(SearchData.request.load(), 1);

    Uci("position startpos moves e2e4");
    Uci("go wtime 1000 btime 2000 winc 500 binc 0");
    EXPECT_DOUBLE_EQ(SearchData.increment, 0.0);
}

TEST_F(UciTest, GoClampsItsNumbers) {
    Uci("go wtime -500 btime -1");
    EXPECT_EQ(SearchData.wtime, 0.0);
    EXPECT_EQ(SearchData.btime, 0.0);
    Uci("go depth 80");
    EXPECT_EQ(SearchData.depth_limit, 66);
    EXPECT_EQ(SearchData.limit_kind, 1);
    EXPECT_EQ(SearchData.move_time, 1e7);
    // A search answers with a move: depth 0 (only the root's score) and
    // below are one iteration.
    Uci("go depth -3");
    EXPECT_EQ(SearchData.depth_limit, 1);
    Uci("go depth 0");
    EXPECT_EQ(SearchData.depth_limit, 1);
    Uci("go depth 1");
    EXPECT_EQ(SearchData.depth_limit, 1);
    Uci("go depth 2");
    EXPECT_EQ(SearchData.depth_limit, 2);
    Uci("go movetime -20");
    EXPECT_EQ(SearchData.move_time, 0.0);
}

TEST_F(UciTest, EachGoIsCompleteInItself) {
    // A limit that the "go" does not name is not in force.
    Uci("go depth 5");
    Uci("go wtime 3000 btime 3000");
    EXPECT_EQ(SearchData.depth_limit, 66) << "the depth of an earlier go leaked";
    EXPECT_EQ(SearchData.limit_kind, 0);
    Uci("go nodes 1000");
    Uci("go movetime 1000");
    EXPECT_EQ(SearchData.node_limit, 0u) << "the node limit of an earlier go leaked";
    EXPECT_EQ(SearchData.limit_kind, 1);
    EXPECT_DOUBLE_EQ(SearchData.move_time, 1.0);
    Uci("go wtime 3000 btime 3000 winc 200 binc 200");
    EXPECT_DOUBLE_EQ(SearchData.increment, 0.2);
    Uci("go wtime 3000 btime 3000");
    EXPECT_EQ(SearchData.increment, 0.0) << "the increment of an earlier go leaked";
    Uci("go movestogo 12 wtime 3000 btime 3000");
    EXPECT_EQ(SearchData.limit_kind, 40);
    EXPECT_EQ(SearchData.movestogo, 12);
    Uci("go wtime 3000 btime 3000");
    EXPECT_EQ(SearchData.limit_kind, 0) << "moves to go of an earlier go leaked";
    // Also across a new game.
    Uci("go depth 2 nodes 500");
    Uci("ucinewgame");
    Uci("go wtime 3000 btime 3000");
    EXPECT_EQ(SearchData.depth_limit, 66);
    EXPECT_EQ(SearchData.node_limit, 0u);
    // Limits named together all hold.
    Uci("go depth 7 nodes 5000");
    EXPECT_EQ(SearchData.depth_limit, 7);
    EXPECT_GE(SearchData.node_limit, 4805u);
    EXPECT_LE(SearchData.node_limit, 5200u);
}

TEST_F(UciTest, CommandLineLimitsHoldForEveryGo) {
    // "-d 8 -n 20000" on the command line: an operator's limit for the whole run.
    SearchData.depth_limit = 8;
    SearchData.node_limit = 20000;
    KeepCommandLineLimits();
    Uci("go depth 3");
    EXPECT_EQ(SearchData.depth_limit, 3);
    Uci("go wtime 3000 btime 3000");
    EXPECT_EQ(SearchData.depth_limit, 8);
    EXPECT_EQ(SearchData.node_limit, 20000u);
    Uci("go infinite");
    EXPECT_EQ(SearchData.depth_limit, 66) << "an infinite search has no limit";
    EXPECT_EQ(SearchData.node_limit, 0u);
    // "-d 0" still answers with a move.
    SearchData.depth_limit = 0;
    KeepCommandLineLimits();
    Uci("go wtime 3000 btime 3000");
    EXPECT_EQ(SearchData.depth_limit, 1);
    // Without switches: none.
    SearchData.depth_limit = 66;
    SearchData.node_limit = 0;
    KeepCommandLineLimits();
    Uci("go wtime 3000 btime 3000");
    EXPECT_EQ(SearchData.depth_limit, 66);
    EXPECT_EQ(SearchData.node_limit, 0u);
}

TEST_F(UciTest, GoNodesAddsAJitterComputedIn64Bits) {
    for (int i = 0; i < 300; i++) {
        Uci("go nodes 1000");
        ASSERT_GE(SearchData.node_limit, 961u);
        ASSERT_LE(SearchData.node_limit, 1040u);
    }
    // Beyond 32 bits: 3e9 nodes stay 3e9 within the jitter.
    Uci("go nodes 3000000000");
    EXPECT_GE(SearchData.node_limit, 2883000000ull);
    EXPECT_LE(SearchData.node_limit, 3120000000ull);
    // A count far beyond any search saturates instead of wrapping around.
    Uci("go nodes 99999999999999999999999");
    EXPECT_GT(SearchData.node_limit, 900000000000000000ull);
    EXPECT_EQ(SearchData.limit_kind, 1);
    // No count, or a negative one, is still a limit (0 would mean none and the search would not end).
    Uci("go nodes 0");
    EXPECT_EQ(SearchData.node_limit, 1u);
    Uci("go nodes -5");
    EXPECT_EQ(SearchData.node_limit, 1u);
}

TEST_F(UciTest, GoKeywordWithoutItsNumberChangesNothing) {
    SearchData.wtime = 7.0;
    std::string out = Uci("go wtime");
    EXPECT_EQ(SearchData.wtime, 7.0);
    EXPECT_TRUE(Contains(out, "go: wtime needs a value")) << out;
    EXPECT_EQ(SearchData.request.load(), 1);
}

TEST_F(UciTest, GoInfiniteAndPonder) {
    Uci("go depth 4");
    Uci("go infinite");
    EXPECT_EQ(SearchData.depth_limit, 66);
    EXPECT_EQ(SearchData.node_limit, 0u);
    EXPECT_EQ(SearchData.limit_kind, 1);
    EXPECT_EQ(SearchData.infinite, 1);
    EXPECT_EQ(SearchData.request.load(), 1);
    Uci("go ponder wtime 1000 btime 1000");
    EXPECT_EQ(SearchData.request.load(), 2);
    EXPECT_EQ(SearchData.infinite, 0);
}

// ---- the other commands ---------------------------------------------------------

TEST_F(UciTest, StopPonderhitAndQuit) {
    Uci("ponderhit");
    EXPECT_EQ(SearchData.search_mode.load(), 0) << "ponderhit without a ponder search does nothing";
    SearchData.search_mode = 2;
    Uci("ponderhit");
    EXPECT_EQ(SearchData.search_mode.load(), 1);

    SearchData.search_mode = 2;
    Uci("stop");
    EXPECT_EQ(SearchData.search_mode.load(), 1) << "a stopped ponder search is reported";
    EXPECT_EQ(SearchData.stop.load(), STOP_NORMAL);
    EXPECT_EQ(PBlock.ready, 1);

    std::string out = Uci("quit");
    EXPECT_EQ(out, "");
    EXPECT_EQ(PBlock.quit, 1);
    EXPECT_EQ(SearchData.stop.load(), STOP_CONSOLE);
}

TEST_F(UciTest, UciNewGameResetsClocksAndGame) {
    Uci("position startpos moves e2e4 e7e5");
    SearchData.hash_age = 7;
    Uci("go depth 5 movetime 300");
    Uci("ucinewgame");
    EXPECT_EQ(CTD->game_ply, 0);
    EXPECT_EQ(SearchData.limit_kind, 0);
    EXPECT_EQ(SearchData.increment, 0.0);
    EXPECT_EQ(SearchData.move_time, 60.0);
    EXPECT_EQ(SearchData.wtime, 60.0);
    EXPECT_EQ(SearchData.btime, 60.0);
    EXPECT_EQ(SearchData.hash_age, 0);
    EXPECT_EQ(PBlock.ready, 1);
}

TEST_F(UciTest, IsReadyAndUnknownCommands) {
    EXPECT_EQ(Uci("isready"), "readyok\n");
    EXPECT_EQ(Uci("isready now"), "readyok\n");
    EXPECT_EQ(Uci("isreadyx"), "") << "commands match whole words";
    EXPECT_EQ(Uci("Stop"), "") << "commands are case-sensitive";
    EXPECT_EQ(Uci(""), "");
}

TEST_F(UciTest, SetOptionParsesNameAndValue) {
    std::string out = Uci("setoption name Hash value 128");
    EXPECT_EQ(out, "info string Hash set to 128\n");
    EXPECT_EQ(Personality.Hash, 128);
    EXPECT_EQ(DefaultPersonality.Hash, 128) << "\"uci\" reports set values as defaults";
    EXPECT_EQ(Personality.params_changed, 1);

    out = Uci("setoption   name   MultiPV   value   3  ");
    EXPECT_EQ(Personality.MultiPV, 3);

    // A value at the very end of the line.
    out = Uci("setoption name MultiPV value");
    EXPECT_EQ(out, "info string MultiPV set to 1\n");
}

TEST_F(UciTest, SetOptionHashResizesTheTableAtOnce) {
    SearchData.threads = 0;
    SearchData.hash_mb = 1;
    ASSERT_EQ(HashInit(), 1);
    HashStore(&CTD->pos, 1, 5, 0, 17, -10001, 10001);
    HashEntry e;
    ASSERT_NE(HashProbe(&CTD->pos, &e), nullptr);
    // The new size is in force before the command ends, so before the
    // "readyok" of an "isready" behind it, not at the next search start.
    std::string out = Uci("setoption name Hash value 3");
    EXPECT_EQ(out, "info string Hash set to 3\ninfo string allocated 3 Mbytes for hash table\n");
    EXPECT_EQ(SearchData.hash_mb, 3);
    EXPECT_EQ(entries, 3u * 65536u);
    EXPECT_EQ(HashProbe(&CTD->pos, &e), nullptr) << "a resized table starts empty";
    EXPECT_EQ(SearchData.use_hash, 1);
    // The same size again, and 0: no table to use.
    EXPECT_EQ(Uci("setoption name Hash value 3"), "info string Hash set to 3\n");
    Uci("setoption name Hash value 0");
    EXPECT_EQ(entries, 0u);
    EXPECT_EQ(SearchData.use_hash, 0);
    Uci("setoption name Hash value 1");
    EXPECT_EQ(entries, 65536u);
    EXPECT_EQ(SearchData.use_hash, 1);
    HashFree();
}

TEST_F(UciTest, SetOptionWithoutValueSetsNothingButPressesButtons) {
    Personality.params_changed = 0;
    std::string out = Uci("setoption name Hash");
    EXPECT_EQ(Personality.Hash, 64);
    EXPECT_TRUE(Contains(out, "no value given for Hash")) << out;
    EXPECT_EQ(Personality.params_changed, 1);

    out = Uci("setoption name Clear_Hash");
    EXPECT_EQ(out, "info string Hash table cleared\n");
    out = Uci("setoption name Clear_Hash value");
    EXPECT_EQ(out, "info string Hash table cleared\n");

    out = Uci("setoption value 3 name MultiPV");
    EXPECT_EQ(Personality.MultiPV, 1) << "a value before the name is not a setting";
}

TEST_F(UciTest, UnknownOptionNamesAreReported) {
    // Names are case-sensitive: a misspelt name is reported, never dropped silently.
    EXPECT_EQ(Uci("setoption name threads value 4"), "info string unknown option threads\n");
    EXPECT_EQ(Uci("setoption name No Such Thing value 1"), "info string unknown option No Such Thing\n");
    EXPECT_EQ(Uci("setoption name value 3"), "info string setoption: expected name <id> [value <x>]\n");
    EXPECT_EQ(Personality.Threads, 1);
    // A listed option that cannot be set stays quiet.
    EXPECT_EQ(Uci("setoption name PST_Pawn value 50,50"), "");
}

TEST_F(UciTest, InputLinesAreLoggedWhenLoggingIsOn) {
    FILE* f = tmpfile();
    ASSERT_NE(f, nullptr);
    FILE* saved = fdlog;
    fdlog = f;
    Personality.Log = 1;
    Uci("isready");
    Personality.Log = 0;
    Uci("isready");
    fdlog = saved;
    rewind(f);
    char buf[256] = {0};
    size_t n = fread(buf, 1, sizeof buf - 1, f);
    fclose(f);
    EXPECT_EQ(std::string(buf, n), "CMD: isready\nreadyok\n");
}
