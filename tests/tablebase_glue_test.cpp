// The search's entry points into the tables: when a node may be probed, how
// the root's distance, class and move come out, the fifty-move counter's
// part in the class, positions the root probe refuses, and answers kept for a registration.
#include <gtest/gtest.h>

#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "tests/tablebase_test_util.h"

namespace {

int Sq(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }

class TableGlue : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveSyzygyData()) GTEST_SKIP() << "the Syzygy test tables are not in " << SyzygyDir();
        Personality.SyzygyProbeDepth5 = 0;
        Personality.SyzygyProbeDepth6 = 2;
        ASSERT_EQ(RegisterTables(SyzygyDir()), "info string found 23 tablebases\n");
    }
    void TearDown() override {
        RegisterTables("");
        Personality = DefaultPersonality;
    }
    // The root probe on a FEN position with a given fifty-move counter.
    int RootProbe(const std::string& fen, int fifty, int* cls, uint32_t* dtz, Move* move) {
        Position* pos = EnginePosition(fen);
        pos->fifty = (uint8_t)fifty;
        return TB_Probe_DTZ(pos, cls, dtz, move);
    }
};

const char* const KRK_WIN = "8/8/8/4k3/8/8/8/R3K3 w - - 0 1";

TEST_F(TableGlue, CastlingRightsAreNeverProbed) {
    Position* pos = EnginePosition("4k3/8/8/8/8/8/8/R3K3 w Q - 0 1");
    ASSERT_NE(pos->castle, 0);
    EXPECT_EQ(TB_Probe_WDL(pos, 70), -1);
    int cls = 9;
    uint32_t dtz = 9;
    Move move = 9;
    EXPECT_EQ(TB_Probe_DTZ(pos, &cls, &dtz, &move), -1);
    EXPECT_EQ(cls, 9) << "nothing written on refusal";
    EXPECT_EQ(move, 9);
    pos = EnginePosition("4k3/8/8/8/8/8/8/R3K3 w - - 0 1");
    EXPECT_EQ(TB_Probe_WDL(pos, 70), 4) << "the same without the right";
}

TEST_F(TableGlue, ProbeDepthSettingsGateTheNodeProbes) {
    Position* pos = EnginePosition(KRK_WIN);
    Personality.SyzygyProbeDepth5 = 3;
    EXPECT_EQ(TB_Probe_WDL(pos, 2), -1);
    EXPECT_EQ(TB_Probe_WDL(pos, 3), 4);
    Personality.SyzygyProbeDepth5 = -5;
    EXPECT_EQ(TB_Probe_WDL(pos, -5), 4);
    EXPECT_EQ(TB_Probe_WDL(pos, -6), -1);
    // More pieces than any table: not probed.
    EXPECT_EQ(TB_Probe_WDL(EnginePosition("4k3/8/8/8/8/8/1P6/R3K3 w - - 0 1"), 70), -1);
}

TEST_F(TableGlue, SixPieceTablesHaveTheirOwnDepth) {
    // Tables of five and six pieces made of one value each: a draw for the
    // six, a win for the five, so each answer shows which table was read.
    ScratchDir s;
    CopyTables(s.path, {"KQvK", "KRvK"});
    WriteBytes(s.path + "/KQRvKQR.rtbw", SingleValueWdlFile("KQRvKQR", 0));
    WriteBytes(s.path + "/KQRvKQ.rtbw", SingleValueWdlFile("KQRvKQ", 2));
    ASSERT_EQ(RegisterTables(s.path), "info string found 4 tablebases\n");
    ASSERT_EQ(TB_LARGEST, 6u);
    Personality.SyzygyProbeDepth5 = 0;
    Personality.SyzygyProbeDepth6 = 2;
    // No captures: the probe goes straight to the table of the position.
    const char* six = "1q2k3/1r6/8/8/8/8/6R1/4K1Q1 w - - 0 1";
    const char* five = "1q2k3/8/8/8/8/8/6R1/4K1Q1 w - - 0 1";
    EXPECT_EQ(TB_Probe_WDL(EnginePosition(six), 1), -1) << "six pieces below SyzygyProbeDepth6";
    EXPECT_EQ(TB_Probe_WDL(EnginePosition(six), 2), 2) << "six pieces at SyzygyProbeDepth6";
    EXPECT_EQ(TB_Probe_WDL(EnginePosition(five), -1), -1) << "five pieces below SyzygyProbeDepth5";
    EXPECT_EQ(TB_Probe_WDL(EnginePosition(five), 0), 4) << "five pieces at SyzygyProbeDepth5";
    Personality.SyzygyProbeDepth6 = 0;
    EXPECT_EQ(TB_Probe_WDL(EnginePosition(five), 0), 4) << "the six-piece depth does not bind five pieces";
    Personality.SyzygyProbeDepth6 = -5;
    Personality.SyzygyProbeDepth5 = 1;
    EXPECT_EQ(TB_Probe_WDL(EnginePosition(six), 0), -1) << "the five-piece depth binds six pieces too";
}

