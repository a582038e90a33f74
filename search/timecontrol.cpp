#include "search/timecontrol.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "base/output.h"
#include "base/settings.h"
#include "board/position.h"
#include "eval/params.h"
#include "search/params.h"
#include "search/records.h"
#include "search/tt.h"

double search_start = 0.0;

void GetElapsedTime() { SearchData.elapsed.store(GetTime() - search_start, std::memory_order_relaxed); }

void AllocateTime() {
    SearchDataRecord& sd = SearchData;
    const int ply = CTD->game_ply;
    const int side = CTD->pos.side;
    double& clock = side ? sd.btime : sd.wtime;
    const double inc = sd.increment;

    if (sd.limit_kind == 1) {
        sd.target_time = sd.move_time;
        clock = sd.move_time;
        return;
    }
    int n;
    bool many_left;  // more than two moves to the time control
    if (sd.limit_kind == 0) {
        n = ply < 22 ? 33 - ply / 2 : 23;
        sd.movestogo = (int16_t)n;
        many_left = true;
    } else {
        if (PBlock.uci) {
            n = sd.movestogo;
        } else {
            n = sd.limit_kind - ((ply / 2) % sd.limit_kind);
            sd.movestogo = (int16_t)n;
        }
        many_left = n > 2;
    }
    // A moves-to-go of 0 or less would divide by zero or give a negative
    // share; it counts as the last move before the time control.
    if (n < 1) n = 1;
    double c = clock > 0.0 ? clock : 0.0;
    double t = c / (n + 1);
    if (sd.ponder && many_left) t *= 1.3;
    if (Personality.UCI_Elo < 2400) t *= 0.85;
    if (inc > 0.0) t += inc * c / (2.0 * inc + c);
    t = std::min(t, 0.65 * c - 5.0 * sd.time_reserve);
    if (!(t >= 0.002)) t = 0.002;  // also catches a NaN from a garbled clock
    sd.target_time = t;
}

void PrepareNewSearch() {
    SearchDataRecord& sd = SearchData;
    // A Hash size that the option could not apply yet (it was set while a
    // search ran) is applied before the clock starts: a resize must never
    // count against the move's time. A size that cannot be had leaves the
    // table as it is.
    if (Personality.Hash != sd.hash_mb && !HashResize(Personality.Hash)) Personality.Hash = sd.hash_mb;
    search_start = GetTime();
    CTD->ply = 1;
    CTD->pv[1] = 0;
    sd.elapsed.store(0.0, std::memory_order_relaxed);
    sd.root_side = CTD->pos.side;

    if (!Personality.UCI_LimitStrength) {
        sd.target_nps = 1e9;
    } else {
        // Strength limiting switched back on after it was off: the target
        // comes again from the requested Elo.
        if (sd.target_nps >= 1e9) sd.target_nps = SpeedForElo(Personality.UCI_Elo);
        // The node rate model holds from 30 nodes per second on; slower
        // targets (and 10 or less, where it divides by zero) are raised.
        if (!(sd.target_nps >= MIN_MODEL_NPS)) sd.target_nps = MIN_MODEL_NPS;
    }

    sd.ponder = (uint16_t)(Personality.Ponder != 0);
    for (auto& m : sd.pv) m.store(0, std::memory_order_relaxed);
    sd.stop.store(STOP_NONE, std::memory_order_relaxed);
    sd.multipv = (uint8_t)std::max<int>(1, std::min<int>(255, Personality.MultiPV));
    sd.best_score.store(-10000, std::memory_order_relaxed);
    sd.best_depth.store(0, std::memory_order_relaxed);
    sd.depth.store(0, std::memory_order_relaxed);
    sd.last_depth.store(0, std::memory_order_relaxed);
    sd.change_depth.store(0, std::memory_order_relaxed);
    sd.single_reply.store(0, std::memory_order_relaxed);
    sd.ncnt1 = sd.ncnt2 = sd.ncnt3 = sd.ncnt4 = 0;
    sd.time_reserve = Personality.MoveOverhead * 0.001;
    if (sd.time_reserve < 0.0) sd.time_reserve = 0.0;

    sd.hash_age = (int16_t)(sd.hash_age + 1 >= 16 ? 1 : sd.hash_age + 1);

    if (Personality.Hash < 1) sd.use_hash.store(0, std::memory_order_relaxed);

    for (int d = 0; d < MAX_PLY + 2; d++) {
        sd.depth_score[d].store(-10001, std::memory_order_relaxed);
        sd.depth_move[d].store(0, std::memory_order_relaxed);
        sd.depth_nodes[d] = 0;
    }
    sd.search_mode.store(sd.request.load(std::memory_order_relaxed), std::memory_order_relaxed);

    if (Personality.params_changed) {
        ShowMessage("info string setting search and eval params...");
        SetSearchParams();
        SetEvalParams();
        Personality.params_changed = 0;
    }

    AllocateTime();

    if (PBlock.noise < 9999.0) {
        char fen[128];
        MakeEPD(&CTD->pos, fen);
        double clock = CTD->pos.side ? sd.btime : sd.wtime;
        if (PBlock.uci) {
            LogMessageF("info string fen %s", fen);
            LogMessageF("info string ply= %d, trg_time= %0.3f sec", (int)CTD->game_ply, sd.target_time);
        } else {
            ShowMessageF("fen %s", fen);
            ShowMessageF("Ply= %d, cnt50= %d, Clock= %0.2fs, Target time= %0.2fs", (int)CTD->game_ply,
                         (int)CTD->pos.fifty, clock, sd.target_time);
        }
    }
}

