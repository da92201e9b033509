// The programs on X11 desktops: a window made bigger, an X server that goes
// away under them, and a window minimised under a real window manager.
#include "desktop.h"
#include "xvfb.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

const char* const PROGRAMS[] = {"vornel_layered", "vornel_single"};

class Desktops : public ::testing::Test {
protected:
    TemporaryFolder folder = folder_with_programs();
    std::string program(const char* name) { return folder / name; }
};

}  // namespace

// Without a window manager, as `xdotool windowsize` does it: the window
// still asks for 640 × 480, and the SDL layer scales the picture to
// whatever size it is given, unless the user turned that off.
TEST_F(Desktops, ABiggerWindowShowsTheWholePictureUnlessTheUserTurnedScalingOff)
{
    Xvfb server;
    struct Case {
        int width, height;
        const char* scaling;
    } cases[] = {{1024, 768, nullptr}, {1000, 600, nullptr}, {800, 760, nullptr}, {1000, 600, "0"}};
    for (const Case& c : cases) {
        std::map<std::string, std::string> env = {{"DISPLAY", server.display()}};
        env["SDL12COMPAT_OPENGL_SCALING"] = c.scaling ? c.scaling : "<unset>";
        Program run(program("vornel_layered"), folder.path(), env);
        Desktop x(server.display());
        XClient keys(server.display());
        Window window = keys.find_window(LOADED_WAIT_SECONDS);
        ASSERT_NE(window, 0u);
        EXPECT_EQ(x.contents(window).width, 640) << "the window asks for 640 x 480";
        x.move_resize(window, 0, 0, c.width, c.height);
        std::string what = std::to_string(c.width) + "x" + std::to_string(c.height);
        if (!c.scaling) {
            auto whole = [&] { return x.contents(window); };
            EXPECT_EQ(wait_until_filled(whole, LOADED_WAIT_SECONDS), "") << what;
        } else {
            // The user's choice: 640 × 480 drawn into the bottom-left
            // corner once frames at the new size come, nothing beside it.
            RgbImage image;
            auto corner = [&] {
                image = x.contents(window);
                return crop(image, 0, image.height - 480, 640, 480);
            };
            EXPECT_EQ(wait_until_filled(corner, LOADED_WAIT_SECONDS), "")
                << what << " with scaling off";
            EXPECT_EQ(crop(image, 640, 0, image.width - 640, image.height).rgb,
                      std::vector<unsigned char>(3 * (image.width - 640) * image.height, 0))
                << what << " with scaling off";
        }
        keys.press_key(window, "space");
        EXPECT_EQ(run.wait(LOADED_WAIT_SECONDS), 0) << what;
    }
}

// A user logs out, or SSH's X forwarding drops: Xlib reports the lost
// connection and ends the program, which must not hang in SDL's shutdown.
TEST_F(Desktops, EachProgramEndsWhenItsXServerGoesAway)
{
    for (const char* name : PROGRAMS) {
        auto server = std::make_unique<Xvfb>();
        std::string display = server->display();
        Program run(program(name), folder.path(), {{"DISPLAY", display}});
        {
            XClient x(display);
            ASSERT_NE(x.find_window(LOADED_WAIT_SECONDS), 0u) << name;
        }
        sleep_ms(500);  // some frames
        server.reset();  // SIGTERM; gone once reaped
        double gone = now_ms();
        int status = run.wait(LOADED_WAIT_SECONDS);
        EXPECT_LT(now_ms() - gone, 2000) << name << " took this long to end";
        EXPECT_NE(status, 0) << name;
        EXPECT_NE(status, -1) << name << " is still running, or was killed by a signal";
        // Xlib's own words, which depend on where it met the closed
        // connection: "X connection to :N broken (...)", or "XIO: fatal IO
        // error ... on X server ":N"".
        const std::string& error = run.standard_error();
        bool xlib = error.find("X connection to " + display + " broken") != std::string::npos ||
                    error.find("XIO:  fatal IO error") != std::string::npos;
        EXPECT_TRUE(xlib && error.find(display) != std::string::npos) << name << ": " << error;
    }
}

// Minimised under openbox, the program waits instead of drawing; shown
// again it draws, and its first rate does not count the hidden seconds.
TEST_F(Desktops, AMinimisedWindowDrawsNothingUntilShownAgain)
{
    Xvfb server;
    Openbox wm(server.display());
    for (const char* name : PROGRAMS) {
        Program run(program(name), folder.path(), {{"DISPLAY", server.display()}});
        Desktop x(server.display());
        XClient keys(server.display());
        Window window = keys.find_window(LOADED_WAIT_SECONDS);
        ASSERT_NE(window, 0u) << name;
        sleep_ms(300);

        x.iconify(window);
        ASSERT_TRUE(x.wait_viewable(window, false, LOADED_WAIT_SECONDS)) << name;
        sleep_ms(500);  // the last frames in flight
        double cpu = cpu_seconds(run.pid()), start = now_ms();
        sleep_ms(2500);
        double share = (cpu_seconds(run.pid()) - cpu) / ((now_ms() - start) / 1000);
        EXPECT_LT(share, 0.10) << name << " used this share of a core while minimised";
        std::string title = keys.title(window);

        // Hidden for three seconds or more: had the pause counted, the
        // first frame shown would already put a new rate in the title.
        // Timed from before the restore, a slow test can only see the rate
        // later than it came, never sooner.
        double restored = now_ms();
        x.restore(window);
        ASSERT_TRUE(x.wait_viewable(window, true, LOADED_WAIT_SECONDS)) << name;
        std::string rate = "*Vornel* by Talwick [OpenGL demo]  FPS: ";
        double deadline = now_ms() + LOADED_WAIT_SECONDS * 1000;
        while (keys.title(window) == title && now_ms() < deadline)
            sleep_ms(50);
        EXPECT_GT(now_ms() - restored, 1990) << name << ": a rate right after the pause";
        EXPECT_EQ(keys.title(window).rfind(rate, 0), 0u) << name << ": " << keys.title(window);
        EXPECT_GT(atoi(keys.title(window).c_str() + rate.size()), 0) << keys.title(window);

        keys.press_key(window, "space");
        EXPECT_EQ(run.wait(LOADED_WAIT_SECONDS), 0) << name;
        EXPECT_EQ(run.standard_error(), "") << name;
    }
}

TEST_F(Desktops, AMinimisedWindowStillClosesWithStatusZero)
{
    Xvfb server;
    Openbox wm(server.display());
    Program run(program("vornel_layered"), folder.path(), {{"DISPLAY", server.display()}});
    Desktop x(server.display());
    Window window = XClient(server.display()).find_window(LOADED_WAIT_SECONDS);
    ASSERT_NE(window, 0u);
    x.iconify(window);
    ASSERT_TRUE(x.wait_viewable(window, false, LOADED_WAIT_SECONDS));
    sleep_ms(300);
    ASSERT_TRUE(run.running());
    XClient(server.display()).request_close(window);  // as a taskbar's close does
    EXPECT_EQ(run.wait(LOADED_WAIT_SECONDS), 0);
}
