// The settings record (live and default copies) and the run's control block.
#pragma once
#include <cstddef>
#include <cstdint>

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

// Word numbers of the evaluation parameters (opening word first, endgame word
// next, except for the single words and the percentage pairs).
enum : int {
    W_PAWN_VALUE = 248, W_KNIGHT_VALUE = 250, W_BISHOP_VALUE = 252, W_ROOK_VALUE = 254,
    W_QUEEN_VALUE = 256, W_BISHOP_PAIR = 258, W_PAWN_ISOLATED = 260, W_PAWN_BACKWARD = 262,
    W_PAWN_DOUBLED = 264, W_PAWN_WEAK = 266, W_PAWN_CONNECTED = 268, W_PAWN_DEFENDED = 270,
    W_PAWN_CANDIDATE = 280, W_KNIGHT_MOBILITY = 282, W_KNIGHT_OUTPOST = 284,
    W_BISHOP_MOBILITY = 286, W_BISHOP_OUTPOST = 288, W_ROOK_MOBILITY = 290,
    W_ROOK_OPEN_FILE = 292, W_ROOK_HALF_OPEN_FILE = 294, W_ROOK_RANK7 = 296,
    W_ROOK_TRAPPED = 298, W_QUEEN_MOBILITY = 300, W_QUEEN_RANK7 = 302, W_PAWN_SHIELD = 304,
    W_PAWN_STORM = 306, W_SAFE_CHECK = 310, W_HUNG_PAWN = 313, W_HUNG_PIECE = 315,
    W_ATTACKED_PIECE = 317, W_MULTI_HUNG = 319, W_THREAT_PPUSH = 321,
    W_PST_P = 325, W_PST_N = 327, W_PST_B = 329, W_PST_R = 331, W_PST_Q = 333, W_PST_K = 335,
    // percent pairs
    W_PCT_PST_PAWN = 337, W_PCT_PST_KNIGHT = 339, W_PCT_PST_BISHOP = 341, W_PCT_PST_ROOK = 343,
    W_PCT_PST_QUEEN = 345, W_PCT_PST_KING = 347, W_PCT_MOB_KNIGHT = 349, W_PCT_MOB_BISHOP = 351,
    W_PCT_MOB_ROOK = 353, W_PCT_MOB_QUEEN = 355, W_PCT_PAWN_STRUCTURE = 357,
    W_PCT_PASSED_PAWNS = 359, W_PCT_KING_SAFETY = 361, W_PCT_THREATS = 363,
    W_PCT_AWARENESS = 365, W_PCT_TUNE = 367,
    W_PST_SQUARES = 369,  // 32 words, files a-d of ranks 1-8
    W_P1 = 401,           // p1 .. p15
    W_CONTEMPT = 230
};

inline int16_t* Words(SettingsRecord& r) { return reinterpret_cast<int16_t*>(&r); }

extern SettingsRecord Personality;
extern SettingsRecord DefaultPersonality;

// The evaluation's breakdown area, written by an evaluation with the trace
// flag and printed by the evaluation display. Per-square values and lines are
// tapered, each from the view of the side that owns the piece.
struct EvalTrace {
    int16_t square[64];
    int16_t stage;
    int16_t mtl[2];
    int16_t pos[2];
    int16_t passers[2];
    int16_t pawns[2];
    int16_t knights[2];
    int16_t bishops[2];
    int16_t rooks[2];
    int16_t queens[2];
    int16_t kings[2];
    uint64_t hung;
    uint64_t pinned;
    uint64_t free_pawns;
    double scale;
};

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
// The evaluation words 248-415 get theirs from SetDefaultEvalParams.
void SetDefaultSettings();
// Writes the built-in defaults of words 248-415 into a settings record viewed
// as 416 words (the other words are left alone).
void SetDefaultEvalParams(int16_t* words);
// Start values of PBlock.
void InitControlBlock();
// Stores text into a text field of `size` bytes, cut to size - 1 characters.
void SetTextField(char* field, size_t size, const char* text);
