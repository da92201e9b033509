// Frames drawn by the programs' own code at fixed clock readings, read
// back from Mesa's renderer.
#include "frame_capture.h"
#include "main.h"
#include "xvfb.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

class Frames : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        use_private_display();
        unsetenv("SDL12COMPAT_OPENGL_SCALING");
        open_capture_window(VORNEL_DATA_DIR);
    }
    static std::vector<unsigned char> frame(Variant variant, Uint32 ticks)
    {
        return capture_frame(variant, ticks).rgb;
    }
};

// Mean brightness of 32 × 32 blocks, 20 across and 15 up.
std::vector<double> block_means(const std::vector<unsigned char>& rgb)
{
    std::vector<double> means(20 * 15, 0);
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) {
            const unsigned char* p = &rgb[3 * (y * 640 + x)];
            means[(y / 32) * 20 + x / 32] += (p[0] + p[1] + p[2]) / 3.0 / (32 * 32);
        }
    return means;
}

void expect_tunnel(const std::vector<unsigned char>& rgb, const std::string& what)
{
    std::vector<double> means = block_means(rgb);
    double mean = 0, spread = 0;
    for (double m : means)
        mean += m / means.size();
    for (double m : means)
        spread += (m - mean) * (m - mean) / means.size();
    auto darkest = std::min_element(means.begin(), means.end());
    int dark_x = (int)(darkest - means.begin()) % 20, dark_y = (int)(darkest - means.begin()) / 20;

    EXPECT_GT(*std::max_element(means.begin(), means.end()), 80) << what << ": lit walls";
    EXPECT_LT(*darkest, 0.5 * mean) << what << ": a dark far end";
    EXPECT_GT(std::sqrt(spread), 10) << what << ": not uniform";
    // The far end lies near the middle of the screen, not at an edge.
    EXPECT_TRUE(dark_x >= 4 && dark_x < 16 && dark_y >= 3 && dark_y < 12)
        << what << ": far end in block " << dark_x << ", " << dark_y;
}

size_t differing_pixels(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b)
{
    size_t count = 0;
    for (size_t i = 0; i < a.size(); i += 3)
        if (a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2])
            count++;
    return count;
}

}  // namespace

TEST_F(Frames, AskForDirectRenderingUnlessTheUserChose)
{
    EXPECT_STREQ(getenv("SDL12COMPAT_OPENGL_SCALING"), "0");
}

TEST_F(Frames, BothBuildsShowATunnel)
{
    for (Uint32 ticks : {0u, 5000u, 60000u}) {
        expect_tunnel(frame(Variant::layered, ticks), "layered at " + std::to_string(ticks));
        expect_tunnel(frame(Variant::single, ticks), "single at " + std::to_string(ticks));
    }
}

TEST_F(Frames, TheVeinsPassChangesTheFrame)
{
    auto layered = frame(Variant::layered, 5000);
    auto single = frame(Variant::single, 5000);
    EXPECT_GT(differing_pixels(layered, single), 640u * 480 / 10);
}

TEST_F(Frames, TheSameClockGivesTheSamePixels)
{
    for (Variant variant : {Variant::layered, Variant::single}) {
        auto first = frame(variant, 7321);
        frame(variant, 123456);  // something else in between
        EXPECT_EQ(differing_pixels(first, frame(variant, 7321)), 0u);
    }
    EXPECT_GT(differing_pixels(frame(Variant::layered, 7321), frame(Variant::layered, 7350)), 0u);
}

TEST_F(Frames, TheSingleBuildIgnoresTheVeinsTexture)
{
    frame(Variant::single, 2500);
    GLint organ;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &organ);  // the single build binds only the tissue
    draw_single_scene(2500, (GLuint)organ, 0);
    std::vector<unsigned char> without(640 * 480 * 3);
    glReadPixels(0, 0, 640, 480, GL_RGB, GL_UNSIGNED_BYTE, without.data());
    draw_single_scene(2500, (GLuint)organ, 12345);
    std::vector<unsigned char> with_nonsense(640 * 480 * 3);
    glReadPixels(0, 0, 640, 480, GL_RGB, GL_UNSIGNED_BYTE, with_nonsense.data());
    EXPECT_EQ(differing_pixels(with_nonsense, without), 0u);
}
