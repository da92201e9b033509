// cmake --install of this build into a private prefix: the layout, the
// commands started from folders of the user's, the desktop entries and the
// manual pages, as a user meets them.
#include "installation.h"
#include "program.h"
#include "xvfb.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const PROGRAMS[] = {"vornel_layered", "vornel_single"};

// Every word of `text` that names a path of the installation, such as
// /usr/share/games/vornel/organ.bmp: whatever comes before "/share/games/"
// or "/lib/games/" is the prefix the text gives it.
std::vector<std::string> installed_paths_named(const std::string& text)
{
    std::vector<std::string> paths;
    std::stringstream words(text);
    for (std::string word; words >> word;) {
        while (!word.empty() && (word.back() == ',' || word.back() == '.'))
            word.pop_back();
        if (word.find("/share/games/") != std::string::npos ||
            word.find("/lib/games/") != std::string::npos)
            paths.push_back(word);
    }
    return paths;
}

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class Installed : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        use_private_display();
        prefix_ = new TemporaryFolder;
        CommandResult install = run_command(std::string(VORNEL_CMAKE) + " --install " +
                                            shell_quoted(VORNEL_BUILD_DIR) + " --prefix " +
                                            shell_quoted(prefix()));
        ASSERT_EQ(install.status, 0) << install.output;
    }
    static void TearDownTestSuite() { delete prefix_; }

    static std::string prefix() { return prefix_->path(); }
    static std::string command(const std::string& program) { return prefix() + "/games/" + program; }

    TemporaryFolder elsewhere;  // a working directory without bitmaps

private:
    static TemporaryFolder* prefix_;
};

TemporaryFolder* Installed::prefix_ = nullptr;

}  // namespace

TEST_F(Installed, HoldsCommandsProgramsBitmapsEntriesIconsAndPages)
{
    for (const std::string& file : installed_files())
        EXPECT_TRUE(fs::is_regular_file(prefix() + "/" + file)) << file;
    EXPECT_EQ(contents(prefix() + "/share/doc/vornel/LICENSE"),
              contents(std::string(VORNEL_SOURCE_DIR) + "/LICENSE"));
    for (const char* program : PROGRAMS) {
        for (const std::string& path : {command(program), prefix() + "/lib/games/vornel/" + program})
            EXPECT_EQ(access(path.c_str(), X_OK), 0) << path;
    }
    for (const char* bitmap : {"organ.bmp", "veins.bmp"})
        EXPECT_EQ(contents(prefix() + "/share/games/vornel/" + bitmap),
                  contents(std::string(VORNEL_DATA_DIR) + "/" + bitmap))
            << bitmap;
}

TEST_F(Installed, CommandsFoundOnPathRunFromAnyFolderAndEndWithZeroOnAKey)
{
    std::string search_path = prefix() + "/games:" + getenv("PATH");
    for (const char* program : PROGRAMS) {
        std::string found = find_on_path(program, search_path);
        ASSERT_EQ(found, command(program));
        RunResult run = run_until_key(found, elsewhere.path());
        EXPECT_EQ(run.status, 0) << program << ": " << run.standard_error;
        EXPECT_EQ(run.standard_error, "") << program;
    }
    EXPECT_TRUE(fs::is_empty(elsewhere.path())) << "the programs wrote into the user's folder";
}

TEST_F(Installed, CommandRunsThroughASymbolicLinkInAnotherFolder)
{
    std::string link = elsewhere.path() + "/vornel_layered";
    fs::create_symlink(command("vornel_layered"), link);
    RunResult run = run_until_key(link, "/");
    EXPECT_EQ(run.status, 0) << run.standard_error;
    EXPECT_EQ(run.standard_error, "");
}

