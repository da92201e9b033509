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

// Whole files as bytes, and bitmaps written byte by byte for the kinds
// ImageMagick does not write.
std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
// Stores `value` little-endian in `count` bytes at `at`.
void put_le(std::string& bytes, size_t at, long long value, int count);
// A bitmap's file and information headers, with zeros after them up to
// `offset` + `data_bytes`, where its pixel data ends.
std::string bitmap_headers(int width, int height, int bits, int compression, int offset,
                           size_t data_bytes);
// An uncompressed 24-bit bitmap of one grey.
std::string grey_bitmap(int width, int height, unsigned char grey);
// An 8-bit run-length bitmap whose pixel data is `runs`, with a palette of
// RLE_COLOURS: colour 0 black, colour 1 a red.
std::string rle8_bitmap(int width, int height, const std::string& runs);
extern const unsigned char RLE_COLOURS[2][3];

// sdl12-compat (SDL 1.2.50 on, over SDL2) decodes RLE bitmaps; the classic
// SDL 1.2.15 refuses every compressed file.
bool sdl_decodes_rle();

#endif