TEST_F(TableGlue, RootClassFollowsTheFiftyMoveCounter) {
    // A win 15 plies from zeroing, and a loss 16 plies from it.
    int cls = -1, success = 0;
    uint32_t dtz = 0;
    Move move = 0;
    for (const SolvedPosition& s : LoadSample()) {
        if (!s.has_dtz || s.dtz != s.probe_dtz || s.wdl == 0 || std::abs(s.dtz) < 10) continue;
        const int d = std::abs(s.dtz);
        const int won = s.wdl > 0 ? 4 : 0, spoilt = s.wdl > 0 ? 3 : 1;
        EXPECT_EQ(RootProbe(s.fen, 100 - d, &cls, &dtz, &move), won) << s.fen << " with " << 100 - d;
        EXPECT_EQ(cls, won);
        EXPECT_EQ(dtz, (uint32_t)d);
        EXPECT_EQ(RootProbe(s.fen, 101 - d, &cls, &dtz, &move), spoilt) << s.fen << " with " << 101 - d;
        EXPECT_EQ(cls, spoilt);
        success++;
    }
    EXPECT_GT(success, 50);
    // The worked case: counter 90, 15 plies to go.
    for (const SolvedPosition& s : LoadSample())
        if (s.has_dtz && s.dtz == 15 && s.probe_dtz == 15) {
            EXPECT_EQ(RootProbe(s.fen, 90, &cls, &dtz, &move), 3) << s.fen;
            break;
        }
}

// Makes a move given as an engine move on the test record; true when legal.
bool PlayMove(Position* pos, Move m) {
    MoveEntry list[MAX_LIST_MOVES];
    MoveEntry* end = GenerateMoves(pos, pos->side, list);
    for (MoveEntry* e = list; e < end; e++)
        if (e->move == m && MoveIsLegal(pos, pos->side, m)) {
            MakeMove(pos, m);
            return true;
        }
    return false;
}

