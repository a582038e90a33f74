// The benchmark: its positions, its lines, and its node count on one thread
// as a signature of the search's behaviour.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "e2e_child.h"
#include "test_util.h"
#include "tools/bench.h"

namespace {

struct BenchRun {
    std::vector<std::string> out;
    int status = -1;
    std::vector<double> times;  // per position, in order
    int first_index_wrong = -1;
    double total_time = -1.0, nodes = -1.0, nps = -1.0;
    std::string banner;
};

BenchRun RunBench(const std::vector<std::string>& args, const std::string& input = "") {
    BenchRun r;
    EngineChild e = StartEngine(args, MakeTempDir());
    if (!input.empty()) Send(e, input);
    r.status = WaitExit(e, 120000);
    r.out = e.lines;
    for (const std::string& l : r.out) {
        int index;
        double t;
        char tail[16];
        if (sscanf(l.c_str(), "pos %d: %lf %15s", &index, &t, tail) == 3 && !strcmp(tail, "seconds")) {
            if (index != (int)r.times.size() && r.first_index_wrong < 0) r.first_index_wrong = (int)r.times.size();
            r.times.push_back(t);
        }
        sscanf(l.c_str(), "total time= %lf seconds, nodes= %lf, nps= %lf", &r.total_time, &r.nodes, &r.nps);
        if (l.find("running benchmark") != std::string::npos) r.banner = l;
    }
    return r;
}

class BenchList : public BoardTest {};

TEST_F(BenchList, PositionsAreLegalAndTheTenthRepeatsTheFourth) {
    ThreadRecord* rec = NewTestRecord();
    for (int i = 0; i < BENCH_POSITIONS; i++) EXPECT_EQ(SetPosition(&rec->pos, BenchPositions[i]), 0) << i;
    EXPECT_STREQ(BenchPositions[9], BenchPositions[3]);
    for (int i = 0; i < BENCH_POSITIONS; i++)
        for (int j = i + 1; j < BENCH_POSITIONS; j++)
            if (!(i == 3 && j == 9)) {
                EXPECT_STRNE(BenchPositions[i], BenchPositions[j]) << i << " " << j;
            }
    FreeThreadRecord(rec);
}

// One thread, depth 10: the search is deterministic, so the node count is a
// signature of its behaviour. Any change to the search, the evaluation, the
// move ordering or the table shows here; when such a change is meant, the
// number below is updated with it.
TEST(Bench, OneThreadAtDepthTenSearchesAFixedNumberOfNodes) {
    BenchRun r = RunBench({"-threads", "1", "-d", "10", "-bench"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.banner, "Tesk 4.0 running benchmark using 1 threads");
    ASSERT_EQ(r.times.size(), 20u);
    EXPECT_EQ(r.first_index_wrong, -1) << "positions are numbered 0 to 19 in order";
    EXPECT_EQ(r.nodes, 927813.0) << "the search's behaviour changed";
    // The total starts at 0.01 s; each shown time is rounded to 0.01 s.
    double sum = 0.01;
    for (double t : r.times) sum += t;
    EXPECT_NEAR(r.total_time, sum, 0.005 * 21);
    EXPECT_NEAR(r.nps, r.nodes / r.total_time, 0.1 * r.nps);
}

TEST(Bench, TheDepthSwitchHoldsForTheBenchmarkButNotForTheProfileRun) {
    BenchRun shallow = RunBench({"-threads", "1", "-d", "3", "-bench"});
    ASSERT_EQ(shallow.times.size(), 20u);
    EXPECT_GT(shallow.nodes, 0.0);
    EXPECT_LT(shallow.nodes, 100000.0) << "depth 3 searches are small";

    // "-pbench": the first ten positions at depth 17 on the main thread; the
    // node limit keeps it short, and depth 3 is overridden.
    BenchRun profile = RunBench({"-d", "3", "-n", "20000", "-pbench"});
    EXPECT_EQ(profile.status, 0);
    ASSERT_EQ(profile.times.size(), 10u);
    EXPECT_GE(profile.nodes, 10 * 20000.0) << "each position ran to the node limit, not to depth 3";
    BenchRun no_depth = RunBench({"-n", "20000", "-pbench"});
    EXPECT_EQ(no_depth.nodes, profile.nodes);
}

TEST(Bench, SeveralThreadsAndAQuitDuringTheRun) {
    BenchRun r = RunBench({"-threads", "3", "-d", "6", "-bench"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.banner, "Tesk 4.0 running benchmark using 3 threads");
    EXPECT_EQ(r.times.size(), 20u);
    EXPECT_GT(r.nodes, 0.0);

    // A "quit" typed during the run stops it after the position being searched.
    BenchRun q = RunBench({"-threads", "1", "-d", "10", "-bench"}, "quit\n");
    EXPECT_EQ(q.status, 0);
    EXPECT_EQ(q.times.size(), 1u);
    EXPECT_GT(q.total_time, 0.0) << "the totals are still printed";
}

}  // namespace
