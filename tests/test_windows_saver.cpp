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

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
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
// the screen it starts on: the prefix's Wine server is ended before and
// after.
class WineScreen {
public:
    explicit WineScreen(const std::string& size) : server_(true, size)
    {
        EXPECT_TRUE(WinePrefix::stop(LOADED_WAIT_SECONDS));
        setenv("DISPLAY", server_.display().c_str(), 1);
    }
    ~WineScreen() { WinePrefix::stop(LOADED_WAIT_SECONDS); }

    RgbImage contents() { return screen_contents(server_.display()); }

    // Whether the screen shows something else than `before` within a while.
    bool changes_from(const RgbImage& before)
    {
        double deadline = now_ms() + LOADED_WAIT_SECONDS * 1000;
        while (changed_share(before, contents()) < 0.01) {
            if (now_ms() > deadline)
                return false;
            sleep_ms(50);
        }
        return true;
    }

private:
    Xvfb server_;
};

// Started as Windows starts a saver: by its full path, from another folder.
std::unique_ptr<Program> start(const std::string& saver, const std::vector<std::string>& args,
                               const std::map<std::string, std::string>& env = {})
{
    std::vector<std::string> command = {SaverStage::folder() + "/" + saver};
    command.insert(command.end(), args.begin(), args.end());
    return std::make_unique<Program>(WINE, WinePrefix::root(), env, command);
}

// The top-level window with that title, once it is viewable; 0 if none.
Window viewable_window(const char* title)
{
    Window window = XClient(getenv("DISPLAY")).find_window(title, LOADED_WAIT_SECONDS);
    if (window && !Desktop(getenv("DISPLAY")).wait_viewable(window, true, LOADED_WAIT_SECONDS))
        return 0;
    return window;
}

// Acts until the program ends (Wine may take the first key before its
// window has the focus); its status, or -1.
int until_ended(Program& program, const std::function<void()>& act)
{
    for (int attempt = 0; attempt < 10; attempt++) {
        act();
        if (int status = program.wait(LOADED_WAIT_SECONDS / 10); status != -1)
            return status;
    }
    return -1;
}

}  // namespace

TEST(WindowsSaver, FullScreenFillsTheScreenFourToThreeAndEndsOnAKeyAClickOrAMove)
{
    WineScreen screen("1280x1024");
    XClient x(getenv("DISPLAY"));
    std::vector<std::pair<const char*, std::function<void(Window)>>> endings = {
        {"a key", [&](Window window) { x.press_key(window, "space"); }},
        {"a click", [&](Window) { x.click(); }},
        {"a move of 100 pixels", [&](Window) { x.move_pointer(100, 0); }}};  // Wine merges moves
    for (const auto& [what, end] : endings) {
        auto saver = start("vornel.scr", {"/s"});
        Window window = viewable_window(RATE_TITLE);  // after three seconds of frames
        ASSERT_NE(window, 0u) << saver->standard_error();
        RgbImage picture = screen.contents();
        EXPECT_EQ(fill_fault(picture), "") << "1280 x 960 expected, 32 pixels from the top";
        EXPECT_TRUE(screen.changes_from(picture)) << "the picture stands still";
        if (std::string(what) == "a move of 100 pixels") {
            // Two frames drawn after it show that it has seen the move.
            x.move_pointer(2, 0);
            EXPECT_TRUE(screen.changes_from(screen.contents()) && screen.changes_from(screen.contents()));
            EXPECT_TRUE(saver->running()) << "a move of 2 pixels ended it";
        }
        EXPECT_EQ(until_ended(*saver, [&] { end(window); }), 0) << what;
    }
}

