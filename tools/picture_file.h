// Pictures of 8-bit RGB pixels as files. A build writes one kind: PNG
// through libpng, or, where there is no libpng (the MinGW build for
// Windows), SDL's own Windows bitmaps.
#ifndef TOOLS_PICTURE_FILE_H
#define TOOLS_PICTURE_FILE_H

#include <string>
#include <vector>

struct RgbImage {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;  // rows top first
};

// ".png" or ".bmp"
extern const char* const PICTURE_SUFFIX;

bool write_picture(const std::string& path, const RgbImage& image);
// False if the file is missing or not a picture of this kind.
bool read_picture(const std::string& path, RgbImage& image);

#endif
