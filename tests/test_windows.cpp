// The Windows build under Wine, on a private Xvfb: the packed programs as
// a Windows user meets them, the cross-built mesh tests, the Windows mesh
// against this build's, and the Windows capture tool's frames against the
// reference pictures.
//
// The whole run shares one Wine prefix, made in a temporary folder and
// removed at the end, pass or fail. Built when VORNEL_WINDOWS_BUILD names
// the Windows build (scripts/package windows makes it and the zip). A zip
// whose programs are not that build's is refused before anything runs.
#include "bitmaps.h"
#include "frame_difference.h"
#include "main.h"
#include "program.h"
#include "wine.h"

#include <SDL.h>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string STRIP = "x86_64-w64-mingw32-strip";  // as scripts/package strips
const std::string WINDOWS_BUILD = VORNEL_WINDOWS_BUILD;
const std::string PACKAGE_NAME = "vornel-windows-x64";

const double PROGRAM_SECONDS = 120;  // start-up, the first rate after 3 s, the end

// A file of the Windows build, stripped as the packing strips it (with the
// changelog's time for the header's time stamp), into `folder`; its bytes,
// or "" if strip failed.
std::string stripped(const std::string& path, const std::string& folder)
{
    std::string out = folder + "/" + fs::path(path).filename().string();
    Program strip(STRIP, folder, {{"SOURCE_DATE_EPOCH", VORNEL_SOURCE_DATE_EPOCH}}, {"-o", out, path});
    return strip.wait(60) == 0 ? read_file(out) : "";
}

// The names of the unpacked zip's files that are not what the Windows
// build and data/ hold now: the programs, savers and SDL.dll stripped as
// the packing strips them, byte for byte, the bitmaps as they are.
std::vector<std::string> stale_files(const std::string& unpacked, const std::string& scratch)
{
    std::vector<std::string> stale;
    for (const char* name : {"vornel_layered.exe", "vornel_single.exe", "vornel.scr", "vornel-single.scr",
                             "sdl-1.2.15/prefix/bin/SDL.dll"}) {
        std::string file = fs::path(name).filename().string();
        if (stripped(WINDOWS_BUILD + "/" + name, scratch) != read_file(unpacked + "/" + file))
            stale.push_back(file);
    }
    for (const char* name : {"organ.bmp", "veins.bmp"})
        if (read_file(std::string(VORNEL_DATA_DIR) + "/" + name) != read_file(unpacked + "/" + name))
            stale.push_back(name);
    return stale;
}

// The Wine prefix (wine.h), the package unpacked beside it, and a folder of
// the cross-built tools and tests with what they need.
class WineStage : public WinePrefix {
public:
    static std::string package() { return root_ + "/unpacked/" + PACKAGE_NAME; }
    static std::string tools() { return root_ + "/tools"; }
    static std::string scratch() { return root_ + "/scratch"; }
    static std::string drive_c() { return root_ + "/prefix/drive_c"; }

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(make());

        Program unzip("unzip", root_, {}, {"-q", VORNEL_WINDOWS_ZIP, "-d", root_ + "/unpacked"});
        ASSERT_EQ(unzip.wait(60), 0) << unzip.standard_error();
        fs::create_directories(scratch());
        std::string stale;
        for (const std::string& name : stale_files(package(), scratch()))
            stale += " " + name;
        ASSERT_EQ(stale, "") << VORNEL_WINDOWS_ZIP << " is not what " << WINDOWS_BUILD
                             << " and data/ hold now; run scripts/package windows";

        ASSERT_NO_FATAL_FAILURE(boot());

        fs::create_directories(tools());
        for (const char* file : {"SDL.dll", "organ.bmp", "veins.bmp"})
            fs::copy_file(package() + "/" + file, tools() + "/" + file);
        for (const char* exe : {"tools/capture.exe", "tools/dump_mesh.exe", "tests/test_vornel.exe",
                                "tests/test_cvector.exe", "tests/test_frame_rate.exe"})
            fs::copy_file(WINDOWS_BUILD + "/" + exe, tools() + "/" + fs::path(exe).filename().string());
    }
};