TEST(WindowsSaver, FramesOnA640By480ScreenMatchTheReference)
{
    WineScreen screen("640x480");
    auto saver = start("fixed_clock_saver.exe", {"/s"}, {{"VORNEL_TICKS", "5000"}});
    std::string fault = wait_until_filled([&] { return screen.contents(); }, LOADED_WAIT_SECONDS);
    ASSERT_EQ(fault, "") << saver->standard_error();
    // A second of work more, frames drawn after the first: the scaling must
    // leave the program's state as it found it.
    double used = cpu_seconds(saver->pid());
    while (saver->running() && cpu_seconds(saver->pid()) < used + 1)
        sleep_ms(50);
    RgbImage frame = screen.contents(), reference, picture;
    ASSERT_TRUE(read_picture(std::string(VORNEL_REFERENCE_DIR) + "/vornel_layered_5000.png", reference));
    Difference d = compare(frame, reference, picture);
    if (!d.looks_the_same()) {
        fs::create_directories(VORNEL_IMAGE_FAILURES_DIR);
        write_picture(std::string(VORNEL_IMAGE_FAILURES_DIR) + "/windows_saver_5000.png", frame);
        ADD_FAILURE() << "colour shift " << d.shift << ", visibly different pixels "
                      << 100 * d.visible_share << "%, worst block " << d.worst_block;
    }
    EXPECT_EQ(until_ended(*saver, [&] { XClient(getenv("DISPLAY")).click(); }), 0);
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

namespace {

// The delay the settings keep in the registry, as reg prints it (0x7530),
// or empty; reg writes to standard output, which Program leaves alone.
std::string kept_delay()
{
    Program read(WINE, WinePrefix::root(), {},
                 {"cmd", "/c", "reg query HKCU\\Software\\Vornel /v Delay > delay.txt"});
    read.wait(LOADED_WAIT_SECONDS);
    std::string text = read_file(WinePrefix::root() + "/delay.txt");
    size_t at = text.find("0x");
    return at == std::string::npos ? "" : text.substr(at, text.find_first_of("\r\n", at) - at);
}

}  // namespace

TEST(WindowsSaver, SettingsShowTheFrameRateAndKeepItOnOkOnly)
{
    WineScreen screen("1024x768");
    // End on the slider is the highest rate: no delay. OK keeps it.
    auto settings = start("vornel-single.scr", {"/c"});
    Window window = viewable_window(SAVER_TITLE);
    ASSERT_NE(window, 0u) << settings->standard_error();
    XClient x(getenv("DISPLAY"));
    EXPECT_EQ(until_ended(*settings, [&] {
                  x.press_key(window, "End");
                  x.press_key(window, "Return");
              }), 0);
    EXPECT_EQ(kept_delay(), "0x0");
    // Home is the lowest, but Cancel keeps nothing.
    settings = start("vornel.scr", {});
    window = viewable_window(SAVER_TITLE);
    ASSERT_NE(window, 0u) << settings->standard_error();
    EXPECT_EQ(until_ended(*settings, [&] {
                  x.press_key(window, "Home");
                  x.press_key(window, "Escape");
              }), 0);
    EXPECT_EQ(kept_delay(), "0x0");
}

TEST(WindowsSaver, WithoutItsBitmapsItSaysWhyEndsAndWritesItDown)
{
    WineScreen screen("1024x768");
    std::string folder = WinePrefix::root() + "/no_bitmaps";
    fs::create_directories(folder);
    for (const char* file : {"vornel.scr", "SDL.dll"})
        fs::copy_file(SaverStage::folder() + "/" + file, folder + "/" + file);
    Program saver(WINE, WinePrefix::root(), {}, {folder + "/vornel.scr", "/s"});
    Window message = viewable_window(SAVER_TITLE);
    ASSERT_NE(message, 0u) << saver.standard_error();
    XClient x(getenv("DISPLAY"));
    EXPECT_EQ(until_ended(saver, [&] { x.press_key(message, "Return"); }), 3);
    std::string log;
    for (const auto& user : fs::directory_iterator(WinePrefix::root() + "/prefix/drive_c/users"))
        if (fs::exists(user.path() / "AppData/Local/Vornel/screensaver.log"))
            log = read_file(user.path() / "AppData/Local/Vornel/screensaver.log");
    EXPECT_NE(log.find("vornel.scr /s: The screensaver cannot read its bitmaps"), std::string::npos) << log;
    EXPECT_NE(log.find("organ.bmp"), std::string::npos) << log;
}
