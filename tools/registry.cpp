#include "tools/registry.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/settings.h"
#include "eval/params.h"

ParamEntry ParamList[MAX_PARAMS];
int nParams = 0;
int32_t flag = 0;

int16_t RoundToWord(double v) {
    if (std::isnan(v)) return 0;
    const double r = std::round(v);
    if (r < -32768.0) return -32768;
    if (r > 32767.0) return 32767;
    return (int16_t)r;
}

void NewParam(const char* name, int16_t* word) {
    if (nParams >= MAX_PARAMS) return;
    ParamEntry& e = ParamList[nParams++];
    memset(&e, 0, sizeof e);
    snprintf(e.name, sizeof e.name, "%s", name);
    e.param = word;
    e.value = (double)*word;
    e.work = 0.0;
    e.selected = 0;
}

namespace {

// The registration order, which is the order of every listing and of the
// tuners' loops (not the order of the words).
struct NamedWord {
    const char* name;
    int word;
};

const NamedWord registered[] = {
    {"pawn_value_op", W_PAWN_VALUE},           {"pawn_value_en", W_PAWN_VALUE + 1},
    {"knight_value_op", W_KNIGHT_VALUE},       {"knight_value_en", W_KNIGHT_VALUE + 1},
    {"bishop_value_op", W_BISHOP_VALUE},       {"bishop_value_en", W_BISHOP_VALUE + 1},
    {"rook_value_op", W_ROOK_VALUE},           {"rook_value_en", W_ROOK_VALUE + 1},
    {"queen_value_op", W_QUEEN_VALUE},         {"queen_value_en", W_QUEEN_VALUE + 1},
    {"bishop_pair_op", W_BISHOP_PAIR},         {"bishop_pair_en", W_BISHOP_PAIR + 1},
    {"knight_mobility_op", W_KNIGHT_MOBILITY}, {"knight_mobility_en", W_KNIGHT_MOBILITY + 1},
    {"bishop_mobility_op", W_BISHOP_MOBILITY}, {"bishop_mobility_en", W_BISHOP_MOBILITY + 1},
    {"rook_mobility_op", W_ROOK_MOBILITY},     {"rook_mobility_en", W_ROOK_MOBILITY + 1},
    {"queen_mobility_op", W_QUEEN_MOBILITY},   {"queen_mobility_en", W_QUEEN_MOBILITY + 1},
    {"pawn_doubled_op", W_PAWN_DOUBLED},       {"pawn_doubled_en", W_PAWN_DOUBLED + 1},
    {"pawn_backward_op", W_PAWN_BACKWARD},     {"pawn_backward_en", W_PAWN_BACKWARD + 1},
    {"pawn_isolated_op", W_PAWN_ISOLATED},     {"pawn_isolated_en", W_PAWN_ISOLATED + 1},
    {"pawn_weak_op", W_PAWN_WEAK},             {"pawn_weak_en", W_PAWN_WEAK + 1},
    {"pawn_connected_op", W_PAWN_CONNECTED},   {"pawn_connected_en", W_PAWN_CONNECTED + 1},
    {"pawn_defended_op", W_PAWN_DEFENDED},     {"pawn_defended_en", W_PAWN_DEFENDED + 1},
    {"pawn_candidate_op", W_PAWN_CANDIDATE},   {"pawn_candidate_en", W_PAWN_CANDIDATE + 1},
    {"knight_outpost", W_KNIGHT_OUTPOST},      {"bishop_outpost", W_BISHOP_OUTPOST},
    {"rook_open_file_op", W_ROOK_OPEN_FILE},   {"rook_open_file_en", W_ROOK_OPEN_FILE + 1},
    {"rook_half_open_file_op", W_ROOK_HALF_OPEN_FILE}, {"rook_half_open_file_en", W_ROOK_HALF_OPEN_FILE + 1},
    {"rook_rank7_op", W_ROOK_RANK7},           {"rook_rank7_en", W_ROOK_RANK7 + 1},
    {"rook_trapped_op", W_ROOK_TRAPPED},       {"rook_trapped_en", W_ROOK_TRAPPED + 1},
    {"queen_rank7_op", W_QUEEN_RANK7},         {"queen_rank7_en", W_QUEEN_RANK7 + 1},
    {"pawn_shield", W_PAWN_SHIELD},            {"pawn_storm", W_PAWN_STORM},
    {"safe_check_op", W_SAFE_CHECK},           {"safe_check_en", W_SAFE_CHECK + 1},
    {"hung_pawn_op", W_HUNG_PAWN},             {"hung_pawn_en", W_HUNG_PAWN + 1},
    {"hung_piece_op", W_HUNG_PIECE},           {"hung_piece_en", W_HUNG_PIECE + 1},
    {"attacked_piece_op", W_ATTACKED_PIECE},   {"attacked_piece_en", W_ATTACKED_PIECE + 1},
    {"multi_hung_op", W_MULTI_HUNG},           {"multi_hung_en", W_MULTI_HUNG + 1},
    {"threat_ppush_op", W_THREAT_PPUSH},       {"threat_ppush_en", W_THREAT_PPUSH + 1},
    {"PST_P_op", W_PST_P},                     {"PST_P_en", W_PST_P + 1},
    {"PST_N_op", W_PST_N},                     {"PST_N_en", W_PST_N + 1},
    {"PST_B_op", W_PST_B},                     {"PST_B_en", W_PST_B + 1},
    {"PST_R_op", W_PST_R},                     {"PST_R_en", W_PST_R + 1},
    {"PST_Q_op", W_PST_Q},                     {"PST_Q_en", W_PST_Q + 1},
    {"PST_K_op", W_PST_K},                     {"PST_K_en", W_PST_K + 1},
    {"pawnstruct", W_PCT_PAWN_STRUCTURE},      {"king_safety", W_PCT_KING_SAFETY},
    {"ppawns", W_PCT_PASSED_PAWNS + 1},        {"threats", W_PCT_THREATS + 1},
};

}  // namespace

void AddParams() {
    if (flag >= 1) return;
    flag = 1;
    int16_t* words = Words(Personality);
    for (const NamedWord& r : registered) NewParam(r.name, words + r.word);
    // The 32-square table, files a to d of each rank, rank 1 first.
    for (int i = 0; i < 32; i++) {
        char name[PARAM_NAME_LEN];
        snprintf(name, sizeof name, "pst_%c%d", 'a' + i % 4, 1 + i / 4);
        NewParam(name, words + W_PST_SQUARES + i);
    }
    for (int i = 0; i < 15; i++) {
        char name[PARAM_NAME_LEN];
        snprintf(name, sizeof name, "p%d", i + 1);
        NewParam(name, words + W_P1 + i);
    }
}

ParamEntry* FindParam(const char* name) {
    for (int i = 0; i < nParams; i++)
        if (!strcmp(ParamList[i].name, name)) return &ParamList[i];
    return nullptr;
}

void SetFlag(const char* name) {
    if (ParamEntry* e = FindParam(name)) e->selected = 1;
}