TEST_F(Installed, CommandEndsWithTheProgramsOwnStatusAndMessage)
{
    Program no_video(command("vornel_single"), elsewhere.path(), {{"SDL_VIDEODRIVER", "nosuch"}});
    EXPECT_EQ(no_video.wait(LOADED_WAIT_SECONDS), 1);
    EXPECT_EQ(no_video.standard_error().rfind("Video initialization failed: ", 0), 0u)
        << no_video.standard_error();

    // Without its bitmaps the program cannot load its textures; they are
    // put back for the other tests whatever happens.
    std::string veins = prefix() + "/share/games/vornel/veins.bmp";
    std::string aside = elsewhere.path() + "/veins.bmp.aside";
    fs::rename(veins, aside);
    struct PutBack {
        std::string from, to;
        ~PutBack() { fs::rename(from, to); }
    } put_back{aside, veins};
    Program no_bitmap(command("vornel_layered"), elsewhere.path());
    EXPECT_EQ(no_bitmap.wait(LOADED_WAIT_SECONDS), 3);
    EXPECT_EQ(no_bitmap.standard_error().rfind("Can't load texture!!!", 0), 0u)
        << no_bitmap.standard_error();
}

TEST_F(Installed, DesktopEntriesAreValidAndStartTheirCommandWithTheirIcon)
{
    std::string search_path = prefix() + "/games:" + getenv("PATH");
    for (const char* program : PROGRAMS) {
        std::string entry = prefix() + "/share/applications/" + program + ".desktop";
        CommandResult validate = run_command("desktop-file-validate " + shell_quoted(entry));
        EXPECT_EQ(validate.status, 0) << validate.output;
        EXPECT_EQ(validate.output, "");

        std::string icon = desktop_entry_value(entry, "Icon");
        for (const char* size : {"48x48", "256x256"})
            EXPECT_TRUE(fs::is_regular_file(prefix() + "/share/icons/hicolor/" + size + "/apps/" +
                                            icon + ".png"))
                << program << " " << size;

        std::string exec = desktop_entry_value(entry, "Exec");
        EXPECT_EQ(exec, program);
        RunResult run = run_until_key(find_on_path(exec, search_path), elsewhere.path());
        EXPECT_EQ(run.status, 0) << program;
    }
}

TEST_F(Installed, ManualPagesRenderCleanlyAndTellKeysEnvironmentAndStatuses)
{
    for (const char* program : PROGRAMS) {
        std::string page = prefix() + "/share/man/man6/" + program + ".6.gz";
        CommandResult text = run_command("MANWIDTH=80 man --warnings -l " + shell_quoted(page) +
                                         " 2>&1 >/dev/null");
        EXPECT_EQ(text.status, 0);
        EXPECT_EQ(text.output, "") << "warnings from " << program << ".6";

        text = run_command("MANWIDTH=1000 man -l " + shell_quoted(page));
        ASSERT_EQ(text.status, 0) << text.output;
        for (const char* part : {"NAME", "KEYS", "ENVIRONMENT", "EXIT STATUS", "FILES", "Any key",
                                 "DISPLAY", "SDL_VIDEODRIVER", "SDL12COMPAT_SYNC_TO_VBLANK",
                                 "vblank_mode", "SDL12COMPAT_OPENGL_SCALING",
                                 "LIBGL_ALWAYS_SOFTWARE", "Video initialization failed",
                                 "Can't load texture!!!"})
            EXPECT_NE(text.output.find(part), std::string::npos) << program << ": " << part;
        EXPECT_NE(text.output.find(std::string(program) + " - "), std::string::npos);
    }
}

// The pages are written when cmake --install runs, for the prefix it is
// given: they name where this installation's files are, not where the
// build was configured to go (/usr/local).
TEST_F(Installed, ManualPagesNameThePathsOfThisInstallation)
{
    for (const char* program : PROGRAMS) {
        std::string page = prefix() + "/share/man/man6/" + program + ".6.gz";
        CommandResult text = run_command("MANWIDTH=1000 man -l " + shell_quoted(page));
        ASSERT_EQ(text.status, 0) << text.output;
        std::vector<std::string> paths = installed_paths_named(text.output);
        EXPECT_GE(paths.size(), 3u) << program << ": the bitmaps' folder and files, the program";
        for (const std::string& path : paths) {
            EXPECT_EQ(path.rfind(prefix() + "/", 0), 0u) << program << " names " << path;
            EXPECT_TRUE(fs::exists(path)) << program << " names " << path;
        }
    }
}

