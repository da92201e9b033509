// The savers' one setting, the delay between frames' starts, as the Linux
// hacks take it (--delay): kept per user in the registry, under
// HKEY_CURRENT_USER\Software\Vornel as the REG_DWORD "Delay", in
// microseconds. Both savers share it.
#ifndef WINDOWS_SETTINGS_H
#define WINDOWS_SETTINGS_H

#include <cstdint>

const unsigned DEFAULT_DELAY_US = 30000;  // about 33 frames a second
const unsigned MAX_DELAY_US = 100000;     // 10 frames a second

// The user's delay; the default where it is absent or out of range.
unsigned read_delay();

// The settings window (/c): what the saver is, and the frame rate as a
// slider; OK keeps it. owner: the window it belongs to, or 0. The saver's
// exit status: 0, or 1 if the setting could not be kept.
int show_settings(uintptr_t owner);

#endif
