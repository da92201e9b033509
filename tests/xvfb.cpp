#include "xvfb.h"

#include <SDL.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

Xvfb::Xvfb(bool glx)
{
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);  // no stray server if the test dies
        close(fds[0]);
        std::string fd = std::to_string(fds[1]);
        // -displayfd picks a free display number and reports it when ready;
        // -noreset keeps it from resetting, and refusing connections for a
        // moment, each time its last client leaves.
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24",
               "-nolisten", "tcp", "-noreset", glx ? "+extension" : "-extension", "GLX", (char*)nullptr);
        _exit(127);
    }
    close(fds[1]);
    char buffer[32] = {};
    ssize_t got;
    do {
        got = read(fds[0], buffer, sizeof buffer - 1);
    } while (got < 0 && errno == EINTR);
    close(fds[0]);
    if (got <= 0)
        throw std::runtime_error("Xvfb did not start (is the xvfb package installed?)");
    display_ = ":" + std::to_string(atoi(buffer));
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
    if (SDL_Init(SDL_INIT_VIDEO) < 0 ||
        !SDL_SetVideoMode(640, 480, 32, SDL_HWSURFACE | SDL_OPENGL | SDL_DOUBLEBUF))
        throw std::runtime_error(std::string("no OpenGL window: ") + SDL_GetError());
    atexit(SDL_Quit);  // before the server goes away at exit
}
