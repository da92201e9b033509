// What the desktop tests share: a real window manager on a private display,
// the programs' windows found, hidden and shown again through it, what a
// window shows, and how much CPU a process takes.
#ifndef TESTS_DESKTOP_H
#define TESTS_DESKTOP_H

#include <functional>
#include <string>

#include "picture_file.h"
#include "program.h"
#include "temporary_folder.h"

// openbox on `display`, with its settings and caches in a folder of its
// own; it ends with the object.
class Openbox {
public:
    explicit Openbox(const std::string& display);

private:
    TemporaryFolder home_;
    Program wm_;
};

// The same XClient, with what a window manager adds: windows reparented
// into frames, iconified and mapped again.
class Desktop {
public:
    explicit Desktop(const std::string& display);
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    bool viewable(Window window);
    // Waits up to `seconds` for the window to be viewable, or not.
    bool wait_viewable(Window window, bool viewable, double seconds);
    void iconify(Window window);  // as xdotool windowminimize asks
    void restore(Window window);  // mapped again, as a taskbar does
    void move_resize(Window window, int x, int y, int width, int height);
    RgbImage contents(Window window);  // what the window shows now

private:
    _XDisplay* display_;
};

// Seconds of CPU the process has used so far, user and system together.
double cpu_seconds(int pid);

// What keeps `image` from showing the tunnel as the SDL layer scales it
// to the window: a 4:3 picture as large as fits, centred, black bars beside
// or above and below it. Empty if it does. A picture left at 640 × 480 in
// a corner fails.
std::string fill_fault(const RgbImage& image);
// The rectangle of `image` at left, top; empty if the image does not hold
// it.
RgbImage crop(const RgbImage& image, int left, int top, int width, int height);
// Looks again and again, while frames at a new size may still be coming:
// the last fault, or empty once the picture fills.
std::string wait_until_filled(const std::function<RgbImage()>& look, double seconds);

// A fresh folder holding copies of both programs and their bitmaps, made
// readable by everyone.
TemporaryFolder folder_with_programs();

#endif
