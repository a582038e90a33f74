// The error-minimising tuner: evaluation parameters tuned against positions
// with known game results.
#pragma once
#include <cstdio>

// "tune.log" during a "-tune" run, else null.
extern FILE* fdtune;

// Copies each line of src to dst (created anew) with probability pct percent.
void RandPick(const char* src, const char* dst, int pct);
// The tuning error of the positions in file (1.0 when it cannot be opened);
// with create set, the positions that pass the filters go to "tune_new.epd".
double Process_EPD_File(const char* file, int create);
// The tuning passes of a "-tune" run over PBlock.epd_file, on the parameters
// marked in the registry, logging to fdtune.
void TuneEvalParams();