TEST_F(TableGlue, RootMoveKeepsTheResultAndMakesProgress) {
    // Both sets of tables when the second is there: its cursed wins and
    // blessed losses keep their class (3 and 1) and their distance beyond 100.
    std::vector<SolvedPosition> sample = LoadSample();
    if (HaveSecondSet()) {
        ASSERT_EQ(RegisterTables(BothSetsPath()), "info string found 37 tablebases\n");
        for (const SolvedPosition& s : LoadSample(SecondSetDir())) sample.push_back(s);
    }
    int checked = 0, spoilt = 0;
    for (const SolvedPosition& s : sample) {
        if (!s.has_dtz) continue;
        const bool in_moves = EvenDistancesInMoves(s.material);
        for (const std::string& fen : {s.fen, FlipFen(s.fen)}) {
            int cls = -1;
            uint32_t dtz = 0;
            Move move = 0;
            const int r = RootProbe(fen, 0, &cls, &dtz, &move);
            if (s.kind == "mated" || s.kind == "stalemate") {
                EXPECT_EQ(r, -1) << fen << ": no move to play";
                continue;
            }
            ASSERT_EQ(r, s.wdl + 2) << fen;
            EXPECT_EQ(cls, r) << fen;
            if (in_moves)
                EXPECT_TRUE(dtz == (uint32_t)std::abs(s.dtz) || dtz == (uint32_t)std::abs(s.probe_dtz)) << fen;
            else
                EXPECT_EQ(dtz, (uint32_t)std::abs(s.dtz)) << fen << ": the true distance, a mate in one too";
            Position* pos = EnginePosition(fen);
            ASSERT_TRUE(PlayMove(pos, move)) << fen << ": the move is legal";
            tb_position after;
            TB_ConvertPosition(pos, &after, pos->fifty);
            int success = 0;
            const int w = probe_wdl(&after, &success);
            if ((s.wdl == 1 || s.wdl == -1) && w == -2 * s.wdl) {
                // The tables count the successor from a zeroed counter; with
                // the counter the move leaves, the result is still spoilt.
                EXPECT_GT(after.rule50 + std::abs(probe_dtz(&after, &success)), 100) << fen << ": the result is kept";
            } else {
                EXPECT_EQ(w, -s.wdl) << fen << ": the result is kept";
            }
            if (s.wdl > 0 && s.dtz > 1 && after.rule50 != 0) {
                const int d = probe_dtz(&after, &success);
                if (in_moves)
                    EXPECT_TRUE(d == -(s.dtz - 1) || d == -s.dtz) << fen << ": " << d;
                else
                    EXPECT_EQ(d, -(s.dtz - 1)) << fen << ": one ply closer to zeroing";
            }
            if (s.wdl < 0 && after.rule50 != 0) {
                int d = probe_dtz(&after, &success);
                if (d == 2 && HasMateInOne(after)) d = 1;  // read as 2 through a one-ply search
                if (in_moves)
                    EXPECT_TRUE(d == -s.dtz - 1 || d == -s.dtz - 2 || d == -s.dtz) << fen << ": " << d;
                else
                    EXPECT_EQ(d, -s.dtz - 1) << fen << ": the loss is delayed as long as it can be";
            }
            checked++;
            spoilt += s.wdl == 1 || s.wdl == -1;
        }
    }
    EXPECT_GT(checked, 2000);
    if (!HaveSecondSet()) GTEST_SKIP() << NoSecondSet() << "; only the first set was checked";
    EXPECT_EQ(spoilt, 2 * 100) << "cursed wins and blessed losses, both colours";
}

TEST_F(TableGlue, MateInOneIsPlayedAlthoughTheTableSaysTwo) {
    // KRvK stores the other side to move: the probe sees this mate in one as 2.
    const char* fen = "8/8/8/8/8/1K6/7R/k7 w - - 0 1";
    int cls = -1;
    uint32_t dtz = 0;
    Move move = 0;
    ASSERT_EQ(RootProbe(fen, 0, &cls, &dtz, &move), 4);
    Position* pos = EnginePosition(fen);
    ASSERT_TRUE(PlayMove(pos, move));
    EXPECT_TRUE(IsMate(pos)) << "the mating move, not a slower one";
    EXPECT_NE(SqAtakd(pos, pos->king_sq[pos->side], pos->side ^ 1), 0);
}

TEST_F(TableGlue, PromotionMovesCarryTheEngineFlag) {
    int cls = -1;
    uint32_t dtz = 0;
    Move move = 0;
    ASSERT_EQ(RootProbe("8/4P3/8/8/8/k7/8/4K3 w - - 0 1", 0, &cls, &dtz, &move), 4);
    EXPECT_EQ(move, MakeMoveCode(Sq("e7"), Sq("e8")) | PROMO_QUEEN);
    ASSERT_EQ(RootProbe("4k3/8/K7/8/8/8/4p3/8 b - - 0 1", 0, &cls, &dtz, &move), 4);
    EXPECT_EQ(move, MakeMoveCode(Sq("e2"), Sq("e1")) | PROMO_QUEEN);
}

