// Shared set-up for the protocol tests: the engine's records in their
// start-up state (no pool threads), an empty input queue, and output capture.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "base/settings.h"
#include "eval_test_util.h"
#include "search/records.h"
#include "search/tt.h"
#include "uci/input.h"
#include "uci/uci.h"

inline void InitUciTestEnvironment() {
    InitEvalEnvironment();
    ThreadRecord* g = CTD;
    g->pos.owner = g;
    g->thread_index = 0xFF;
    g->ply = 1;
    g->move_store[0].move = MOVE_END;
    g->stack[0].list = g->stack[0].next = &g->move_store[0];
    g->stack[1].list = g->stack[1].next = &g->move_store[1];
    InitSearchData();
    SearchData.threads = 0;
    InitControlBlock();
    SetDefaultSettings();
    Personality = DefaultPersonality;
    SetPosition(&g->pos, START_FEN);
    ResetInput();
    HashFree();  // as before start-up's first table: a Hash option only sets the word
}

// Everything fn prints to standard output.
template <class F> std::string Captured(F fn) {
    testing::internal::CaptureStdout();
    fn();
    return testing::internal::GetCapturedStdout();
}

// Runs one UCI command line and returns its output.
inline std::string Uci(const std::string& line) {
    return Captured([&] { UciCommand(line.c_str()); });
}

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class UciTest : public ::testing::Test {
protected:
    void SetUp() override { InitUciTestEnvironment(); }
    void TearDown() override { ResetInput(); }
};
