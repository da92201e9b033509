// Frames drawn by the programs' own code at fixed clock readings, read
// back from Mesa's renderer.
#include "frame_capture.h"
#include "main.h"
#include "xvfb.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <malloc.h>
#include <memory>
#include <new>
#include <string>
#include <vector>

// Allocations made with operator new and not yet deleted, in this test
// program: the frames' meshes among them. Under AddressSanitizer the
// allocator stays the sanitizer's, whose leak check at exit covers the same
// frames; Mesa's LLVM mixes its operator new with free, which a replacement
// here would turn into a reported mismatch.
#if defined(__SANITIZE_ADDRESS__)  // GCC
#define UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)  // clang
#define UNDER_ASAN 1
#endif
#endif
#ifndef UNDER_ASAN
static long outstanding = 0;
void* operator new(size_t size)
{
    void* p = std::malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    outstanding++;
    return p;
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* p) noexcept
{
    if (p)
        outstanding--;
    std::free(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }
#else
static const long outstanding = 0;
#endif

namespace {

// Bytes the C heap has handed out and not had back, in all arenas and
// mapped blocks: Mesa's allocations as well as ours. Not under
// AddressSanitizer, whose allocator is not the C library's.
size_t heap_in_use()
{
#ifndef UNDER_ASAN
    struct mallinfo2 heap = mallinfo2();
    return heap.uordblks + heap.hblkhd;
#else
    return 0;
#endif
}

class Frames : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        use_private_display();
        unsetenv("SDL12COMPAT_OPENGL_SCALING");
        textures = open_capture_window(VORNEL_DATA_DIR);
    }
    static SceneTextures textures;
    static std::vector<unsigned char> frame(Variant variant, Uint32 ticks)
    {
        return capture_frame(variant, ticks).rgb;
    }
};
SceneTextures Frames::textures;

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

// Lit walls, a dark far end, not uniform; and unless the texture is
// smeared by hours of running, the far end near the middle of the screen.
void expect_tunnel(const std::vector<unsigned char>& rgb, const std::string& what,
                   bool far_end_in_the_middle = true)
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
    if (!far_end_in_the_middle)
        return;
    EXPECT_TRUE(dark_x >= 4 && dark_x < 16 && dark_y >= 3 && dark_y < 12)
        << what << ": far end in block " << dark_x << ", " << dark_y;
}

// All of a mesh's floats are numbers: no NaN, no infinity.
bool all_finite(const CVertexbuffer& mesh)
{
    const CVector3* arrays[] = {mesh.vertices, mesh.normals, mesh.colors};
    for (const CVector3* array : arrays)
        for (int i = 0; i < mesh.num_vertices; i++)
            if (!std::isfinite(array[i].x) || !std::isfinite(array[i].y) || !std::isfinite(array[i].z))
                return false;
    for (int i = 0; i < 2 * mesh.num_vertices; i++)
        if (!std::isfinite(mesh.texcoords[i]))
            return false;
    return true;
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

TEST_F(Frames, BothBuildsShowATunnel)
{
    for (Uint32 ticks : {0u, 5000u, 60000u}) {
        bool smeared = ticks > 1000;
        expect_tunnel(frame(Variant::layered, ticks), "layered at " + std::to_string(ticks), !smeared);
        expect_tunnel(frame(Variant::single, ticks), "single at " + std::to_string(ticks), !smeared);
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

// Hours and weeks into a run: where ticks as a float starts to move in steps
// of 2 ms (2^24 ms), and just before and after the 32-bit clock wraps. The
// texture coordinates are never wrapped, by design, so by then they have
// lost their fractions and the tissue is smeared into streaks along the
// body: dark streaks may outdo the far end.
TEST_F(Frames, LongRunsStayFiniteAndStillShowATunnel)
{
    const Uint32 clocks[] = {16777215u, 16777216u, 16777217u, 16777219u, 4294967295u - 40,
                             4294967295u, 0u, 1u, 17u};
    for (Uint32 ticks : clocks) {
        double T = scene_time(ticks);
        for (double slide : {8.0, 15.0}) {
            std::unique_ptr<CVertexbuffer> mesh(make_tube(ticks, slide));
            shift_overlay(mesh.get(), T);
            EXPECT_TRUE(all_finite(*mesh)) << ticks;
        }
        bool smeared = ticks > 1000;
        expect_tunnel(frame(Variant::layered, ticks), "layered at " + std::to_string(ticks), !smeared);
        expect_tunnel(frame(Variant::single, ticks), "single at " + std::to_string(ticks), !smeared);
    }
}

// What a frame allocates it frees before the next. After a warm-up in which
// Mesa makes what it keeps, every frame leaves our own allocations as they
// were, and the heap, Mesa's included, within a few of Mesa's working
// blocks of where it stood: a mesh left behind is 566 KB, and a leak of
// more than 7 KB a frame passes the bound within the forty frames.
TEST_F(Frames, FramesLeaveNothingBehind)
{
    const size_t heap_slack = 256 * 1024;  // bytes
    for (Variant variant : {Variant::layered, Variant::single}) {
        auto draw = variant == Variant::layered ? draw_layered_scene : draw_single_scene;
        for (Uint32 ticks = 0; ticks < 10; ticks++) {
            draw(ticks, textures.organ, textures.veins);
            glFinish();  // done with the frame, as a swap would be
        }
        long before = outstanding;
        size_t heap = heap_in_use();
        for (Uint32 frame = 0; frame < 40; frame++) {
            Uint32 ticks = frame * 433;
            draw(ticks, textures.organ, textures.veins);
            glFinish();
            ASSERT_EQ(outstanding, before) << "frame at " << ticks;
            ASSERT_LE(heap_in_use(), heap + heap_slack) << "frame at " << ticks;
        }
    }
}
