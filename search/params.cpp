#include "search/params.h"

#include <cmath>
#include <cstdio>

#include "base/settings.h"
#include "search/records.h"

int16_t blindness;
int16_t FP_depth;
int16_t FP_margin[MARGIN_TABLE_SIZE];
int16_t SEP_depth;
int16_t SEP_margin[MARGIN_TABLE_SIZE];
int16_t NMP_depth;
int16_t ProbCut_depth;
int16_t ProbCut_R;
int16_t ProbCut_margin;
int16_t LMP_depth;
int16_t LMP_count[MARGIN_TABLE_SIZE];
int16_t LMR_depth;
int16_t BP_margin;
uint8_t lmr_pv[LMR_TABLE_SIZE][LMR_TABLE_SIZE];
uint8_t lmr_nonpv[LMR_TABLE_SIZE][LMR_TABLE_SIZE];

// Settings may be set to anything from the console: keep derived words in range.
static int16_t Clamp16(long v) { return (int16_t)(v < -32768 ? -32768 : v > 32767 ? 32767 : v); }

static uint8_t Reduction(double limit, double value) {
    double r = value < limit ? value : limit;
    if (r < 0) return 0;
    r = std::round(r);  // halves away from zero
    return (uint8_t)(r > 255 ? 255 : r);
}

void SetSearchParams() {
    const SettingsRecord& p = Personality;
    int elo = p.UCI_Elo;
    blindness = 0;
    if (elo >= 1 && elo <= 2199) {
        double d = SearchData.target_nps - 10;
        double b = d > 0 ? 4500.0 / d : 32767.0;
        blindness = (int16_t)(b > 32767.0 ? 32767 : (int)b);
    }
    FP_depth = p.FP_depth;
    SEP_depth = p.SEP_depth;
    NMP_depth = p.NMP_depth;
    ProbCut_depth = p.ProbCut_depth;
    ProbCut_R = p.probcut_r;
    ProbCut_margin = p.probcut_margin;
    LMP_depth = p.LMP_depth;
    LMR_depth = p.LMR_depth;
    for (int i = 0; i < MARGIN_TABLE_SIZE; i++) {
        FP_margin[i] = Clamp16(50 + (long)i * p.fp_step);
        SEP_margin[i] = Clamp16((long)i * p.sep_step);
        LMP_count[i] = Clamp16(1 + (long)i * p.lmp_step);
    }
    int s = p.Selectivity > 200 ? 200 : p.Selectivity;
    BP_margin = Clamp16(s <= 99 ? ((100 - s) >> 1) + 15 : 15);
    double f = s * 0.01;
    for (int d = 0; d < LMR_TABLE_SIZE; d++)
        for (int m = 0; m < LMR_TABLE_SIZE; m++) {
            if (d <= 2 || m == 0) {
                lmr_pv[d][m] = lmr_nonpv[d][m] = 0;
                continue;
            }
            double L = std::log((double)d) * std::log((double)m);
            lmr_pv[d][m] = Reduction(d - 2, (0.44 * L - 0.7) * f);
            lmr_nonpv[d][m] = Reduction(d - 1, (0.46 * L + 0.6) * f);
        }
}

static void PrintList(const char* head, int depth, const int16_t* table) {
    printf("%s", head);
    int last = depth < MARGIN_TABLE_SIZE - 1 ? depth : MARGIN_TABLE_SIZE - 1;
    for (int i = 1; i <= last; i++) printf(" %d", table[i]);
    printf("\n");
}

void ShowSearchParams() {
    char head[64];
    printf("BP_margin= %d\n", BP_margin);
    snprintf(head, sizeof head, "FP_depth= %d, margins=", FP_depth);
    PrintList(head, FP_depth, FP_margin);
    snprintf(head, sizeof head, "SEP_depth= %d, margins=", SEP_depth);
    PrintList(head, SEP_depth, SEP_margin);
    printf("PC: depth= %d, Red= %d, Margin= %d\n", ProbCut_depth, ProbCut_R, ProbCut_margin);
    printf("NMP_depth= %d\n", NMP_depth);
    snprintf(head, sizeof head, "LMP_depth= %d, count=", LMP_depth);
    PrintList(head, LMP_depth, LMP_count);
    printf("LMR_depth= %d\n", LMR_depth);
    printf("LMR table:\n");
    for (int d = 1; d < LMR_TABLE_SIZE; d++) {
        printf("%2d  ", d);
        for (int m = 0; m < LMR_TABLE_SIZE; m++) printf("%d ", lmr_pv[d][m]);
        printf("\n");
    }
    printf("\n\n");
    for (int d = 1; d < LMR_TABLE_SIZE; d++) {
        printf("%2d  ", d);
        for (int m = 0; m < LMR_TABLE_SIZE; m++) printf("%d ", lmr_nonpv[d][m]);
        printf("\n");
    }
    fflush(stdout);
}
