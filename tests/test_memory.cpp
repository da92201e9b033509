// What loading the bitmaps leaves in the real program's memory once frames
// run: the textures that OpenGL holds, and no copy of the pixels besides.
#include "bitmaps.h"
#include "temporary_folder.h"
#include "program.h"
#include "xvfb.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

namespace {

// Resident size of vornel_layered in `folder`, once its frames run. The
// window opens before the bitmaps load, which on a loaded machine takes
// seconds: the first frame-rate caption, three seconds into the frames,
// says that loading is over.
long resident_while_running(const TemporaryFolder& folder)
{
    Program run(VORNEL_LAYERED_PATH, folder.path());
    XClient x(getenv("DISPLAY"));
    Window window = x.find_window(LOADED_WAIT_SECONDS);
    if (!window || x.wait_for_title(window, "*Vornel*", LOADED_WAIT_SECONDS).rfind("*Vornel*", 0) != 0)
        return -1;
    long resident = run.resident_kib();
    x.press_key(window, "space");
    return run.wait(LOADED_WAIT_SECONDS) == 0 ? resident : -1;
}

TemporaryFolder folder_with_veins(const std::string& veins)
{
    TemporaryFolder folder;
    write_file(folder / "organ.bmp", read_file(std::string(VORNEL_DATA_DIR) + "/organ.bmp"));
    write_file(folder / "veins.bmp", veins);
    return folder;
}

}  // namespace

// A 2048 × 2048 veins.bmp is 16 MiB as RGBA, and about 21 MiB with its
// mipmaps in OpenGL's hands. Reading it takes the file's surface, its
// conversion and the RGBA buffer besides; if the allocator kept those, the
// program would hold some 64 MiB more than with a small bitmap.
TEST(Memory, LoadingLeavesNoCopyOfThePixels)
{
    use_private_display();
    long small = resident_while_running(folder_with_veins(read_file(std::string(VORNEL_DATA_DIR) + "/veins.bmp")));
    long large = resident_while_running(folder_with_veins(grey_bitmap(2048, 2048, 120)));
    ASSERT_GT(small, 0);
    ASSERT_GT(large, 0);
    printf("resident: %ld KiB with the project's veins.bmp, %ld KiB with 2048 x 2048 (%+ld KiB)\n",
           small, large, large - small);
    EXPECT_LT(large - small, 40 * 1024) << "the loader's copies of the pixels stayed resident";
}
