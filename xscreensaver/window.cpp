#include "window.h"

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

// Both spellings, as xscreensaver's own hacks take them.
static bool is_option(const std::string& arg, const char* name)
{
    return arg == std::string("--") + name || arg == std::string("-") + name;
}

HackWindow choose_window(int argc, char* argv[], const char* xscreensaver_window)
{
    HackWindow chosen;
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
        } else {
            chosen.error = "unknown option " + arg + " (it takes --root or --window-id ID)";
            return chosen;
        }
    }
    if (given) {
        chosen.kind = HackWindow::GIVEN;
    } else if (xscreensaver_window) {
        // Under xscreensaver, its window stands for the root window too, as
        // xscreensaver's virtual root does for its own hacks.
        if (!parse_window_id(xscreensaver_window, chosen.id))
            chosen.error = std::string("XSCREENSAVER_WINDOW is no window's id: ") + xscreensaver_window;
        chosen.kind = HackWindow::GIVEN;
    } else if (root) {
        chosen.kind = HackWindow::ROOT;
    }
    return chosen;
}
