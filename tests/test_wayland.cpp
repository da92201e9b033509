// The programs in a Wayland session (headless sway): natively, and through
// Xwayland as SDL picks it when both DISPLAY and WAYLAND_DISPLAY are set.
// The picture fills a tiled or full-screen window; a key, a close and the
// compositor's end each end the program.
#include "desktop.h"
#include "sway_session.h"

#include <gtest/gtest.h>

namespace {

const std::map<std::string, std::string> NATIVE = {{"SDL_VIDEODRIVER", "wayland"}};
const std::map<std::string, std::string> XWAYLAND = {{"SDL_VIDEODRIVER", "<unset>"}};

// The headless seat has no keyboard until wtype makes one, and a key sent
// at once is lost now and then: -s waits 1.5 s before the key.
const std::vector<std::string> SPACE = {"wtype", "-s", "1500", "-k", "space"};

class Wayland : public ::testing::Test {
protected:
    SwaySession session;

    int windows = 0;

    // Starts a program and waits for its window.
    std::unique_ptr<Program> start(const char* name, const std::map<std::string, std::string>& env)
    {
        std::unique_ptr<Program> run = session.start({session.folder() + "/" + name}, env);
        EXPECT_TRUE(session.wait_for_windows(++windows, LOADED_WAIT_SECONDS))
            << name << ": " << run->standard_error();
        return run;
    }
    std::string filled()
    {
        return wait_until_filled([&] { return session.screenshot(); }, LOADED_WAIT_SECONDS);
    }
};

}  // namespace

// sway tiles a native window over the whole output.
TEST_F(Wayland, NativeWindowIsFilledAndEndsOnAKey)
{
    auto run = start("vornel_layered", NATIVE);
    EXPECT_EQ(filled(), "") << "tiled, native";
    EXPECT_EQ(session.run({"swaymsg", "fullscreen", "enable"}), 0);
    EXPECT_EQ(filled(), "") << "full screen, native";
    EXPECT_EQ(session.run(SPACE), 0);
    EXPECT_EQ(run->wait(LOADED_WAIT_SECONDS), 0) << run->standard_error();
}

// Through Xwayland the fixed-size window floats at 640 × 480; tiled and
// full screen the picture fills the window.
TEST_F(Wayland, XwaylandWindowIsFilledTiledAndFullScreenAndEndsOnAKey)
{
    auto run = start("vornel_single", XWAYLAND);
    EXPECT_EQ(session.run({"swaymsg", "floating", "disable"}), 0);
    EXPECT_EQ(filled(), "") << "tiled, Xwayland";
    EXPECT_EQ(session.run({"swaymsg", "fullscreen", "enable"}), 0);
    EXPECT_EQ(filled(), "") << "full screen, Xwayland";
    EXPECT_EQ(session.run(SPACE), 0);
    EXPECT_EQ(run->wait(LOADED_WAIT_SECONDS), 0) << run->standard_error();
}

TEST_F(Wayland, SwaymsgKillEndsEitherWithStatusZero)
{
    for (const auto& env : {NATIVE, XWAYLAND}) {
        auto run = start("vornel_layered", env);
        EXPECT_EQ(session.run({"swaymsg", "kill"}), 0);
        EXPECT_EQ(run->wait(LOADED_WAIT_SECONDS), 0) << run->standard_error();
        windows--;
    }
}

// The session ends under both: through Xwayland the program loses its X
// server and must end, not hang; a native one sees a close request.
TEST_F(Wayland, TheCompositorsEndEndsBoth)
{
    auto x_client = start("vornel_layered", XWAYLAND);
    auto native = start("vornel_single", NATIVE);
    session.kill_compositor();
    double gone = now_ms();
    int x_status = x_client->wait(LOADED_WAIT_SECONDS);
    EXPECT_LT(now_ms() - gone, 2000) << "the Xwayland client took this long to end";
    EXPECT_GT(x_status, 0) << x_client->standard_error();
    EXPECT_NE(x_client->standard_error().find(session.x_display()), std::string::npos)
        << x_client->standard_error();
    EXPECT_EQ(native->wait(LOADED_WAIT_SECONDS), 0) << native->standard_error();
}
