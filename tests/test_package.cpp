// The Debian packages as scripts/package makes them with dpkg-buildpackage
// (in a copy of the tracked files, never in the work tree): the binary
// package's fields and files, the debug symbols package and the compiler
// flags it records, the source package, lintian's verdict on all of them,
// and the programs, unpacked into a private folder, run from a folder of
// the user's. Nothing is installed on the system; everything the build and
// the checks write stays in this test's own folder.
#include "installation.h"
#include "program.h"
#include "xvfb.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const std::string VERSION = VORNEL_VERSION;
const std::string SOURCE_DIR = VORNEL_SOURCE_DIR;

std::string trimmed(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

std::set<std::string> lines_of(const std::string& text)
{
    std::set<std::string> lines;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.insert(line);
    return lines;
}

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class Package : public ::testing::Test {
protected:
    // The packages come from the fixture package_deb (tests/CMakeLists.txt),
    // which runs scripts/package once for every package test; TMPDIR points
    // into its folder, where lintian's caches go too.
    static void SetUpTestSuite()
    {
        use_private_display();
        architecture_ = trimmed(run_command("dpkg --print-architecture").output);
        made_ = {fs::is_regular_file(deb()) ? 0 : 1, contents(VORNEL_PACKAGE_DIR "/made.log")};
    }

    void SetUp() override { ASSERT_EQ(made_.status, 0) << made_.output; }

    static std::string dist() { return VORNEL_PACKAGE_DIR "/dist"; }
    static std::string scratch() { return VORNEL_PACKAGE_DIR "/tmp"; }
    static std::string file(const std::string& package, const std::string& kind)
    {
        return dist() + "/" + package + "_" + VERSION + "_" + architecture_ + "." + kind;
    }
    static std::string deb() { return file("vornel", "deb"); }
    static std::string field(const std::string& package, const std::string& name)
    {
        return trimmed(run_command("dpkg-deb -f " + shell_quoted(package) + " " + name).output);
    }
    // The package's regular files and links, as "usr/...".
    static std::set<std::string> files_in(const std::string& package)
    {
        CommandResult list = run_command("dpkg-deb --fsys-tarfile " + shell_quoted(package) +
                                         " | tar -t | grep -v '/$' | sed 's|^\\./||'");
        EXPECT_EQ(list.status, 0) << list.output;
        return lines_of(list.output);
    }

    static CommandResult made_;

private:
    static std::string architecture_;
};

CommandResult Package::made_;
std::string Package::architecture_;

}  // namespace

TEST_F(Package, IsNamedAfterTheProjectVersionAndSaysSo)
{
    ASSERT_TRUE(fs::is_regular_file(deb())) << made_.output;
    EXPECT_NE(made_.output.find(deb() + "\n"), std::string::npos) << made_.output;
    EXPECT_EQ(field(deb(), "Package"), "vornel");
    EXPECT_EQ(field(deb(), "Version"), VERSION);
    EXPECT_EQ(field(deb(), "Section"), "games");
}

TEST_F(Package, DependsOnSdlOpenGlGluAndMesasDrivers)
{
    std::string depends = field(deb(), "Depends");
    for (const char* package : {"libsdl1.2debian", "libgl1", "libglu1", "libgl1-mesa-dri", "libc6"})
        EXPECT_NE(depends.find(package), std::string::npos) << package << " in " << depends;
}

TEST_F(Package, HoldsTheInstallationAndDebiansDocumentsAndNothingElse)
{
    std::set<std::string> expected = {"usr/share/doc/vornel/copyright",
                                      "usr/share/doc/vornel/changelog.gz"};
    for (const std::string& path : installed_files())
        expected.insert("usr/" + path);
    EXPECT_EQ(files_in(deb()), expected);
}

