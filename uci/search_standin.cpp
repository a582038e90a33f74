// STAND-IN for the search driver; see uci/search_standin.h.
#include "uci/search_standin.h"

#include <cstdlib>

#include "eval/params.h"
#include "platform/platform.h"
#include "search/params.h"
#include "search/records.h"
#include "search/timecontrol.h"
#include "search/tt.h"
#include "uci/settings.h"
#include "uci/uci.h"

static ThreadHandle handles[128];
static int thread_index[128];
static double standin_start = 0.0;

Move StandInChooseMove(Position* pos) {
    Move legal[MAX_LEGAL_MOVES];
    return GenerateLegalMoves(pos, legal) > 0 ? legal[0] : 0;
}

static double Elapsed() { return GetTime() - standin_start; }

static void StandInSearch(ThreadRecord* t) {
    SearchDataRecord& sd = SearchData;
    if (t->thread_index == 0) {
        InitSearchThreads();
        Move m = StandInChooseMove(&t->pos);
        sd.pv[2] = 0;
        if (m) {
            sd.best_depth = 1;
            sd.best_score = 0;
            sd.pv[1] = m;
        } else {
            sd.stop = STOP_NO_MOVES;
        }
        // A depth or node limit is reached at once.
        if (sd.depth_limit < 66 || sd.node_limit) sd.stop = STOP_NORMAL;
    }
    while (!sd.stop) {
        if (t->thread_index == 0 && sd.search_mode == 1 && Elapsed() >= sd.target_time) {
            sd.stop = STOP_NORMAL;
            break;
        }
        SleepMs(1);
    }
    sd.elapsed = Elapsed();
}

static void StandInThread(void* arg) {
    int i = *static_cast<int*>(arg);
    ThreadRecord* t = AllocThreadRecord();
    if (!t) return;
    t->thread_index = (uint8_t)i;
    t->move_store[0].move = MOVE_END;
    t->stack[0].list = t->stack[0].next = &t->move_store[0];
    t->stack[1].list = t->stack[1].next = &t->move_store[1];
    t->undo[0].move = 0;
    t->pos.owner = t;
    t->ply = 1;
    t->command = 0;
    __atomic_store_n(&ThreadData[i], t, __ATOMIC_RELEASE);
    for (;;) {
        uint8_t c = t->command.load(std::memory_order_acquire);
        if (c == 1) {
            StandInSearch(t);
            t->command.store(0, std::memory_order_release);
        } else if (c == 2) {
            HashClearShare(i, SearchData.threads);
            t->command.store(0, std::memory_order_release);
        } else if (c == 'c') {
            t->command.store('d', std::memory_order_release);
            return;
        }
        SleepMs(1);
    }
}

int CreateThreadPool(int n) {
    for (int i = 0; i < n; i++) ThreadData[i] = nullptr;
    for (int i = 0; i < n; i++) {
        thread_index[i] = i;
        handles[i] = StartThread(StandInThread, &thread_index[i]);
        if (!handles[i]) return 1;
    }
    for (int i = 0; i < n; i++)
        while (!__atomic_load_n(&ThreadData[i], __ATOMIC_ACQUIRE)) SleepMs(0);
    return 0;
}

void KillThreadPool(int n) {
    SearchData.stop = STOP_QUIT;
    while (ThreadsAreBusy()) SleepMs(1);
    for (int i = 0; i < n; i++) {
        ThreadRecord* t = ThreadData[i];
        if (!t) continue;
        t->command.store('c', std::memory_order_release);
        while (t->command.load(std::memory_order_acquire) != 'd') SleepMs(1);
        JoinThread(handles[i]);
        FreeThreadRecord(t);
        ThreadData[i] = nullptr;
    }
}

void StartSearch() {
    for (int i = 0; i < SearchData.threads; i++)
        if (ThreadData[i]) ThreadData[i]->command.store(1, std::memory_order_release);
}

void Collect() {
    SearchDataRecord& sd = SearchData;
    sd.nodes = sd.eval_probes = sd.eval_hits = sd.hash_probes = sd.hash_hits = 0;
    sd.pawn_probes = sd.pawn_hits = sd.tb_hits = 0;
    for (int i = 0; i < sd.threads; i++) {
        ThreadRecord* t = ThreadData[i];
        if (!t) continue;
        sd.nodes += t->nodes.load(std::memory_order_relaxed);
    }
}

void PrepareNewSearch() {
    SearchDataRecord& sd = SearchData;
    standin_start = GetTime();
    search_start = standin_start;
    CTD->ply = 1;
    sd.elapsed = 0.0;
    sd.root_side = CTD->pos.side;
    if (!Personality.UCI_LimitStrength) sd.target_nps = 1e9;
    sd.ponder = (uint16_t)Personality.Ponder;
    sd.pv[1] = 0;
    sd.pv[2] = 0;
    sd.stop = 0;
    sd.multipv = (uint8_t)Personality.MultiPV;
    sd.best_score = -10000;
    sd.best_depth = 0;
    sd.depth = 0;
    sd.time_reserve = Personality.MoveOverhead * 0.001;
    sd.hash_age = (int16_t)(sd.hash_age + 1 >= 16 ? 1 : sd.hash_age + 1);
    if (Personality.Hash != sd.hash_mb) {
        sd.hash_mb = Personality.Hash;
        if (!HashInit()) exit(1);
    }
    sd.search_mode = sd.request.load();
    if (Personality.params_changed) {
        SetSearchParams();
        SetEvalParams();
        Personality.params_changed = 0;
    }
    double clock = CTD->pos.side == WHITE ? sd.wtime : sd.btime;
    if (sd.limit_kind == 1) {
        sd.target_time = sd.move_time;
    } else {
        int n = sd.limit_kind == 0 ? 30 : sd.movestogo > 0 ? sd.movestogo : 1;
        double t = clock / (n + 1) + sd.increment * 0.5;
        if (t > 0.65 * clock) t = 0.65 * clock;
        sd.target_time = t < 0.002 ? 0.002 : t;
    }
}

double EffectiveBranchingFactor() { return 2.0; }

void DisplaySearchInfo(int, int, int, int, const std::atomic<uint16_t>*) {}
