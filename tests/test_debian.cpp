// The Debian package on the systems its users have: installed with apt
// into minimal Debian 12 and 13 systems (mmdebstrap's apt variant, from
// Debian's archive), each unpacked afresh for a test. The commands run from
// the root folder on an Xvfb of this test's, whose socket is shared in;
// the package's own autopkgtest runs with one of the systems as testbed.
//
// The package (scripts/package deb) and the systems' tarballs come from
// the fixtures package_deb and debian_systems (tests/CMakeLists.txt). What
// apt downloads is kept beside the tarballs for the next run.
#include "desktop.h"
#include "installation.h"
#include "xvfb.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <iostream>
#include <memory>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const std::string SYSTEMS_DIR = VORNEL_DEBIAN_SYSTEMS_DIR;
const std::string PACKAGE_DIR = VORNEL_PACKAGE_DIR;
const std::string SOURCE_DIR = VORNEL_SOURCE_DIR;
const std::string DEB = "vornel_" VORNEL_VERSION "_amd64.deb";

// The mounts of tests/with_debian_system live in a namespace of their own,
// with every process of the command: none can outlive it, or be seen here.
std::vector<std::string> with_system(const std::string& root)
{
    return {"unshare", "--mount", "--propagation", "private", "--pid", "--fork", "--kill-child",
            SOURCE_DIR + "/tests/with_debian_system", root};
}

// Whether anything is mounted at or under `path` here; the test's own
// mounts never are, but a folder with a mount in it is never deleted.
bool mounted_under(const std::string& path)
{
    CommandResult mounts = run_command("cut -d' ' -f5 /proc/self/mountinfo");
    std::stringstream lines(mounts.output);
    for (std::string point; std::getline(lines, point);)
        if (point == path || point.rfind(path + "/", 0) == 0)
            return true;
    return false;
}

// Removes a system's folder, left by this test or by one that was killed.
void remove_system(const std::string& path)
{
    if (mounted_under(path))
        throw std::runtime_error("something is mounted under " + path + ": not deleted");
    fs::remove_all(path);
}

// Runs `words` as a child that dies with the test, however it ends, and
// takes the namespaces of tests/with_debian_system with it; its standard
// output and error together.
CommandResult run_with_test(const std::vector<std::string>& words)
{
    std::vector<std::string> args = {"-c", "exec 1>&2; exec \"$@\"", "sh"};
    args.insert(args.end(), words.begin(), words.end());
    Program run("sh", "/", {}, args);
    int status = run.wait(600);
    return {status, run.standard_error()};
}

// A Debian system unpacked from its tarball into a folder beside it, one
// for each suite: a run that was killed leaves its folder to the next.
class DebianSystem {
public:
    explicit DebianSystem(const std::string& suite)
        : suite_(suite), root_(SYSTEMS_DIR + "/" + suite + "-root")
    {
        remove_system(root_);
        fs::create_directory(root_);
        std::string tarball = SYSTEMS_DIR + "/" + suite + ".tar";
        CommandResult unpacked = run_command("tar -xf " + shell_quoted(tarball) + " -C " +
                                             shell_quoted(root()));
        if (unpacked.status != 0)
            throw std::runtime_error("cannot unpack " + tarball + ": " + unpacked.output);
        fs::create_directories(downloads());
        run_command("cp -n " + shell_quoted(downloads()) + "/*.deb " + shell_quoted(archives()));
        fs::copy_file(PACKAGE_DIR + "/dist/" + DEB, root() + "/tmp/" + DEB);
    }
    // apt's downloads are kept for the next system of this suite.
    ~DebianSystem()
    {
        run_command("cp -n " + shell_quoted(archives()) + "/*.deb " + shell_quoted(downloads()));
        try {
            remove_system(root_);
        } catch (const std::exception& error) {
            ADD_FAILURE() << error.what();
        }
    }

    const std::string& root() const { return root_; }

    // A shell command run as root in the system, in a clean environment.
    CommandResult run(const std::string& command) const
    {
        return run_with_test(chroot_command(command));
    }
    // The same, left running: its standard error is the Program's.
    std::unique_ptr<Program> start(const std::string& command) const
    {
        std::vector<std::string> words = chroot_command(command);
        return std::make_unique<Program>(words[0], "/", std::map<std::string, std::string>{},
                                         std::vector<std::string>(words.begin() + 1, words.end()));
    }
    // Something run out here while the system's mounts are in place.
    CommandResult run_beside(const std::vector<std::string>& command) const
    {
        std::vector<std::string> words = with_system(root());
        words.insert(words.end(), command.begin(), command.end());
        return run_with_test(words);
    }

