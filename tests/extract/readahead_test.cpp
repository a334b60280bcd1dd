// The ordered read-ahead: results in index order whatever the threads do,
// never more than the window in flight, and a stop that ends promptly.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "readahead.h"

namespace {

TEST(ReadAhead, ResultsComeInIndexOrderWithinTheWindow)
{
    for (unsigned jobs : {1u, 2u, 7u}) {
        for (std::size_t count : {std::size_t{0}, std::size_t{1}, std::size_t{200}}) {
            std::atomic<std::size_t> taken{0}, most_ahead{0};
            const std::size_t window = 3;
            extract::OrderedReadAhead<std::size_t> ahead(
                count,
                [&](std::size_t i) {
                    std::size_t ahead_now = i - std::min(i, taken.load());
                    for (std::size_t m = most_ahead; ahead_now > m && !most_ahead.compare_exchange_weak(m, ahead_now);)
                        ;
                    // Later items finish first now and then, to shuffle the order of completion.
                    if (i % 5 == 0)
                        std::this_thread::sleep_for(std::chrono::microseconds(200));
                    return i * 10;
                },
                jobs, window);
            std::size_t r = 0, expect = 0;
            while (ahead.next(r)) {
                EXPECT_EQ(r, expect * 10);
                ++expect;
                taken = expect;
            }
            EXPECT_EQ(expect, count) << "jobs " << jobs;
            EXPECT_LT(most_ahead.load(), window + 1) << "jobs " << jobs;
        }
    }
}

TEST(ReadAhead, StopEndsTheRunAndStartsNothingNew)
{
    std::atomic<std::size_t> started{0};
    {
        extract::OrderedReadAhead<int> ahead(
            100000,
            [&](std::size_t) {
                ++started;
                return 1;
            },
            2, 4);
        int r = 0;
        for (int i = 0; i < 10; ++i) ASSERT_TRUE(ahead.next(r));
        ahead.stop();
        EXPECT_FALSE(ahead.next(r));
        EXPECT_EQ(ahead.taken(), 10u);
    }
    EXPECT_LE(started.load(), 10u + 4u + 2u);
}

}  // namespace
