// A private X server for tests: every test program that opens a window
// starts its own Xvfb, so tests run the same on a desktop, in CI and in
// parallel.
#ifndef TESTS_XVFB_H
#define TESTS_XVFB_H

#include <string>
#include <sys/types.h>

class Xvfb {
public:
    // glx = false starts a server without the GLX extension: no OpenGL.
    // screen: width x height x depth.
    explicit Xvfb(bool glx = true, const std::string& screen = "1024x768x24");
    ~Xvfb();
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;

    const std::string& display() const { return display_; }

private:
    pid_t pid_;
    std::string display_;
};

// Starts one Xvfb for the whole test program and points DISPLAY at it.
// Call before SDL_Init.
void use_private_display();

// Opens the programs' own 640 × 480 OpenGL window (setup_sdl) on the
// private display.
void open_gl_window();

#endif
