// The registry of tunable parameters: its names in their order, the settings
// words they point at, registration once, marking by name, and the rounding of
// running values into words.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "test_util.h"
#include "tools/registry.h"

namespace {

// The registration list, copied by hand: name and word of the settings record.
struct Expected {
    const char* name;
    int word;
};
const Expected kRegistered[] = {
    {"pawn_value_op", 248}, {"pawn_value_en", 249}, {"knight_value_op", 250}, {"knight_value_en", 251},
    {"bishop_value_op", 252}, {"bishop_value_en", 253}, {"rook_value_op", 254}, {"rook_value_en", 255},
    {"queen_value_op", 256}, {"queen_value_en", 257}, {"bishop_pair_op", 258}, {"bishop_pair_en", 259},
    {"knight_mobility_op", 282}, {"knight_mobility_en", 283}, {"bishop_mobility_op", 286},
    {"bishop_mobility_en", 287}, {"rook_mobility_op", 290}, {"rook_mobility_en", 291},
    {"queen_mobility_op", 300}, {"queen_mobility_en", 301}, {"pawn_doubled_op", 264}, {"pawn_doubled_en", 265},
    {"pawn_backward_op", 262}, {"pawn_backward_en", 263}, {"pawn_isolated_op", 260}, {"pawn_isolated_en", 261},
    {"pawn_weak_op", 266}, {"pawn_weak_en", 267}, {"pawn_connected_op", 268}, {"pawn_connected_en", 269},
    {"pawn_defended_op", 270}, {"pawn_defended_en", 271}, {"pawn_candidate_op", 280},
    {"pawn_candidate_en", 281}, {"knight_outpost", 284}, {"bishop_outpost", 288}, {"rook_open_file_op", 292},
    {"rook_open_file_en", 293}, {"rook_half_open_file_op", 294}, {"rook_half_open_file_en", 295},
    {"rook_rank7_op", 296}, {"rook_rank7_en", 297}, {"rook_trapped_op", 298}, {"rook_trapped_en", 299},
    {"queen_rank7_op", 302}, {"queen_rank7_en", 303}, {"pawn_shield", 304}, {"pawn_storm", 306},
    {"safe_check_op", 310}, {"safe_check_en", 311}, {"hung_pawn_op", 313}, {"hung_pawn_en", 314},
    {"hung_piece_op", 315}, {"hung_piece_en", 316}, {"attacked_piece_op", 317}, {"attacked_piece_en", 318},
    {"multi_hung_op", 319}, {"multi_hung_en", 320}, {"threat_ppush_op", 321}, {"threat_ppush_en", 322},
    {"PST_P_op", 325}, {"PST_P_en", 326}, {"PST_N_op", 327}, {"PST_N_en", 328}, {"PST_B_op", 329},
    {"PST_B_en", 330}, {"PST_R_op", 331}, {"PST_R_en", 332}, {"PST_Q_op", 333}, {"PST_Q_en", 334},
    {"PST_K_op", 335}, {"PST_K_en", 336}, {"pawnstruct", 357}, {"king_safety", 361}, {"ppawns", 360},
    {"threats", 364}, {"pst_a1", 369}, {"pst_b1", 370}, {"pst_c1", 371}, {"pst_d1", 372}, {"pst_a2", 373},
    {"pst_b2", 374}, {"pst_c2", 375}, {"pst_d2", 376}, {"pst_a3", 377}, {"pst_b3", 378}, {"pst_c3", 379},
    {"pst_d3", 380}, {"pst_a4", 381}, {"pst_b4", 382}, {"pst_c4", 383}, {"pst_d4", 384}, {"pst_a5", 385},
    {"pst_b5", 386}, {"pst_c5", 387}, {"pst_d5", 388}, {"pst_a6", 389}, {"pst_b6", 390}, {"pst_c6", 391},
    {"pst_d6", 392}, {"pst_a7", 393}, {"pst_b7", 394}, {"pst_c7", 395}, {"pst_d7", 396}, {"pst_a8", 397},
    {"pst_b8", 398}, {"pst_c8", 399}, {"pst_d8", 400}, {"p1", 401}, {"p2", 402}, {"p3", 403}, {"p4", 404},
    {"p5", 405}, {"p6", 406}, {"p7", 407}, {"p8", 408}, {"p9", 409}, {"p10", 410}, {"p11", 411}, {"p12", 412},
    {"p13", 413}, {"p14", 414}, {"p15", 415}};

// A fresh, empty registry and the built-in settings in Personality.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        InitTestEnvironment();
        Personality = DefaultPersonality;
        memset(ParamList, 0, sizeof ParamList);
        nParams = 0;
        flag = 0;
    }
    static int WordOf(const ParamEntry& e) { return (int)(e.param - Words(Personality)); }
};

int CountSelected() {
    int n = 0;
    for (int i = 0; i < nParams; i++) n += ParamList[i].selected;
    return n;
}

}  // namespace

