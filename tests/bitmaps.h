// Bitmap files for the loader's tests: pictures written as BMP by
// ImageMagick in its many kinds, and read back from OpenGL as textures.
#ifndef TESTS_BITMAPS_H
#define TESTS_BITMAPS_H

#include <string>
#include <vector>

struct Picture {
    int width, height;
    std::vector<unsigned char> rgba;  // rows top first, as a viewer shows them
    unsigned char* at(int x, int y) { return &rgba[4 * (y * width + x)]; }
};

// A picture in which every pixel has its own colour, none of them black.
Picture distinct_colours(int width, int height);

// Writes the picture with `convert`, e.g. options "-type TrueColor BMP3:"
// put before the output file name (which ends the options).
void write_with_imagemagick(const Picture& picture, const std::string& options,
                            const std::string& path);

// The texture OpenGL should hold for the picture: bottom row first, alpha
// 0 exactly where red, green and blue are all 0.
std::vector<unsigned char> expected_texture(const Picture& picture);

// The RGBA buffer the loader uploads for the file: read_bitmap, then
// CTexture's flip and conversion. Empty if the file was refused.
std::vector<unsigned char> converted_pixels(const std::string& path, int* width = nullptr,
                                            int* height = nullptr);

// Loads the file with CTexture::load and reads level 0 back from OpenGL.
// gluBuild2DMipmaps rescales other sizes, so only power-of-two pictures
// come back as they were. Empty if load failed.
std::vector<unsigned char> load_and_read_back(const std::string& path, int* width = nullptr,
                                              int* height = nullptr);

std::string temporary_folder();

// sdl12-compat (SDL 1.2.50 on, over SDL2) decodes RLE bitmaps; the classic
// SDL 1.2.15 refuses every compressed file.
bool sdl_decodes_rle();

#endif
