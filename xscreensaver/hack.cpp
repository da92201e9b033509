// Vornel as an xscreensaver hack: the program's own start-up and loop
// (src/main.cpp's main, renamed vornel_main), drawing into the window
// xscreensaver gives it, or one named on the command line. What a
// screensaver needs and a program of its own does not is all here:
//
// - SDL 1.2 on SDL 2 (sdl12-compat) draws into a foreign window named by
//   SDL_WINDOWID, as OpenGL only when SDL_VIDEO_FOREIGN_WINDOW_OPENGL is
//   set too, and scales the 640 × 480 picture to it, 4:3 and centred;
// - the bitmaps are read from their installed folder, wherever the hack is
//   started;
// - SIGTERM, which xscreensaver sends while it destroys the window, ends
//   the hack at once with status 0, and an X error about that window going
//   away does too, whichever comes first;
// - the frame-rate caption is kept off windows that are not the hack's;
// - frames come no faster than --delay allows (xscreensaver's "Frame
//   rate"), so that a saver on a machine without vsync leaves the CPU
//   mostly idle;
// - a start-up fault is reported once: under xscreensaver the hack then
//   waits for its SIGTERM rather than ending, since xscreensaver would
//   start it again at once, over and over.
//
// The link wraps three of the program's calls (-Wl,--wrap): SDL_WM_SetCaption,
// SDL_GL_SwapBuffers, and exit, through which every start-up fault of the
// program goes.
#include <X11/Xlib.h>
#include <SDL.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/prctl.h>
#include <unistd.h>

#include "options.h"

int vornel_main(int argc, char* argv[]);  // src/main.cpp's main, renamed

extern "C" {
[[noreturn]] void __real_exit(int status);
void __real_SDL_WM_SetCaption(const char* title, const char* icon);
void __real_SDL_GL_SwapBuffers();
}

static bool own_window = true;         // no foreign window: captions are ours
static bool under_xscreensaver = false;
static pid_t starter = 0;              // the process that started the hack
static long delay_us = 0;              // from one frame's start to the next's
static long long frame_start;          // the current frame's, in ns (monotonic)

// Async-signal-safe: nothing of SDL or Xlib runs after the window has gone.
static void end_at_once(int) { _exit(0); }

// Waits, drawing nothing, until SIGTERM (or the end of the process that
// started the hack) ends it.
[[noreturn]] static void wait_for_the_end()
{
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != starter)  // it has already gone
        _exit(0);
    for (;;)
        pause();
}

// A fault that will not go away by itself: one line, then the end, or
// under xscreensaver the wait.
[[noreturn]] static void fail(int status, const std::string& message)
{
    if (!message.empty())
        fprintf(stderr, "%s: %s\n", VORNEL_HACK_NAME, message.c_str());
    fflush(stderr);
    if (under_xscreensaver)
        wait_for_the_end();
    __real_exit(status);
}

// The program's exits, each after its own line on standard error.
extern "C" void __wrap_exit(int status)
{
    if (status != 0)
        fail(status, "");
    __real_exit(status);
}

extern "C" void __wrap_SDL_WM_SetCaption(const char* title, const char* icon)
{
    if (own_window)
        __real_SDL_WM_SetCaption(title, icon);
}

static long long monotonic_ns()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

// After each frame, the pause until the next is due, delay_us after this
// one started: drawing time counts, so 10 ms frames at 30 ms come every
// 30 ms. Frames keep that beat however late the pause ends; one that takes
// longer than the delay starts the beat anew rather than being caught up.
// The animation follows the clock and keeps its speed. Vsync, where there
// is any, comes on top.
extern "C" void __wrap_SDL_GL_SwapBuffers()
{
    __real_SDL_GL_SwapBuffers();
    long long due = frame_start + delay_us * 1000LL;
    if (monotonic_ns() >= due) {
        frame_start = monotonic_ns();
        return;
    }
    timespec until = {(time_t)(due / 1000000000), (long)(due % 1000000000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
    frame_start = due;
}

static XErrorHandler xlib_handler;

// xscreensaver destroys the window as it sends SIGTERM; a frame drawn
// between the two meets a window that is no more.
static int on_x_error(Display* display, XErrorEvent* error)
{
    if (error->error_code == BadWindow || error->error_code == BadDrawable)
        _exit(0);
    return xlib_handler(display, error);
}

static unsigned long root_window()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        fail(1, std::string("cannot open display ") + XDisplayName(nullptr));
    unsigned long root = DefaultRootWindow(display);
    XCloseDisplay(display);
    return root;
}

// The bitmaps' folder, found from the hack's own place as the installed
// commands find it.
static void go_to_bitmaps()
{
    char self[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        fail(3, "cannot find its own place");
    self[length] = '\0';
    std::string folder = std::string(self, strrchr(self, '/')) + "/" VORNEL_DATA_FROM_HACK;
    if (chdir(folder.c_str()) != 0)
        fail(3, "no bitmaps in " + folder + ": " + strerror(errno));
}

int main(int argc, char* argv[])
{
    // Before SDL starts, which installs a SIGTERM handler of its own only
    // where none is.
    signal(SIGTERM, end_at_once);
    starter = getppid();
    const char* given = getenv("XSCREENSAVER_WINDOW");
    under_xscreensaver = given != nullptr;
    HackOptions options = parse_options(argc, argv, given);
    if (!options.error.empty())
        fail(1, options.error);
    delay_us = options.delay_us;
    go_to_bitmaps();

    // Where the display has vsync, a screensaver draws no faster than it
    // shows.
    setenv("SDL12COMPAT_SYNC_TO_VBLANK", "1", 0);
    if (options.kind != HackOptions::OWN) {
        if (options.kind == HackOptions::ROOT)
            options.id = root_window();
        own_window = false;
        setenv("SDL_WINDOWID", std::to_string(options.id).c_str(), 1);
        setenv("SDL_VIDEO_FOREIGN_WINDOW_OPENGL", "1", 1);
        // SDL's own handler, set up with its video, hands on to this one.
        xlib_handler = XSetErrorHandler(on_x_error);
    }
    char* program_argv[] = {argv[0], nullptr};  // the program reads no options
    frame_start = monotonic_ns();
    return vornel_main(1, program_argv);
}