TEST_F(TableGlue, DrawnRootChoosesOneDrawingMoveEveryTime) {
    const char* fen = "8/8/3k4/8/8/3K4/8/2B5 w - - 0 1";  // KBvK
    int cls = -1;
    uint32_t dtz = 9;
    Move first = 0, again = 0;
    ASSERT_EQ(RootProbe(fen, 0, &cls, &dtz, &first), 2);
    EXPECT_EQ(dtz, 0u);
    for (int i = 0; i < 5; i++) {
        ASSERT_EQ(RootProbe(fen, 0, &cls, &dtz, &again), 2);
        EXPECT_EQ(again, first);
    }
    // KRvKR with a drawing move among losing ones: the move keeps the draw.
    const char* krkr = "8/8/3k4/8/3r4/8/8/R2K4 w - - 0 1";
    ASSERT_EQ(RootProbe(krkr, 0, &cls, &dtz, &first), 2);
    Position* pos = EnginePosition(krkr);
    ASSERT_TRUE(PlayMove(pos, first));
    EXPECT_EQ(TB_Probe_WDL(pos, 70), 2);
}

TEST_F(TableGlue, RootsThatCannotBeRealAreRefused) {
    int cls = -1;
    uint32_t dtz = 0;
    Move move = 0;
    // Black king a8 attacked by a rook moved to a1 behind the reader's back, white to move.
    Position* pos = EnginePosition("k7/8/8/8/8/8/8/1R2K3 w - - 0 1");
    ASSERT_EQ(TB_Probe_DTZ(pos, &cls, &dtz, &move), 4);
    auto move_piece = [](Position* p, int code, int from, int to) {
        p->bb[code] ^= (1ULL << from) | (1ULL << to);
        p->bb[code & 8] ^= (1ULL << from) | (1ULL << to);
        p->board[to] = p->board[from];
        p->board[from] = 0;
    };
    move_piece(pos, ROOK, Sq("b1"), Sq("a1"));
    EXPECT_EQ(TB_Probe_DTZ(pos, &cls, &dtz, &move), -1) << "the side not to move is in check";
    pos = EnginePosition("k7/8/8/8/8/8/4P3/4K3 w - - 0 1");
    ASSERT_NE(TB_Probe_DTZ(pos, &cls, &dtz, &move), -1);
    move_piece(pos, PAWN, Sq("e2"), Sq("d1"));
    EXPECT_EQ(TB_Probe_DTZ(pos, &cls, &dtz, &move), -1) << "a pawn on the first rank";
    pos = EnginePosition("k7/8/8/8/8/8/8/1R2K3 w - - 0 1");
    pos->bb[KNIGHT] |= 1ULL << Sq("b1");  // b1 both rook and knight
    EXPECT_EQ(TB_Probe_DTZ(pos, &cls, &dtz, &move), -1) << "a square with two pieces";
}

TEST_F(TableGlue, MatedOrStalematedRootHasNoMove) {
    int cls = -1;
    uint32_t dtz = 0;
    Move move = 0;
    EXPECT_EQ(RootProbe("3K4/3q4/3k4/8/8/8/8/8 w - - 0 1", 0, &cls, &dtz, &move), -1) << "mated";
    EXPECT_EQ(TB_Probe_WDL(EnginePosition("3K4/3q4/3k4/8/8/8/8/8 w - - 0 1"), 70), 0);
    EXPECT_EQ(RootProbe("7K/7b/5n1k/8/8/8/8/8 w - - 0 1", 0, &cls, &dtz, &move), -1) << "stalemated";
    EXPECT_EQ(TB_Probe_WDL(EnginePosition("7K/7b/5n1k/8/8/8/8/8 w - - 0 1"), 70), 2);
}

