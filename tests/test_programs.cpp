// The programs as a user meets them: real processes on a private Xvfb,
// ended by real key presses and close requests, with their exit statuses
// and standard error.
#include "bitmaps.h"
#include "temporary_folder.h"
#include "program.h"
#include "xvfb.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace {

const std::string LAYERED = VORNEL_LAYERED_PATH;
const std::string SINGLE = VORNEL_SINGLE_PATH;
const std::string DATA = VORNEL_DATA_DIR;

// A fresh working directory holding the named bitmaps from data/.
TemporaryFolder folder_with(std::initializer_list<const char*> bitmaps)
{
    TemporaryFolder dir;
    for (const char* name : bitmaps) {
        std::ifstream from(DATA + "/" + name, std::ios::binary);
        std::ofstream to(dir / name, std::ios::binary);
        to << from.rdbuf();
    }
    return dir;
}

class Programs : public ::testing::Test {
protected:
    static void SetUpTestSuite() { use_private_display(); }

    std::string display() { return getenv("DISPLAY"); }
    TemporaryFolder bitmaps = folder_with({"organ.bmp", "veins.bmp"});
};

const char* const STARTUP_TITLE = "Vornel by Talwick OpenGL demo";
const char* const RATE_TITLE = "*Vornel* by Talwick [OpenGL demo]  FPS: ";

}  // namespace

TEST_F(Programs, AnyKeyEndsTheRunWithStatusZero)
{
    for (const std::string& program : {LAYERED, SINGLE})
        for (const char* key : {"a", "Shift_L", "Control_R", "Escape"}) {
            Program run(program, bitmaps.path());
            XClient x(display());
            Window window = x.find_window(LOADED_WAIT_SECONDS);
            ASSERT_NE(window, 0u) << program;
            sleep_ms(200);  // some frames
            x.press_key(window, key);
            EXPECT_EQ(run.wait(LOADED_WAIT_SECONDS), 0) << program << " after " << key;
            EXPECT_EQ(run.standard_error(), "");
        }
}

TEST_F(Programs, MouseAloneDoesNotEndTheRunButACloseRequestDoes)
{
    Program run(LAYERED, bitmaps.path());
    XClient x(display());
    Window window = x.find_window(LOADED_WAIT_SECONDS);
    ASSERT_NE(window, 0u);
    x.move_and_click(window);
    sleep_ms(1000);
    EXPECT_TRUE(run.running()) << "ended by the mouse";

    x.request_close(window);  // WM_DELETE_WINDOW, as a window manager sends it
    EXPECT_EQ(run.wait(LOADED_WAIT_SECONDS), 0);
}

TEST_F(Programs, TitleShowsTheStartupCaptionThenTheFrameRate)
{
    // The program's clock starts after this reading, and the first rate is
    // due once three whole seconds have passed on it since its first frame:
    // more than two seconds later. A test that looks late only sees it later.
    double before_start = now_ms();
    Program run(LAYERED, bitmaps.path());
    XClient x(display());
    Window window = x.find_window(LOADED_WAIT_SECONDS);
    ASSERT_NE(window, 0u);
    // Found late on a loaded machine, the window may show the rate already.
    std::string first = x.title(window);
    if (first.rfind(RATE_TITLE, 0) != 0) {
        EXPECT_EQ(first, STARTUP_TITLE);
    }

    // Within about 3 s of the first frame; a generous limit, for loaded
    // machines.
    std::string title = x.wait_for_title(window, RATE_TITLE, (20000 - (now_ms() - before_start)) / 1000);
    ASSERT_EQ(title.rfind(RATE_TITLE, 0), 0u) << title;
    EXPECT_GT(now_ms() - before_start, 1990);  // less the clocks' drift, 0.05 % at most
    int fps = atoi(title.c_str() + strlen(RATE_TITLE));
    EXPECT_GT(fps, 0) << title;

    x.press_key(window, "space");
    EXPECT_EQ(run.wait(LOADED_WAIT_SECONDS), 0);
}

TEST_F(Programs, MissingBitmapsEndWithStatusThree)
{
    struct Case {
        TemporaryFolder dir;
        const char* missing;
    } cases[] = {{folder_with({}), "organ.bmp"},  // organ first: veins never tried
                 {folder_with({"veins.bmp"}), "organ.bmp"},
                 {folder_with({"organ.bmp"}), "veins.bmp"}};
    for (const Case& c : cases) {
        Program run(LAYERED, c.dir.path());
        EXPECT_EQ(run.wait(LOADED_WAIT_SECONDS), 3) << c.missing;
        const std::string& error = run.standard_error();
        EXPECT_EQ(error.rfind("Can't load texture!!!", 0), 0u) << error;
        EXPECT_NE(error.find(c.missing), std::string::npos) << error;
        EXPECT_EQ(error.back(), '\n');
        EXPECT_EQ(error.find('\n'), error.size() - 1) << "one line: " << error;
    }
}

TEST_F(Programs, NoVideoIsStatusOneAndNoOpenGLIsStatusTwo)
{
    Program no_video(LAYERED, bitmaps.path(), {{"SDL_VIDEODRIVER", "nosuch"}});
    EXPECT_EQ(no_video.wait(LOADED_WAIT_SECONDS), 1);
    EXPECT_EQ(no_video.standard_error().rfind("Video initialization failed: ", 0), 0u)
        << no_video.standard_error();

    Program dummy(LAYERED, bitmaps.path(), {{"SDL_VIDEODRIVER", "dummy"}});
    EXPECT_EQ(dummy.wait(LOADED_WAIT_SECONDS), 2);
    EXPECT_EQ(dummy.standard_error().rfind("Video initialization failed: ", 0), 0u)
        << dummy.standard_error();

    Xvfb without_glx(false);
    Program no_glx(SINGLE, bitmaps.path(), {{"DISPLAY", without_glx.display()}});
    EXPECT_EQ(no_glx.wait(LOADED_WAIT_SECONDS), 2);
    const std::string& error = no_glx.standard_error();
    EXPECT_EQ(error.rfind("Video initialization failed: ", 0), 0u) << error;
    EXPECT_GT(error.size(), strlen("Video initialization failed: \n")) << "SDL's reason is missing";
}
