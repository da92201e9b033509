// The Windows build's screensavers under Wine, each case on a private Xvfb
// of its own size: /s full screen, its frames and what ends it; /p in a
// window of a stand-in for the Screen Saver Settings dialog
// (preview_host.exe); /c and no argument, the settings; a start-up fault.
// Wine 8 does not show OpenGL drawn into child windows, so the preview's
// pixels are not looked at.
#include "bitmaps.h"
#include "desktop.h"
#include "frame_difference.h"
#include "program.h"
#include "screensaver.h"
#include "wine.h"
#include "xvfb.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string WINDOWS_BUILD = VORNEL_WINDOWS_BUILD;
const char* const RATE_TITLE = "*Vornel* by Talwick [OpenGL demo]  FPS: ";
const char* const SAVER_TITLE = "Vornel screensaver";  // its settings' and messages'

// The prefix, and a folder holding the savers as a user unpacks them, with
// the test's own Windows programs.
class SaverStage : public WinePrefix {
public:
    static std::string folder() { return root_ + "/savers"; }

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(make());
        ASSERT_NO_FATAL_FAILURE(boot());
        fs::create_directories(folder());
        for (std::string file : {"vornel.scr", "vornel-single.scr", "sdl-1.2.15/prefix/bin/SDL.dll",
                                 "tests/fixed_clock_saver.exe", "tests/preview_host.exe"})
            fs::copy_file(WINDOWS_BUILD + "/" + file, folder() + "/" + fs::path(file).filename().string());
        for (const char* bitmap : {"organ.bmp", "veins.bmp"})
            fs::copy_file(std::string(VORNEL_DATA_DIR) + "/" + bitmap, folder() + "/" + bitmap);
    }
};

::testing::Environment* const stage = ::testing::AddGlobalTestEnvironment(new SaverStage);

// An X server of the given size for Wine, whose desktop takes the size of
// the screen it starts on: the prefix's Wine server ends before and after.
class WineScreen {
public:
    explicit WineScreen(const std::string& size) : server_(true, size)
    {
        EXPECT_TRUE(WinePrefix::stop(LOADED_WAIT_SECONDS));
        setenv("DISPLAY", server_.display().c_str(), 1);
    }
    ~WineScreen() { WinePrefix::stop(LOADED_WAIT_SECONDS); }

    RgbImage contents() { return screen_contents(server_.display()); }

    // Whether the screen shows something else than it shows now, soon.
    bool changes()
    {
        RgbImage before = contents();
        for (double deadline = now_ms() + LOADED_WAIT_SECONDS * 1000; now_ms() < deadline; sleep_ms(50))
            if (changed_share(before, contents()) > 0.01)
                return true;
        return false;
    }

private:
    Xvfb server_;
};

// Wine started with `command` (the saver's path first) from another
// folder, as Windows starts a saver.
Program start(const std::vector<std::string>& command, const std::map<std::string, std::string>& env = {})
{
    return Program(WINE, WinePrefix::root(), env, command);
}

// What a command of cmd.exe writes, through a file: Program reads only
// standard error.
std::string windows_output(const std::string& command)
{
    Program run(WINE, WinePrefix::root(), {}, {"cmd", "/c", command + " > output.txt"});
    run.wait(LOADED_WAIT_SECONDS);
    std::string text = read_file(WinePrefix::root() + "/output.txt");
    return text.substr(0, text.find_last_not_of("\r\n") + 1);
}

// The saver's window (its class is the saver's file name) whose title
// starts with `title`, once it is viewable; 0 if none.
Window viewable_window(const char* title)
{
    return XClient(getenv("DISPLAY")).find_window(LOADED_WAIT_SECONDS, title);
}

// Acts until the program ends (Wine may take the first key before its
// window has the focus); its status, or -1.
int until_ended(Program& program, const std::function<void()>& act)
{
    int status = -1;
    for (int attempt = 0; attempt < 10 && status == -1; attempt++) {
        act();
        status = program.wait(LOADED_WAIT_SECONDS / 10);
    }
    return status;
}

}  // namespace

TEST(WindowsSaver, FullScreenFillsTheScreenFourToThreeAndEndsOnAKeyAClickOrAMove)
{
    WineScreen screen("1280x1024");
    XClient x(getenv("DISPLAY"));
    std::string layered = SaverStage::folder() + "/vornel.scr";
    // The other started by its short path, as Windows may start a saver.
    std::string folder = SaverStage::folder();
    std::replace(folder.begin(), folder.end(), '/', '\\');
    std::string single = windows_output("for %I in (Z:" + folder + "\\vornel-single.scr) do @echo %~sI");
    ASSERT_NE(single.find('~'), std::string::npos) << single;
    std::vector<std::tuple<const char*, std::string, std::function<void(Window)>>> endings = {
        {"a key", layered, [&](Window window) { x.press_key(window, "space"); }},
        {"a click", single, [&](Window) { x.click(); }},
        {"a move of 100 pixels", layered, [&](Window) { x.move_pointer(100, 0); }}};  // Wine merges moves
    for (const auto& [what, saver_path, end] : endings) {
        Program saver = start({saver_path, "/s"});
        Window window = viewable_window(RATE_TITLE);  // after three seconds of frames
        ASSERT_NE(window, 0u) << saver_path << ": " << saver.standard_error();
        EXPECT_EQ(fill_fault(screen.contents()), "") << "1280 x 960 expected, 32 pixels from the top";
        EXPECT_TRUE(screen.changes()) << "the picture stands still";
        if (std::string(what) == "a move of 100 pixels") {
            // Two frames drawn after it show that it has seen the move.
            x.move_pointer(2, 0);
            EXPECT_TRUE(screen.changes() && screen.changes());
            EXPECT_TRUE(saver.running()) << "a move of 2 pixels ended it";
        }
        EXPECT_EQ(until_ended(saver, [&] { end(window); }), 0) << what;
    }
}

