// Windows programs under Wine, for the tests: one Wine prefix for the
// whole test program, made in a temporary folder and removed at the end,
// pass or fail, whose programs show on the test program's X server.
#ifndef TESTS_WINE_H
#define TESTS_WINE_H

#include <gtest/gtest.h>
#include <string>
#include <vector>

extern const std::string WINE;        // wine64 itself: the wine wrapper wants the 32-bit part
extern const std::string WINESERVER;  // the prefix's server, which every Windows program talks to

// The prefix, as the test program's GoogleTest environment. A test
// program's own environment derives from it and calls make() and boot()
// from its SetUp.
class WinePrefix : public ::testing::Environment {
public:
    static const std::string& root() { return root_; }

    // Ends the prefix's Wine server, and every program of the prefix with
    // it; true once it has gone, within `seconds`.
    static bool stop(double seconds);
    // Waits for the Wine server to end by itself, as it does once no
    // program of the prefix runs; true if it did within `seconds`.
    static bool wait_until_idle(double seconds);

    void TearDown() override { remove(); }

protected:
    static std::string root_;

    // Makes the folder and points Wine at it (HOME and TMPDIR too, where
    // Wine writes as well), on the private display. Removed at exit also
    // when something calls exit() mid-test.
    static void make();
    // wineboot: the prefix's first start, some 15 s.
    static void boot();

private:
    static void remove();
};

// Runs a Windows program in `folder` with Wine; its exit status, or -1 if
// it had not ended after `seconds`.
int run_windows(const std::string& folder, const std::vector<std::string>& command, double seconds);

#endif
