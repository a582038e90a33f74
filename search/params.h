// The search's pruning and reduction parameters, derived from the settings.
#pragma once
#include <cstdint>

enum : int { MARGIN_TABLE_SIZE = 12, LMR_TABLE_SIZE = 32 };

extern int16_t blindness;
extern int16_t FP_depth;
extern int16_t FP_margin[MARGIN_TABLE_SIZE];
extern int16_t SEP_depth;
extern int16_t SEP_margin[MARGIN_TABLE_SIZE];
extern int16_t NMP_depth;
extern int16_t ProbCut_depth;
extern int16_t ProbCut_R;
extern int16_t ProbCut_margin;
extern int16_t LMP_depth;
extern int16_t LMP_count[MARGIN_TABLE_SIZE];
extern int16_t LMR_depth;
extern int16_t BP_margin;
extern uint8_t lmr_pv[LMR_TABLE_SIZE][LMR_TABLE_SIZE];
extern uint8_t lmr_nonpv[LMR_TABLE_SIZE][LMR_TABLE_SIZE];

// Derives every global above from Personality and SearchData.target_nps.
void SetSearchParams();
// Prints them to standard output (not logged).
void ShowSearchParams();
