// Evaluation parameters: the settings words 248-415 and the packed tables
// derived from them.
#pragma once
#include <cstdint>

// Writes the built-in defaults of the evaluation words into a settings record
// viewed as 416 words.
void SetDefaultEvalParams(int16_t* words);
