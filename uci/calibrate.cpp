#include "uci/calibrate.h"

#include <cmath>

#include "base/output.h"
#include "base/settings.h"
#include "board/attacks.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/see.h"
#include "eval/evaluate.h"
#include "platform/platform.h"
#include "search/params.h"
#include "search/records.h"
#include "search/timecontrol.h"

// A record shaped like a pool thread's, for a run without pool threads.
static ThreadRecord* MakeScratchRecord() {
    ThreadRecord* t = AllocThreadRecord();
    if (!t) return nullptr;
    t->thread_index = 0;
    t->pos = CTD->pos;
    t->pos.owner = t;
    t->game_ply = 0;
    t->undo[0].move = 0;
    t->move_store[0].move = MOVE_END;
    t->stack[0].list = t->stack[0].next = &t->move_store[0];
    t->stack[1].list = t->stack[1].next = &t->move_store[1];
    t->ply = 1;
    return t;
}

void Calibrate() {
    SetPosition(&CTD->pos, START_FEN);
    ThreadRecord* scratch = nullptr;
    ThreadRecord* t = SearchData.threads > 0 ? ThreadData[0] : nullptr;
    if (t) {
        InitSearchThreads();
    } else {
        // No pool thread: measure on a record of our own.
        scratch = t = MakeScratchRecord();
        if (!t) return;
    }
    double start = GetTime(), elapsed = 0.0;

    SearchStackEntry& root = t->stack[1];
    root.static_eval = 0;
    root.hash_move = 0;
    root.tb_wdl = -1;
    root.checker = NO_SQ;
    root.in_check = 0;
    root.list = root.next = &t->move_store[1];
    t->stack[2].killer1 = t->stack[2].killer2 = t->stack[2].killer3 = 0;
    t->depth = 0;
    t->ply = 1;

    Position* pos = &t->pos;
    uint64_t cycles = 0;
    while (elapsed < 0.3) {
        cycles++;
        int side = pos->side;
        int checker = GetAtakr(pos, pos->king_sq[side], side ^ 1, pos->bb[0] | pos->bb[8]);
        root.checker = (uint8_t)checker;
        root.in_check = checker != NO_SQ;
        Evaluate(t, side, 1, root.in_check, 0);
        GenerateAll(pos);
        int legal = 0;
        for (MoveEntry* e = root.list; e->move != MOVE_END && legal < 10; e++) {
            if (e->move == 0 || !MoveIsLegal(pos, side, e->move)) continue;
            legal++;
            MakeMove(pos, e->move);
            UnmakeMove(pos);
        }
        elapsed = GetTime() - start;
    }
    CountUp(t->nodes, cycles);
    elapsed = GetTime() - start;

    double nps = (double)cycles * 1.17 / (elapsed + 0.001);
    SearchData.calibration_nps = nps;
    SearchData.max_elo = EloOfSpeed(nps);
    Personality.UCI_Elo = (int16_t)(int)SearchData.max_elo;
    ShowMessageF("info string et= %.3f, calibration nps= %0.0f", elapsed, nps);
    if (scratch) FreeThreadRecord(scratch);
    SetSearchParams();
}
