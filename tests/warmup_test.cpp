// The table warmer: started work is shared between the helper threads and
// whoever waits for it, each piece done exactly once, and work that may be
// skipped is dropped only by Finish and Cancel.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "search/warmup.h"

using namespace NEngine;

TEST(TableWarmerTest, WaitingSharesTheWorkAndDoesEachPieceOnce) {
    for (const int threads : {1, 2, 3}) {
        for (const bool finish : {false, true}) {
            TableWarmer warmer;
            // Several pieces of memory to zero (2 MB each, the last one short).
            std::vector<unsigned char> memory((uint64_t(5) << 20) + 123, 0xAB);
            warmer.AddMemory(memory.data(), memory.size(), true);
            std::atomic<int> needed{0}, optional{0};
            for (int i = 0; i < 20; ++i) warmer.AddTask([&] { needed.fetch_add(1); }, true);
            for (int i = 0; i < 20; ++i) warmer.AddTask([&] { optional.fetch_add(1); }, false);
            warmer.Start(threads);
            if (finish)
                warmer.Finish();
            else
                warmer.Wait();
            EXPECT_FALSE(warmer.Busy());
            EXPECT_EQ(needed.load(), 20) << threads << " " << finish;
            // Waiting runs everything; finishing may drop what may be skipped.
            if (finish)
                EXPECT_LE(optional.load(), 20);
            else
                EXPECT_EQ(optional.load(), 20) << threads;
            size_t nonZero = 0;
            for (const unsigned char byte : memory) nonZero += byte != 0;
            EXPECT_EQ(nonZero, 0u) << threads << " " << finish;
        }
    }
}

TEST(TableWarmerTest, WorkAddedAfterAStartWaitsForTheNextStart) {
    TableWarmer warmer;
    std::atomic<int> runs{0};
    warmer.AddTask([&] { runs.fetch_add(1); }, true);
    warmer.Start(1);
    warmer.AddTask([&] { runs.fetch_add(10); }, true);
    warmer.Wait();
    EXPECT_EQ(runs.load(), 1);
    warmer.Start(2);  // the pending task now runs, once
    warmer.Finish();
    EXPECT_EQ(runs.load(), 11);
}
