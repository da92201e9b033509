// The Debian package as scripts/package makes it: its name and control
// fields, the files it holds, lintian's verdict, and its contents, unpacked
// into a private folder, run from a folder of the user's. Nothing is
// installed on the system.
#include "installation.h"
#include "program.h"
#include "xvfb.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const std::string VERSION = VORNEL_VERSION;

std::string trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

class Package : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        use_private_display();
        dist_ = new TemporaryFolder;
        made_ = run_command("VORNEL_DIST=" + shell_quoted(dist_->path()) + " " +
                            shell_quoted(VORNEL_SOURCE_DIR "/scripts/package") + " deb");
        architecture_ = trimmed(run_command("dpkg --print-architecture").output);
    }
    static void TearDownTestSuite() { delete dist_; }

    void SetUp() override { ASSERT_EQ(made_.status, 0) << made_.output; }

    static std::string deb()
    {
        return dist_->path() + "/vornel_" + VERSION + "_" + architecture_ + ".deb";
    }
    static std::string field(const std::string& name)
    {
        return trimmed(run_command("dpkg-deb -f " + shell_quoted(deb()) + " " + name).output);
    }

private:
    static TemporaryFolder* dist_;
    static CommandResult made_;
    static std::string architecture_;
};

TemporaryFolder* Package::dist_ = nullptr;
CommandResult Package::made_;
std::string Package::architecture_;

}  // namespace

TEST_F(Package, IsNamedAfterTheProjectVersionAndSaysSo)
{
    ASSERT_TRUE(fs::is_regular_file(deb())) << "scripts/package said: " << deb();
    EXPECT_EQ(field("Package"), "vornel");
    EXPECT_EQ(field("Version"), VERSION);
    EXPECT_EQ(field("Section"), "games");
}

TEST_F(Package, DependsOnSdlOpenGlGluAndMesasDrivers)
{
    std::string depends = field("Depends");
    for (const char* package : {"libsdl1.2debian", "libgl1", "libglu1", "libgl1-mesa-dri", "libc6"})
        EXPECT_NE(depends.find(package), std::string::npos) << package << " in " << depends;
}

TEST_F(Package, HoldsBothCommandsBitmapsEntriesIconsAndPagesUnderUsr)
{
    CommandResult list = run_command("dpkg-deb --fsys-tarfile " + shell_quoted(deb()) + " | tar -t");
    ASSERT_EQ(list.status, 0) << list.output;
    std::set<std::string> files;
    std::stringstream lines(list.output);
    for (std::string line; std::getline(lines, line);) {
        files.insert(line);
        EXPECT_TRUE(line == "./" || line.rfind("./usr/", 0) == 0) << line;
    }
    for (const std::string& file : installed_files())
        EXPECT_EQ(files.count("./usr/" + file), 1u) << file;
}

TEST_F(Package, LintianFindsNeitherErrorsNorWarnings)
{
    TemporaryFolder scratch;  // lintian leaves its caches in TMPDIR
    CommandResult lintian = run_command("TMPDIR=" + shell_quoted(scratch.path()) +
                                        " lintian --fail-on error,warning " + shell_quoted(deb()));
    EXPECT_EQ(lintian.status, 0);
    // Lintian's remark on being run as root is no finding about the package.
    const std::string as_root = "running with root privileges is not recommended!\n";
    size_t remark = lintian.output.find(as_root);
    if (remark != std::string::npos)
        lintian.output.erase(remark, as_root.size());
    EXPECT_EQ(lintian.output, "");
}

TEST_F(Package, UnpackedCommandsRunFromAnotherFolderAndEndWithZeroOnAKey)
{
    TemporaryFolder root, elsewhere;
    CommandResult unpack = run_command("dpkg-deb -x " + shell_quoted(deb()) + " " +
                                       shell_quoted(root.path()));
    ASSERT_EQ(unpack.status, 0) << unpack.output;
    for (const char* program : {"vornel_layered", "vornel_single"}) {
        RunResult run = run_until_key(root.path() + "/usr/games/" + program, elsewhere.path());
        EXPECT_EQ(run.status, 0) << program;
        EXPECT_EQ(run.standard_error, "") << program;
    }
}
