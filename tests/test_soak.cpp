// vornel_layered runs for a minute on a private Xvfb while its resident
// size is sampled; it must stay flat once the first frames have set up.
#include "program.h"
#include "xvfb.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <string>
#include <vector>

TEST(Soak, ResidentSizeStaysFlatForAMinute)
{
    use_private_display();
    const int seconds = VORNEL_SOAK_SECONDS, settle = 10;  // seconds
    Program run(VORNEL_LAYERED_PATH, VORNEL_BUILD_DIR);
    XClient x(getenv("DISPLAY"));
    Window window = x.find_window(LOADED_WAIT_SECONDS);
    ASSERT_NE(window, 0u);

    std::vector<long> samples;  // one every 5 seconds
    for (int t = 0; t <= seconds; t += 5) {
        if (t > 0)
            sleep_ms(5000);
        ASSERT_TRUE(run.running());
        samples.push_back(run.resident_kib());
        printf("%3d s: resident %ld KiB\n", t, samples.back());
    }
    std::string title = x.title(window);
    printf("title: %s\n", title.c_str());
    x.press_key(window, "q");
    EXPECT_EQ(run.wait(LOADED_WAIT_SECONDS), 0);

    long settled = samples[settle / 5];
    long growth = samples.back() - settled;
    printf("growth from %d s to %d s: %+ld KiB\n", settle, seconds, growth);
    EXPECT_LE(growth, 1024) << "resident size grew";
}
