// Frames of both programs at fixed clock readings against the reference
// pictures in tests/reference. The tolerance lets small differences in
// Mesa's rasteriser through but not a changed colour, a moved tube, a
// missing pass or a texture seam. A failing comparison writes the frame and
// a difference picture beside the test's build.
//
// After an intended change of the picture, make new references with
//   xvfb-run -a build/tools/capture --out tests/reference 0 5000 60000
//   xvfb-run -a build/tools/capture --single --out tests/reference 0 5000 60000
#include "frame_capture.h"
#include "xvfb.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// Mesa's rasteriser may move a few pixels by a level or two between
// versions. What a person would see is caught by three measures: a colour
// shift over the whole frame, pixels off by more than 8 levels (a
// one-texel seam 12% darker makes 0.4% of them), and a region gone wrong.
struct Difference {
    double shift;          // the largest mean signed difference of a channel
    double visible_share;  // share of pixels with a channel off by more than 8
    double worst_block;    // the largest mean difference of a 32 × 32 block
};

Difference compare(const RgbImage& a, const RgbImage& b, RgbImage& picture)
{
    picture = a;
    std::vector<double> blocks(20 * 15, 0);
    double signed_total[3] = {0, 0, 0};
    size_t visible = 0;
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) {
            size_t i = 3 * (y * 640 + x);
            int worst = 0, sum = 0;
            for (int c = 0; c < 3; c++) {
                signed_total[c] += a.rgb[i + c] - b.rgb[i + c];
                int d = std::abs(a.rgb[i + c] - b.rgb[i + c]);
                worst = std::max(worst, d);
                sum += d;
            }
            blocks[(y / 32) * 20 + x / 32] += sum / 3.0 / (32 * 32);
            visible += worst > 8;
            // Differences in red on a dimmed copy of the frame.
            picture.rgb[i] = (unsigned char)std::min(255, a.rgb[i] / 4 + worst * 4);
            picture.rgb[i + 1] = picture.rgb[i + 2] = (unsigned char)(a.rgb[i + 1] / 4);
        }
    double shift = 0;
    for (double channel : signed_total)
        shift = std::max(shift, std::fabs(channel) / (640 * 480));
    return {shift, visible / (640.0 * 480),
            *std::max_element(blocks.begin(), blocks.end())};
}

class Images : public ::testing::TestWithParam<std::pair<Variant, Uint32>> {
protected:
    static void SetUpTestSuite()
    {
        use_private_display();
        open_capture_window(VORNEL_DATA_DIR);
    }
};

std::string frame_name(Variant variant, Uint32 ticks)
{
    return std::string("vornel_") + (variant == Variant::layered ? "layered_" : "single_") +
           std::to_string(ticks) + ".png";
}

}  // namespace

TEST_P(Images, FrameMatchesItsReference)
{
    auto [variant, ticks] = GetParam();
    std::string name = frame_name(variant, ticks);
    RgbImage reference;
    ASSERT_TRUE(read_png(std::string(VORNEL_REFERENCE_DIR) + "/" + name, reference)) << name;
    RgbImage frame = capture_frame(variant, ticks);
    RgbImage picture;
    Difference d = compare(frame, reference, picture);

    bool same = d.shift <= 0.75 && d.visible_share <= 0.001 && d.worst_block <= 8;
    if (!same) {
        std::string dir = VORNEL_IMAGE_FAILURES_DIR;
        mkdir(dir.c_str(), 0755);
        write_png(dir + "/actual_" + name, frame);
        write_png(dir + "/difference_" + name, picture);
        ADD_FAILURE() << name << " differs from its reference: colour shift " << d.shift
                      << ", visibly different pixels " << 100 * d.visible_share
                      << "%, worst block " << d.worst_block << "\n  frame:      " << dir
                      << "/actual_" << name << "\n  difference: " << dir << "/difference_" << name;
    }
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, Images,
                         ::testing::Values(std::pair{Variant::layered, 0u},
                                           std::pair{Variant::layered, 5000u},
                                           std::pair{Variant::layered, 60000u},
                                           std::pair{Variant::single, 0u},
                                           std::pair{Variant::single, 5000u},
                                           std::pair{Variant::single, 60000u}));