    CommandResult apt_install(const std::string& packages) const
    {
        return run("apt-get update -qq && apt-get install -y -q --no-install-recommends " + packages);
    }
    CommandResult install_package() const { return apt_install("/tmp/" + DEB); }

    // "package version (source)" of each package that holds SDL 1.2's
    // library, a line each.
    std::string sdl() const
    {
        CommandResult found = run(
            "dpkg-query -W -f='${Package} ${Version} (${source:Package})\\n' "
            "$(dpkg-query -S '*/libSDL-1.2.so.0' | cut -d: -f1)");
        return found.status == 0 ? found.output : "none: " + found.output;
    }

private:
    std::vector<std::string> chroot_command(const std::string& command) const
    {
        std::vector<std::string> words = with_system(root());
        const char* environment[] = {"env", "-i", "PATH=/usr/local/bin:/usr/bin:/bin:/usr/games",
                                     "HOME=/root", "LANG=C.UTF-8", "DEBIAN_FRONTEND=noninteractive"};
        words.insert(words.end(), {"chroot", root()});
        words.insert(words.end(), std::begin(environment), std::end(environment));
        if (getenv("DISPLAY"))
            words.push_back(std::string("DISPLAY=") + getenv("DISPLAY"));
        words.insert(words.end(), {"sh", "-c", command});
        return words;
    }
    std::string downloads() const { return SYSTEMS_DIR + "/" + suite_ + "-downloads"; }
    std::string archives() const { return root() + "/var/cache/apt/archives"; }

    std::string suite_, root_;
};

struct Release {
    const char* name;  // for the tests' names
    const char* suite;
};

std::ostream& operator<<(std::ostream& out, const Release& release)
{
    return out << release.name << " (" << release.suite << ")";
}

// The SDL each system got, in the test's output and its XML report.
void record_sdl(const Release& release, const std::string& sdl)
{
    std::cout << release << " gets SDL 1.2 from:\n" << sdl;
    ::testing::Test::RecordProperty("sdl", sdl);
}

// The command started from the root folder, its window made 1280 × 960
// through the shared X server, a key pressed; its exit status, or -1.
int run_in_big_window(const DebianSystem& system, const std::string& command,
                      const std::function<std::string(const RgbImage&)>& fault, std::string& error)
{
    std::unique_ptr<Program> run = system.start("cd / && exec " + command);
    Desktop x(getenv("DISPLAY"));
    XClient keys(getenv("DISPLAY"));
    Window window = keys.find_window(LOADED_WAIT_SECONDS);
    if (!window) {
        run->wait(1);
        error = "no window: " + run->standard_error();
        return -1;
    }
    x.move_resize(window, 0, 0, 1280, 960);
    // Frames at the new size may take a while on a loaded machine.
    double deadline = now_ms() + LOADED_WAIT_SECONDS * 1000;
    while (!(error = fault(x.contents(window))).empty() && now_ms() < deadline)
        sleep_ms(250);
    if (int width = x.contents(window).width; width != 1280)
        error += "; the window is " + std::to_string(width) + " wide";
    keys.press_key(window, "space");
    int status = run->wait(LOADED_WAIT_SECONDS);
    if (!run->standard_error().empty())
        error += "; standard error: " + run->standard_error();
    return status;
}

class InstalledWithApt : public ::testing::TestWithParam<Release> {};

}  // namespace

