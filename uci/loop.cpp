#include "uci/loop.h"

#include <cstdio>

#include "base/output.h"
#include "base/settings.h"
#include "board/display.h"
#include "board/makemove.h"
#include "board/movegen.h"
#include "board/position.h"
#include "board/tables.h"
#include "book/polyglot.h"
#include "platform/platform.h"
#include "search/info.h"
#include "search/pool.h"
#include "search/records.h"
#include "search/timecontrol.h"
#include "search/tt.h"
#include "uci/console.h"
#include "uci/input.h"
#include "uci/uci.h"

int32_t selfplay = 0;

// The loop's pause while no search runs or waits.
enum : int { IDLE_PAUSE_MS = 50 };

bool BookMoveIsPlayable(Move m) {
    ThreadRecord* g = CTD;
    Position* pos = &g->pos;
    // The book probe returns only legal moves; the test stays because the
    // move is made below and callers may hand in any move.
    if (!IsGeneratedLegalMove(pos, m) || g->game_ply >= MAX_GAME_PLY) return false;

    MakeMove(pos, m);
    const bool playable = !RepeatedOrRunOut(pos);
    UnmakeMove(pos);
    g->ply = 1;
    return playable;
}

// Starts the requested search: a book move when the book has a playable one,
// else the pool. A fifty-move counter above 100 is searched like any other
// position: the draw is the interface's to claim, and until it does the
// answer must be a legal move (scored as the draw it is).
static void StartRequestedSearch() {
    SearchDataRecord& sd = SearchData;
    PrepareNewSearch();
    ThreadRecord* g = CTD;
    if (Personality.OwnBook && g->game_ply < Personality.OwnBook_Depth) {
        Move m = PG_GetBookMove(&g->pos);
        sd.pv[2] = 0;
        sd.pv[1] = m;
        if (m && !BookMoveIsPlayable(m)) {
            m = 0;
            sd.pv[1] = 0;
        }
        if (m) {
            char text[64];
            snprintf(text, sizeof text, "%s book move is %s%s", PBlock.uci ? "info string" : "",
                     square_name[MoveFrom(m)], square_name[MoveTo(m)]);
            ShowMessage(text);
            sd.best_score = 0;
            sd.stop = STOP_NORMAL;
        }
    }
    if (sd.pv[1] == 0) StartSearch();
    sd.request = 0;
}

static void ReportSearch() {
    SearchDataRecord& sd = SearchData;
    Collect();
    DisplaySearchInfo(0, 1, sd.best_depth, sd.best_score, sd.pv);
    Move best = sd.pv[1], reply = sd.pv[2];
    if (PBlock.uci) {
        char bm[8], pm[8], ponder[32] = "";
        if (reply) snprintf(ponder, sizeof ponder, " ponder %s", UciMoveText(reply, pm));
        ShowMessageF("bestmove %s%s", UciMoveText(best, bm), ponder);
    } else {
        HashFull();
        char mv[32];
        double nodes = (double)sd.nodes, elapsed = sd.elapsed;
        ShowMessageF("move= %s, time= %0.3f, score= %d, nodes= %0.0f, nps= %0.0fK ebf= %0.2f", MoveToStr(best, mv),
                     elapsed, (int)sd.best_score, nodes, nodes / (elapsed + 0.001) * 0.001,
                     EffectiveBranchingFactor());
        ShowMessageF("Hash fill= %.1f%%, Hash hits: main= %0.1f%%, pawn= %0.1f%%, eval= %0.1f%%, TB=%0.0fK",
                     sd.hashfull * 100.0, (double)sd.hash_hits * 100.0 / ((double)sd.hash_probes + 1.0),
                     (double)sd.pawn_hits * 100.0 / ((double)sd.pawn_probes + 1.0),
                     (double)sd.eval_hits * 100.0 / ((double)sd.eval_probes + 1.0), (double)sd.tb_hits * 0.001);
        if (sd.ncnt1 + sd.ncnt2 + sd.ncnt3 + sd.ncnt4 != 0)
            ShowMessageF("ncnt1= %d, ncnt2= %d, ncnt3= %d, ncnt4= %d", sd.ncnt1, sd.ncnt2, sd.ncnt3, sd.ncnt4);
        ShowMessage("");
    }
    if (selfplay) {
        ThreadRecord* g = CTD;
        double& clock = g->pos.side == WHITE ? sd.wtime : sd.btime;
        clock = clock - sd.elapsed + sd.increment;
        if (best && g->game_ply < MAX_GAME_PLY) {
            MakeMove(&g->pos, best);
            g->ply = 1;
            ShowBoard(&g->pos);
            sd.request = 1;
        } else {
            selfplay = 0;
        }
    }
}

