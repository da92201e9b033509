// The caption's arithmetic, as a function of clock readings.
#include "main.h"

#include <cstdint>
#include <gtest/gtest.h>

TEST(FrameRate, WholeSecondsTruncateForEveryThirtyTwoBitCount)
{
    EXPECT_EQ(whole_seconds(0), 0);
    EXPECT_EQ(whole_seconds(999), 0);
    EXPECT_EQ(whole_seconds(1000), 1);
    EXPECT_EQ(whole_seconds(UINT32_MAX), 4294967);
    // Just below every multiple of 1000 is where a 0.001 below the true
    // value would round down one second early.
    for (uint64_t t = 1000; t <= UINT32_MAX; t += 999983)
        for (uint64_t edge : {t / 1000 * 1000 - 1, t / 1000 * 1000, t})
            ASSERT_EQ(whole_seconds((Uint32)edge), (int)(edge / 1000)) << edge;
}

TEST(FrameRate, DueOnlyAtThreeWholeSecondsAndTruncated)
{
    EXPECT_EQ(due_frame_rate(100, 0, 2999), -1);
    EXPECT_EQ(due_frame_rate(100, 0, 3000), 33);
    EXPECT_EQ(due_frame_rate(100, 7, 10500), 33);
    EXPECT_EQ(due_frame_rate(2, 0, 3000), 0);     // slower than one a second
    EXPECT_EQ(due_frame_rate(1, 0, 12000), 0);    // one long frame: divides by 12
    EXPECT_EQ(due_frame_rate(240, 0, 12000), 20);
}

TEST(FrameRate, NeverDueAgainAfterTheClockWraps)
{
    int last = whole_seconds(UINT32_MAX - 500);
    for (Uint32 now : {0u, 500u, 3000u, 60000u, 86400000u})
        EXPECT_EQ(due_frame_rate(1000, last, now), -1) << now;
}
