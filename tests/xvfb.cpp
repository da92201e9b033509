#include "xvfb.h"

#include <X11/Xlib.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "main.h"

// Starts one server and returns its display number, or -1 if it failed.
static int start_server(bool glx, pid_t& pid)
{
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);  // no stray server if the test dies
        close(fds[0]);
        std::string fd = std::to_string(fds[1]);
        // -displayfd picks a free display number and reports it when ready;
        // -noreset keeps it from resetting, and refusing connections for a
        // moment, each time its last client leaves.
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24",
               "-nolisten", "tcp", "-noreset", glx ? "+extension" : "-extension", "GLX",
               (char*)nullptr);
        _exit(127);
    }
    close(fds[1]);
    char buffer[32] = {};
    ssize_t got;
    do {
        got = read(fds[0], buffer, sizeof buffer - 1);
    } while (got < 0 && errno == EINTR);
    close(fds[0]);
    return got > 0 ? atoi(buffer) : -1;
}

static bool accepts_clients(const std::string& display)
{
    Display* client = XOpenDisplay(display.c_str());
    if (client)
        XCloseDisplay(client);
    return client != nullptr;
}

// Servers starting side by side in parallel test programs now and then
// lose the race for a display number; such a start is tried again.
Xvfb::Xvfb(bool glx)
{
    for (int attempt = 0; attempt < 5; attempt++) {
        int number = start_server(glx, pid_);
        display_ = ":" + std::to_string(number);
        if (number >= 0 && accepts_clients(display_))
            return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
        usleep(100000 * (attempt + 1));
    }
    throw std::runtime_error("Xvfb did not start (is the xvfb package installed?)");
}

Xvfb::~Xvfb()
{
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
}

void use_private_display()
{
    static Xvfb server;  // lives until the test program exits
    setenv("DISPLAY", server.display().c_str(), 1);
}

void open_gl_window()
{
    use_private_display();
    setup_sdl(nullptr);  // the programs' own window; SDL_Quit runs at exit
}
