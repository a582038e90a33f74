// Shared set-up for tests: the board tables, the position keys, the settings
// and the game record CTD, made once per test program.
#pragma once
#include <gtest/gtest.h>

#include "board/keys.h"
#include "board/position.h"
#include "board/tables.h"
#include "search/records.h"
#include "uci/settings.h"

// Builds the tables and keys, writes the default settings and control block,
// and allocates the game record CTD (all only once).
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
