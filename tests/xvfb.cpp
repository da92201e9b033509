#include "xvfb.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "main.h"

// Reads what a child reports through a pipe up to its first newline, or to
// the end of the stream. A reader must not close early: Xvfb writes the
// display number and the newline in two writes, and a write into a closed
// pipe kills it ("Cannot write display number").
static std::string read_line(int fd)
{
    std::string line;
    char c;
    for (;;) {
        ssize_t got = read(fd, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || c == '\n')
            return line;
        line += c;
    }
}

// -displayfd picks a free display number, locking it against servers that
// start side by side, and reports it once the server accepts clients.
Xvfb::Xvfb(bool glx, const std::string& screen)
{
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    pid_ = fork();
    if (pid_ == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);  // no stray server if the test dies
        close(fds[0]);
        std::string fd = std::to_string(fds[1]);
        // -noreset keeps it from resetting, and refusing connections for a
        // moment, each time its last client leaves.
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
               "-nolisten", "tcp", "-noreset", glx ? "+extension" : "-extension", "GLX",
               (char*)nullptr);
        _exit(127);
    }
    close(fds[1]);
    std::string number = read_line(fds[0]);
    close(fds[0]);
    if (number.empty()) {
        int status = 0;
        waitpid(pid_, &status, 0);
        throw std::runtime_error("Xvfb did not start (status " + std::to_string(WEXITSTATUS(status)) +
                                 "; is the xvfb package installed?)");
    }
    display_ = ":" + number;
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
    setup_sdl(nullptr);  // the programs' own window, open until the test program exits
}
