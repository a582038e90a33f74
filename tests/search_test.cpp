// The node search, its move loop and the quiescence search: mate and draw
// scores, the table and window rules, each pruning, reduction and extension
// rule (through the search's rule counters), limits, and fixed-depth node
// counts as a regression baseline.
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "search/qsearch.h"
#include "search/timecontrol.h"
#include "search_test_util.h"

namespace {

Move Coord(const char* s) { return MakeMoveCode((s[0] - 'a') + 8 * (s[1] - '1'), (s[2] - 'a') + 8 * (s[3] - '1')); }

class NodeSearch : public ::testing::Test {
protected:
    ThreadRecord* t = nullptr;
    NodeFrame frame;
    Move pv[PV_SIZE] = {};

    void SetUp() override {
        InitSearchEnvironment();
        t = NewTestRecord();
    }
    void TearDown() override {
        FreeThreadRecord(t);
        Personality = DefaultPersonality;
        SearchData.target_nps = 1e9;
        SearchData.stop = 0;
        SetSearchParams();
    }
    // Sets the position (after the given game moves) and the frame of a node at `ply`.
    Position* Node(const char* fen, int ply, std::initializer_list<const char*> game = {}, int iteration = 10) {
        HashClear();
        Position* pos = SetTestPosition(t, fen);
        for (const char* m : game) MakeMove(pos, Coord(m));
        PrepareNode(t, ply, frame, iteration);
        return pos;
    }
    int Run(int ply, int depth, int alpha, int beta, int node_type) {
        return Search(&t->pos, t->pos.side, ply, depth, alpha, beta, node_type, pv);
    }
    int StaticEval(int ply) { return Evaluate(t, t->pos.side, ply, 0, 0); }
    int Alert(int ply) { return t->pos.side == WHITE ? t->stack[ply].eval_extra1 : t->stack[ply].eval_extra2; }
};

// A mate given with the root side's n-th move scores 10000 - 2n; being mated
// after the root side's move at ply 3 scores -9997.
TEST_F(NodeSearch, MatesScoreTheirDistance) {
    struct Case {
        const char* fen;
        int score;
        const char* move;
    } cases[] = {
        {"6k1/5ppp/8/8/8/8/8/R5K1 w - -", 9998, "a1a8"},
        {"k7/8/2K5/8/8/8/8/7R w - -", 9996, "c6b6"},
        {"r1bq2rk/pp3pbp/2p1p1pQ/7P/3P4/2PB1N2/PP3PPR/2KR4 w - -", 9996, "h6h7"},
        {"5k2/6pp/p1qN4/1p1p4/3P4/2PKP2Q/PP3r2/3R4 b - -", 9996, "c6c4"},
        {"k7/8/8/3K4/8/8/8/7R w - -", 9994, "d5c6"},
        {"k7/8/1K6/8/8/8/8/7R b - -", -9997, "a8b8"},
    };
    for (const auto& c : cases) {
        HashClear();
        RootResult r = SearchFen(t, c.fen, 10);
        EXPECT_EQ(r.score, c.score) << c.fen;
        EXPECT_EQ(MoveText(r.pv[1]), c.move) << c.fen;
    }
}

TEST_F(NodeSearch, MateAndStalemateAtANode) {
    Node("k7/1Q6/1K6/8/8/8/8/8 b - -", 2);
    EXPECT_EQ(Run(2, 0, -10001, 10001, 0), 2 - 10000);  // in check at depth 0: evasions, none
    HashEntry e;
    ASSERT_NE(HashProbe(&t->pos, &e), nullptr);
    EXPECT_EQ(e.bound, BOUND_EXACT);
    EXPECT_EQ(e.move, 0);
    EXPECT_EQ(e.score, -10000);  // relative to the node
    Node("k7/2Q5/1K6/8/8/8/8/8 b - -", 2);
    EXPECT_EQ(Run(2, 1, -10001, 10001, 0), 0);
}

TEST_F(NodeSearch, RepetitionsAndTheFiftyMoveRule) {
    // Back at the root inside the search: a draw at once.
    Node(START_FEN, 5, {"g1f3", "g8f6", "f3g1", "f6g8"});
    EXPECT_EQ(Run(5, 3, -10001, 10001, 0), 0);
    EXPECT_EQ(ThreadSearchCounters().repetition_draws, 1u);
    // The same moves with the root one ply later: the earlier position was
    // the one before the root, seen once only, so no draw yet.
    Node(START_FEN, 4, {"g1f3", "g8f6", "f3g1", "f6g8"});
    Run(4, 0, -10001, 10001, 0);
    EXPECT_EQ(ThreadSearchCounters().repetition_draws, 0u)
        << "a position last seen just before the root is not yet a repetition";
    // Repeated strictly inside the search (the root is at game ply 1, the
    // position came at game ply 2): a draw at once.
    Node(START_FEN, 6, {"e2e3", "e7e6", "g1f3", "g8f6", "f3g1", "f6g8"});
    EXPECT_EQ(Run(6, 3, -10001, 10001, 0), 0);
    EXPECT_EQ(ThreadSearchCounters().repetition_draws, 1u);
    // The same game with the root two plies later, at game ply 3: the position
    // of game ply 2 lies before it.
    Node(START_FEN, 4, {"e2e3", "e7e6", "g1f3", "g8f6", "f3g1", "f6g8"});
    Run(4, 0, -10001, 10001, 0);
    EXPECT_EQ(ThreadSearchCounters().repetition_draws, 0u)
        << "a position last seen just before the root is not yet a repetition";
    // Seen once before the root: not yet a draw.
    Node(START_FEN, 2, {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3"});
    Run(2, 0, -10001, 10001, 0);
    EXPECT_EQ(ThreadSearchCounters().repetition_draws, 0u);
    // Seen twice before the root: a draw.
    Node(START_FEN, 2, {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6", "f3g1", "f6g8", "g1f3"});
    EXPECT_EQ(Run(2, 0, -10001, 10001, 0), 0);
    EXPECT_EQ(ThreadSearchCounters().repetition_draws, 1u);
    // A hundred plies without capture or pawn move draw even a mated side,
    // except right after a null move (no draw test there).
    Node("k7/1Q6/1K6/8/8/8/8/8 b - -", 2);
    t->pos.fifty = 100;
    EXPECT_EQ(Run(2, 1, -10001, 10001, 0), 0);
    EXPECT_EQ(ThreadSearchCounters().fifty_draws, 1u);
    t->pos.fifty = 99;
    EXPECT_EQ(Run(2, 1, -10001, 10001, 0), -9998);
    t->pos.fifty = 100;
    frame.prev.move = 0;
    EXPECT_EQ(Run(2, 1, -10001, 10001, 0), -9998);
}

TEST_F(NodeSearch, MateDistanceBoundsAndTableCutoffs) {
    const char* fen = "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -";
    Node(fen, 5);
    EXPECT_EQ(Run(5, 3, 9994, 10001, 0), 9994);  // no mate can be shorter than 9999 - ply
    EXPECT_EQ(t->nodes.load(), 1u);

    Node(fen, 3);
    HashStore(&t->pos, 3, 10, 0, 50, -10001, 10001);
    EXPECT_EQ(Run(3, 3, 29, 30, 1), 30);
    EXPECT_EQ(Run(3, 3, 60, 61, 1), 60);
    EXPECT_EQ(ThreadSearchCounters().hash_cutoffs, 2u);
    uint64_t before = t->nodes.load();
    Run(3, 3, 29, 61, 0);  // principal-variation nodes take no bound cut-off
    EXPECT_GT(t->nodes.load() - before, 1u);
    Node(fen, 3);
    t->pos.fifty = 98;  // the entry cannot look past the fifty-move draw
    Run(3, 3, 29, 30, 1);
    EXPECT_EQ(ThreadSearchCounters().hash_cutoffs, 0u);
    // A probed entry takes the current age.
    SearchData.hash_age = 2;
    Node(fen, 3);
    Run(3, 3, 29, 30, 1);
    HashEntry e;
    ASSERT_NE(HashProbe(&t->pos, &e), nullptr);
    EXPECT_EQ(e.age, 2);
    SearchData.hash_age = 1;

    // An exact mate from the table is returned at once only from ply 8 on.
    HashClear();
    Node(fen, 8);
    HashStore(&t->pos, 8, 5, 0, 9990, -10001, 10001);
    EXPECT_EQ(Run(8, 3, -10001, 10001, 0), 9990);
    EXPECT_EQ(ThreadSearchCounters().hash_mate_returns, 1u);
    Node(fen, 7);
    HashStore(&t->pos, 7, 5, 0, 9990, -10001, 10001);
    Run(7, 3, -10001, 10001, 0);
    EXPECT_EQ(ThreadSearchCounters().hash_mate_returns, 0u);
    EXPECT_GT(t->nodes.load(), 1u);
}

// In check the depth grows by one, except at zero-window nodes when the
// checking piece can be won and the check was not a discovered one; never
// from ply 30 on.
TEST_F(NodeSearch, CheckExtension) {
    struct Case {
        const char* fen;
        int parent_type, parent_flags, ply, depth;
    } cases[] = {
        {"4k3/8/5N2/8/8/8/8/4K3 b - -", 1, 0, 3, 2},    // the knight cannot be taken
        {"4k3/6p1/5N2/8/8/8/8/4K3 b - -", 1, 0, 3, 1},  // g7xf6 wins it
        {"4k3/6p1/5N2/8/8/8/8/4K3 b - -", 0, 0, 3, 2},  // principal-variation parent
        {"4k3/6p1/5N2/8/8/8/8/4K3 b - -", 1, 4, 3, 2},  // discovered check
        {"4k3/8/5N2/8/8/8/8/4K3 b - -", 1, 0, 30, 1},
    };
    for (const auto& c : cases) {
        Node(c.fen, c.ply);
        t->stack[c.ply - 1].node_type = (int16_t)c.parent_type;
        t->stack[c.ply - 1].move_flags = (uint16_t)c.parent_flags;
        Run(c.ply, 1, -50, -49, 1);
        EXPECT_EQ(t->stack[c.ply].depth, c.depth) << c.fen << " ply " << c.ply;
    }
}

TEST_F(NodeSearch, FutilityDropsHopelessNodesIntoQuiescence) {
    Node("6k1/5ppp/8/8/8/8/5PPP/3QR1K1 b - -", 3);
    Run(3, 2, -100, -99, 1);
    EXPECT_EQ(ThreadSearchCounters().futility_drops, 1u);
    Node("6k1/5ppp/8/8/8/8/5PPP/3QR1K1 b - -", 3);
    Run(3, 2, -100, -99, 0);
    EXPECT_EQ(ThreadSearchCounters().futility_drops, 0u);
}

// Static beta pruning needs the evaluation minus the side's alert word to
// reach beta; the alert word also sets the margin of the depth reduction.
TEST_F(NodeSearch, StaticBetaPruningHonoursTheAlertWord) {
    const char* fen = "6k1/5ppp/8/8/2p5/1N6/5PPP/3QR1K1 w - -";  // the knight is attacked by a pawn
    Node(fen, 3);
    int e = StaticEval(3), x = Alert(3);
    ASSERT_GE(x, 256) << "the hung knight should raise white's alert word";
    Node(fen, 3);
    EXPECT_EQ(Run(3, 1, e - x - 1, e - x, 1), e - x);
    EXPECT_EQ(ThreadSearchCounters().sep_cutoffs, 1u);
    Node(fen, 3);
    Run(3, 1, e - x, e - x + 1, 1);
    EXPECT_EQ(ThreadSearchCounters().sep_cutoffs + ThreadSearchCounters().snmp_cutoffs, 0u);
    // Depth reduction after five moves of the parent, margin x / 2.
    Node(fen, 3);
    t->stack[2].move_count = 5;
    Run(3, 4, e - x / 2 - 1, e - x / 2, 1);
    EXPECT_EQ(ThreadSearchCounters().bp_depth_reductions, 1u);
    Node(fen, 3);
    t->stack[2].move_count = 5;
    Run(3, 4, e - x / 2, e - x / 2 + 1, 1);
    EXPECT_EQ(ThreadSearchCounters().bp_depth_reductions, 0u);
}

TEST_F(NodeSearch, SNMPLooksForPiecesThatCanBeWon) {
    Node("6k1/5ppp/8/8/2p5/1N6/5PPP/3QR1K1 w - -", 3);
    // c4xb3 Qxb3 wins 230: 1000 - 230 <= 646 + 124
    EXPECT_EQ(SNMP(&t->pos, WHITE, 1000, 646), 0);
    EXPECT_EQ(SNMP(&t->pos, WHITE, 1000, 645), 1);
    Node("6k1/5ppp/8/8/8/8/5PPP/3QR1K1 w - -", 3);
    EXPECT_EQ(SNMP(&t->pos, WHITE, 100, 99), 1);
}

TEST_F(NodeSearch, NullMove) {
    const char* fen = "6k1/5ppp/8/8/8/8/5PPP/3QR1K1 w - -";
    Node(fen, 3);
    EXPECT_EQ(Run(3, 4, 99, 100, 1), 100);  // fails high below depth 5: beta at once
    EXPECT_EQ(ThreadSearchCounters().null_cutoffs, 1u);
    Node(fen, 3);
    Run(3, 6, 99, 100, 1);  // from depth 5 on the node goes on, shallower
    EXPECT_EQ(ThreadSearchCounters().null_reductions, 1u);
    EXPECT_EQ(ThreadSearchCounters().null_cutoffs, 0u);
    for (int which = 0; which < 3; which++) {
        Node(which == 2 ? "6k1/5ppp/8/8/8/8/8/3QR1K1 w - -" : fen, 3);  // 2: no pawns
        if (which == 0) frame.prev.move = 0;
        if (which == 1) frame.prev2.move = 0;
        Run(3, 4, 99, 100, 1);
        EXPECT_EQ(ThreadSearchCounters().null_tries, 0u) << which;
    }
    // Nested null moves: none while the iteration is below 10, one more from 10.
    SearchFen(t, START_FEN, 9);
    EXPECT_EQ(ThreadSearchCounters().null_depth_max, 1u);
    HashClear();
    SearchFen(t, START_FEN, 10);
    EXPECT_EQ(ThreadSearchCounters().null_depth_max, 2u);
}

TEST_F(NodeSearch, ProbCut) {
    const char* fen = "6k1/5ppp/8/3q4/8/8/5PPP/3R2K1 w - -";  // Rxd5 wins the queen
    Node(fen, 4);
    EXPECT_EQ(ProbCut(&t->pos, 4, 5, 9001), 0);
    EXPECT_EQ(ThreadSearchCounters().probcut_tries, 0u);
    Node(fen, 4);
    EXPECT_EQ(ProbCut(&t->pos, 4, 5, 0), 1);
    Node("6k1/5ppp/4p3/3r4/8/8/5PPP/3R2K1 w - -", 4);  // an even trade is not tried
    EXPECT_EQ(ProbCut(&t->pos, 4, 5, -600), 0);
    EXPECT_EQ(ThreadSearchCounters().probcut_searches, 0u);
    // In the node search, from ply 4 on.
    Node(fen, 4);
    int e = StaticEval(4);
    Node(fen, 4);
    EXPECT_EQ(Run(4, 5, e - 101, e - 100, 1), e - 100);
    EXPECT_EQ(ThreadSearchCounters().probcut_cutoffs, 1u);
    Node(fen, 3);
    Run(3, 5, e - 101, e - 100, 1);
    EXPECT_EQ(ThreadSearchCounters().probcut_tries, 0u);
}

TEST_F(NodeSearch, InternalIterativeDeepeningGate) {
    Node(START_FEN, 2);
    Run(2, 4, -10001, 10001, 0);
    EXPECT_EQ(ThreadSearchCounters().iid_searches, 1u);
    Node(START_FEN, 2);
    HashStore(&t->pos, 2, 1, 0, 0, -10001, 10001);  // deep enough to stand in for it
    Run(2, 4, -10001, 10001, 0);
    EXPECT_EQ(ThreadSearchCounters().iid_searches, 0u);
    Node(START_FEN, 2);
    Run(2, 4, 400, 500, 0);  // evaluation far below alpha
    EXPECT_EQ(ThreadSearchCounters().iid_searches, 0u);
}

// The hash move comes from the picker twice and is searched once.
TEST_F(NodeSearch, HashMoveSearchedOnce) {
    Node(START_FEN, 2);
    HashStore(&t->pos, 2, 0, Coord("e2e4"), 0, -10001, 10001);
    Run(2, 1, -10001, 10001, 0);
    EXPECT_EQ(t->stack[2].hash_move, Coord("e2e4"));
    EXPECT_EQ(t->stack[2].move_count, 20);
}

TEST_F(NodeSearch, LateMoveReduction) {
    struct Case {
        int depth, n, node_type, score, parent_r, safe, flags, r;
    } cases[] = {
        {10, 10, 1, 0, 0, 1, 0, 3},   {10, 10, 1, 40, 0, 1, 0, 2},  {10, 10, 1, 0, 3, 1, 0, 2},
        {10, 10, 1, 0, 0, 0, 0, 4},   {10, 10, 1, 0, 0, 0, 1, 2},   {10, 10, 1, 0, 0, 0, 2, 3},
        {10, 10, 0, 0, 0, 1, 0, 2},   {3, 2, 0, 0, 0, 1, 0, 0},     {3, 2, 0, 0, 0, 0, 0, 1},
        {3, 2, 1, 0, 0, 1, 0, 1},     {1, 5, 1, 0, 0, 0, 0, 0},     {0, 5, 1, 0, 0, 0, 0, 0},
        {-5, -1, 1, 0, 0, 0, 0, 0},   {200, 500, 1, 0, 0, 1, 0, 6},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LateMoveReduction(c.depth, c.n, c.node_type, c.score, c.parent_r, c.safe, c.flags), c.r)
            << c.depth << " " << c.n << " " << c.node_type << " " << c.score << " " << c.parent_r << " " << c.safe
            << " " << c.flags;
}

TEST_F(NodeSearch, ExchangeTestsOfTheMoveLoop) {
    Position* pos = Node("4k3/8/2p1p3/3r4/1Q2N3/8/8/4K2R w - -", 2);
    EXPECT_EQ(MoveIsSafe(pos, Coord("b4b5")), 0);  // the queen steps into a pawn's reach
    EXPECT_EQ(MoveIsSafe(pos, Coord("b4b6")), 1);
    EXPECT_EQ(MoveIsSafe(pos, Coord("e4c5")), 1);  // defended against the rook by the queen
    EXPECT_EQ(MoveIsSafe(pos, Coord("h1h5")), 0);  // the rook trades itself for nothing
    EXPECT_EQ(MoveIsSafe(pos, Coord("e4f6")), 1);
    Node("4k3/8/2p1p3/3r4/1Q2N3/8/8/4K2R b - -", 2);
    EXPECT_EQ(MoveIsSafe(pos, Coord("d5d4")), 0);
    EXPECT_EQ(MoveIsSafe(pos, Coord("d5b5")), 1);  // Qxb5 cxb5 costs white the queen
    EXPECT_EQ(MoveIsSafe(pos, Coord("d5d7")), 1);
    Node("4k3/8/8/3r4/4N3/8/8/4K3 b - -", 2);
    EXPECT_EQ(MoveIsSafe(pos, Coord("d5d4")), 1);  // nothing attacks d4
    Node("4k3/8/8/3pP3/8/8/8/4K3 w - d6", 2);
    EXPECT_EQ(MoveIsSafe(pos, Coord("e5d6")), 1);
    // A rook joining an attack on the king's neighbourhood.
    Node("6k1/5p2/8/8/2B5/8/8/R5K1 w - -", 2);
    Bitboard zone = BB_KingRays[62];
    EXPECT_EQ(MoveAttacksKingArea(pos, ROOK, 0, 48, zone), 1);  // a1-a7: f7 is the bishop's too
    Node("6k1/5p2/8/8/8/8/8/R5K1 w - -", 2);
    EXPECT_EQ(MoveAttacksKingArea(pos, ROOK, 0, 48, zone), 0);
    Node("6k1/5p2/8/8/2B5/8/8/R5K1 w - -", 2);
    EXPECT_EQ(MoveAttacksKingArea(pos, QUEEN, 0, 48, zone), 1);
    EXPECT_EQ(MoveAttacksKingArea(pos, BISHOP, 0, 48, zone), 0);
}

TEST_F(NodeSearch, Quiescence) {
    auto q = [&](int depth, int stand, int alpha, int beta) {
        t->stack[3].static_eval = (int16_t)stand;
        t->stack[3].checker = NO_SQ;
        return Q_Search(&t->pos, t->pos.side, 3, depth, alpha, beta, 1, pv);
    };
    Node("4k3/8/8/8/8/8/8/4K3 w - -", 3);
    EXPECT_EQ(q(-1, 300, 99, 100), 100);  // stand pat returns beta itself
    EXPECT_EQ(q(-1, 20, -50, 200), 20);
    EXPECT_EQ(q(-1, 20, 50, 200), 50);
    // Below depth -3 only recaptures on the last move's square.
    Node("4k3/8/8/3p4/8/p7/8/R2RK3 w - -", 3);
    int e = StaticEval(3);
    t->last_move = Coord("e6d5");
    q(-4, e, e - 500, 10001);
    EXPECT_EQ(t->stack[3].move_count, 1);
    q(-1, e, e - 500, 10001);
    EXPECT_EQ(t->stack[3].move_count, 2);
    // Delta pruning skips a pawn capture far below alpha, but not the
    // capture of the last pawn of a side left with a lone minor piece.
    Node("4k3/7p/8/3p4/8/8/8/3RK3 w - -", 3);
    q(-1, 0, 300, 400);
    EXPECT_EQ(t->stack[3].move_count, 0);
    Node("4k3/8/4n3/3p4/8/8/8/3RK3 w - -", 3);
    q(-1, 0, 300, 400);
    EXPECT_EQ(t->stack[3].move_count, 1);
    // Only fail-high results at depth 0 or above are stored.
    HashEntry entry;
    Node("4k3/8/8/3q4/8/8/8/3RK3 w - -", 3);
    q(-1, 0, 10, 20);
    EXPECT_EQ(HashProbe(&t->pos, &entry), nullptr);
    q(0, 0, 5000, 6000);  // fails low
    EXPECT_EQ(HashProbe(&t->pos, &entry), nullptr);
    q(0, 0, 10, 20);
    ASSERT_NE(HashProbe(&t->pos, &entry), nullptr);
    EXPECT_EQ(entry.bound, BOUND_LOWER);
    EXPECT_EQ(entry.move, Coord("d1d5"));
}

// The quiescence search's quiet checks: a check that hangs the checking
// piece is skipped, a safe one searched.
TEST_F(NodeSearch, QuietChecks) {
    // Qa4+, Qe2+ and Qh5+ are searched; Qd7+ and Qd8+ hang the queen to the king.
    Node("4k3/8/8/8/8/8/8/3QK3 w - -", 3);
    t->stack[3].static_eval = 0;
    t->stack[3].checker = NO_SQ;
    Q_Search(&t->pos, WHITE, 3, 0, 9000, 9100, 1, pv);
    EXPECT_EQ(t->stack[3].move_count, 3);
    Q_Search(&t->pos, WHITE, 3, -1, 9000, 9100, 1, pv);
    EXPECT_EQ(t->stack[3].move_count, 0);  // below depth 0 no quiet moves at all
}

TEST_F(NodeSearch, StopAndNodeLimit) {
    const char* fen = "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -";
    Node(fen, 2);
    t->node_limit = 300;
    t->done_depth = 2;
    EXPECT_EQ(Run(2, 8, -10001, 10001, 0), 0);
    EXPECT_EQ(SearchData.stop.load(), STOP_NORMAL);
    HashEntry e;
    EXPECT_EQ(HashProbe(&t->pos, &e), nullptr) << "an interrupted node must store nothing";
    uint64_t n = t->nodes.load();
    EXPECT_EQ(Run(2, 8, -10001, 10001, 0), 0);
    EXPECT_EQ(t->nodes.load(), n + 1);
    SearchData.stop = 0;
    // Below completed depth 2 the limit does not stop the search.
    Node(fen, 2);
    t->node_limit = 10;
    t->done_depth = 1;
    Run(2, 3, -10001, 10001, 0);
    EXPECT_EQ(SearchData.stop.load(), 0);
    // Run to its end, the node stores its result.
    ASSERT_NE(HashProbe(&t->pos, &e), nullptr) << "a completed node stores its result";
    EXPECT_EQ(e.depth, 3);
}

TEST_F(NodeSearch, DeepestPlyAndEvaluationDraws) {
    Node("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -", 66);
    int e = StaticEval(66);
    EXPECT_EQ(Run(66, 5, -10001, 10001, 0), e);
    Node("k7/1Q6/1K6/8/8/8/8/8 b - -", 66);
    EXPECT_EQ(Run(66, 5, -10001, 10001, 0), 0);
    Node("4k3/8/8/8/8/8/8/2N1K3 w - -", 3);  // a lone knight cannot win
    EXPECT_EQ(Run(3, 5, -100, 100, 0), 0);
    EXPECT_EQ(ThreadSearchCounters().eval_draws, 1u);
}

TEST_F(NodeSearch, StrengthLimit) {
    // Blindness: some zero-window nodes lose depth.
    Personality.UCI_Elo = 1000;
    SearchData.target_nps = 20;  // 4500 / (20 - 10) = 450: every node
    SetSearchParams();
    EXPECT_EQ(blindness, 450);
    Node("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -", 3);
    SearchData.depth = 1;  // no speed throttle before iteration 2
    Run(3, 4, -20, -19, 1);
    EXPECT_GT(ThreadSearchCounters().blind_reductions, 0u);
    // Speed: the thread sleeps until it is not faster than the target.
    Personality.UCI_Elo = 0;
    SearchData.target_nps = 5000;
    SetSearchParams();
    EXPECT_EQ(blindness, 0);
    Node("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -", 3);
    SearchData.depth = 2;
    search_start = GetTime();
    SearchData.elapsed = 0.0;
    Run(3, 3, -10001, 10001, 0);
    uint64_t n = t->nodes.load();
    EXPECT_GT(ThreadSearchCounters().throttle_sleeps, 0u);
    EXPECT_GE(SearchData.elapsed.load() * 5000.0, (double)(n - 1));
}

// Console settings beyond the tables' reach must not send an index out of
// bounds (the sanitizer builds check it).
TEST_F(NodeSearch, OutOfRangeSettingsStayInBounds) {
    Personality.LMR_depth = -5;
    Personality.FP_depth = 40;
    Personality.SEP_depth = 40;
    Personality.LMP_depth = 40;
    Personality.NMP_depth = -2;
    Personality.probcut_r = -3;
    Personality.ProbCut_depth = 0;
    Personality.Selectivity = 30000;
    SetSearchParams();
    RootResult r = SearchFen(t, "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -", 7);
    EXPECT_EQ(r.depth, 7);
    EXPECT_NE(r.pv[1], 0);
}

// Threads searching at once share only the table (and the stop flag): each
// finds its best move; the sanitizer build checks that nothing races.
TEST_F(NodeSearch, ThreadsShareTheTable) {
    const char* fens[] = {START_FEN, "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -",
                          START_FEN, "6k1/5ppp/8/8/8/8/8/R5K1 w - -"};
    std::vector<ThreadRecord*> records;
    std::vector<RootResult> results(4);
    for (int i = 0; i < 4; i++) {
        records.push_back(NewTestRecord());
        SetTestPosition(records[i], fens[i]);
    }
    std::vector<std::thread> pool;
    for (int i = 0; i < 4; i++)
        pool.emplace_back([&, i]() { results[i] = SearchRootForTest(records[i], 8); });
    for (auto& th : pool) th.join();
    for (int i = 0; i < 4; i++) {
        EXPECT_NE(results[i].pv[1], 0) << fens[i];
        FreeThreadRecord(records[i]);
    }
    EXPECT_EQ(results[3].score, 9998);
}

// Fixed-depth single-thread searches repeat exactly; the node counts are a
// regression baseline (they change when the search or the evaluation does).
// Between them the searches exercise every pruning and reduction rule.
TEST_F(NodeSearch, FixedDepthBaselineAndRuleCoverage) {
    struct Case {
        const char* fen;
        int depth;
        uint64_t nodes;
    } cases[] = {
        {START_FEN, 10, 71108},
        {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -", 9, 49538},
        {"r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -", 10, 59642},
        {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -", 12, 37157},
    };
    SearchCounters total{};
    for (const auto& c : cases) {
        HashClear();
        RootResult a = SearchFen(t, c.fen, c.depth);
        const SearchCounters k = ThreadSearchCounters();
        HashClear();
        RootResult b = SearchFen(t, c.fen, c.depth);
        EXPECT_EQ(a.nodes, b.nodes) << c.fen;
        EXPECT_EQ(a.score, b.score) << c.fen;
        EXPECT_EQ(a.pv[1], b.pv[1]) << c.fen;
        EXPECT_EQ(a.nodes, c.nodes) << "node count changed (update the baseline if the search or the "
                                       "evaluation changed on purpose): "
                                    << c.fen;
        const uint64_t* from = reinterpret_cast<const uint64_t*>(&k);
        uint64_t* to = reinterpret_cast<uint64_t*>(&total);
        for (size_t i = 0; i < sizeof(SearchCounters) / sizeof(uint64_t); i++) to[i] += from[i];
    }
    EXPECT_GT(total.check_extensions, 0u);
    EXPECT_GT(total.check_extensions_refused, 0u);
    EXPECT_GT(total.hash_cutoffs, 0u);
    EXPECT_GT(total.mate_distance_cuts + total.repetition_draws, 0u);
    EXPECT_GT(total.qsearch_drops, 0u);
    EXPECT_GT(total.futility_drops, 0u);
    EXPECT_GT(total.bp_depth_reductions, 0u);
    EXPECT_GT(total.sep_cutoffs, 0u);
    EXPECT_GT(total.snmp_cutoffs, 0u);
    EXPECT_GT(total.probcut_cutoffs, 0u);
    EXPECT_GT(total.null_cutoffs, 0u);
    EXPECT_GT(total.null_reductions, 0u);
    EXPECT_GT(total.iid_searches, 0u);
    EXPECT_GT(total.lmp_prunes, 0u);
    EXPECT_GT(total.lmp_unsafe_prunes, 0u);
    EXPECT_GT(total.depth1_unsafe_prunes, 0u);
    EXPECT_GT(total.lmr_reduced, 0u);
    EXPECT_GT(total.lmr_researches, 0u);
}

}  // namespace