::testing::Environment* const wine_stage = ::testing::AddGlobalTestEnvironment(new WineStage);

const char* const RATE_TITLE = "*Vornel* by Talwick [OpenGL demo]  FPS: ";

}  // namespace

// ---- The programs, from their unpacked folder --------------------------------

TEST(WindowsPackage, HoldsOneFolderWithTheProgramsSaversBitmapsSdlAndAReadme)
{
    std::vector<std::string> top, inside;
    for (const auto& entry : fs::directory_iterator(fs::path(WineStage::package()).parent_path()))
        top.push_back(entry.path().filename().string());
    for (const auto& entry : fs::directory_iterator(WineStage::package()))
        inside.push_back(entry.path().filename().string());
    std::sort(inside.begin(), inside.end());
    EXPECT_EQ(top, std::vector<std::string>{PACKAGE_NAME});
    EXPECT_EQ(inside, (std::vector<std::string>{"LICENSE.txt", "README.txt", "SDL-LICENSE.txt",
                                                "SDL.dll", "organ.bmp", "veins.bmp", "vornel-single.scr",
                                                "vornel.scr", "vornel_layered.exe", "vornel_single.exe"}));
    // Written for Notepad: Windows line ends. It names SDL's source.
    std::string readme = read_file(WineStage::package() + "/README.txt");
    for (const char* text : {"vornel_layered.exe", "vornel-single.scr", "Install", "libsdl1.2/1.2.15"})
        EXPECT_NE(readme.find(text), std::string::npos) << text;
    EXPECT_NE(readme.find("\r\n"), std::string::npos);
    EXPECT_EQ(readme.find("\n"), readme.find("\r\n") + 1);
}

namespace {

// Presses a key in `window` until `run` ends; its status, or -1. Wine
// activates the window when the focus arrives; a key that came before that
// is pressed again.
int end_with_key(Program& run, XClient& x, Window window)
{
    int status = -1;
    for (int attempt = 0; attempt < 10 && status == -1; attempt++) {
        x.press_key(window, "space");
        status = run.wait(5);
    }
    return status;
}

// `run` shows the frame-rate title, and ends with 0 on a key.
void expect_rate_title_and_end_on_key(Program& run, const std::string& name)
{
    XClient x(getenv("DISPLAY"));
    Window window = x.find_window(PROGRAM_SECONDS);
    ASSERT_NE(window, 0u) << name << " showed no window";
    std::string title = x.wait_for_title(window, RATE_TITLE, PROGRAM_SECONDS);
    ASSERT_EQ(title.rfind(RATE_TITLE, 0), 0u) << name << " showed no frame-rate title";
    std::string rate = title.substr(strlen(RATE_TITLE));
    EXPECT_FALSE(rate.empty()) << name;
    EXPECT_EQ(rate.find_first_not_of("0123456789"), std::string::npos) << name << ": " << rate;
    EXPECT_EQ(end_with_key(run, x, window), 0) << name;
}

}  // namespace

TEST(WindowsPrograms, EachShowsTheFrameRateAndEndsWithZeroOnAKey)
{
    for (const char* name : {"vornel_layered.exe", "vornel_single.exe"}) {
        Program run(WINE, WineStage::package(), {}, {name});
        expect_rate_title_and_end_on_key(run, name);
        // SDL's entry glue removes its output files when they stayed empty.
        EXPECT_FALSE(fs::exists(WineStage::package() + "/stderr.txt")) << name;
        EXPECT_FALSE(fs::exists(WineStage::package() + "/stdout.txt")) << name;
    }
}

