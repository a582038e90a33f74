#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/settings.h"

TEST(Settings, DefaultsSitAtTheirWordNumbers) {
    SetDefaultSettings();
    int16_t* w = Words(DefaultPersonality);
    EXPECT_EQ(w[0], 1);     // params_changed
    EXPECT_EQ(w[1], 64);    // Hash
    EXPECT_EQ(w[3], 50);    // MoveOverhead
    EXPECT_EQ(w[11], 28);   // OwnBook_Depth
    EXPECT_EQ(w[229], 2);   // SyzygyProbeDepth6
    EXPECT_EQ(w[233], 100); // Selectivity
    EXPECT_EQ(w[246], 3);   // LMR_depth
    EXPECT_EQ(DefaultPersonality.ConfigFilePath[0], 0);
}

TEST(Settings, TextFieldsAreCutToTheirLength) {
    char field[SETTING_TEXT_LEN];
    std::string longText(300, 'x');
    SetTextField(field, sizeof field, longText.c_str());
    EXPECT_EQ(strlen(field), 143u);
    SetTextField(field, sizeof field, "abc");
    EXPECT_STREQ(field, "abc");
    SetTextField(field, sizeof field, nullptr);
    EXPECT_STREQ(field, "");
}
