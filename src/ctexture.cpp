#include "ctexture.h"

#include <GL/glu.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <utility>

CTexture::CTexture() : trans_r(0), trans_g(0), trans_b(0), tex_id(0) {}

CTexture::CTexture(const char* filename) : CTexture()
{
    if (!load(filename)) {
        fprintf(stderr, "Can't load texture!!!%s\n", SDL_GetError());
        SDL_Quit();
        exit(3);
    }
}

CTexture::~CTexture() {}

GLuint CTexture::texID() { return tex_id; }

void CTexture::set_trans_color(char r, char g, char b)
{
    trans_r = r;
    trans_g = g;
    trans_b = b;
}

void CTexture::destroy() {}

static uint32_t read_le(const unsigned char* bytes, int count)
{
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; i--)
        value = value << 8 | bytes[i];
    return value;
}

// What a bitmap's headers claim, read before SDL sees the file.
struct BitmapClaim {
    bool complete;  // the header holds sizes, depth and compression
    int64_t width, height, bits, compression, pixel_offset, file_size;
};

// False when the stream is no Windows bitmap at all: SDL's own check of
// the signature then refuses it. Rewinds the stream.
static bool read_claim(SDL_RWops* stream, BitmapClaim& claim)
{
    unsigned char header[34] = {};
    int got = SDL_RWread(stream, header, 1, sizeof header);
    claim = BitmapClaim{};
    claim.file_size = SDL_RWseek(stream, 0, RW_SEEK_END);
    SDL_RWseek(stream, 0, RW_SEEK_SET);
    if (got < 2 || header[0] != 'B' || header[1] != 'M')
        return false;
    if (got < 26)
        return true;
    claim.pixel_offset = read_le(header + 10, 4);
    if (read_le(header + 14, 4) == 12) {  // OS/2 core header: 16-bit sizes
        claim.complete = true;
        claim.width = read_le(header + 18, 2);
        claim.height = read_le(header + 20, 2);
        claim.bits = read_le(header + 24, 2);
        return true;
    }
    if (got < 34)
        return true;
    claim.complete = true;
    claim.width = (int32_t)read_le(header + 18, 4);
    claim.height = (int32_t)read_le(header + 22, 4);
    if (claim.height < 0)
        claim.height = -claim.height;  // rows stored top-down
    claim.bits = read_le(header + 28, 2);
    claim.compression = read_le(header + 30, 4);
    return true;
}

// SDL allocates a surface for the size the header claims before it reads a
// single pixel, so a few bytes claiming 65536 × 65536 would cost gigabytes.
// The claim is checked here first: it must have pixels, fit in memory, and
// be backed by the file's bytes, or (compressed) decode to a modest
// picture. Anything else malformed is left to SDL's own checks. The size of
// the largest texture is no limit: GLU scales a larger picture down.
static int check_bitmap_size(SDL_RWops* stream)
{
    BitmapClaim c;
    if (!read_claim(stream, c))
        return 1;
    // SDL would read on past a cut header, with sizes made of what follows.
    if (!c.complete) {
        SDL_SetError("the bitmap's header is cut short");
        return 0;
    }
    long long w = c.width, h = c.height;
    if (w <= 0 || h <= 0) {
        SDL_SetError("the bitmap is %lld x %lld pixels: no pixels to make a texture of", w, h);
        return 0;
    }
    if ((size_t)w > SIZE_MAX / 4 / (size_t)h) {
        SDL_SetError("the bitmap's %lld x %lld pixels do not fit in memory", w, h);
        return 0;
    }

    const int64_t BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3, BI_ALPHABITFIELDS = 6;
    bool uncompressed = c.compression == BI_RGB || c.compression == BI_BITFIELDS ||
                        c.compression == BI_ALPHABITFIELDS;
    bool run_length = c.compression == BI_RLE8 || c.compression == BI_RLE4;
    // SDL reads an unknown method's bytes as if they were plain pixels.
    if (!uncompressed && !run_length) {
        SDL_SetError("the bitmap's compression method %lld is not one SDL decodes",
                     (long long)c.compression);
        return 0;
    }
    if (uncompressed && c.bits > 0 && c.bits <= 32) {
        // Compared by division: rows × row bytes of a hostile header need
        // not fit 64 bits.
        long long row_bytes = (w * c.bits + 31) / 32 * 4;
        long long pixel_bytes = c.file_size - c.pixel_offset;
        if (pixel_bytes < 0 || row_bytes > pixel_bytes / h) {
            SDL_SetError("the bitmap is cut short: %lld x %lld pixels need %lld bytes a row from byte %lld, "
                         "the file has %lld",
                         w, h, row_bytes, (long long)c.pixel_offset, (long long)c.file_size);
            return 0;
        }
    }
    // Run-length escapes end a line or the whole picture early and leave the
    // rest at colour 0, so a few bytes can stand for any number of pixels.
    // What bounds the cost is the decoded picture: a modest one always
    // loads, a larger one only when the file is large enough to plausibly
    // hold it in runs of a few pixels per byte.
    const int64_t modest_pixels = (64 << 20) / 4, pixels_per_byte = 256;  // 64 MiB as RGBA
    if (run_length && w * h > modest_pixels && w * h > pixels_per_byte * c.file_size) {
        SDL_SetError("the compressed bitmap claims %lld x %lld pixels, more than its %lld bytes can hold",
                     w, h, (long long)c.file_size);
        return 0;
    }
    return 1;
}