// The screensavers: where xscreensaver looks for hacks and their settings,
// each settings file naming its hack, and one manual page for both that
// names this installation's files.
TEST_F(Installed, HacksTheirSettingsAndTheirPageAreWhereXscreensaverLooks)
{
    for (const std::string hack : {"vornel", "vornel-single"}) {
        std::string path = prefix() + "/libexec/xscreensaver/" + hack;
        EXPECT_EQ(access(path.c_str(), X_OK), 0) << path;
        std::string settings = contents(prefix() + "/share/xscreensaver/config/" + hack + ".xml");
        EXPECT_NE(settings.find("<screensaver name=\"" + hack + "\""), std::string::npos) << hack;
        EXPECT_NE(settings.find("gl=\"yes\""), std::string::npos) << hack;
    }
    std::string page = prefix() + "/share/man/man6/vornel.6x.gz";
    CommandResult warnings = run_command("MANWIDTH=80 man --warnings -l " + shell_quoted(page) +
                                         " 2>&1 >/dev/null");
    EXPECT_EQ(warnings.output, "");
    CommandResult text = run_command("MANWIDTH=1000 man -l " + shell_quoted(page));
    ASSERT_EQ(text.status, 0) << text.output;
    for (const char* part : {"vornel, vornel-single - ", "--window-id", "--root",
                             "XSCREENSAVER_WINDOW", "SIGTERM", "programs"})
        EXPECT_NE(text.output.find(part), std::string::npos) << part;
    std::vector<std::string> paths = installed_paths_named(text.output);
    EXPECT_GE(paths.size(), 2u) << "the bitmaps";
    for (const std::string& path : paths)
        EXPECT_TRUE(fs::exists(path)) << "the page names " << path;
}

// What software centres read: valid AppStream metadata (without network:
// the screenshots' addresses are not fetched), whose launchables are the
// installed desktop entries, whose screenshots are the project's own
// pictures, and whose release is debian/changelog's latest.
TEST_F(Installed, AppStreamMetadataIsValidAndNamesTheEntriesPicturesAndChangelogsRelease)
{
    std::string metainfo = prefix() + "/" + METAINFO;
    CommandResult validate = run_command("appstreamcli validate --no-net " + shell_quoted(metainfo));
    EXPECT_EQ(validate.status, 0) << validate.output;
    for (const char* severity : {"E: ", "W: "})
        EXPECT_EQ(validate.output.find(severity), std::string::npos) << validate.output;

    std::string xml = contents(metainfo);
    for (const char* program : PROGRAMS) {
        std::string entry = std::string(program) + ".desktop";
        EXPECT_NE(xml.find("<launchable type=\"desktop-id\">" + entry + "</launchable>"),
                  std::string::npos) << entry;
        EXPECT_TRUE(fs::is_regular_file(prefix() + "/share/applications/" + entry)) << entry;
    }
    for (const std::string picture : {"layered.jpg", "single.jpg"}) {
        EXPECT_NE(xml.find("/" + picture + "</image>"), std::string::npos) << picture;
        EXPECT_TRUE(fs::is_regular_file(std::string(VORNEL_SOURCE_DIR) + "/docs/images/" + picture));
    }

    std::string changelog = shell_quoted(std::string(VORNEL_SOURCE_DIR) + "/debian/changelog");
    CommandResult release = run_command(
        "printf '<release version=\"%s\" date=\"%s\"/>' \"$(dpkg-parsechangelog -l " + changelog +
        " -S Version)\" \"$(date -u -d @$(dpkg-parsechangelog -l " + changelog +
        " -S Timestamp) +%F)\"");
    ASSERT_EQ(release.status, 0) << release.output;
    EXPECT_NE(xml.find(release.output), std::string::npos) << release.output << " in\n" << xml;
}