TEST(WindowsPrograms, WithoutOrganBmpEachEndsWithThreeAndSaysSoInStderrTxt)
{
    std::string folder = WineStage::scratch() + "/no_organ";
    fs::create_directories(folder);
    for (const char* file : {"SDL.dll", "veins.bmp", "vornel_layered.exe", "vornel_single.exe"})
        fs::copy_file(WineStage::package() + "/" + file, folder + "/" + file);

    for (const char* name : {"vornel_layered.exe", "vornel_single.exe"}) {
        EXPECT_EQ(run_windows(folder, {name}, PROGRAM_SECONDS), 3) << name;
        std::string message = read_file(folder + "/stderr.txt");
        EXPECT_EQ(message.rfind("Can't load texture!!!", 0), 0u) << name << ": " << message;
        EXPECT_NE(message.find("organ.bmp"), std::string::npos) << name << ": " << message;
        fs::remove(folder + "/stderr.txt");
    }
}

// ---- The mesh ----------------------------------------------------------------

TEST(WindowsMesh, CrossBuiltTestsPass)
{
    for (const char* test : {"test_vornel.exe", "test_cvector.exe", "test_frame_rate.exe"})
        EXPECT_EQ(run_windows(WineStage::tools(), {test}, PROGRAM_SECONDS), 0) << test;
}

namespace {

// Units in the last place between two floats of the same sign; a sign
// change counts as far apart.
int64_t ulps_apart(float a, float b)
{
    int32_t ia, ib;
    memcpy(&ia, &a, sizeof a);
    memcpy(&ib, &b, sizeof b);
    if ((ia < 0) != (ib < 0))
        return a == b ? 0 : INT32_MAX;  // +0 and -0 are equal
    return std::llabs((int64_t)ia - ib);
}

// The layered scene's mesh as dump_mesh writes it.
std::vector<float> linux_mesh(Uint32 ticks)
{
    std::unique_ptr<CVertexbuffer> mesh(make_tube(ticks, 8.0));
    size_t n = (size_t)mesh->num_vertices;
    std::vector<float> values;
    values.insert(values.end(), &mesh->vertices[0].x, &mesh->vertices[0].x + 3 * n);
    values.insert(values.end(), &mesh->normals[0].x, &mesh->normals[0].x + 3 * n);
    values.insert(values.end(), &mesh->colors[0].x, &mesh->colors[0].x + 3 * n);
    values.insert(values.end(), mesh->texcoords, mesh->texcoords + 2 * n);
    return values;
}

}  // namespace

// The Windows build takes sin and cos from MinGW's own C library, linked
// into the program (x87 arithmetic), not from glibc. Both are within an
// ulp of the true double, so a stored float may differ by at most one unit
// in the last place, where a double lands next to a float's rounding
// boundary. How many do is printed.
TEST(WindowsMesh, MatchesTheLinuxMeshToOneUnitInTheLastPlace)
{
    std::vector<std::string> command = {"dump_mesh.exe", "mesh.bin"};
    std::vector<Uint32> readings = {0, 5000, 60000, 16777218, 4294967295u};
    for (Uint32 ticks = 1234; ticks < 3600000; ticks += 37003)  // an hour in 98 steps
        readings.push_back(ticks);
    for (Uint32 ticks : readings)
        command.push_back(std::to_string(ticks));
    ASSERT_EQ(run_windows(WineStage::tools(), command, PROGRAM_SECONDS), 0);

    std::string bytes = read_file(WineStage::tools() + "/mesh.bin");
    size_t offset = 0, compared = 0, differing = 0;
    int64_t worst = 0;
    for (Uint32 ticks : readings) {
        std::vector<float> want = linux_mesh(ticks);
        ASSERT_LE(offset + want.size() * sizeof(float), bytes.size()) << "cut short at " << ticks;
        std::vector<float> got(want.size());
        memcpy(got.data(), bytes.data() + offset, want.size() * sizeof(float));
        offset += want.size() * sizeof(float);
        for (size_t i = 0; i < want.size(); i++) {
            int64_t apart = ulps_apart(got[i], want[i]);
            differing += apart != 0;
            worst = std::max(worst, apart);
        }
        compared += want.size();
    }
    EXPECT_EQ(offset, bytes.size());
    EXPECT_LE(worst, 1);
    printf("Windows mesh against Linux: %zu of %zu floats differ (%zu clock readings), "
           "at most %lld units in the last place\n",
           differing, compared, readings.size(), (long long)worst);
}

