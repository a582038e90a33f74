#include "search/info.h"

#include <cstdio>

#include "base/output.h"
#include "base/settings.h"
#include "board/position.h"
#include "search/pool.h"
#include "search/records.h"
#include "search/tt.h"

void NewBestMove(ThreadRecord* t) {
    SearchDataRecord& sd = SearchData;
    const uint16_t m = RelaxedLoad(t->pv[1]);
    const int s = t->score.load(std::memory_order_relaxed);
    const int d = t->done_depth;
    // best_depth 0 marks the root's stand-in move, published before the
    // first iteration: any real result replaces it.
    const bool stand_in = sd.best_depth.load(std::memory_order_relaxed) == 0;
    if (m != sd.pv[1].load(std::memory_order_relaxed) || stand_in) {
        sd.change_depth.store((uint8_t)d, std::memory_order_relaxed);
    } else if (sd.best_score.load(std::memory_order_relaxed) == s &&
               sd.best_depth.load(std::memory_order_relaxed) == d) {
        return;
    }
    sd.best_score.store((int16_t)s, std::memory_order_relaxed);
    sd.best_depth.store((uint8_t)d, std::memory_order_relaxed);
    for (int i = 0; i < MAX_PLY + 2; i++) sd.pv[i].store(RelaxedLoad(t->pv[i]), std::memory_order_relaxed);
    // The tablebase shortcut reports depth 99, beyond the per-depth tables.
    if (d < MAX_PLY + 2) {
        sd.depth_score[d].store((int16_t)s, std::memory_order_relaxed);
        sd.depth_move[d].store(m, std::memory_order_relaxed);
    }
    if (d >= 2 && sd.multipv == 1) {
        uint16_t pv[MAX_PLY + 2];
        for (int i = 0; i < MAX_PLY + 2; i++) pv[i] = RelaxedLoad(t->pv[i]);
        DisplaySearchInfo(t->thread_index, 0, d, s, pv);
    }
}

std::string UciScoreText(int s) {
    char buf[32];
    if (s > 9899) {
        snprintf(buf, sizeof buf, "mate %d", (10000 - s) / 2);
    } else if (s < -9900) {
        // Mated at ply p (root ply 1) scores p - 10000: after (p - 1) / 2
        // more own moves, so -9997 is "mate -1".
        int n = (s + 10000) / 2;
        if (n > 0) snprintf(buf, sizeof buf, "mate -%d", n);
        else snprintf(buf, sizeof buf, "mate 0");
    } else {
        snprintf(buf, sizeof buf, "cp %d", s);
    }
    return buf;
}

void DisplaySearchInfo(int thread_index, int k, int d, int s, const std::atomic<uint16_t>* pv) {
    uint16_t copy[MAX_PLY + 2];
    for (int i = 0; i < MAX_PLY + 2; i++) copy[i] = pv[i].load(std::memory_order_relaxed);
    DisplaySearchInfo(thread_index, k, d, s, copy);
}

void DisplaySearchInfo(int thread_index, int k, int d, int s, const uint16_t* pv) {
    SearchDataRecord& sd = SearchData;
    const double noise = PBlock.noise;
    const double elapsed = sd.elapsed.load(std::memory_order_relaxed);
    const int stop = sd.stop.load(std::memory_order_relaxed);
    if (stop == 0 && elapsed < noise) return;
    if (noise == 9999.0 || d == 0 || pv[1] == 0) return;

    SpinGuard g(spinlock2);
    Collect();
    sd.hashfull.store(0.0, std::memory_order_relaxed);
    if (d > 6) HashFull();

    int shown = s;
    switch (sd.tb_result.load(std::memory_order_relaxed)) {
    case 4: shown = s < 9899 ? 9800 : s; break;
    case 2: shown = 0; break;
    case 0: shown = s < -9899 ? s : -9800; break;
    default: break;
    }

    // The principal variation as text, at most 66 moves.
    char words[MAX_PLY][16];
    int nwords = 0;
    for (int i = 1; i < MAX_PLY + 2 && pv[i] != 0 && nwords < 66; i++) MoveToStr(pv[i], words[nwords++]);

    const double nodes = (double)sd.nodes;
    const double nps = elapsed > 0.001 ? nodes / elapsed : 0.0;
    std::string line;
    char head[256];
    if (RelaxedLoad(PBlock.uci)) {
        std::string pvtext;
        for (int i = 0; i < nwords; i++) {
            if (i) pvtext += ' ';
            pvtext += words[i];
        }
        char prefix[32] = "";
        if (sd.multipv > 1) snprintf(prefix, sizeof prefix, "multipv %d ", k);
        const ThreadRecord* master = ThreadData[0];
        const int seldepth = master && master->seldepth > 0 ? master->seldepth - 1 : 0;
        snprintf(head, sizeof head,
                 "info %sdepth %d seldepth %d score %s time %.0f nodes %.0f nps %.0f tbhits %.0f hashfull %.0f pv ",
                 prefix, d, seldepth, UciScoreText(shown).c_str(), elapsed * 1000.0, nodes, nps,
                 (double)sd.tb_hits, sd.hashfull.load(std::memory_order_relaxed) * 1000.0);
        line = head + pvtext;
    } else {
        const int limit = stop == 0 ? 8 : 32;
        std::string pvtext;
        for (int i = 0; i < nwords && i < limit; i++) {
            if (i == 8 || i == 16 || i == 24) pvtext += "\n" + std::string(30, ' ');
            else if (i) pvtext += ' ';
            pvtext += words[i];
        }
        snprintf(head, sizeof head, "%02d] %02d%c %5.1f %7.0fK %5d  ", thread_index, d, k ? '.' : ' ', elapsed,
                 nodes * 0.001, shown);
        line = head + pvtext;
        if (thread_index == 0 && k == sd.multipv) line += '\n';
    }
    ShowMessage(line.c_str());
}
