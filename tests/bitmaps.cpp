#include "bitmaps.h"

#include <GL/gl.h>
#include <SDL.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
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

bool sdl_decodes_rle() { return SDL_Linked_Version()->patch >= 50; }

std::string temporary_folder()
{
    char pattern[] = "/tmp/vornel-bitmaps-XXXXXX";
    if (!mkdtemp(pattern))
        throw std::runtime_error("mkdtemp failed");
    return pattern;
}

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
    SDL_Surface* surface = stream ? read_bitmap(stream, 16384) : nullptr;
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
