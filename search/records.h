// The search control record shared by all threads, the per-thread working
// record, and the per-ply search stack entry.
#pragma once
#include <atomic>
#include <cstdint>
#include "board/types.h"
#include "eval/evaltypes.h"
#include "platform/platform.h"

struct SearchStackEntry {
    int16_t node_type;    // 0 PV node, 1 / -1 zero-window node
    uint16_t eval_draw;   // set by Evaluate for dead-drawn material
    int16_t depth;
    int16_t static_eval;
    uint16_t in_check;
    uint8_t reduction;
    uint8_t iid;
    uint8_t search_pass;
    uint16_t move_flags;
    uint16_t move_count;
    int16_t eval_extra1;  // white's alert word
    int16_t eval_extra2;  // black's alert word
    int32_t tb_wdl;
    uint16_t hash_move;
    uint16_t killer1, killer2, killer3;
    uint8_t checker;
    uint16_t stage;
    MoveEntry* list;
    MoveEntry* next;
};

struct ThreadRecord {
    UndoEntry undo[UNDO_SIZE];
    SearchStackEntry stack[MAX_PLY + 2];
    MoveEntry move_store[MOVE_STORE_SIZE];
    int16_t history[8][16][64];
    uint16_t counter_move[16][64];
    uint16_t counter_move2[16][64];
    uint16_t followup_move[16][64];
    EvalCacheEntry eval_cache[EVAL_CACHE_SIZE];
    PawnHashEntry pawn_hash[PAWN_HASH_SIZE];
    EvalWork eval_work;
    Position pos;
    uint16_t pv[MAX_PLY + 2];        // pv[1] is read by the time check (RelaxedLoad)
    int16_t game_ply;
    int16_t ply;
    uint16_t last_move;
    uint8_t thread_index;            // 0xFF for the game record
    std::atomic<uint8_t> command;    // pool protocol byte
    std::atomic<uint8_t> depth;      // current iteration, read by the time check
    std::atomic<uint8_t> root_state; // read by the time check
    uint8_t done_depth;
    uint8_t seldepth;
    uint8_t research;
    uint32_t seed;
    std::atomic<int16_t> score;      // read by the time check
    int16_t root_eval;
    uint64_t node_limit;
    // Counters of this search; written only by the owning thread, read by the
    // collector while the thread runs.
    std::atomic<uint64_t> nodes, tb_hits, eval_probes, eval_hits, hash_probes, hash_hits,
        pawn_probes, pawn_hits;
    uint8_t root_npm[2];
    int16_t null_depth;
    std::atomic<uint8_t> eval_params_changed;
};

// Adds to a counter owned by the calling thread without a locked instruction.
inline void CountUp(std::atomic<uint64_t>& c, uint64_t n = 1) {
    c.store(c.load(std::memory_order_relaxed) + n, std::memory_order_relaxed);
}

enum : uint8_t { STOP_NONE = 0, STOP_NORMAL = 1, STOP_CONSOLE = 2, STOP_NO_MOVES = 3, STOP_QUIT = 'c' };

struct SearchDataRecord {
    std::atomic<uint8_t> threads;
    std::atomic<uint8_t> use_hash;
    int16_t hash_mb;
    int16_t hash_age;
    uint16_t ponder;
    double time_reserve;
    uint8_t root_side;
    uint8_t multipv;
    std::atomic<uint8_t> search_mode;
    std::atomic<uint8_t> request;
    uint64_t node_limit;
    uint8_t depth_limit;
    uint8_t limit_kind;
    uint8_t infinite;  // 1 for "go infinite": the search never ends by itself, only by "stop"
    double move_time;
    double increment;
    double wtime, btime;
    int16_t movestogo;
    double target_time;
    std::atomic<double> elapsed;
    std::atomic<uint8_t> stop;
    double calibration_nps;
    double max_elo;
    std::atomic<double> target_nps;  // read at every node by every searching thread
    std::atomic<uint8_t> depth;
    std::atomic<uint8_t> best_depth;
    std::atomic<int16_t> best_score;
    std::atomic<uint16_t> pv[MAX_PLY + 2];
    int16_t root_eval;
    int16_t qscore;
    std::atomic<uint8_t> change_depth;
    std::atomic<uint8_t> single_reply;
    std::atomic<uint8_t> last_depth;
    std::atomic<int16_t> depth_score[MAX_PLY + 2];
    std::atomic<uint16_t> depth_move[MAX_PLY + 2];
    uint64_t depth_nodes[MAX_PLY + 2];
    uint64_t nodes, eval_probes, eval_hits, hash_probes, hash_hits, pawn_probes, pawn_hits, tb_hits;
    std::atomic<double> hashfull;
    std::atomic<int32_t> tb_result;
    int16_t tb_score[2];
    std::atomic<uint16_t> tb_move;
    int32_t ncnt1, ncnt2, ncnt3, ncnt4;
};

extern SearchDataRecord SearchData;
extern ThreadRecord* ThreadData[128];
extern ThreadRecord* CTD;  // the game record

// Counter-collection and per-depth-sum locks (the output lock spinlock1 is the
// output layer's); they live for the whole run.
extern SpinLock spinlock2, spinlock3;

// Writes the start-up values of SearchData.
void InitSearchData();
// Allocates a zero-filled record (nullptr on failure) whose position points
// back to it, with ply 1 and the move lists of stack entries 0 and 1 set up
// at the start of the move store; frees one.
ThreadRecord* AllocThreadRecord();
void FreeThreadRecord(ThreadRecord* t);
// Copies the game record into every pool thread's record.
void InitSearchThreads();
// Number of pool threads whose command byte is non-zero.
int ThreadsAreBusy();