// ---- Frames -------------------------------------------------------------------

namespace {

// A Windows bitmap as the capture tool writes it, read with SDL.
bool read_bmp(const std::string& path, RgbImage& image)
{
    SDL_Surface* loaded = SDL_LoadBMP(path.c_str());
    if (!loaded)
        return false;
    SDL_Surface* rgb = SDL_CreateRGBSurface(SDL_SWSURFACE, 1, 1, 24, 0x0000FF, 0x00FF00, 0xFF0000, 0);
    SDL_Surface* converted = SDL_ConvertSurface(loaded, rgb->format, SDL_SWSURFACE);
    SDL_FreeSurface(rgb);
    SDL_FreeSurface(loaded);
    if (!converted)
        return false;
    image.width = converted->w;
    image.height = converted->h;
    image.rgb.resize(3 * (size_t)image.width * image.height);
    for (int y = 0; y < image.height; y++)
        memcpy(&image.rgb[3 * (size_t)y * image.width],
               (unsigned char*)converted->pixels + (size_t)y * converted->pitch, 3 * (size_t)image.width);
    SDL_FreeSurface(converted);
    return true;
}

}  // namespace

// The frames come from the same Mesa as the Linux build's, through Wine's
// opengl32: they must pass the image tests' own tolerance.
TEST(WindowsFrames, CaptureToolMatchesTheReferencePictures)
{
    const std::vector<std::string> clocks = {"0", "5000", "60000"};
    for (const char* variant : {"layered", "single"}) {
        std::vector<std::string> command = {"capture.exe", "--data", ".", "--out", "."};
        if (std::string(variant) == "single")
            command.push_back("--single");
        command.insert(command.end(), clocks.begin(), clocks.end());
        ASSERT_EQ(run_windows(WineStage::tools(), command, PROGRAM_SECONDS), 0) << variant;

        for (const std::string& ticks : clocks) {
            std::string name = std::string("vornel_") + variant + "_" + ticks;
            RgbImage frame, reference, picture;
            ASSERT_TRUE(read_bmp(WineStage::tools() + "/" + name + ".bmp", frame)) << name;
            ASSERT_TRUE(read_picture(std::string(VORNEL_REFERENCE_DIR) + "/" + name + ".png", reference));
            ASSERT_EQ(frame.rgb.size(), reference.rgb.size()) << name;
            Difference d = compare(frame, reference, picture);
            printf("%s from Windows: colour shift %.3f, visibly different pixels %.3f%%, worst block %.2f\n",
                   name.c_str(), d.shift, 100 * d.visible_share, d.worst_block);
            if (!d.looks_the_same()) {
                std::string dir = VORNEL_IMAGE_FAILURES_DIR;
                fs::create_directories(dir);
                write_picture(dir + "/windows_actual_" + name + ".png", frame);
                write_picture(dir + "/windows_difference_" + name + ".png", picture);
                ADD_FAILURE() << name << " from Windows differs from its reference: colour shift "
                              << d.shift << ", visibly different pixels " << 100 * d.visible_share
                              << "%, worst block " << d.worst_block << "\n  pictures in " << dir;
            }
        }
    }
}


// ---- The installer ------------------------------------------------------------

