// Entry points of the benchmarks run by tesk_bench; each takes the arguments
// after its name and returns 0 on success.
#pragma once

int PerftBench(int argc, char** argv);
int PickerPerftBench(int argc, char** argv);
int EvalBench(int argc, char** argv);
int DriverBench(int argc, char** argv);
int SearchBench(int argc, char** argv);
