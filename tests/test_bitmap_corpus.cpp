// Bitmaps of every kind, made by the test itself: ImageMagick writes the
// valid ones, byte edits break them. Valid ones show their own colours;
// broken ones are refused cheaply, by the loader and by the real program
// with its message and status 3.
#include "bitmaps.h"
#include "temporary_folder.h"
#include "program.h"
#include "xvfb.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "ctexture.h"

namespace {

// A 16-bit 5-6-5 bitmap with BI_BITFIELDS masks, written byte by byte:
// ImageMagick 6 writes none.
std::string rgb565_bitmap(const Picture& p)
{
    int row_bytes = (p.width * 2 + 3) / 4 * 4;
    std::string bytes = bitmap_headers(p.width, p.height, 16, 3, 66, row_bytes * p.height);  // BI_BITFIELDS
    put_le(bytes, 54, 0xF800, 4);
    put_le(bytes, 58, 0x07E0, 4);
    put_le(bytes, 62, 0x001F, 4);
    for (int y = 0; y < p.height; y++)
        for (int x = 0; x < p.width; x++) {
            const unsigned char* c = &p.rgba[4 * (y * p.width + x)];
            int pixel = (c[0] >> 3) << 11 | (c[1] >> 2) << 5 | c[2] >> 3;
            put_le(bytes, 66 + (p.height - 1 - y) * row_bytes + 2 * x, pixel, 2);
        }
    return bytes;
}

// The same 24-bit file with its rows stored top-down, as a negative height
// says.
std::string top_down(std::string bytes, const Picture& p)
{
    int row_bytes = (p.width * 3 + 3) / 4 * 4;
    put_le(bytes, 22, -p.height, 4);
    std::string flipped = bytes;
    for (int r = 0; r < p.height; r++)
        flipped.replace(54 + r * row_bytes, row_bytes, bytes, 54 + (p.height - 1 - r) * row_bytes, row_bytes);
    return flipped;
}

// Colours that survive 5 or 6 bits, full and none, in mixtures.
Picture coarse_colours(int width, int height)
{
    Picture p = distinct_colours(width, height);
    for (int i = 0; i < width * height; i++)
        for (int c = 0; c < 3; c++)
            p.rgba[4 * i + c] = ((i + c) % 3) ? 255 : 0;
    return p;
}

// This process's peak resident size since the last reset, in KiB: memory
// it has touched, which is what reading a claimed size costs. The reset
// needs Linux 4.0.
bool reset_peak_resident()
{
    std::ofstream clear_refs("/proc/self/clear_refs");
    clear_refs << "5" << std::flush;
    return clear_refs.good();
}
long peak_resident_kib()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return atol(line.c_str() + 6);
    return -1;
}

class BitmapCorpus : public ::testing::Test {
protected:
    TemporaryFolder folder;

    // `levels`: how far a channel may be off. SDL widens 5 and 6 bits to 8
    // its own way: SDL2 turns 31 into 255, the classic SDL 1.2 into 248.
    void expect_own_colours(const std::string& bytes, const Picture& p, const std::string& kind,
                            int levels = 0)
    {
        std::string path = folder / kind + ".bmp";
        write_file(path, bytes);
        int w = 0, h = 0;
        std::vector<unsigned char> got = converted_pixels(path, &w, &h), want = expected_texture(p);
        ASSERT_EQ(got.size(), want.size()) << kind << ": " << SDL_GetError();
        int worst = 0;
        for (size_t i = 0; i < got.size(); i++)
            worst = std::max(worst, std::abs(got[i] - want[i]));
        EXPECT_LE(worst, levels) << kind;
        EXPECT_EQ(w, p.width) << kind;
        EXPECT_EQ(h, p.height) << kind;
    }

    std::string imagemagick(const Picture& p, const std::string& options)
    {
        std::string path = folder / "made.bmp";
        write_with_imagemagick(p, options, path);
        return read_file(path);
    }
};

struct Broken {
    std::string name, bytes;
};

// Byte edits of a valid 8 × 8 bitmap, each a way a file can be broken.
std::vector<Broken> broken_bitmaps(const std::string& valid, const std::string& rle)
{
    auto edit = [&](const std::string& base, size_t at, int64_t value, int count) {
        std::string b = base;
        put_le(b, at, value, count);
        return b;
    };
    return {
        {"empty", ""},
        {"not_a_bitmap", "This is a text file, not a picture.\n"},
        {"cut_header", valid.substr(0, 30)},
        {"cut_pixels", valid.substr(0, 54 + 100)},
        {"zero_width", edit(valid, 18, 0, 4)},
        {"zero_height", edit(valid, 22, 0, 4)},
        {"negative_width", edit(valid, 18, -8, 4)},
        {"enormous", edit(edit(valid.substr(0, 54), 18, 65536, 4), 22, 65536, 4)},
        {"enormous_height", edit(valid, 22, 0x7FFFFFFF, 4)},
        {"bit_depth_7", edit(valid, 28, 7, 2)},
        {"bit_depth_0", edit(valid, 28, 0, 2)},
        {"bit_depth_64", edit(valid, 28, 64, 2)},
        {"unknown_compression", edit(valid, 30, 99, 4)},
        {"rle_on_24_bits", edit(valid, 30, 1, 4)},
        {"rle_claiming_16384", edit(edit(rle, 18, 16384, 4), 22, 16384, 4)},
        {"rle_garbage", rle.substr(0, rle.size() / 2) + std::string(rle.size(), '\xFF')},
        {"offset_past_end", edit(valid, 10, 1 << 20, 4)},
    };
}

}  // namespace

