// A headless sway session for tests, with Xwayland, as a Wayland desktop
// gives one: the programs run in it natively or through Xwayland, driven
// with swaymsg and wtype and seen with grim.
//
// sway refuses to run as root. Run as root (as in CI), the session and
// everything started in it run as the unprivileged user "nobody", in a
// folder of the session's own with a 0700 runtime folder; otherwise as the
// current user.
#ifndef TESTS_SWAY_SESSION_H
#define TESTS_SWAY_SESSION_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "picture_file.h"
#include "program.h"
#include "temporary_folder.h"

class SwaySession {
public:
    SwaySession();   // waits until sway takes clients
    ~SwaySession();  // ends sway and Xwayland; removes the session's files

    // The folder with both programs and their bitmaps, which the session's
    // user can read and write.
    const std::string& folder() const { return folder_.path(); }
    const std::string& x_display() const { return x_display_; }

    // Starts `argv` in the session, as its user, with its environment and
    // `env` (a value "<unset>" unsets a variable).
    std::unique_ptr<Program> start(const std::vector<std::string>& argv,
                                   const std::map<std::string, std::string>& env = {});
    // Runs a tool (swaymsg, wtype, grim) to its end: its exit status, and
    // its standard output in `output` when given.
    int run(const std::vector<std::string>& argv, std::string* output = nullptr);

    // Waits up to `seconds` for `count` windows of the programs, native or
    // through Xwayland, found by their application id or class (which,
    // unlike the title, stay).
    bool wait_for_windows(int count, double seconds);
    // The whole output as grim sees it.
    RgbImage screenshot();
    // The compositor dies at once, as in a crash.
    void kill_compositor();

private:
    std::vector<std::string> as_session_user(const std::vector<std::string>& argv) const;
    std::map<std::string, std::string> environment() const;
    int xwayland_pid() const;
    static void wait_until_gone(int pid);
    void remove_x_lock();

    TemporaryFolder folder_;
    std::unique_ptr<Program> sway_;
    int sway_pid_ = 0;
    std::string wayland_display_, x_display_, ipc_socket_;
};

#endif
