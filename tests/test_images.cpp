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
#include "frame_difference.h"
#include "xvfb.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

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
    ASSERT_TRUE(read_picture(std::string(VORNEL_REFERENCE_DIR) + "/" + name, reference)) << name;
    RgbImage frame = capture_frame(variant, ticks);
    RgbImage picture;
    Difference d = compare(frame, reference, picture);
    if (!d.looks_the_same()) {
        std::string dir = VORNEL_IMAGE_FAILURES_DIR;
        mkdir(dir.c_str(), 0755);
        write_picture(dir + "/actual_" + name, frame);
        write_picture(dir + "/difference_" + name, picture);
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
