#include "bitmaps.h"

#include <GL/gl.h>
#include <algorithm>
#include <SDL.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "ctexture.h"

Picture distinct_colours(int width, int height)
{
    Picture p{width, height, std::vector<unsigned char>(4 * width * height)};
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            unsigned char* c = p.at(x, y);
            c[0] = (unsigned char)(40 * x + 9);
            c[1] = (unsigned char)(30 * y + 5);
            c[2] = (unsigned char)(13 * x + 17 * y + 60);
            c[3] = 255;
        }
    return p;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_file(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

void put_le(std::string& bytes, size_t at, long long value, int count)
{
    for (int i = 0; i < count; i++)
        bytes[at + i] = (char)((unsigned long long)value >> (8 * i));
}

std::string bitmap_headers(int width, int height, int bits, int compression, int offset,
                                  size_t data_bytes)
{
    std::string bytes(offset + data_bytes, '\0');
    bytes[0] = 'B', bytes[1] = 'M';
    put_le(bytes, 2, (long long)bytes.size(), 4);
    put_le(bytes, 10, offset, 4);
    put_le(bytes, 14, 40, 4);
    put_le(bytes, 18, width, 4);
    put_le(bytes, 22, height, 4);
    put_le(bytes, 26, 1, 2);
    put_le(bytes, 28, bits, 2);
    put_le(bytes, 30, compression, 4);
    put_le(bytes, 34, (long long)data_bytes, 4);
    return bytes;
}

std::string grey_bitmap(int width, int height, unsigned char grey)
{
    size_t row_bytes = ((size_t)width * 3 + 3) / 4 * 4;
    std::string bytes = bitmap_headers(width, height, 24, 0, 54, row_bytes * height);
    std::fill(bytes.begin() + 54, bytes.end(), (char)grey);
    return bytes;
}

const unsigned char RLE_COLOURS[2][3] = {{0, 0, 0}, {200, 40, 90}};

std::string rle8_bitmap(int width, int height, const std::string& runs)
{
    const int offset = 54 + 2 * 4;  // two palette entries: blue, green, red, 0
    std::string bytes = bitmap_headers(width, height, 8, 1, offset, runs.size());
    put_le(bytes, 46, 2, 4);  // colours used
    for (int c = 0; c < 2; c++)
        for (int k = 0; k < 3; k++)
            bytes[54 + 4 * c + k] = (char)RLE_COLOURS[c][2 - k];
    bytes.replace(offset, runs.size(), runs);
    return bytes;
}

bool sdl_decodes_rle() { return SDL_Linked_Version()->patch >= 50; }

void write_with_imagemagick(const Picture& picture, const std::string& options,
                            const std::string& path)
{
    std::string pam = path + ".pam";
    {
        std::ofstream out(pam, std::ios::binary);
        out << "P7\nWIDTH " << picture.width << "\nHEIGHT " << picture.height
            << "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
        out.write((const char*)picture.rgba.data(), (std::streamsize)picture.rgba.size());
    }
    // Options may end in a format prefix such as "BMP3:", glued to the path.
    bool prefix = !options.empty() && options.back() == ':';
    std::string command = "convert '" + pam + "' " + options + (prefix ? "" : " ") + "'" + path + "'";
    if (system(command.c_str()) != 0)
        throw std::runtime_error("failed: " + command);
    remove(pam.c_str());
}

std::vector<unsigned char> expected_texture(const Picture& picture)
{
    std::vector<unsigned char> texels;
    for (int y = picture.height - 1; y >= 0; y--)
        for (int x = 0; x < picture.width; x++) {
            const unsigned char* c = &picture.rgba[4 * (y * picture.width + x)];
            texels.insert(texels.end(), {c[0], c[1], c[2], (unsigned char)((c[0] | c[1] | c[2]) ? 255 : 0)});
        }
    return texels;
}

std::vector<unsigned char> converted_pixels(const std::string& path, int* width, int* height)
{
    SDL_RWops* stream = SDL_RWFromFile(path.c_str(), "rb");
    SDL_Surface* surface = stream ? read_bitmap(stream) : nullptr;
    if (!surface)
        return {};
    CTexture texture;
    texture.invert_sdl_image(surface);
    unsigned char* rgba = texture.convert_to_rgba(surface);
    std::vector<unsigned char> texels(rgba, rgba + 4 * (size_t)surface->w * surface->h);
    if (width)
        *width = surface->w;
    if (height)
        *height = surface->h;
    delete[] rgba;
    SDL_FreeSurface(surface);
    return texels;
}

std::vector<unsigned char> load_and_read_back(const std::string& path, int* width, int* height)
{
    CTexture texture;
    if (!texture.load(path.c_str()))
        return {};
    GLint w = 0, h = 0;
    glBindTexture(GL_TEXTURE_2D, texture.texID());
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    std::vector<unsigned char> texels(4 * (size_t)w * h);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    GLuint id = texture.texID();
    glDeleteTextures(1, &id);
    if (width)
        *width = w;
    if (height)
        *height = h;
    return texels;
}
