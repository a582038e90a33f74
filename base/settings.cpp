#include "base/settings.h"

#include <cstring>

SettingsRecord Personality;
SettingsRecord DefaultPersonality;
ControlBlock PBlock;

// Built-in defaults of the evaluation words.
namespace {

struct WordDefault {
    int word;
    int16_t value;
};

const WordDefault kDefaults[] = {
    {248, 90},   {249, 110},  {250, 380},  {251, 360},  {252, 390},  {253, 375},
    {254, 535},  {255, 635},  {256, 1200}, {257, 1200}, {258, 30},   {259, 50},
    {260, -6},   {261, -6},   {262, -4},   {263, -4},   {264, -5},   {265, -5},
    {266, -8},   {267, -6},   {268, 48},   {269, 36},   {270, 24},   {271, 24},
    {280, 0},    {281, 50},   {282, 40},   {283, 50},   {284, 16},   {285, 0},
    {286, 56},   {287, 66},   {288, 13},   {289, 0},    {290, 50},   {291, 64},
    {292, 14},   {293, 6},    {294, 6},    {295, 0},    {296, 8},    {297, 8},
    {298, -25},  {299, 0},    {300, 32},   {301, 84},   {304, 54},   {305, 0},
    {306, -9},   {307, 0},    {310, -8},   {311, -10},  {313, -15},  {314, -28},
    {315, -25},  {316, -25},  {317, -4},   {318, -15},  {319, -8},   {320, -16},
    {321, -10},  {322, -8},   {325, 28},   {326, 8},    {327, 36},   {328, 42},
    {329, 14},   {330, 16},   {331, 9},    {332, 0},    {333, 15},   {334, 25},
    {335, 32},   {336, 52},
};

// Files a-d of ranks 1 to 8 (registered for tuning only).
const int16_t kPstSquares[32] = {
    3,   4,   -4,  -6,  -2,  -6,  -10, -12, -12, -15, -17, -19, -20, -22, -24, -26,
    -20, -22, -24, -26, -20, -22, -24, -26, -20, -22, -24, -26, -20, -22, -24, -26,
};

const int16_t kP[15] = {2, 4, 8, 16, 32, 64, 128, 256, 512, 12, 16, 12, 16, 20, 4};

}  // namespace

void SetDefaultEvalParams(int16_t* words) {
    for (int w = 248; w < SETTINGS_WORDS; w++) words[w] = 0;
    for (const WordDefault& d : kDefaults) words[d.word] = d.value;
    // The sixteen percentage pairs, words 337 to 368.
    for (int w = W_PCT_PST_PAWN; w <= W_PCT_TUNE + 1; w++) words[w] = 100;
    for (int i = 0; i < 32; i++) words[W_PST_SQUARES + i] = kPstSquares[i];
    for (int i = 0; i < 15; i++) words[W_P1 + i] = kP[i];
}

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
