// The table of position keys, made once by a fixed generator.
#pragma once
#include <cstdint>

extern uint64_t rtable[16][64];
extern bool keys_made;

// Generates rtable (the first call only does work).
void MakeKeys();
