// What Windows asks of a screensaver, read from its command line: /s to
// save the screen, /p HWND to show a preview in a window of the Screen
// Saver Settings dialog, /c or no argument at all for its settings.
// Windows writes the letter in either case, after '/' or '-', and a
// window's handle in decimal after a space or a colon (/p 1234, /p:1234,
// /c:1234).
#ifndef WINDOWS_ARGUMENTS_H
#define WINDOWS_ARGUMENTS_H

#include <cstdint>
#include <string>

struct SaverRequest {
    enum Mode { SAVE, PREVIEW, SETTINGS } mode = SETTINGS;
    uintptr_t window = 0;  // PREVIEW: the window to draw in; SETTINGS: the owner, or 0
    std::string error;     // a one-line reason when the arguments are wrong
};

// argv[0] is the saver itself.
SaverRequest read_arguments(int argc, char* argv[]);

#endif
