#include "platform.h"

#include <SDL.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32

// The Windows C runtime has no setenv; SDL's putenv stands in. A putenv may
// keep the very string it is given, so the entry is never freed.
void set_env_default(const char* name, const char* value)
{
    if (SDL_getenv(name))
        return;
    size_t size = strlen(name) + strlen(value) + 2;  // '=' and the end
    char* entry = new char[size];
    snprintf(entry, size, "%s=%s", name, value);
    SDL_putenv(entry);
}

#else

void set_env_default(const char* name, const char* value)
{
    setenv(name, value, 0);  // 0: never overwrite
}

#endif
