// PNG files of 8-bit RGB pictures, through libpng.
#ifndef TOOLS_PNG_FILE_H
#define TOOLS_PNG_FILE_H

#include <string>
#include <vector>

struct RgbImage {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;  // rows top first
};

bool write_png(const std::string& path, const RgbImage& image);
// False if the file is missing or not an 8-bit RGB PNG.
bool read_png(const std::string& path, RgbImage& image);

#endif
