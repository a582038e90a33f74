// Shared set-up for tests: the board tables, the position keys, the settings
// and the game record CTD, made once per test program.
#pragma once
#include <gtest/gtest.h>

#include "base/settings.h"
#include "board/keys.h"
#include "board/position.h"
#include "board/tables.h"
#include "search/records.h"

// Builds the tables and keys, writes the default settings and control block,
// and allocates the game record CTD (all only once).
// Published perft counts of the standard test positions.
struct PerftCase {
    const char* fen;
    int depth;
    uint64_t leaves;
};

inline const PerftCase kPerftCases[] = {
    {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", 5, 4865609},
    {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -", 4, 4085603},
    {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -", 5, 674624},
    {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -", 4, 422333},
    {"rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -", 4, 2103487},
};
// The fourth position mirrored, black to move.
inline const PerftCase kMirroredPerftCase = {
    "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ -", 4, 422333};

inline void InitTestEnvironment() {
    static bool done = false;
    if (done) return;
    done = true;
    InitBoardTables();
    MakeKeys();
    InitControlBlock();
    InitSearchData();
    SetDefaultSettings();
    Personality = DefaultPersonality;
    if (!CTD) {
        CTD = AllocThreadRecord();
        CTD->thread_index = 0xFF;
    }
}

// A fresh record of its own (zero-filled, list cursors ready); free with FreeThreadRecord.
inline ThreadRecord* NewTestRecord() {
    InitTestEnvironment();
    ThreadRecord* t = AllocThreadRecord();
    EXPECT_NE(t, nullptr);
    return t;
}

// Sets a record's position from FEN text and checks that the text was accepted.
inline Position* SetTestPosition(ThreadRecord* t, const char* fen) {
    InitTestEnvironment();
    int r = SetPosition(&t->pos, fen);
    EXPECT_EQ(r, 0) << "position text refused: " << fen;
    return &t->pos;
}

// The same on the game record.
inline Position* SetGamePosition(const char* fen) {
    InitTestEnvironment();
    return SetTestPosition(CTD, fen);
}

// Fixture that makes sure the environment exists before a test starts.
class BoardTest : public ::testing::Test {
protected:
    void SetUp() override { InitTestEnvironment(); }
};

// A board test with a thread record of its own for the positions it sets.
class RecordTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        rec = NewTestRecord();
    }
    void TearDown() override { FreeThreadRecord(rec); }
    Position* Set(const char* fen) { return SetTestPosition(rec, fen); }
    ThreadRecord* rec = nullptr;
};
