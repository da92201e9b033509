// Bitmaps that ImageMagick writes, loaded by the program's texture code in
// a real OpenGL context and read back from the texture.
#include "bitmaps.h"
#include "temporary_folder.h"
#include "ctexture.h"
#include "xvfb.h"

#include <SDL.h>
#include <gtest/gtest.h>

namespace {

class Texture : public ::testing::Test {
protected:
    static void SetUpTestSuite() { open_gl_window(); }
    TemporaryFolder folder;

    void expect_own_colours(const Picture& picture, const std::string& options)
    {
        std::string path = folder / "picture.bmp";
        write_with_imagemagick(picture, options, path);
        int w = 0, h = 0;
        std::vector<unsigned char> texels = converted_pixels(path, &w, &h);
        ASSERT_FALSE(texels.empty()) << options << ": " << SDL_GetError();
        EXPECT_EQ(w, picture.width) << options;
        EXPECT_EQ(h, picture.height) << options;
        EXPECT_EQ(texels, expected_texture(picture)) << options;
    }
};

}  // namespace

// 5 pixels of 3 bytes: rows padded from 15 to 16 bytes; 3 rows: the middle
// one stays in place.
TEST_F(Texture, TwentyFourBitRowsFlipAndKeepTheirColours)
{
    expect_own_colours(distinct_colours(5, 3), "-type TrueColor BMP3:");
    expect_own_colours(distinct_colours(7, 1), "-type TrueColor BMP3:");
    expect_own_colours(distinct_colours(2, 6), "-type TrueColor BMP3:");
}

// What OpenGL holds after load: the first texel is the bottom-left pixel.
TEST_F(Texture, UploadedTextureStartsAtTheBottomLeftPixel)
{
    for (auto [w, h] : {std::pair{4, 4}, std::pair{2, 1}, std::pair{2, 8}}) {
        Picture p = distinct_colours(w, h);
        unsigned char* bottom_left = p.at(0, h - 1);
        bottom_left[0] = 200, bottom_left[1] = 100, bottom_left[2] = 50;
        unsigned char* black = p.at(w - 1, 0);
        black[0] = black[1] = black[2] = 0;
        std::string path = folder / "corner.bmp";
        write_with_imagemagick(p, "-type TrueColor BMP3:", path);
        std::vector<unsigned char> texels = load_and_read_back(path);
        ASSERT_EQ(texels.size(), 4u * w * h);
        EXPECT_EQ(std::vector<unsigned char>(texels.begin(), texels.begin() + 4),
                  (std::vector<unsigned char>{200, 100, 50, 255}));
        EXPECT_EQ(texels, expected_texture(p)) << w << " x " << h;
    }
}

TEST_F(Texture, OnlyPureBlackIsTransparent)
{
    Picture p = distinct_colours(3, 2);
    unsigned char* black = p.at(0, 0);
    black[0] = black[1] = black[2] = 0;
    unsigned char* nearly = p.at(1, 0);
    nearly[0] = nearly[1] = 0, nearly[2] = 1;
    expect_own_colours(p, "-type TrueColor BMP3:");
}

// A 32-bit file's own alpha never reaches the texture: only black is clear.
TEST_F(Texture, ThirtyTwoBitConvertsLikeTwentyFour)
{
    Picture p = distinct_colours(5, 3);
    p.at(2, 1)[3] = 0;
    p.at(3, 2)[3] = 77;
    unsigned char* black = p.at(4, 0);
    black[0] = black[1] = black[2] = 0;
    std::string path = folder / "alpha.bmp";
    write_with_imagemagick(p, "-define bmp:format=bmp4 -type TrueColorAlpha", path);
    Picture opaque = p;
    for (int i = 3; i < (int)opaque.rgba.size(); i += 4)
        opaque.rgba[i] = 255;
    EXPECT_EQ(converted_pixels(path), expected_texture(opaque));
}

// Files SDL loads with one byte per pixel are converted by SDL first.
TEST_F(Texture, PaletteBitmapsShowTheirOwnColours)
{
    Picture two = distinct_colours(3, 3);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 3; x++)
            for (int c = 0; c < 3; c++)
                two.at(x, y)[c] = (x + y) % 2 ? 250 : 0;  // black and near-white
    expect_own_colours(two, "-colors 2 -type Palette BMP3:");            // 1 bit
    expect_own_colours(distinct_colours(3, 3), "-type Palette BMP3:");  // 4 bits
    expect_own_colours(distinct_colours(6, 5), "-type Palette -compress None BMP3:");  // 8 bits
}

TEST_F(Texture, MissingFileFailsWithTheReason)
{
    CTexture texture;
    EXPECT_EQ(texture.load((folder / "absent.bmp").c_str()), 0);
    EXPECT_NE(std::string(SDL_GetError()).find("absent.bmp"), std::string::npos) << SDL_GetError();
}
