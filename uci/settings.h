// The settings record (live and default copies) and the run's control block.
#pragma once
#include <cstddef>
#include <cstdint>
#include "eval/evaltypes.h"

enum : int { SETTINGS_WORDS = 416, SETTING_TEXT_LEN = 144, TOOL_FILE_LEN = 140 };

// 416 signed 16-bit words; the named fields sit at their fixed word numbers,
// and Words() gives the plain word view that the evaluation and tuners use.
struct SettingsRecord {
    int16_t params_changed;      // 0
    int16_t Hash;                // 1
    int16_t Threads;             // 2
    int16_t MoveOverhead;        // 3
    int16_t Ponder;              // 4
    int16_t MultiPV;             // 5
    int16_t UCI_LimitStrength;   // 6
    int16_t UCI_Elo;             // 7
    int16_t Log;                 // 8
    int16_t OwnBook;             // 9
    int16_t OwnBook_Variety;     // 10
    int16_t OwnBook_Depth;       // 11
    char ConfigFilePath[SETTING_TEXT_LEN];  // words 12-83
    char OwnBook_File[SETTING_TEXT_LEN];    // words 84-155
    char SyzygyPath[SETTING_TEXT_LEN];      // words 156-227
    int16_t SyzygyProbeDepth5;   // 228
    int16_t SyzygyProbeDepth6;   // 229
    int16_t Contempt;            // 230
    int16_t unused231, unused232;
    int16_t Selectivity;         // 233
    int16_t unused234, unused235;
    int16_t SEP_depth;           // 236
    int16_t sep_step;            // 237
    int16_t NMP_depth;           // 238
    int16_t FP_depth;            // 239
    int16_t fp_step;             // 240
    int16_t ProbCut_depth;       // 241
    int16_t probcut_r;           // 242
    int16_t probcut_margin;      // 243
    int16_t LMP_depth;           // 244
    int16_t lmp_step;            // 245
    int16_t LMR_depth;           // 246
    int16_t unused247;
    int16_t eval[SETTINGS_WORDS - 248];  // words 248-415: evaluation parameters
};
static_assert(sizeof(SettingsRecord) == 2 * SETTINGS_WORDS, "settings record is 416 words");
static_assert(offsetof(SettingsRecord, ConfigFilePath) == 24, "text fields start at word 12");
static_assert(offsetof(SettingsRecord, SyzygyProbeDepth5) == 2 * 228, "word 228");
static_assert(offsetof(SettingsRecord, eval) == 2 * 248, "evaluation words start at 248");

inline int16_t* Words(SettingsRecord& r) { return reinterpret_cast<int16_t*>(&r); }

extern SettingsRecord Personality;
extern SettingsRecord DefaultPersonality;

struct ControlBlock {
    uint8_t quit;
    double noise;
    uint8_t ready;
    int16_t trace;
    int16_t debug;
    char epd_file[TOOL_FILE_LEN];
    char pgn_file[TOOL_FILE_LEN];
    uint8_t tune_pct;
    EvalTrace eval_trace;
    uint64_t tag;
    uint16_t uci;
};
extern ControlBlock PBlock;

// Writes the built-in defaults into DefaultPersonality (all other words 0).
void SetDefaultSettings();
// Start values of PBlock.
void InitControlBlock();
// Stores text into a text field of `size` bytes, cut to size - 1 characters.
void SetTextField(char* field, size_t size, const char* text);