TEST(WindowsSaver, FramesOnA640By480ScreenMatchTheReference)
{
    WineScreen screen("640x480");
    Program saver =
        start({SaverStage::folder() + "/fixed_clock_saver.exe", "/s"}, {{"VORNEL_TICKS", "5000"}});
    ASSERT_EQ(wait_until_filled([&] { return screen.contents(); }, LOADED_WAIT_SECONDS), "");
    // A second of work more, frames drawn after the first: the scaling must
    // leave the program's state as it found it.
    double used = cpu_seconds(saver.pid());
    while (saver.running() && cpu_seconds(saver.pid()) < used + 1)
        sleep_ms(50);
    RgbImage reference, picture;
    ASSERT_TRUE(read_picture(std::string(VORNEL_REFERENCE_DIR) + "/vornel_layered_5000.png", reference));
    Difference d = compare(screen.contents(), reference, picture);
    EXPECT_TRUE(d.looks_the_same()) << "colour shift " << d.shift << ", visibly different pixels "
                                    << 100 * d.visible_share << "%, worst block " << d.worst_block;
    EXPECT_EQ(until_ended(saver, [&] { XClient(getenv("DISPLAY")).click(); }), 0);
}

// The dialog ends a preview by destroying its window: the saver must end at
// once, or copies pile up.
TEST(WindowsSaver, PreviewDrawsInTheGivenWindowAndEndsWithIt)
{
    WineScreen screen("1024x768");
    for (const auto& [saver, form] : {std::pair{"vornel.scr", "space"}, {"vornel-single.scr", "colon"}}) {
        Program host(WINE, SaverStage::folder(), {}, {"preview_host.exe", saver, form});
        EXPECT_EQ(host.wait(3 * LOADED_WAIT_SECONDS), 0) << host.standard_error();
        std::string said = host.standard_error();
        size_t at = said.find(" ms after");
        ASSERT_NE(at, std::string::npos) << said;
        EXPECT_LE(std::stoi(said.substr(said.rfind(' ', at - 1))), 3000) << said;
        printf("%s %s: %s", saver, form, said.c_str());
        EXPECT_TRUE(WinePrefix::wait_until_idle(LOADED_WAIT_SECONDS)) << "something still runs";
    }
}

TEST(WindowsSaver, SettingsShowTheFrameRateAndKeepItOnOkOnly)
{
    WineScreen screen("1024x768");
    XClient x(getenv("DISPLAY"));
    // End on the slider is the highest rate, no delay, and OK keeps it;
    // Home is the lowest, but Cancel keeps nothing.
    for (const auto& [args, keys] : {std::pair{std::vector<std::string>{"/c"}, std::vector{"End", "Return"}},
                                     {std::vector<std::string>{}, std::vector{"Home", "Escape"}}}) {
        std::vector<std::string> command = {SaverStage::folder() + "/vornel.scr"};
        command.insert(command.end(), args.begin(), args.end());
        Program settings = start(command);
        Window window = viewable_window(SAVER_TITLE);
        ASSERT_NE(window, 0u) << settings.standard_error();
        EXPECT_EQ(until_ended(settings, [&] {
                      for (const char* key : keys)
                          x.press_key(window, key);
                  }), 0);
        std::string delay = windows_output("reg query HKCU\\Software\\Vornel /v Delay");
        EXPECT_EQ(delay.substr(delay.rfind(' ') + 1), "0x0") << delay;
    }
}

TEST(WindowsSaver, WithoutItsBitmapsItSaysWhyEndsAndWritesItDown)
{
    WineScreen screen("1024x768");
    std::string folder = WinePrefix::root() + "/no_bitmaps";
    fs::create_directories(folder);
    for (const char* file : {"vornel.scr", "SDL.dll"})
        fs::copy_file(SaverStage::folder() + "/" + file, folder + "/" + file);
    Program saver = start({folder + "/vornel.scr", "/s"});
    Window message = viewable_window(SAVER_TITLE);
    ASSERT_NE(message, 0u) << saver.standard_error();
    XClient x(getenv("DISPLAY"));
    EXPECT_EQ(until_ended(saver, [&] { x.press_key(message, "Return"); }), 3);
    std::string log = windows_output("type %LOCALAPPDATA%\\Vornel\\screensaver.log");
    EXPECT_NE(log.find("vornel.scr /s: The screensaver cannot read its bitmaps"), std::string::npos) << log;
    EXPECT_NE(log.find("organ.bmp"), std::string::npos) << log;
}
