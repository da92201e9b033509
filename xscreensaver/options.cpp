#include "options.h"

#include <cerrno>
#include <cstdlib>

bool parse_window_id(const std::string& text, unsigned long& id)
{
    // Not strtoul's base 0: a leading zero is no octal here.
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* digits = text.c_str() + (hex ? 2 : 0);
    if (*digits == '\0' || *digits == '-' || *digits == '+' || *digits == ' ')
        return false;
    char* end = nullptr;
    errno = 0;
    unsigned long value = std::strtoul(digits, &end, hex ? 16 : 10);
    if (errno != 0 || *end != '\0' || value == 0)
        return false;
    id = value;
    return true;
}

// A whole number of microseconds from 0 to MAX_DELAY_US, nothing else.
static bool parse_delay(const std::string& text, long& delay_us)
{
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    delay_us = std::stol(text);
    return delay_us <= MAX_DELAY_US;
}

// Both spellings, as xscreensaver's own hacks take them.
static bool is_option(const std::string& arg, const char* name)
{
    return arg == std::string("--") + name || arg == std::string("-") + name;
}

HackOptions parse_options(int argc, char* argv[], const char* xscreensaver_window)
{
    HackOptions chosen;
    bool root = false, given = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (is_option(arg, "root")) {
            root = true;
        } else if (is_option(arg, "window-id")) {
            if (i + 1 == argc || !parse_window_id(argv[i + 1], chosen.id)) {
                chosen.error = "--window-id needs a window's id, in decimal or 0x hex";
                return chosen;
            }
            given = true;
            i++;
        } else if (is_option(arg, "delay")) {
            if (i + 1 == argc || !parse_delay(argv[i + 1], chosen.delay_us)) {
                chosen.error = "--delay needs a whole number of microseconds from 0 to " +
                               std::to_string(MAX_DELAY_US);
                return chosen;
            }
            i++;
        } else {
            chosen.error = "unknown option " + arg + " (it takes --root, --window-id ID or --delay US)";
            return chosen;
        }
    }
    if (given) {
        chosen.kind = HackOptions::GIVEN;
    } else if (xscreensaver_window) {
        // Under xscreensaver, its window stands for the root window too, as
        // xscreensaver's virtual root does for its own hacks.
        if (!parse_window_id(xscreensaver_window, chosen.id))
            chosen.error = std::string("XSCREENSAVER_WINDOW is no window's id: ") + xscreensaver_window;
        chosen.kind = HackOptions::GIVEN;
    } else if (root) {
        chosen.kind = HackOptions::ROOT;
    }
    return chosen;
}
