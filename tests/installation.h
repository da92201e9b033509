// An installed Vornel as a user meets it: the files an installation must
// hold, its desktop entries, and shell commands run on it. Shared by the
// tests of cmake --install and of the Debian package.
#ifndef TESTS_INSTALLATION_H
#define TESTS_INSTALLATION_H

#include <string>
#include <vector>

#include "temporary_folder.h"

struct CommandResult {
    int status;          // the exit status, or -1 after a signal
    std::string output;  // standard output and standard error together
};

// Runs a command with /bin/sh.
CommandResult run_command(const std::string& command);

// Single quotes for the shell.
std::string shell_quoted(const std::string& text);

// The AppStream metadata, relative to the prefix.
const std::string METAINFO = "share/metainfo/example.c_seed_17a40484.vornel.metainfo.xml";

// Paths relative to the prefix that every installation holds; the
// documents beside them differ between cmake --install and the package.
std::vector<std::string> installed_files();

// The path under which `command` is found on `search_path` (a PATH value),
// or "" if it is not.
std::string find_on_path(const std::string& command, const std::string& search_path);

// The value of `key` in a desktop entry file, "" if it has none.
std::string desktop_entry_value(const std::string& file, const std::string& key);


#endif