void FinishSearch() {
    SearchDataRecord& sd = SearchData;
    if (ThreadsAreBusy()) {
        sd.stop = STOP_CONSOLE;
        while (ThreadsAreBusy()) SleepMs(1);
    }
    uint8_t mode = sd.search_mode;
    if (mode != 0 && mode != 2) {
        ReportSearch();
        sd.search_mode = 0;
    }
}

// A search that cannot end by itself: a ponder search waiting for
// "ponderhit", "go infinite", or a console search under the analysis limits
// without a depth ("an" alone, or "mv" after it), which only "." ends.
static bool SearchWaitsForStop() {
    const SearchDataRecord& sd = SearchData;
    uint8_t mode = sd.search_mode;
    if (mode == 0) return false;
    if (mode == 2 || sd.infinite) return true;
    return !PBlock.uci && sd.limit_kind == 1 && sd.depth_limit >= 66 && sd.node_limit == 0 &&
           sd.move_time >= ANALYSIS_MOVE_TIME;
}

// After the end of input no "stop" can come any more: whatever was asked is
// finished (a search that can only end by "stop" is stopped as if one had
// arrived), then the engine quits.
static void FinishAtEndOfInput() {
    if (SearchWaitsForStop()) StopSearch();
    if (QueuedCommands() == 0 && SearchData.request == 0 && SearchData.search_mode == 0) PBlock.quit = 1;
}

// Whether the last pass ran a command: the commands queued behind it may run
// at once. Commands that wait for the search to end do not count, so that a
// queue holding only those does not keep the loop from pausing.
static bool command_ran = false;

void LoopPass() {
    SearchDataRecord& sd = SearchData;
    bool start_due = sd.request && sd.search_mode == 0;
    bool report_due = sd.search_mode && sd.search_mode != 2 && !ThreadsAreBusy();
    // Input is read and the time checked on every pass, also while a request
    // waits for an earlier search to be reported. With no search at all the
    // pause is longer: nothing but input can change anything then, and input
    // ends the pause at once.
    bool idle = !sd.request && !sd.search_mode && !ThreadsAreBusy();
    // A command already queued (one that arrived together with the last one)
    // runs at once: the interface's clock is already running for a "go".
    const bool queued_may_run = QueuedCommands() > 0 && command_ran;
    if (!start_due && !report_due && !queued_may_run) WaitForInput(idle ? IDLE_PAUSE_MS : 1);
    SearchTimecheck();
    command_ran = UserInput() != 0;
    if (PBlock.quit) return;
    if (InputEnded() && (QueuedCommands() == 0 || SearchInProgress())) FinishAtEndOfInput();
    if (PBlock.quit) return;
    if (sd.request && sd.search_mode == 0) StartRequestedSearch();
    if (sd.search_mode && !ThreadsAreBusy() && sd.search_mode != 2) {
        ReportSearch();
        sd.search_mode = 0;
    }
}

void Loop() {
    SetPosition(&CTD->pos, START_FEN);
    if (!PBlock.uci) ShowBoard(&CTD->pos);
    PBlock.quit = 0;
    SearchData.request = 0;
    while (!PBlock.quit) LoopPass();
}