// apt chooses SDL 1.2 as sdl12-compat: a bigger window shows the picture
// scaled to fit. The system's own AppStream, which its software centres
// use, finds the metadata valid. Purged, nothing of the package stays.
TEST_P(InstalledWithApt, CommandsRunFromTheRootFillABigWindowEndOnAKeyAndPurgeClean)
{
    Xvfb server(true, "1600x1200");
    setenv("DISPLAY", server.display().c_str(), 1);
    DebianSystem system(GetParam().suite);
    CommandResult install = system.install_package();
    ASSERT_EQ(install.status, 0) << install.output;
    std::string sdl = system.sdl();
    record_sdl(GetParam(), sdl);
    EXPECT_NE(sdl.find(" (sdl12-compat)\n"), std::string::npos) << sdl;

    ASSERT_EQ(system.apt_install("appstream").status, 0);
    CommandResult valid = system.run("appstreamcli validate --no-net /usr/" + METAINFO);
    EXPECT_EQ(valid.status, 0) << valid.output;
    for (const char* severity : {"E: ", "W: "})
        EXPECT_EQ(valid.output.find(severity), std::string::npos) << valid.output;

    for (const char* command : {"vornel_layered", "vornel_single"}) {
        std::string error;
        EXPECT_EQ(run_in_big_window(system, command, fill_fault, error), 0) << command;
        EXPECT_EQ(error, "") << command;
    }

    CommandResult listed = system.run("dpkg-query -L vornel");
    ASSERT_EQ(listed.status, 0) << listed.output;
    std::vector<std::string> files;
    std::stringstream lines(listed.output);
    for (std::string path; std::getline(lines, path);)
        if (!fs::is_directory(system.root() + path))
            files.push_back(path);
    ASSERT_GE(files.size(), installed_files().size()) << listed.output;

    CommandResult purge = system.run("apt-get purge -y -q vornel");
    ASSERT_EQ(purge.status, 0) << purge.output;
    for (const std::string& path : files)
        EXPECT_FALSE(fs::exists(fs::symlink_status(system.root() + path))) << path;
    EXPECT_NE(system.run("dpkg-query -W -f='${db:Status-Abbrev}' vornel").output, "ii ");
}

INSTANTIATE_TEST_SUITE_P(, InstalledWithApt,
                         ::testing::Values(Release{"Debian12", "bookworm"},
                                           Release{"Debian13", "trixie"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A Debian 12 user who has the classic SDL 1.2.15 keeps it: the package
// takes it as it is. A bigger window then shows the picture at 640 × 480 in
// its top-left corner, black beside and below it (the README's Known
// limits).
TEST(Debian12, AClassicSdlAlreadyInstalledStaysAndShowsThePictureInATopLeftCorner)
{
    Xvfb server(true, "1600x1200");
    setenv("DISPLAY", server.display().c_str(), 1);
    DebianSystem system("bookworm");
    CommandResult classic = system.apt_install("libsdl1.2debian");
    ASSERT_EQ(classic.status, 0) << classic.output;
    std::string before = system.sdl();
    ASSERT_NE(before.find(" (libsdl1.2)\n"), std::string::npos) << before;

    CommandResult install = system.install_package();
    ASSERT_EQ(install.status, 0) << install.output;
    EXPECT_EQ(system.sdl(), before);
    record_sdl({"Debian12 with classic SDL", "bookworm"}, system.sdl());

    auto corner_fault = [](const RgbImage& image) {
        std::string fault = fill_fault(crop(image, 0, 0, 640, 480));
        RgbImage right = crop(image, 640, 0, image.width - 640, image.height);
        RgbImage below = crop(image, 0, 480, 640, image.height - 480);
        for (const RgbImage* part : {&right, &below})
            if (part->rgb.empty() || part->rgb != std::vector<unsigned char>(part->rgb.size(), 0))
                fault += "; not black beside the corner";
        return fault;
    };
    std::string error;
    EXPECT_EQ(run_in_big_window(system, "vornel_layered", corner_fault, error), 0);
    EXPECT_EQ(error, "");
}

// debian/tests: the package's own autopkgtest, with a Debian 13 system as
// the testbed (autopkgtest-virt-chroot, which installs the test's
// dependencies with the system's apt).
TEST(Debian13, AutopkgtestPasses)
{
    DebianSystem system("trixie");
    TemporaryFolder source;
    CommandResult unpacked = run_command("dpkg-source -x " + shell_quoted(PACKAGE_DIR +
                                         "/dist/vornel_" VORNEL_VERSION ".dsc") + " " +
                                         shell_quoted(source / "vornel"));
    ASSERT_EQ(unpacked.status, 0) << unpacked.output;
    CommandResult tested = system.run_beside({"autopkgtest", PACKAGE_DIR + "/dist/" + DEB,
                                              source / "vornel/", "--", "chroot", system.root()});
    EXPECT_EQ(tested.status, 0) << tested.output;
    EXPECT_NE(tested.output.find("vornel_layered: status 0\nvornel_single: status 0\n"),
              std::string::npos) << tested.output;
}