TEST_F(RegistryTest, HoldsExactlyTheTunableNamesInTheirOrderOnTheirWords) {
    ASSERT_EQ(sizeof kRegistered / sizeof kRegistered[0], 123u) << "the hand-copied list itself";
    AddParams();
    ASSERT_EQ(nParams, 123);
    EXPECT_EQ(flag, 1);
    for (int i = 0; i < 123; i++) {
        const ParamEntry& e = ParamList[i];
        EXPECT_STREQ(e.name, kRegistered[i].name) << "entry " << i;
        EXPECT_EQ(WordOf(e), kRegistered[i].word) << "word of " << kRegistered[i].name;
        EXPECT_EQ(e.selected, 0) << kRegistered[i].name << " is registered unmarked";
        EXPECT_EQ(e.work, 0.0);
    }
}

TEST_F(RegistryTest, ValuesAreTheWordsAtRegistration) {
    AddParams();
    ParamEntry* pawn = FindParam("pawn_value_op");
    ASSERT_NE(pawn, nullptr);
    EXPECT_EQ(pawn->value, 90.0);
    // Built-in defaults of a few words, as the evaluation's table lists them.
    EXPECT_EQ(FindParam("queen_value_en")->value, 1200.0);
    EXPECT_EQ(FindParam("rook_trapped_op")->value, -25.0);
    EXPECT_EQ(FindParam("king_safety")->value, 100.0);
    EXPECT_EQ(FindParam("pst_a1")->value, 3.0);
    EXPECT_EQ(FindParam("pst_d8")->value, -26.0);
    EXPECT_EQ(FindParam("p9")->value, 512.0);
    EXPECT_EQ(FindParam("p15")->value, 4.0);
    EXPECT_EQ(FindParam("queen_rank7_op")->value, 0.0) << "a word without a default is 0";
    for (int i = 0; i < nParams; i++) EXPECT_EQ(ParamList[i].value, (double)*ParamList[i].param) << ParamList[i].name;
}

TEST_F(RegistryTest, IsBuiltOnceAndKeepsItsValues) {
    Words(Personality)[248] = 77;  // the word at the first registration
    AddParams();
    Words(Personality)[248] = 55;  // a later change through an option does not reach the value
    AddParams();
    AddParams();
    EXPECT_EQ(nParams, 123);
    EXPECT_EQ(FindParam("pawn_value_op")->value, 77.0);
    EXPECT_EQ(*FindParam("pawn_value_op")->param, 55);
}

TEST_F(RegistryTest, SetFlagMarksOnlyTheExactName) {
    AddParams();
    SetFlag("p1");
    SetFlag("king_safety");
    EXPECT_EQ(FindParam("p1")->selected, 1);
    EXPECT_EQ(FindParam("king_safety")->selected, 1);
    EXPECT_EQ(FindParam("p10")->selected, 0) << "p1 is not a prefix match";
    EXPECT_EQ(CountSelected(), 2);
    for (const char* unknown : {"p16", "P1", "king_safet", "king_safety ", "", "pawn_value"}) SetFlag(unknown);
    EXPECT_EQ(CountSelected(), 2) << "unknown names mark nothing";
    SetFlag("p1");
    EXPECT_EQ(CountSelected(), 2) << "marking twice is marking once";
}

TEST_F(RegistryTest, TheListStopsAtItsCapacity) {
    AddParams();
    int16_t spare = 5;
    for (int i = 0; i < 200; i++) NewParam("extra", &spare);
    EXPECT_EQ(nParams, MAX_PARAMS);
    EXPECT_STREQ(ParamList[MAX_PARAMS - 1].name, "extra");
    EXPECT_EQ(ParamList[MAX_PARAMS - 1].value, 5.0);
}

TEST(RoundToWord, HalvesGoAwayFromZero) {
    EXPECT_EQ(RoundToWord(2.5), 3);
    EXPECT_EQ(RoundToWord(-2.5), -3);
    EXPECT_EQ(RoundToWord(3.5), 4);
    EXPECT_EQ(RoundToWord(-3.5), -4);
    EXPECT_EQ(RoundToWord(6.5), 7);
    EXPECT_EQ(RoundToWord(2.4999), 2);
    EXPECT_EQ(RoundToWord(-2.4999), -2);
    EXPECT_EQ(RoundToWord(-0.4), 0);
}

TEST(RoundToWord, StaysWithinSixteenBits) {
    EXPECT_EQ(RoundToWord(32767.4), 32767);
    EXPECT_EQ(RoundToWord(32767.5), 32767);
    EXPECT_EQ(RoundToWord(40000.0), 32767);
    EXPECT_EQ(RoundToWord(-32768.4), -32768);
    EXPECT_EQ(RoundToWord(-32768.5), -32768);
    EXPECT_EQ(RoundToWord(-1e12), -32768);
    EXPECT_EQ(RoundToWord(std::nan("")), 0);
}