TEST_F(BitmapCorpus, ValidKindsShowTheirOwnColours)
{
    Picture two = coarse_colours(5, 3);
    for (int i = 0; i < 15; i++)
        for (int c = 0; c < 3; c++)
            two.rgba[4 * i + c] = (i % 2) ? 250 : 0;
    expect_own_colours(imagemagick(two, "-colors 2 -type Palette BMP3:"), two, "palette_1_bit");
    Picture few = distinct_colours(3, 4);
    expect_own_colours(imagemagick(few, "-type Palette BMP3:"), few, "palette_4_bit");
    Picture many = distinct_colours(7, 5);
    expect_own_colours(imagemagick(many, "-type Palette -compress None BMP3:"), many, "palette_8_bit");
    if (sdl_decodes_rle())
        expect_own_colours(imagemagick(many, "-type Palette -compress RLE BMP3:"), many, "palette_8_bit_rle");

    Picture coarse = coarse_colours(5, 3);
    expect_own_colours(rgb565_bitmap(coarse), coarse, "rgb_565", 7);

    Picture alpha = distinct_colours(5, 3);
    alpha.at(1, 1)[3] = 0;  // the file's own alpha never reaches the texture
    Picture opaque = alpha;
    opaque.at(1, 1)[3] = 255;
    expect_own_colours(imagemagick(alpha, "-define bmp:format=bmp4 -type TrueColorAlpha"), opaque,
                       "rgb_32_alpha");

    Picture odd = distinct_colours(5, 4);  // 15 bytes a row, padded to 16
    std::string upright = imagemagick(odd, "-type TrueColor BMP3:");
    expect_own_colours(upright, odd, "rgb_24_odd_width");
    expect_own_colours(top_down(upright, odd), odd, "rgb_24_top_down");
    Picture row = distinct_colours(9, 1);
    expect_own_colours(imagemagick(row, "-type TrueColor BMP3:"), row, "rgb_24_one_row");
    expect_own_colours(imagemagick(odd, "-type TrueColor BMP2:"), odd, "os2_24");
}

TEST_F(BitmapCorpus, BrokenBitmapsAreRefusedCheaply)
{
    std::string valid = imagemagick(distinct_colours(8, 8), "-type TrueColor BMP3:");
    std::string rle = imagemagick(distinct_colours(8, 8), "-type Palette -compress RLE BMP3:");
    for (const Broken& b : broken_bitmaps(valid, rle)) {
        std::string path = folder / b.name + ".bmp";
        write_file(path, b.bytes);
        ASSERT_TRUE(reset_peak_resident());
        long resident = peak_resident_kib();
        EXPECT_TRUE(converted_pixels(path).empty()) << b.name << " was accepted";
        EXPECT_LT(peak_resident_kib() - resident, 16 * 1024) << b.name << ": KiB touched";
        EXPECT_STRNE(SDL_GetError(), "") << b.name;
    }
    std::string directory = folder / "a_directory.bmp";
    mkdir(directory.c_str(), 0755);
    EXPECT_TRUE(converted_pixels(directory).empty());
}

// Inputs that once made the fuzzer fail: each is refused now.
TEST_F(BitmapCorpus, FuzzerFindingsAreRefused)
{
    // 33 bytes: a header that ends inside the bit depth, with a width of
    // 65536 before it; SDL allocated for its sizes before failing.
    std::string path = std::string(VORNEL_FUZZ_DIR) + "/regressions/oom_header_cut_before_bit_depth.bmp";
    ASSERT_EQ(read_file(path).size(), 33u);
    EXPECT_TRUE(converted_pixels(path).empty());
    EXPECT_STREQ(SDL_GetError(), "the bitmap's header is cut short");

    // 35 bytes of RLE claiming about 1.5e9 x 1.6e9 pixels, whose size as
    // RGBA overflowed 64 bits in the check meant to refuse it.
    path = std::string(VORNEL_FUZZ_DIR) + "/regressions/rle_claim_overflowing_rgba_bytes.bmp";
    EXPECT_TRUE(converted_pixels(path).empty());
    EXPECT_EQ(std::string(SDL_GetError()).rfind("the compressed bitmap claims", 0), 0u) << SDL_GetError();

    // An uncompressed claim whose rows' bytes overflowed 64 bits likewise.
    path = std::string(VORNEL_FUZZ_DIR) + "/regressions/uncompressed_claim_overflowing_pixel_bytes.bmp";
    EXPECT_TRUE(converted_pixels(path).empty());
    EXPECT_EQ(std::string(SDL_GetError()).rfind("the bitmap is cut short", 0), 0u) << SDL_GetError();
}