// The licence the package states is the project's LICENSE, word for word,
// in Debian's machine-readable copyright format.
TEST_F(Package, CopyrightFileStatesTheProjectsLicence)
{
    TemporaryFolder root;
    ASSERT_EQ(run_command("dpkg-deb -x " + shell_quoted(deb()) + " " + shell_quoted(root.path())).status, 0);
    std::string copyright = contents(root.path() + "/usr/share/doc/vornel/copyright");
    EXPECT_EQ(copyright.rfind("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n", 0), 0u);
    EXPECT_NE(copyright.find("\nFiles: *\nCopyright: 2026 The Vornel developers\nLicense: Expat\n"),
              std::string::npos) << copyright;

    std::string licence = contents(SOURCE_DIR + "/LICENSE");
    EXPECT_NE(licence.find("Copyright (c) 2026 The Vornel developers\n"), std::string::npos);
    std::stringstream lines(licence.substr(licence.find("Permission")));
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty()) {
            EXPECT_NE(copyright.find("\n " + line + "\n"), std::string::npos) << line;
        }
    }
}

// Debian's flags (-O2, the stack protector) reach the compiler, and the
// project's -ffp-contract=off comes after them, so that none of them can
// turn fused multiply-adds back on: the debug information records each
// unit's command line.
TEST_F(Package, DebugSymbolsComeAsAPackageAndRecordTheCompilerFlags)
{
    std::string dbgsym = file("vornel-dbgsym", "deb");
    ASSERT_TRUE(fs::is_regular_file(dbgsym));
    EXPECT_EQ(field(dbgsym, "Depends"), "vornel (= " + VERSION + ")");

    TemporaryFolder root;
    ASSERT_EQ(run_command("dpkg-deb -x " + shell_quoted(dbgsym) + " " + shell_quoted(root.path())).status, 0);
    CommandResult producers = run_command(
        "find " + shell_quoted(root.path()) + " -name '*.debug' -exec readelf -z -p .debug_str {} + "
        "| grep -o 'GNU C++.*' | sort -u");
    std::set<std::string> lines = lines_of(producers.output);
    ASSERT_FALSE(lines.empty()) << producers.output;
    for (const std::string& line : lines) {
        EXPECT_NE(line.find(" -O2 "), std::string::npos) << line;
        EXPECT_NE(line.find(" -fstack-protector-strong "), std::string::npos) << line;
        EXPECT_EQ(line.find("-ffast-math"), std::string::npos) << line;
        size_t contract = line.rfind("-ffp-contract=");
        ASSERT_NE(contract, std::string::npos) << line;
        EXPECT_EQ(line.compare(contract, 17, "-ffp-contract=off"), 0) << line;
        EXPECT_GT(contract, line.find(" -fstack-protector-strong ")) << line;
    }
}

// The source package holds the tracked files, not the work tree's builds.
TEST_F(Package, SourcePackageHoldsTrackedFilesOnly)
{
    std::string dsc = dist() + "/vornel_" + VERSION + ".dsc";
    ASSERT_TRUE(fs::is_regular_file(dsc));
    CommandResult listed = run_command("tar -tJf " + shell_quoted(dist() + "/vornel_" + VERSION + ".tar.xz") +
                                       " | grep -v '/$' | sed 's|^vornel-" + VERSION + "/||'");
    ASSERT_EQ(listed.status, 0) << listed.output;
    std::set<std::string> tracked = lines_of(run_command("git -C " + shell_quoted(SOURCE_DIR) + " ls-files").output);
    std::set<std::string> sources = lines_of(listed.output);
    for (const std::string& path : sources)
        EXPECT_EQ(tracked.count(path), 1u) << path << " is not a tracked file";
    for (const char* path : {"CMakeLists.txt", "LICENSE", "debian/rules", "debian/control", "src/main.cpp"})
        EXPECT_EQ(sources.count(path), 1u) << path;
}

TEST_F(Package, LintianFindsNeitherErrorsNorWarningsInSourceAndBinaries)
{
    CommandResult lintian = run_command("TMPDIR=" + shell_quoted(scratch()) +
                                        " lintian --fail-on error,warning " +
                                        shell_quoted(file("vornel", "changes")));
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

// The screensavers work only where xscreensaver is; the package works
// without it.
TEST_F(Package, SuggestsXscreensaverForItsHacks)
{
    EXPECT_EQ(field(deb(), "Suggests"), "xscreensaver");
    EXPECT_EQ(field(deb(), "Depends").find("xscreensaver"), std::string::npos);
}