namespace {

const std::string INSTALL_DIR = "C:\\Program Files\\Vornel";
const std::string START_MENU = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Vornel";
const std::string SYSTEM_FOLDER = "C:\\windows\\system32";
const std::string UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vornel";
// The installation's, which the launchers read, and the savers' per user.
const std::vector<std::string> SETTINGS_KEYS = {"HKLM\\Software\\Vornel", "HKCU\\Software\\Vornel"};
const std::vector<std::string> SAVERS = {"vornel.scr", "vornel-single.scr"};
const std::vector<std::string> SHORTCUTS = {"Vornel.lnk", "Vornel (tissue only).lnk"};

// A path on the prefix's drive C:, as this system sees it.
std::string on_drive_c(const std::string& windows_path)
{
    std::string path = windows_path.substr(3);
    std::replace(path.begin(), path.end(), '\\', '/');
    return WineStage::drive_c() + "/" + path;
}

// What `command` writes to standard output; "" if it fails.
std::string output_of(const std::vector<std::string>& command)
{
    std::string out = WineStage::scratch() + "/output.txt";
    std::vector<std::string> args = {"-c", "\"$@\" >\"$0\"", out};
    args.insert(args.end(), command.begin(), command.end());
    Program run("/bin/sh", WineStage::scratch(), {}, args);
    return run.wait(PROGRAM_SECONDS) == 0 ? read_file(out) : "";
}

// A registry key's values as reg query prints them ("    Name    REG_SZ    data"),
// name to data.
std::map<std::string, std::string> registry_values(const std::string& key)
{
    std::map<std::string, std::string> values;
    std::istringstream lines(output_of({WINE, "reg", "query", key}));
    for (std::string line; std::getline(lines, line);) {
        line.erase(line.find_last_not_of("\r") + 1);
        size_t type = line.find("    ", 4), data = line.find("    ", type + 4);
        if (line.rfind("    ", 0) == 0 && data != std::string::npos)
            values[line.substr(4, type - 4)] = line.substr(data + 4);
    }
    return values;
}

// A field of a shortcut as lnkinfo prints it ("\tLocal path\t\t\t: C:\\...").
std::string shortcut_field(const std::string& shortcut, const std::string& name)
{
    std::string text = output_of({"lnkinfo", shortcut});
    size_t start = text.find("\t" + name + "\t"), data = text.find(": ", start);
    return start == std::string::npos ? "" : text.substr(data + 2, text.find('\n', data) - data - 2);
}

// Runs the installer or uninstaller silently, and waits until the prefix's
// last program has ended: the uninstaller goes on in a copy of itself.
void run_silently(const std::string& folder, const std::string& program)
{
    ASSERT_EQ(run_windows(folder, {program, "/S"}, PROGRAM_SECONDS), 0) << program;
    Program quiet(WINESERVER, "/", {}, {"--wait"});
    ASSERT_EQ(quiet.wait(PROGRAM_SECONDS), 0);
}

void expect_files_and_keys_in_place()
{
    for (const auto& entry : fs::directory_iterator(WineStage::package()))
        EXPECT_EQ(read_file(entry.path()), read_file(on_drive_c(INSTALL_DIR) + "/" + entry.path().filename().string()))
            << entry.path().filename() << " is not what the zip holds";
    for (const char* file : {"uninstall.exe", "vornel_layered.ico", "vornel_single.ico"})
        EXPECT_TRUE(fs::exists(on_drive_c(INSTALL_DIR) + "/" + file)) << file;
    for (const std::string& saver : SAVERS)
        EXPECT_EQ(read_file(on_drive_c(SYSTEM_FOLDER) + "/" + saver),
                  stripped(WINDOWS_BUILD + "/launchers/" + saver, WineStage::scratch())) << saver;

    std::map<std::string, std::string> entry = registry_values(UNINSTALL_KEY);
    EXPECT_EQ(entry["DisplayName"], "Vornel");
    EXPECT_EQ(entry["DisplayVersion"], VORNEL_VERSION);
    EXPECT_EQ(entry["Publisher"], "Vornel maintainers");
    EXPECT_TRUE(fs::exists(on_drive_c(entry["DisplayIcon"]))) << entry["DisplayIcon"];
    EXPECT_EQ(entry["UninstallString"], "\"" + INSTALL_DIR + "\\uninstall.exe\"");
    EXPECT_EQ(entry["QuietUninstallString"], "\"" + INSTALL_DIR + "\\uninstall.exe\" /S");
    EXPECT_EQ(entry["NoModify"], "0x1");
    EXPECT_EQ(entry["NoRepair"], "0x1");
    EXPECT_GT(std::stoul(entry["EstimatedSize"], nullptr, 16), 1000u) << "kilobytes";
    EXPECT_EQ(registry_values(SETTINGS_KEYS[0])["InstallDir"], INSTALL_DIR);
}

// Each Start menu entry's target as the shell starts it, in the entry's
// working folder; each saver as Windows starts it, from another folder.
void expect_programs_and_savers_run()
{
    for (const std::string& shortcut : SHORTCUTS) {
        std::string link = on_drive_c(START_MENU) + "/" + shortcut;
        ASSERT_TRUE(fs::exists(link)) << shortcut;
        Program run(WINE, on_drive_c(shortcut_field(link, "Working directory")), {},
                    {shortcut_field(link, "Local path")});
        expect_rate_title_and_end_on_key(run, shortcut);
    }
    for (const std::string& saver : SAVERS) {
        Program run(WINE, WineStage::scratch(), {}, {SYSTEM_FOLDER + "\\" + saver, "/s"});
        XClient x(getenv("DISPLAY"));
        Window window = x.find_window(PROGRAM_SECONDS);
        ASSERT_NE(window, 0u) << saver << " from the system folder showed no window";
        EXPECT_EQ(end_with_key(run, x, window), 0) << saver;
    }
}

// What a launcher hands on, shown by a program whose effects can be seen
// (dump_mesh as the saver): the arguments, the folder InstallDir names, the
// status.
void expect_launcher_hands_everything_on()
{
    std::string elsewhere = WineStage::scratch() + "/elsewhere", drive_z = "Z:" + elsewhere;
    std::replace(drive_z.begin(), drive_z.end(), '/', '\\');
    fs::create_directories(elsewhere);
    fs::copy_file(WineStage::tools() + "/dump_mesh.exe", elsewhere + "/vornel.scr");
    fs::copy_file(WineStage::tools() + "/SDL.dll", elsewhere + "/SDL.dll");
    ASSERT_EQ(run_windows("/", {"reg", "add", SETTINGS_KEYS[0], "/v", "InstallDir", "/d", drive_z, "/f"},
                          PROGRAM_SECONDS), 0);
    std::string launcher = SYSTEM_FOLDER + "\\vornel.scr";
    EXPECT_EQ(run_windows("/", {launcher}, PROGRAM_SECONDS), 2) << "dump_mesh's status without arguments";
    EXPECT_EQ(run_windows("/", {launcher, "mesh.bin", "0"}, PROGRAM_SECONDS), 0);
    EXPECT_GT(read_file(elsewhere + "/mesh.bin").size(), 0u);
}

}  // namespace

