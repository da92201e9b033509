#include "installation.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

#include "program.h"

#include <X11/Xlib.h>

TemporaryFolder::TemporaryFolder()
{
    char pattern[] = "/tmp/vornel-installation-XXXXXX";
    if (!mkdtemp(pattern))
        throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TemporaryFolder::~TemporaryFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

CommandResult run_command(const std::string& command)
{
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        throw std::runtime_error("popen failed: " + command);
    CommandResult result{-1, ""};
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, got);
    int status = pclose(pipe);
    if (status != -1 && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    return result;
}

std::string shell_quoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::vector<std::string> installed_files()
{
    std::vector<std::string> files = {
        "share/games/vornel/organ.bmp",
        "share/games/vornel/veins.bmp",
        "share/doc/vornel/copyright",
        "share/doc/vornel/changelog.gz",
    };
    for (const char* program : {"vornel_layered", "vornel_single"}) {
        std::string name = program;
        files.push_back("games/" + name);
        files.push_back("lib/games/vornel/" + name);
        files.push_back("share/applications/" + name + ".desktop");
        files.push_back("share/man/man6/" + name + ".6.gz");
        files.push_back("share/icons/hicolor/48x48/apps/" + name + ".png");
        files.push_back("share/icons/hicolor/256x256/apps/" + name + ".png");
    }
    return files;
}

std::string find_on_path(const std::string& command, const std::string& search_path)
{
    std::stringstream folders(search_path);
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        std::string path = folder + "/" + command;
        if (!folder.empty() && access(path.c_str(), X_OK) == 0)
            return path;
    }
    return "";
}

std::string desktop_entry_value(const std::string& file, const std::string& key)
{
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key + "=", 0) == 0)
            return line.substr(key.size() + 1);
    return "";
}

// A window can go away between being found and being pressed on; Xlib's
// default handler would then end the whole test program, leaving the
// program it started running.
static int ignore_x_errors(_XDisplay*, XErrorEvent*) { return 0; }

RunResult run_until_key(const std::string& path, const std::string& working_dir,
                        const std::map<std::string, std::string>& env)
{
    const int presses = 5;
    const double press_interval_seconds = 2;
    XSetErrorHandler(ignore_x_errors);
    Program run(path, working_dir, env);
    XClient x(getenv("DISPLAY"));
    Window window = x.find_window("Vornel", 10);
    if (!window)
        return {-2, run.standard_error()};
    sleep_ms(200);  // some frames
    for (int press = 0; press < presses; press++) {
        x.press_key(window, "space");
        int status = run.wait(press_interval_seconds);
        if (status != -1 || !run.running())
            return {status, run.standard_error()};
        // Still running (a slow exit, or a window made anew): press again,
        // on the window it shows now if it shows one.
        if (Window now = x.find_window("Vornel", 0))
            window = now;
    }
    return {run.wait(press_interval_seconds), run.standard_error()};
}
