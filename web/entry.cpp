// The pages' entry. Without options it runs the program itself, whose loop
// shows a frame at each of the browser's animation frames. With --ticks N
// (the page's ?ticks=N) it draws the one frame at N milliseconds after
// start-up and stops, as the capture tool does natively: for tests and
// stills.
#include <emscripten.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ctexture.h"
#include "main.h"

int vornel_main(int argc, char* argv[]);  // src/main.cpp's main, renamed

// Emscripten's SDL_SetVideoMode returns a window even where the browser
// gives no WebGL context, and the first OpenGL call then fails unseen. So
// the entry asks first, on a canvas of its own.
EM_JS(int, browser_has_webgl, (), {
    var gl = document.createElement('canvas').getContext('webgl');
    if (gl && gl.getExtension('WEBGL_lose_context'))
        gl.getExtension('WEBGL_lose_context').loseContext();
    return gl ? 1 : 0;
});

static void draw_still(Uint32 ticks)
{
    const float light_position[] = {0.0f, 0.0f, -113.0f, 1.0f};  // as the program's
    setup_sdl(nullptr);
    setup_opengl(640, 480);
    setup_gl_material_light();
    setup_gl_light(light_position);
    CTexture organ("organ.bmp");
    CTexture veins("veins.bmp");
#if VORNEL_SINGLE
    draw_single_scene(ticks, organ.texID(), veins.texID());
#else
    draw_layered_scene(ticks, organ.texID(), veins.texID());
#endif
}

int main(int argc, char* argv[])
{
    if (!browser_has_webgl()) {  // as the program reports a window it cannot open
        fprintf(stderr, "Video initialization failed: this browser gives no WebGL context\n");
        exit(2);
    }
    if (argc == 3 && !strcmp(argv[1], "--ticks")) {
        draw_still((Uint32)strtoull(argv[2], nullptr, 10));
        return 0;
    }
    // Once the loop has waited for a frame, main's return value goes
    // nowhere: exit says the run is over, and the page shows it.
    exit(vornel_main(argc, argv));
}