// Installed silently, everything is in place and runs; uninstalled
// silently, nothing is left, nor the settings the savers keep for the user.
TEST(WindowsInstaller, InstallsAndUninstallsSilently)
{
    run_silently(fs::path(VORNEL_WINDOWS_INSTALLER).parent_path(), fs::path(VORNEL_WINDOWS_INSTALLER).filename());
    expect_files_and_keys_in_place();
    expect_programs_and_savers_run();
    expect_launcher_hands_everything_on();

    ASSERT_EQ(run_windows("/", {"reg", "add", SETTINGS_KEYS[1], "/v", "Delay", "/t", "REG_DWORD", "/d", "30000", "/f"},
                          PROGRAM_SECONDS), 0);
    run_silently(WineStage::scratch(), INSTALL_DIR + "\\uninstall.exe");
    for (const std::string& path : {INSTALL_DIR, START_MENU})
        EXPECT_FALSE(fs::exists(on_drive_c(path))) << path;
    for (const std::string& saver : SAVERS)
        EXPECT_FALSE(fs::exists(on_drive_c(SYSTEM_FOLDER) + "/" + saver)) << saver;
    for (const std::string& key : {UNINSTALL_KEY, SETTINGS_KEYS[0], SETTINGS_KEYS[1]})
        EXPECT_EQ(run_windows("/", {"reg", "query", key}, PROGRAM_SECONDS), 1) << key << " is left";
}
