// The layered saver with its clock held still, for test_windows_saver:
// SDL_GetTicks, wrapped at the link, answers VORNEL_TICKS milliseconds, so
// that every frame is the reference picture drawn at that reading.
#include <SDL.h>
#include <cstdlib>

extern "C" Uint32 __wrap_SDL_GetTicks()
{
    const char* ticks = getenv("VORNEL_TICKS");
    return ticks ? (Uint32)strtoul(ticks, nullptr, 10) : 0;
}
