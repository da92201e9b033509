// The committed bitmaps are what the generator makes, byte for byte.
#include "bitmaps.h"
#include "temporary_folder.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

static std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

TEST(MakeTextures, ReproducesTheCommittedBitmaps)
{
    TemporaryFolder folder;
    std::string command = std::string(VORNEL_MAKE_TEXTURES_PATH) + " " + folder.path();
    ASSERT_EQ(system(command.c_str()), 0);
    for (const char* name : {"organ.bmp", "veins.bmp"}) {
        std::string made = contents(folder / name);
        std::string committed = contents(std::string(VORNEL_DATA_DIR) + "/" + name);
        EXPECT_EQ(made.size(), 54u + 256 * 256 * 3) << name << ": 24-bit 256 x 256";
        EXPECT_TRUE(made == committed) << name << " differs from data/" << name
                                       << "; run tools/make_textures data";
    }
}
