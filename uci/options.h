// The UCI option table: the option lines that "uci" prints, and the setter
// that "setoption" and the configuration file call.
#pragma once
#include <cstdint>

enum : int { MAX_OPTION_NAME = 100, MAX_OPTION_VALUE = 200 };

// Prints every option line, in order, with the defaults of DefaultPersonality
// (for UCI_Elo the live value, which the speed calibration sets).
void PrintUciOptions();

// Sets the option with this exact name (case-sensitive) from the value text
// and performs its side effects; an unknown name does nothing.
void UCI_SetOption(const char* name, const char* value);

// True for an option that is pressed rather than set (Clear_Hash).
bool IsButtonOption(const char* name);
// True when the setter knows this exact name (listed or not, settable or not).
bool IsKnownOption(const char* name);

// value read as an integer, clamped to [min, max], reported as
// "info string <name> set to <n>"; returns the clamped value.
int SetOptionInt(const char* name, const char* value, int min, int max);
// Two words "op,eg" (either may be missing: that word keeps its value), each
// clamped to [min, max] and stored; reported as "info string <name> set to op,eg".
void SetOptionIntPair(int16_t* pair, const char* name, const char* value, int min, int max);
// "option name <name> type check default true|false".
void PrintOptionCheck(const char* name, int value);
// "option name <name> type string default op,eg".
void PrintOptionIntPair(const char* name, const int16_t* pair);

// A check option's value: true when the text "true" occurs in it.
bool CheckValue(const char* value);
