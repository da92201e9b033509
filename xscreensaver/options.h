// What a hack is told, as xscreensaver's hacks are: which window to draw
// into (the window named by --window-id, else the one xscreensaver gives in
// XSCREENSAVER_WINDOW, else with --root the root window; with none of
// these, a window of the program's own), and with --delay the time from
// one frame's start to the next's.
#ifndef XSCREENSAVER_OPTIONS_H
#define XSCREENSAVER_OPTIONS_H

#include <string>

// xscreensaver's GL hacks' "Frame rate" default, in microseconds: about
// 33 frames a second.
const long DEFAULT_DELAY_US = 30000;
const long MAX_DELAY_US = 100000;  // the slider's low end: 10 frames a second

struct HackOptions {
    enum Kind { OWN, GIVEN, ROOT } kind = OWN;
    unsigned long id = 0;  // GIVEN: the window's id; ROOT: found at start-up
    long delay_us = DEFAULT_DELAY_US;  // from one frame's start to the next's
    std::string error;     // a one-line reason when the arguments are wrong
};

// args: the arguments after the program's name; xscreensaver_window: the
// variable's value, or nullptr when it is not set.
HackOptions parse_options(int argc, char* argv[], const char* xscreensaver_window);

// A window's id as X tools print it: decimal, or hexadecimal after "0x".
// False if `text` is not one.
bool parse_window_id(const std::string& text, unsigned long& id);

#endif
