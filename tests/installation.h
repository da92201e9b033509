// An installed Vornel as a user meets it: the files an installation must
// hold, and its commands run from a folder of the user's, on the private
// display, ended with a real key press. Shared by the tests of
// cmake --install and of the Debian package.
#ifndef TESTS_INSTALLATION_H
#define TESTS_INSTALLATION_H

#include <map>
#include <string>
#include <vector>

// A fresh folder under /tmp, removed with everything in it.
class TemporaryFolder {
public:
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

struct CommandResult {
    int status;          // the exit status, or -1 after a signal
    std::string output;  // standard output and standard error together
};

// Runs a command with /bin/sh.
CommandResult run_command(const std::string& command);

// Single quotes for the shell.
std::string shell_quoted(const std::string& text);

// Paths relative to the prefix that every installation holds.
std::vector<std::string> installed_files();

// The path under which `command` is found on `search_path` (a PATH value),
// or "" if it is not.
std::string find_on_path(const std::string& command, const std::string& search_path);

// The value of `key` in a desktop entry file, "" if it has none.
std::string desktop_entry_value(const std::string& file, const std::string& key);

struct RunResult {
    int status;  // -1 if it did not end
    std::string standard_error;
};

// Starts the program at `path` in `working_dir` on the private display,
// waits for its window, lets it draw for a moment, and presses a key (again
// every two seconds while it still runs).
// status -2: no window appeared.
RunResult run_until_key(const std::string& path, const std::string& working_dir,
                        const std::map<std::string, std::string>& env = {});

#endif
