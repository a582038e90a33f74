// The thread pool: creation, shutdown and rebuilding, the command bytes, the
// parallel table clear and the collection of counters.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdio>
#include <cstring>

#include "tests/driver_test_util.h"

namespace {

// Every slot of a pool of n threads holds a ready, idle record of its own
// index; the slots above n are empty.
void ExpectPool(int n) {
    for (int i = 0; i < n; i++) {
        ASSERT_NE(ThreadData[i], nullptr) << "slot " << i;
        EXPECT_EQ(ThreadData[i]->thread_index, i);
        EXPECT_EQ(ThreadData[i]->command, CMD_IDLE);
        EXPECT_EQ(ThreadData[i]->seed, (uint32_t)i * 123u);
        EXPECT_EQ(ThreadData[i]->pos.owner, ThreadData[i]);
        EXPECT_EQ(ThreadData[i]->move_store[0].move, MOVE_END);
    }
    for (int i = n; i < 128; i++) EXPECT_EQ(ThreadData[i], nullptr) << "slot " << i;
}

TEST(Pool, CreateAndKillAnySizeAgainAndAgain) {
    InitTestEnvironment();
    KillThreadPool(128);  // whatever an earlier test left
    for (int round = 0; round < 2; round++) {
        for (int n : {1, 2, 7, 128, 0, 3}) {
            SearchData.threads = (uint8_t)n;
            ASSERT_EQ(CreateThreadPool(n), 0);
            ExpectPool(n);
            EXPECT_EQ(ThreadsAreBusy(), 0);
            KillThreadPool(n);
            ExpectPool(0);
            EXPECT_EQ(SearchData.stop, STOP_QUIT);
        }
    }
    SearchData.threads = 0;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TESK_SANITIZED 1
#endif

// Bytes of address space the process uses now.
static uint64_t AddressSpaceInUse() {
    unsigned long long pages = 0;
    FILE* f = fopen("/proc/self/statm", "r");
    if (f) {
        if (fscanf(f, "%llu", &pages) != 1) pages = 0;
        fclose(f);
    }
    return pages * (uint64_t)sysconf(_SC_PAGESIZE);
}

// Runs in a child process: creates pools with too little address space left.
[[noreturn, maybe_unused]] static void CreateUnderMemoryLimit(uint64_t headroom_kb) {
    rlimit limit{AddressSpaceInUse() + headroom_kb * 1024, RLIM_INFINITY};
    setrlimit(RLIMIT_AS, &limit);
    int rc = CreateThreadPool(64);
    bool clean = true;
    for (int i = 0; i < 128; i++) clean &= ThreadData[i] == nullptr;
    int second = CreateThreadPool(64);  // and it keeps failing cleanly
    for (int i = 0; i < 128; i++) clean &= ThreadData[i] == nullptr;
    _exit(rc != 0 && second != 0 && clean ? 3 : 4);
}

// With too little memory for all threads (their stacks or their records),
// creation fails with an error code, and the threads already made are ended
// and their slots cleared, so that start-up can report it and exit with 1.
TEST(Pool, FailedCreationIsReportedAndCleanedUp) {
#ifdef TESK_SANITIZED
    GTEST_SKIP() << "address-space limits do not mix with sanitizer shadow memory";
#else
    InitTestEnvironment();
    KillThreadPool(128);
    SearchData.threads = 0;
    // Room for a few threads: a later thread cannot be started.
    EXPECT_EXIT(CreateUnderMemoryLimit(24 * 1024), ::testing::ExitedWithCode(3), "");
    // Room for the first thread's stack only: its record cannot be allocated.
    EXPECT_EXIT(CreateUnderMemoryLimit(8500), ::testing::ExitedWithCode(3), "");
#endif
}

TEST(Pool, UnknownCommandIsIgnoredAndTableClearAnswers) {
    SetUpSearchEngine(2);
    ThreadData[1]->command = 3;
    SleepMs(20);
    EXPECT_EQ(ThreadData[1]->command, 3);  // still polling, nothing done
    ThreadData[1]->command = CMD_CLEAR;    // a known command is served again
    while (ThreadData[1]->command != CMD_IDLE) SleepMs(1);
    EXPECT_EQ(ThreadsAreBusy(), 0);
    KillThreadPool(2);
    SearchData.threads = 0;
}

TEST(Pool, ParallelClearZeroesTheWholeTable) {
    for (int n : {1, 3, 8}) {
        SetUpSearchEngine(n, 1);
        const uint64_t slots = HashSlots();
        ASSERT_GT(slots, 0u);
        memset((void*)hashtable, 0x5A, slots * sizeof(HashSlot));
        SearchData.hashfull = 0.5;
        HashClear();
        EXPECT_EQ(ThreadsAreBusy(), 0);
        uint64_t dirty = 0;
        const unsigned char* p = (const unsigned char*)hashtable;
        for (uint64_t i = 0; i < slots * sizeof(HashSlot); i++) dirty += p[i] != 0;
        EXPECT_EQ(dirty, 0u) << n << " threads";
        EXPECT_EQ(SearchData.hashfull, 0.0);
    }
}

TEST(Pool, CollectSumsEveryThreadsCounters) {
    SetUpSearchEngine(3);
    for (int i = 0; i < 3; i++) {
        ThreadRecord* t = ThreadData[i];
        t->nodes = 100 * (i + 1);
        t->tb_hits = 1;
        t->eval_probes = 10;
        t->eval_hits = 5;
        t->hash_probes = 20;
        t->hash_hits = 2;
        t->pawn_probes = 30;
        t->pawn_hits = 3;
    }
    SearchData.nodes = 999999;  // old sums are replaced, not added to
    Collect();
    EXPECT_EQ(SearchData.nodes, 600u);
    EXPECT_EQ(SearchData.tb_hits, 3u);
    EXPECT_EQ(SearchData.eval_probes, 30u);
    EXPECT_EQ(SearchData.eval_hits, 15u);
    EXPECT_EQ(SearchData.hash_probes, 60u);
    EXPECT_EQ(SearchData.hash_hits, 6u);
    EXPECT_EQ(SearchData.pawn_probes, 90u);
    EXPECT_EQ(SearchData.pawn_hits, 9u);
}

TEST(Pool, KillEndsARunningSearchFirst) {
    SetUpSearchEngine(4);
    SetDepthLimit(66);
    SearchData.infinite = 1;  // never ends by itself
    StartPoolSearch(START_FEN);
    SleepMs(30);
    EXPECT_GT(ThreadsAreBusy(), 0);
    KillThreadPool(4);
    ExpectPool(0);
    SearchData.threads = 0;
    SearchData.infinite = 0;
}

TEST(Pool, RebuildBetweenAndDuringSearches) {
    const int sizes[] = {1, 4, 2, 8, 3, 1, 6};
    for (int round = 0; round < 7; round++) {
        const int n = sizes[round];
        SetUpSearchEngine(n);
        SetDepthLimit(round % 2 ? 66 : 5);
        StartPoolSearch("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -");
        if (round % 2) {
            SleepMs(10 + 5 * round);  // rebuilt in the middle of a deep search
        } else {
            ASSERT_TRUE(WaitForPool());
            EXPECT_TRUE(IsLegalInGame(SearchData.pv[1])) << BestMove();
        }
        KillThreadPool(n);
        SearchData.threads = 0;
        ExpectPool(0);
    }
}

TEST(Pool, NoThreadsNoSearch) {
    SetUpSearchEngine(1);
    KillThreadPool(1);
    SearchData.threads = 0;
    Personality.Threads = 0;
    SetDepthLimit(5);
    StartPoolSearch(START_FEN);  // wakes nothing
    EXPECT_EQ(ThreadsAreBusy(), 0);
    EXPECT_EQ(SearchData.pv[1], 0);  // the loop answers with the null move
    Collect();
    EXPECT_EQ(SearchData.nodes, 0u);
    SearchIterations();  // no record to search with: returns at once
    EXPECT_EQ(SearchData.pv[1], 0);
}

}  // namespace
