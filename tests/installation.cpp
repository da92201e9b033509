#include "installation.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>


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
        "share/man/man6/vornel.6x.gz",
        METAINFO,
    };
    for (const char* hack : {"vornel", "vornel-single"}) {
        files.push_back(std::string("libexec/xscreensaver/") + hack);
        files.push_back(std::string("share/xscreensaver/config/") + hack + ".xml");
    }
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
