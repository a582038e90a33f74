// The registry of tunable evaluation parameters, by name.
#pragma once

// Number of registered parameters (0 until AddParams has run).
extern int nParams;
// Registers every tunable parameter with its current value.
void AddParams();
// Marks the parameter with this exact name for tuning.
void SetFlag(const char* name);
