// Entry points of the benchmarks run by tesk_bench; each takes the arguments
// after its name and returns 0 on success.
#pragma once

int PerftBench(int argc, char** argv);
int PickerPerftBench(int argc, char** argv);
int EvalBench(int argc, char** argv);
int DriverBench(int argc, char** argv);
int SearchBench(int argc, char** argv);
int TablebaseBench(int argc, char** argv);

// The search engine for the pool benchmarks: tables, settings, a game record
// and a hash table of hash_mb megabytes; a pool of the given size; one search
// of a FEN position from a cleared hash table under the limits in SearchData,
// giving its nodes and time.
bool BenchSetUpEngine(int hash_mb);
bool BenchUsePool(int threads);
void BenchRunOne(const char* fen, double* nodes, double* seconds);
int HashBench(int argc, char** argv);