// The program itself: its message, status 3, and no huge allocation on the
// way, as its peak resident size shows.
TEST_F(BitmapCorpus, TheProgramRefusesEachWithStatusThree)
{
    use_private_display();
    std::string valid = imagemagick(distinct_colours(8, 8), "-type TrueColor BMP3:");
    std::string rle = imagemagick(distinct_colours(8, 8), "-type Palette -compress RLE BMP3:");
    std::vector<Broken> cases = broken_bitmaps(valid, rle);
    // Not files at all: a FIFO would block the open until a writer came.
    cases.push_back({"directory", ""});
    cases.push_back({"fifo", ""});
    for (const Broken& b : cases) {
        TemporaryFolder dir;
        write_file(dir / "veins.bmp", valid);
        if (b.name == "directory")
            mkdir((dir / "organ.bmp").c_str(), 0755);
        else if (b.name == "fifo")
            mkfifo((dir / "organ.bmp").c_str(), 0644);
        else
            write_file(dir / "organ.bmp", b.bytes);
        Program run(VORNEL_LAYERED_PATH, dir.path());
        EXPECT_EQ(run.wait(LOADED_WAIT_SECONDS), 3) << b.name;
        const std::string& error = run.standard_error();
        EXPECT_EQ(error.rfind("Can't load texture!!!", 0), 0u) << b.name << ": " << error;
        EXPECT_EQ(error.find('\n'), error.size() - 1) << b.name << ": " << error;
        if (b.name == "directory" || b.name == "fifo") {
            EXPECT_NE(error.find("organ.bmp is not a regular file"), std::string::npos) << error;
        }
        EXPECT_LT(run.max_resident_kib(), 400 * 1024) << b.name;
    }
}

// Valid files that cost little to read but are large or sparse: RLE whose
// escapes end lines or the picture early, and a picture wider than the
// largest texture, which GLU scales down.
struct Sparse {
    std::string name, bytes;
    int width, height;
};

std::vector<Sparse> large_and_sparse_bitmaps()
{
    std::vector<Sparse> kinds = {{"wider_than_a_texture", grey_bitmap(16385, 1, 200), 16385, 1}};
    if (!sdl_decodes_rle())
        return kinds;
    const std::string run = std::string("\x02\x01", 2);  // two pixels of colour 1
    const std::string end_of_line("\x00\x00", 2), end_of_bitmap("\x00\x01", 2);
    std::string every_row;
    for (int r = 0; r < 4096; r++)
        every_row += run + end_of_line;
    kinds.push_back({"rle_end_of_bitmap", rle8_bitmap(1024, 1024, run + end_of_bitmap), 1024, 1024});
    kinds.push_back({"rle_end_of_line", rle8_bitmap(2048, 4096, every_row + end_of_bitmap), 2048, 4096});
    return kinds;
}

TEST_F(BitmapCorpus, LargeAndSparseBitmapsLoad)
{
    for (const Sparse& kind : large_and_sparse_bitmaps()) {
        std::string path = folder / kind.name + ".bmp";
        write_file(path, kind.bytes);
        int w = 0, h = 0;
        std::vector<unsigned char> texels = converted_pixels(path, &w, &h);
        ASSERT_EQ(texels.size(), 4 * (size_t)kind.width * kind.height) << kind.name << ": " << SDL_GetError();
        EXPECT_EQ(w, kind.width);
        if (kind.name.rfind("rle", 0) != 0)
            continue;
        // Bottom row first: the run, then colour 0 (black, so transparent)
        // where the escapes cut the rows short.
        const unsigned char* red = RLE_COLOURS[1];
        EXPECT_EQ(std::vector<unsigned char>(texels.begin(), texels.begin() + 12),
                  (std::vector<unsigned char>{red[0], red[1], red[2], 255, red[0], red[1], red[2], 255, 0, 0, 0, 0}))
            << kind.name;
        EXPECT_EQ(texels.back(), 0) << kind.name;
    }
    EXPECT_EQ(rle8_bitmap(1024, 1024, std::string(4, '\0')).size(), 66u);
}

TEST_F(BitmapCorpus, TheProgramShowsLargeAndSparseBitmaps)
{
    use_private_display();
    std::string veins = grey_bitmap(8, 8, 90);
    for (const Sparse& kind : large_and_sparse_bitmaps()) {
        TemporaryFolder dir;
        write_file(dir / "organ.bmp", kind.bytes);
        write_file(dir / "veins.bmp", veins);
        RunResult run = run_until_key(VORNEL_LAYERED_PATH, dir.path());
        EXPECT_EQ(run.status, 0) << kind.name;
        EXPECT_EQ(run.standard_error, "") << kind.name;
    }
}
