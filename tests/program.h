// Runs one of the programs as a separate process, and drives its window
// with real X events: XTest key presses and pointer moves, and the
// WM_DELETE_WINDOW message a window manager sends for a close.
#ifndef TESTS_PROGRAM_H
#define TESTS_PROGRAM_H

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

class Program {
public:
    // env: variables to set, or to unset where the value is "<unset>";
    // args: the arguments after the program's own name.
    Program(const std::string& path, const std::string& working_dir,
            const std::map<std::string, std::string>& env = {},
            const std::vector<std::string>& args = {});
    ~Program();  // kills it if it still runs

    bool running();
    int pid() const { return (int)pid_; }
    // Waits up to `seconds`; the exit status, or -1 on a timeout or a signal.
    int wait(double seconds);
    // Standard error so far; complete once wait() has returned.
    const std::string& standard_error();
    // The most memory it ever held, once it has ended.
    long max_resident_kib() const { return max_rss_kib_; }
    // The memory it holds now, while it runs; -1 once it has ended.
    long resident_kib() const;

private:
    void read_available();
    pid_t pid_;
    int stderr_fd_;
    int status_ = -2;
    long max_rss_kib_ = 0;
    std::string stderr_;
};

// Xlib's own header is kept out of the tests: its macros (None, Bool,
// Status) clash with GoogleTest's.
struct _XDisplay;
using Window = unsigned long;

class XClient {
public:
    explicit XClient(const std::string& display);
    ~XClient();

    // The window of one of the programs, found by its class at any depth
    // once it is viewable and titled (with a title that starts with
    // `title`: one that stays, as a dialog's or the frame rate's once it
    // has come), waiting up to `seconds`; 0 if none appears.
    Window find_window(double seconds, const std::string& title = "");
    std::string title(Window window);
    // Waits up to `seconds` for the window's title to start with `prefix`;
    // the last title seen.
    std::string wait_for_title(Window window, const std::string& prefix, double seconds);
    void press_key(Window window, const char* keysym_name);
    void move_and_click(Window window);
    // Where the pointer is: moved by dx, dy pixels; clicked with the first
    // button.
    void move_pointer(int dx, int dy);
    void click();
    void request_close(Window window);

private:
    _XDisplay* display_;
};

struct RunResult {
    int status;  // -1 if it did not end
    std::string standard_error;
};

// Starts the program at `path` in `working_dir` on the private display,
// waits for its window, lets it draw for a moment, and presses a key.
// status -2: no window appeared.
RunResult run_until_key(const std::string& path, const std::string& working_dir,
                        const std::map<std::string, std::string>& env = {});

// How long a test waits for what it does not measure (a window to appear,
// a program to end): the machine may be loaded many times over.
constexpr double LOADED_WAIT_SECONDS = 30;

// Milliseconds since some fixed moment.
double now_ms();
void sleep_ms(int ms);

#endif
