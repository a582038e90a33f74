// The registry of tunable evaluation parameters: each name points at its
// 16-bit word of Personality and carries the tuners' running value, a scratch
// number and the mark that selects it for tuning.
#pragma once
#include <cstdint>

enum : int { MAX_PARAMS = 256, PARAM_NAME_LEN = 24 };

struct ParamEntry {
    char name[PARAM_NAME_LEN];  // NUL-terminated within the field
    int16_t* param;             // the word of Personality
    double value;               // the tuner's running value; the word holds its rounded form
    double work;                // scratch of a tuner (the last gradient of "-tune")
    uint16_t selected;          // 1 = tuned in this run
};

extern ParamEntry ParamList[MAX_PARAMS];
// Number of registered parameters (0 until AddParams has run).
extern int nParams;
// 0 until AddParams has run, then 1.
extern int32_t flag;

// Appends one entry with the word's current value (nothing once the list is full).
void NewParam(const char* name, int16_t* word);
// Registers every tunable parameter with the current value of its word. The
// list is built once: later calls change nothing.
void AddParams();
// Marks the first parameter with exactly this name for tuning; an unknown
// name changes nothing.
void SetFlag(const char* name);
// The first entry with exactly this name, or nullptr.
ParamEntry* FindParam(const char* name);

// A running value as a parameter word: rounded half away from zero and kept
// within the 16 bits of a word (NaN gives 0).
int16_t RoundToWord(double v);
