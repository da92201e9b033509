// Which window a hack draws into, as xscreensaver's hacks choose it: the
// window named by --window-id, else the one xscreensaver gives in
// XSCREENSAVER_WINDOW, else with --root the root window; with none of
// these, a window of the program's own.
#ifndef XSCREENSAVER_WINDOW_H
#define XSCREENSAVER_WINDOW_H

#include <string>

struct HackWindow {
    enum Kind { OWN, GIVEN, ROOT } kind = OWN;
    unsigned long id = 0;  // GIVEN: the window's id; ROOT: found at start-up
    std::string error;     // a one-line reason when the arguments are wrong
};

// args: the arguments after the program's name; xscreensaver_window: the
// variable's value, or nullptr when it is not set.
HackWindow choose_window(int argc, char* argv[], const char* xscreensaver_window);

// A window's id as X tools print it: decimal, or hexadecimal after "0x".
// False if `text` is not one.
bool parse_window_id(const std::string& text, unsigned long& id);

#endif
