#include "frame_capture.h"

#include <GL/gl.h>
#include <algorithm>

#include "ctexture.h"
#include "main.h"

static SceneTextures textures;

SceneTextures open_capture_window(const std::string& data_dir)
{
    const float light_position[] = {0.0f, 0.0f, -113.0f, 1.0f};
    setup_sdl(nullptr);
    setup_opengl(640, 480);
    setup_gl_material_light();
    setup_gl_light(light_position);
    // Their OpenGL textures live until the context ends, as in the programs.
    textures.organ = CTexture((data_dir + "/organ.bmp").c_str()).texID();
    textures.veins = CTexture((data_dir + "/veins.bmp").c_str()).texID();
    return textures;
}

RgbImage capture_frame(Variant variant, Uint32 ticks)
{
    if (variant == Variant::layered)
        draw_layered_scene(ticks, textures.organ, textures.veins);
    else
        draw_single_scene(ticks, textures.organ, textures.veins);

    RgbImage image;
    image.width = 640;
    image.height = 480;
    image.rgb.resize(640 * 480 * 3);
    std::vector<unsigned char> bottom_up(image.rgb.size());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, 640, 480, GL_RGB, GL_UNSIGNED_BYTE, bottom_up.data());
    for (int y = 0; y < 480; y++)  // OpenGL's first row is the bottom one
        std::copy_n(&bottom_up[(479 - y) * 640 * 3], 640 * 3, &image.rgb[y * 640 * 3]);
    return image;
}
