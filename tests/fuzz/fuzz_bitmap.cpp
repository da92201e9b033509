// libFuzzer target: bytes through an SDL stream from memory into the same
// bitmap reading and pixel conversion that CTexture::load runs before its
// upload.
#include <SDL.h>
#include <cstddef>
#include <cstdint>

#include "ctexture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SDL_RWops* stream = SDL_RWFromConstMem(data, (int)size);
    SDL_Surface* surface = stream ? read_bitmap(stream) : nullptr;
    if (!surface)
        return 0;
    CTexture texture;
    texture.invert_sdl_image(surface);
    delete[] texture.convert_to_rgba(surface);
    SDL_FreeSurface(surface);
    return 0;
}
