#include "uci/settings.h"

#include <cstring>

#include "eval/params.h"

SettingsRecord Personality;
SettingsRecord DefaultPersonality;
ControlBlock PBlock;

void SetDefaultSettings() {
    SettingsRecord& d = DefaultPersonality;
    memset(&d, 0, sizeof d);
    d.params_changed = 1;
    d.Hash = 64;
    d.Threads = 1;
    d.MoveOverhead = 50;
    d.Ponder = 1;
    d.MultiPV = 1;
    d.UCI_LimitStrength = 0;
    d.UCI_Elo = 0;
    d.Log = 0;
    d.OwnBook = 0;
    d.OwnBook_Variety = 25;
    d.OwnBook_Depth = 28;
    d.SyzygyProbeDepth5 = 0;
    d.SyzygyProbeDepth6 = 2;
    d.Contempt = 0;
    d.Selectivity = 100;
    d.SEP_depth = 3;
    d.sep_step = 75;
    d.NMP_depth = 3;
    d.FP_depth = 3;
    d.fp_step = 125;
    d.ProbCut_depth = 3;
    d.probcut_r = 3;
    d.probcut_margin = 100;
    d.LMP_depth = 6;
    d.lmp_step = 2;
    d.LMR_depth = 3;
    SetDefaultEvalParams(Words(d));
}

void InitControlBlock() {
    ControlBlock& b = PBlock;
    memset(&b, 0, sizeof b);
    b.quit = 0;
    b.noise = 0.0;
    b.ready = 1;
    b.trace = 0;
    b.debug = 0;
    b.tune_pct = 100;
    b.eval_trace.scale = 1.0;
    b.tag = 0;
    b.uci = 1;
}

void SetTextField(char* field, size_t size, const char* text) {
    if (size == 0) return;
    size_t n = text ? strnlen(text, size - 1) : 0;
    if (n) memcpy(field, text, n);
    field[n] = 0;
}