TEST_F(TableGlue, UnusableEnPassantSquareNeverReachesTheProbes) {
    // The square the probes see after a double step made on the engine's board.
    Position* pos = nullptr;
    tb_position p;
    auto square_after = [&](const char* fen, const char* from, const char* to, int fifty = 0) {
        pos = EnginePosition(fen);
        EXPECT_TRUE(PlayMove(pos, MakeMoveCode(Sq(from), Sq(to)))) << fen;
        TB_ConvertPosition(pos, &p, fifty);
        return (int)p.ep;
    };
    // After e2-e4 the engine keeps e3 though no black pawn can take.
    EXPECT_EQ(square_after("4k3/8/8/8/8/8/4P3/4K3 w - - 0 1", "e2", "e4"), 0);
    EXPECT_EQ(pos->ep, Sq("e3"));
    EXPECT_EQ(square_after("4k3/8/8/8/3p4/8/4P3/4K3 w - - 0 1", "e2", "e4"), Sq("e3")) << "a black pawn beside e4";
    EXPECT_EQ(square_after("4k3/8/8/8/2p5/8/4P3/4K3 w - - 0 1", "e2", "e4"), 0) << "two files away";
    EXPECT_EQ(square_after("4k3/8/8/8/5P2/8/4P3/4K3 w - - 0 1", "e2", "e4"), 0) << "a white pawn beside it";
    // Black's step, white's taker: the solved sample position 6k1/8/8/pP6/8/8/3K4/8 w - a6.
    EXPECT_EQ(square_after("6k1/p7/8/1P6/8/8/3K4/8 b - - 0 1", "a7", "a5", 37), Sq("a6"));
    EXPECT_EQ(p.rule50, 37);
    EXPECT_EQ(p.turn, 1);
    EXPECT_EQ(TB_Probe_WDL(pos, 70), 4);
}

TEST_F(TableGlue, WinsFromTheHighestCounterAreConvertedInTime) {
    // Both sides play the root probe's moves. Starting with as many plies on
    // the counter as the win allows, the winner mates or zeroes before the
    // counter reaches 100, again and again until the mate.
    int games = 0;
    for (const SolvedPosition& s : LoadSample()) {
        if (!s.has_dtz || s.wdl != 2 || s.dtz != s.probe_dtz || s.kind == "mated") continue;
        for (const std::string& fen : {s.fen, FlipFen(s.fen)}) {
            Position* pos = EnginePosition(fen);
            pos->fifty = (uint8_t)(100 - s.dtz);
            const int winner = pos->side;
            bool mated = false;
            for (int ply = 0; ply < 400 && !mated; ply++) {
                int cls = -1;
                uint32_t dtz = 0;
                Move move = 0;
                ASSERT_EQ(TB_Probe_DTZ(pos, &cls, &dtz, &move), pos->side == winner ? 4 : 0)
                    << fen << " after " << ply << " plies";
                ASSERT_TRUE(PlayMove(pos, move)) << fen;
                mated = IsMate(pos) && SqAtakd(pos, pos->king_sq[pos->side], pos->side ^ 1);
                if (!mated) {
                    ASSERT_LT(pos->fifty, 100) << fen << ": the fifty-move rule ends the game first";
                }
            }
            EXPECT_TRUE(mated) << fen;
            EXPECT_NE(pos->side, winner) << fen << ": the loser is mated";
            games++;
        }
    }
    EXPECT_GT(games, 400);
}

TEST_F(TableGlue, ResultsDoNotOutliveTheirRegistration) {
    // The same position asked again is answered alike; once the tables are
    // registered anew, what was known before is not used.
    Position* pos = EnginePosition(KRK_WIN);
    EXPECT_EQ(TB_Probe_WDL(pos, 70), 4);
    EXPECT_EQ(TB_Probe_WDL(pos, 70), 4);
    ScratchDir s;
    CopyTables(s.path, {"KQvK"});
    RegisterTables(s.path);
    EXPECT_EQ(TB_Probe_WDL(pos, 70), -1) << "KRvK is not registered any more";
    RegisterTables("");
    EXPECT_EQ(TB_Probe_WDL(pos, 70), -1);
    RegisterTables(SyzygyDir());
    EXPECT_EQ(TB_Probe_WDL(pos, 70), 4);
}

