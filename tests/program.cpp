#include "program.h"

#include <X11/Xlib.h>

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <strings.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

double now_ms()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

Program::Program(const std::string& path, const std::string& working_dir,
                 const std::map<std::string, std::string>& env,
                 const std::vector<std::string>& args)
{
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ == 0) {
        // A test that dies leaves no program behind: without its X server,
        // SDL 2.26 would spin for ever in its exit handler.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        dup2(fds[1], STDERR_FILENO);
        close(fds[0]);
        close(fds[1]);
        if (chdir(working_dir.c_str()) != 0)
            _exit(126);
        for (const auto& [name, value] : env) {
            if (value == "<unset>")
                unsetenv(name.c_str());
            else
                setenv(name.c_str(), value.c_str(), 1);
        }
        execvp(path.c_str(), argv.data());  // a bare name is looked up in PATH
        _exit(127);
    }
    close(fds[1]);
    stderr_fd_ = fds[0];
    fcntl(stderr_fd_, F_SETFL, O_NONBLOCK);
}

Program::~Program()
{
    if (running()) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    close(stderr_fd_);
}

void Program::read_available()
{
    char buffer[4096];
    ssize_t got;
    while ((got = read(stderr_fd_, buffer, sizeof buffer)) > 0)
        stderr_.append(buffer, got);
}

bool Program::running()
{
    if (status_ != -2)
        return false;
    int status;
    rusage usage = {};
    if (wait4(pid_, &status, WNOHANG, &usage) == 0)
        return true;
    max_rss_kib_ = usage.ru_maxrss;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    read_available();
    return false;
}

int Program::wait(double seconds)
{
    double deadline = now_ms() + seconds * 1000;
    while (running()) {
        read_available();
        if (now_ms() > deadline)
            return -1;
        sleep_ms(10);
    }
    return status_;
}

long Program::resident_kib() const
{
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

const std::string& Program::standard_error()
{
    read_available();
    return stderr_;
}

// Windows of other programs come and go while a test looks at them (Wine
// makes and drops short-lived ones): one that closed between being listed
// and being asked its title is no error.
// Every other X error still ends the test through Xlib's own handler.
static XErrorHandler xlib_handler;

static int ignore_vanished_windows(Display* display, XErrorEvent* error)
{
    if (error->error_code == BadWindow)
        return 0;
    return xlib_handler(display, error);
}

XClient::XClient(const std::string& display)
{
    if (!xlib_handler)
        xlib_handler = XSetErrorHandler(ignore_vanished_windows);
    display_ = XOpenDisplay(display.c_str());
    if (!display_)
        throw std::runtime_error("cannot open display " + display);
}

XClient::~XClient() { XCloseDisplay(display_); }

std::string XClient::title(Window window)
{
    char* name = nullptr;
    std::string text;
    if (XFetchName(display_, window, &name) && name)
        text = name;
    XFree(name);
    return text;
}

std::string XClient::wait_for_title(Window window, const std::string& prefix, double seconds)
{
    double deadline = now_ms() + seconds * 1000;
    std::string text = title(window);
    while (text.rfind(prefix, 0) != 0 && now_ms() < deadline) {
        sleep_ms(50);
        text = title(window);
    }
    return text;
}

// Whether the window is one of the programs', shown, with a title that
// starts with `title`. Its class is the program's name ("vornel_layered",
// "vornel-single", "vornel_single.exe" under Wine), which stays while the
// title changes from the start-up caption to the frame rate.
static bool ours(Display* x, Window window, const std::string& title)
{
    XClassHint hint = {};
    if (!XGetClassHint(x, window, &hint))
        return false;
    bool match = hint.res_name && strncasecmp(hint.res_name, "vornel", 6) == 0;
    XFree(hint.res_name);
    XFree(hint.res_class);
    XWindowAttributes attributes;
    char* name = nullptr;
    match = match && XGetWindowAttributes(x, window, &attributes) &&
            attributes.map_state == IsViewable && XFetchName(x, window, &name) && name && *name &&
            std::string(name).rfind(title, 0) == 0;
    XFree(name);
    return match;
}

// At any depth: a window manager reparents clients into frames.
static Window search(Display* x, Window under, const std::string& title)
{
    if (ours(x, under, title))
        return under;
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(x, under, &root, &parent, &children, &count))
        for (unsigned i = 0; i < count && !found; i++)
            found = search(x, children[i], title);
    XFree(children);
    return found;
}

// Windows come and go while the tree is walked: one gone between being
// listed and being asked is no error.
static int ignore_errors(Display*, XErrorEvent*) { return 0; }

Window XClient::find_window(double seconds, const std::string& title)
{
    XErrorHandler before = XSetErrorHandler(ignore_errors);
    double deadline = now_ms() + seconds * 1000;
    Window found = 0;
    while (!(found = search(display_, DefaultRootWindow(display_), title)) && now_ms() < deadline)
        sleep_ms(20);
    XSync(display_, False);
    XSetErrorHandler(before);
    return found;
}

void XClient::press_key(Window window, const char* keysym_name)
{
    KeyCode code = XKeysymToKeycode(display_, XStringToKeysym(keysym_name));
    XSetInputFocus(display_, window, RevertToParent, CurrentTime);
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    XFlush(display_);
}

void XClient::move_and_click(Window window)
{
    XWindowAttributes attributes;
    XGetWindowAttributes(display_, window, &attributes);
    XSetInputFocus(display_, window, RevertToParent, CurrentTime);
    for (int step = 0; step < 10; step++)
        XTestFakeMotionEvent(display_, -1, attributes.x + 50 + 40 * step,
                             attributes.y + 60 + 30 * step, CurrentTime);
    for (unsigned button = 1; button <= 3; button++) {
        XTestFakeButtonEvent(display_, button, True, CurrentTime);
        XTestFakeButtonEvent(display_, button, False, CurrentTime);
    }
    XFlush(display_);
}

void XClient::move_pointer(int dx, int dy)
{
    XTestFakeRelativeMotionEvent(display_, dx, dy, CurrentTime);
    XSync(display_, False);
}

void XClient::click()
{
    XTestFakeButtonEvent(display_, 1, True, CurrentTime);
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    XSync(display_, False);
}

void XClient::request_close(Window window)
{
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)XInternAtom(display_, "WM_DELETE_WINDOW", False);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, window, False, NoEventMask, &event);
    XFlush(display_);
}

RunResult run_until_key(const std::string& path, const std::string& working_dir,
                        const std::map<std::string, std::string>& env)
{
    Program run(path, working_dir, env);
    XClient x(getenv("DISPLAY"));
    Window window = x.find_window(LOADED_WAIT_SECONDS);
    if (!window)
        return {-2, run.standard_error()};
    sleep_ms(200);  // some frames
    x.press_key(window, "space");
    int status = run.wait(LOADED_WAIT_SECONDS);
    return {status, run.standard_error()};
}