void SearchTimecheck() {
    SearchDataRecord& sd = SearchData;
    const double elapsed = GetTime() - search_start;
    sd.elapsed.store(elapsed, std::memory_order_relaxed);

    if (sd.stop.load(std::memory_order_relaxed)) return;
    const int mode = sd.search_mode.load(std::memory_order_relaxed);
    if (mode == 2) return;                 // pondering: the clock never ends it
    if (sd.infinite) return;               // "go infinite": only "stop" ends it
    // Acquire: the master publishes its iteration after it has loaded every
    // thread's record, whose fields are read below.
    const int d = sd.depth.load(std::memory_order_acquire);
    const double clock = CTD->pos.side ? sd.btime : sd.wtime;
    const double r = std::max(0.0, clock - elapsed);
    const double reserve = sd.limit_kind == 1 ? 0.0 : std::min(sd.time_reserve, 0.025);
    // A clock that is all but spent cannot wait for the first 15 ms: a
    // search that always took that long would lose a long game on time.
    const bool clock_spent = 5.0 * reserve > r;
    if (d < 2 || (elapsed < 0.015 && !clock_spent)) return;

    const int p = sd.depth_score[d - 1].load(std::memory_order_relaxed);
    const int a = std::abs(p);
    int m, M;
    if (a < 960) {
        m = a / 16 + 15;
        M = 4 * m;
    } else {
        m = 75;
        M = 300;
    }

    const int best = sd.best_score.load(std::memory_order_relaxed);
    const uint16_t best_move = sd.pv[1].load(std::memory_order_relaxed);
    int x = 0;
    const int n = sd.threads.load(std::memory_order_relaxed);
    for (int j = 0; j < n; j++) {
        const ThreadRecord* t = ThreadData[j];
        if (!t || t->depth.load(std::memory_order_relaxed) < d) continue;
        const int s = t->score.load(std::memory_order_relaxed);
        const uint16_t move = RelaxedLoad(t->pv[1]);
        if (move == best_move) {
            if (s < best && t->root_state.load(std::memory_order_relaxed) == 1)
                x = (j == 0) ? 24 : std::max(x, 16);
        } else if (s > best) {
            if (j == 0 && t->root_state.load(std::memory_order_relaxed) == 2) x = std::max(x, 2);
            if (s > best + 24) x = std::max(x, 4);
        }
    }

    bool stability = false;
    if (best < p - M) {
        x = 24;
    } else if (best < p - 2 * m) {
        x = std::max(x, 10);
    } else if (best < p - m) {
        x = std::max(x, 4);
    } else if (x == 0 && d > 4) {
        stability = true;
        const int cd = sd.change_depth.load(std::memory_order_relaxed);
        if (d == cd) x = 2;
        else if (d - 1 == cd) x = 1;
        else if (elapsed > 0.5 * sd.target_time) x = (d - 9 > cd) ? -2 : (d - 5 > cd) ? -1 : 0;
        else x = 0;
    }
    if (!stability && d < 4) x >>= 1;

    const double limit = sd.target_time + (x / 100.0) * r - reserve;

    bool end;
    if (sd.single_reply.load(std::memory_order_relaxed) == 1 && d > 4) end = true;
    else end = clock_spent || elapsed >= limit;
    if (end) {
        uint8_t expected = STOP_NONE;
        sd.stop.compare_exchange_strong(expected, mode == 1 ? STOP_NORMAL : STOP_CONSOLE,
                                        std::memory_order_relaxed);
    }
}

double EffectiveBranchingFactor() {
    const int last = SearchData.last_depth.load(std::memory_order_relaxed);
    if (last < 6) return 2.0;
    const uint64_t a = SearchData.depth_nodes[last], b = SearchData.depth_nodes[last - 4];
    if (a == 0 || b == 0) return 2.0;
    return pow((double)a / (double)b, 0.25);
}

double EloOfSpeed(double nps) {
    double n = nps < MIN_MODEL_NPS ? MIN_MODEL_NPS : nps;
    return 126.0 * std::log(n) + 1183.0 - 4500.0 / (n - 10.0);
}

double SpeedForElo(double elo) {
    double target = elo < 1500.0 ? 1500.0 : elo;
    double lo = MIN_MODEL_NPS, hi = MAX_MODEL_NPS, mid = lo;
    // Each step halves the interval; 200 steps reach the limits of a double,
    // so the search ends also for targets outside the model's range.
    for (int i = 0; i < 200; i++) {
        mid = (lo + hi) * 0.5;
        double e = EloOfSpeed(mid);
        if (std::fabs(e - target) < 0.5) break;
        if (e > target)
            hi = mid;
        else
            lo = mid;
    }
    return mid;
}
