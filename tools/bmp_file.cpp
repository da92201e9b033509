#include "picture_file.h"

#include <SDL.h>
#include <algorithm>

const char* const PICTURE_SUFFIX = ".bmp";

// 24-bit surfaces with red, green, blue in this order in memory.
static SDL_Surface* rgb_surface(int width, int height)
{
#if SDL_BYTEORDER == SDL_LIL_ENDIAN
    return SDL_CreateRGBSurface(SDL_SWSURFACE, width, height, 24, 0x0000FF, 0x00FF00, 0xFF0000, 0);
#else
    return SDL_CreateRGBSurface(SDL_SWSURFACE, width, height, 24, 0xFF0000, 0x00FF00, 0x0000FF, 0);
#endif
}

bool write_picture(const std::string& path, const RgbImage& image)
{
    SDL_Surface* surface = rgb_surface(image.width, image.height);
    if (!surface)
        return false;
    const size_t row_bytes = 3 * (size_t)image.width;
    for (int y = 0; y < image.height; y++)
        std::copy_n(&image.rgb[y * row_bytes], row_bytes, (unsigned char*)surface->pixels + y * surface->pitch);
    bool written = SDL_SaveBMP(surface, path.c_str()) == 0;
    SDL_FreeSurface(surface);
    return written;
}

bool read_picture(const std::string& path, RgbImage& image)
{
    SDL_Surface* loaded = SDL_LoadBMP(path.c_str());
    if (!loaded)
        return false;
    SDL_Surface* layout = rgb_surface(1, 1);
    SDL_Surface* surface = layout ? SDL_ConvertSurface(loaded, layout->format, SDL_SWSURFACE) : nullptr;
    SDL_FreeSurface(layout);
    SDL_FreeSurface(loaded);
    if (!surface)
        return false;
    image.width = surface->w;
    image.height = surface->h;
    const size_t row_bytes = 3 * (size_t)image.width;
    image.rgb.resize(row_bytes * image.height);
    for (int y = 0; y < image.height; y++)
        std::copy_n((unsigned char*)surface->pixels + y * surface->pitch, row_bytes, &image.rgb[y * row_bytes]);
    SDL_FreeSurface(surface);
    return true;
}