TEST_F(TableGlue, MissingTablesGiveTheSameAnswerOnARepeat) {
    // KQvKR is missing, KQvK and KQvKQ are there.
    ScratchDir s;
    CopyTables(s.path, {"KQvK", "KQvKQ"}, false);
    ASSERT_EQ(RegisterTables(s.path), "info string found 2 tablebases\n");
    // The queen takes the rook into a won KQvK: the capture decides.
    const char* takes = "3k4/6r1/8/8/8/8/1Q6/K7 w - - 0 1";
    EXPECT_EQ(TB_Probe_WDL(EnginePosition(takes), 70), 4);
    EXPECT_EQ(TB_Probe_WDL(EnginePosition(takes), 70), 4) << "asked again";
    // No capture: the position's own table would be needed.
    const char* quiet = "3k4/8/8/7r/8/8/1Q6/K7 w - - 0 1";
    EXPECT_EQ(TB_Probe_WDL(EnginePosition(quiet), 70), -1);
    EXPECT_EQ(TB_Probe_WDL(EnginePosition(quiet), 70), -1) << "asked again";
    EXPECT_EQ(TB_Probe_WDL(EnginePosition(takes), 70), 4) << "after the failure";
}

// Overwrites part of a file in place (a mapping of it sees the new bytes).
void PatchFile(const std::string& path, uint64_t at, const std::string& bytes) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    ASSERT_TRUE(f.is_open()) << path;
    f.seekp((std::streamoff)at);
    f.write(bytes.data(), (std::streamsize)bytes.size());
    f.close();
    ASSERT_FALSE(f.fail()) << path;
}

TEST_F(TableGlue, NoResultStandsForTheRegistration) {
    // A table whose index entries all name blocks that do not exist gives no
    // result; the answers stay for the registration, even when the file is
    // mended behind its back, and a new registration asks again.
    ScratchDir s;
    CopyTables(s.path, {"KQvK", "KRvK"}, false);
    ASSERT_EQ(RegisterTables(s.path), "info string found 2 tablebases\n");
    ASSERT_EQ(TB_Probe_WDL(EnginePosition(KRK_WIN), 70), 4) << "the table is loaded";
    const tb_position krk = TbPosition(KRK_WIN);
    const TBEntry_piece* e = nullptr;
    for (int i = 0; i < TBnum_piece; i++)
        if (TB_piece[i].key == calc_key(&krk, false) || TB_piece[i].key == calc_key(&krk, true)) e = &TB_piece[i];
    ASSERT_TRUE(e != nullptr && e->ready.load() && e->data);
    const std::string file = s.path + "/KRvK.rtbw";
    std::vector<std::pair<uint64_t, std::string>> saved;
    const std::string original = ReadBytes(file);
    for (const PairsData* d : e->precomp) {
        if (!d || !d->idxbits) continue;
        const uint64_t at = (uint64_t)(d->indextable - e->data), n = 6 * d->index_entries;
        saved.push_back({at, original.substr(at, n)});
        PatchFile(file, at, std::string(n, '\xFF'));
    }
    ASSERT_FALSE(saved.empty());

    const char* black_loses = "8/8/8/4k3/8/8/8/R3K3 b - - 0 1";
    const char* white_wins = "8/8/3k4/8/8/8/8/R3K3 w - - 0 1";
    EXPECT_EQ(TB_Probe_WDL(EnginePosition(black_loses), 70), -1) << "the index names no block";
    for (const auto& part : saved) PatchFile(file, part.first, part.second);
    EXPECT_EQ(TB_Probe_WDL(EnginePosition(white_wins), 70), 4) << "a new position reads the mended file";
    EXPECT_EQ(TB_Probe_WDL(EnginePosition(black_loses), 70), -1) << "the failure stands";
    RegisterTables(s.path);
    EXPECT_EQ(TB_Probe_WDL(EnginePosition(black_loses), 70), 0) << "registered anew";
}

}  // namespace