// The mask that selects byte `byte` in memory of a pixel of `bpp` bytes.
static Uint32 byte_mask(int byte, int bpp)
{
#if SDL_BYTEORDER == SDL_LIL_ENDIAN
    (void)bpp;
    return (Uint32)0xFF << (8 * byte);
#else
    return (Uint32)0xFF << (8 * (bpp - 1 - byte));
#endif
}

// True when every pixel is 3 or 4 bytes with blue, green, red first in
// memory: the layout a 24-bit bitmap loads with, and the one the pixel work
// below reads.
static bool has_bgr_layout(const SDL_PixelFormat* format)
{
    int bpp = format->BytesPerPixel;
    return (bpp == 3 || bpp == 4) && format->Bmask == byte_mask(0, bpp) &&
           format->Gmask == byte_mask(1, bpp) && format->Rmask == byte_mask(2, bpp);
}

// Palette, 16-bit and reordered 32-bit bitmaps are converted by SDL itself
// to 24-bit blue-green-red, so every bitmap SDL reads shows its own colours.
// Frees the surface it is given; null (with SDL's error) if SDL cannot.
static SDL_Surface* with_bgr_layout(SDL_Surface* surface)
{
    if (has_bgr_layout(surface->format))
        return surface;
    SDL_Surface* layout = SDL_CreateRGBSurface(SDL_SWSURFACE, 1, 1, 24, byte_mask(2, 3),
                                               byte_mask(1, 3), byte_mask(0, 3), 0);
    SDL_Surface* converted = layout ? SDL_ConvertSurface(surface, layout->format, SDL_SWSURFACE) : nullptr;
    SDL_FreeSurface(layout);
    SDL_FreeSurface(surface);
    return converted;
}

// SDL 1.2 keeps a row's length in 16 bits. SDL 1.2 on SDL2 refuses wider
// rows; the classic SDL 1.2 wraps the length, and the pixel work would run
// past the rows it allocated.
static SDL_Surface* with_whole_rows(SDL_Surface* surface)
{
    if (surface && surface->pitch < (long long)surface->w * surface->format->BytesPerPixel) {
        SDL_SetError("the bitmap is %d pixels wide, more than SDL's rows can hold", surface->w);
        SDL_FreeSurface(surface);
        return nullptr;
    }
    return surface;
}

SDL_Surface* read_bitmap(SDL_RWops* stream)
{
    if (!check_bitmap_size(stream)) {
        SDL_RWclose(stream);
        return nullptr;
    }
    SDL_Surface* surface = with_whole_rows(SDL_LoadBMP_RW(stream, 1));  // SDL closes the stream
    return surface ? with_whole_rows(with_bgr_layout(surface)) : nullptr;
}

// Opening a FIFO would wait for a writer, and a directory opens but never
// reads: neither is given to SDL. A missing file is left to SDL's open.
static bool is_special_file(const char* filename)
{
    std::error_code error;
    auto status = std::filesystem::status(filename, error);
    return std::filesystem::exists(status) && !std::filesystem::is_regular_file(status);
}

int CTexture::load(const char* filename)
{
    glGenTextures(1, &tex_id);
    glBindTexture(GL_TEXTURE_2D, tex_id);

    if (is_special_file(filename)) {
        SDL_SetError("%s is not a regular file", filename);
        return 0;
    }
    // A missing file is reported with the error of the open itself.
    SDL_RWops* stream = SDL_RWFromFile(filename, "rb");
    if (!stream)
        return 0;
    SDL_Surface* surface = read_bitmap(stream);
    if (!surface)
        return 0;

    invert_sdl_image(surface);
    unsigned char* rgba = convert_to_rgba(surface);
    // No wrap mode is set: OpenGL's default repeat tiles the tube.
    // Not a mipmap filter, though the chain is built: "Exact on purpose", README.md.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, surface->w, surface->h, 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, rgba);
    gluBuild2DMipmaps(GL_TEXTURE_2D, GL_RGBA, surface->w, surface->h, GL_RGBA,
                      GL_UNSIGNED_BYTE, rgba);

    SDL_FreeSurface(surface);
    delete[] rgba;
    return 1;
}

static unsigned char* row(SDL_Surface* surface, int r)
{
    return (unsigned char*)surface->pixels + (size_t)r * surface->pitch;
}

void CTexture::invert_sdl_image(SDL_Surface* surface)
{
    const int bpp = surface->format->BytesPerPixel;
    const size_t row_bytes = (size_t)surface->w * bpp;
    for (int r = 0; r < surface->h / 2; r++) {
        unsigned char* top = row(surface, r);
        unsigned char* bottom = row(surface, surface->h - 1 - r);
        for (size_t i = 0; i < row_bytes; i++)
            std::swap(top[i], bottom[i]);
    }
    for (int r = 0; r < surface->h; r++) {
        unsigned char* pixel = row(surface, r);
        for (int k = 0; k < surface->w; k++, pixel += bpp)
            std::swap(pixel[0], pixel[2]);
    }
}

unsigned char* CTexture::convert_to_rgba(SDL_Surface* surface)
{
    const int bpp = surface->format->BytesPerPixel;
    unsigned char* rgba = new unsigned char[(size_t)surface->w * surface->h * 4];
    unsigned char* out = rgba;
    for (int r = 0; r < surface->h; r++) {
        const unsigned char* pixel = row(surface, r);
        for (int k = 0; k < surface->w; k++, pixel += bpp, out += 4) {
            out[0] = pixel[0];
            out[1] = pixel[1];
            out[2] = pixel[2];
            // Only pure black is transparent; near-black stays opaque.
            out[3] = (pixel[0] | pixel[1] | pixel[2]) ? 255 : 0;
        }
    }
    return rgba;
}
