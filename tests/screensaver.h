// xscreensaver as a user runs it, on a private display, and the windows
// its hacks are given: for the screensaver tests.
//
// xscreensaver refuses to run as root. Run as root (as in CI), it runs as
// the unprivileged user "nobody", in a home of its own whose
// ~/.xscreensaver names one hack only; otherwise as the current user.
#ifndef TESTS_SCREENSAVER_H
#define TESTS_SCREENSAVER_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "picture_file.h"
#include "program.h"
#include "temporary_folder.h"

class XScreensaver {
public:
    // hack: the path of the one program in the programs list, started with
    // the variables `hack_env` besides xscreensaver's own. Waits until
    // xscreensaver answers xscreensaver-command.
    XScreensaver(const std::string& display, const std::string& hack,
                 const std::map<std::string, std::string>& hack_env = {});
    // Ends xscreensaver, which ends its hacks; removes the home.
    ~XScreensaver();

    bool activate();    // xscreensaver-command -activate
    bool deactivate();  // xscreensaver-command -deactivate
    // The process ids of the hack's launches so far, in order.
    std::vector<int> launches();
    // The first launch's process id, waiting up to `seconds`; 0 if none.
    int wait_for_launch(double seconds);
    // xscreensaver's standard error, where its hacks' goes too.
    const std::string& standard_error() { return saver_->standard_error(); }

private:
    int command(const std::string& argument);

    std::string display_;
    TemporaryFolder home_;
    std::unique_ptr<Program> saver_;
};

// The window xscreensaver gave the hack `pid` (its XSCREENSAVER_WINDOW);
// 0 if none.
unsigned long given_window(int pid);

// Whether the process has ended (a zombie has, whoever reaps it).
bool process_ended(int pid);
// Waits up to `seconds` for it to end.
bool wait_until_ended(int pid, double seconds);

// A plain top-level window of the test's own, mapped, for --window-id:
// `width` × `height` pixels, named `name`.
class PlainWindow {
public:
    PlainWindow(const std::string& display, int width, int height, const std::string& name);
    ~PlainWindow();
    PlainWindow(const PlainWindow&) = delete;
    PlainWindow& operator=(const PlainWindow&) = delete;

    unsigned long id() const { return window_; }
    void destroy();

private:
    struct _XDisplay* x_;
    unsigned long window_;
};

// The root window of `display`, and what the whole screen shows.
unsigned long root_window(const std::string& display);
RgbImage screen_contents(const std::string& display);

// The share of pixels that differ by more than 16 levels in a channel
// between two pictures of one size.
double changed_share(const RgbImage& a, const RgbImage& b);

#endif
