// The search parameters derived from the settings.
#include <string>

#include "search/params.h"
#include "search/records.h"
#include "test_util.h"

namespace {

class SearchParams : public BoardTest {
protected:
    void TearDown() override {
        Personality = DefaultPersonality;
        SearchData.target_nps = 1e9;
        SetSearchParams();
    }
};

TEST_F(SearchParams, DefaultsAndReductionTables) {
    Personality = DefaultPersonality;
    SetSearchParams();
    EXPECT_EQ(BP_margin, 15);
    EXPECT_EQ(FP_margin[0], 50);
    EXPECT_EQ(FP_margin[3], 425);
    EXPECT_EQ(SEP_margin[2], 150);
    EXPECT_EQ(LMP_count[6], 13);
    EXPECT_EQ(ProbCut_R, 3);
    EXPECT_EQ(lmr_pv[3][2], 0);  // 0.44 ln3 ln2 - 0.7 is negative
    EXPECT_EQ(lmr_nonpv[3][2], 1);
    EXPECT_EQ(lmr_pv[10][10], 2);
    EXPECT_EQ(lmr_nonpv[10][10], 3);
    EXPECT_EQ(lmr_nonpv[31][31], 6);
    for (int d = 0; d < 32; d++) {
        EXPECT_EQ(lmr_pv[d][0] + lmr_nonpv[d][0], 0);
        if (d <= 2) {
            for (int m = 0; m < 32; m++) EXPECT_EQ(lmr_pv[d][m] + lmr_nonpv[d][m], 0);
        }
    }
}

TEST_F(SearchParams, SelectivityScalesTheReductions) {
    Personality.Selectivity = 0;
    SetSearchParams();
    EXPECT_EQ(BP_margin, 65);
    for (int d = 0; d < 32; d++)
        for (int m = 0; m < 32; m++) ASSERT_EQ(lmr_pv[d][m] + lmr_nonpv[d][m], 0);
    Personality.Selectivity = 30000;  // taken as 200
    SetSearchParams();
    EXPECT_EQ(BP_margin, 15);
    EXPECT_EQ(lmr_nonpv[10][10], 6);  // (0.46 x 5.30 + 0.6) x 2 = 6.08
    EXPECT_EQ(lmr_nonpv[3][31], 2);   // capped at depth - 1
    Personality.Selectivity = 51;
    SetSearchParams();
    EXPECT_EQ(BP_margin, 39);  // (100 - 51) / 2 + 15
}

TEST_F(SearchParams, Blindness) {
    SearchData.target_nps = 4510;
    for (int elo : {0, 2200, 3000}) {
        Personality.UCI_Elo = (int16_t)elo;
        SetSearchParams();
        EXPECT_EQ(blindness, 0) << elo;
    }
    Personality.UCI_Elo = 1500;
    SetSearchParams();
    EXPECT_EQ(blindness, 1);  // 4500 / 4500
    SearchData.target_nps = 10;  // no division by zero
    SetSearchParams();
    EXPECT_EQ(blindness, 32767);
}

TEST_F(SearchParams, ShowListsOnlyTheTablesEntries) {
    Personality.FP_depth = 20;
    Personality.LMP_depth = 2;
    SetSearchParams();
    testing::internal::CaptureStdout();
    ShowSearchParams();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("BP_margin= 15\n"), std::string::npos);
    EXPECT_NE(out.find("FP_depth= 20, margins= 175 300 425 550 675 800 925 1050 1175 1300 1425\n"), std::string::npos);
    EXPECT_NE(out.find("SEP_depth= 3, margins= 75 150 225\n"), std::string::npos);
    EXPECT_NE(out.find("PC: depth= 3, Red= 3, Margin= 100\n"), std::string::npos);
    EXPECT_NE(out.find("LMP_depth= 2, count= 3 5\n"), std::string::npos);
    EXPECT_NE(out.find("LMR table:\n 1  0 0 0"), std::string::npos);
    EXPECT_NE(out.find("\n\n\n 1  "), std::string::npos);
}

}  // namespace
