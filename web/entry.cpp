// The pages' entry. Without options it runs the program itself, whose loop
// shows a frame at each of the browser's animation frames. With --ticks N
// (the page's ?ticks=N) it draws the one frame at N milliseconds after
// start-up and stops, as the capture tool does natively: for tests and
// stills, 640 x 480 whatever the canvas's displayed size.
#include <emscripten.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ctexture.h"
#include "layer.h"
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

// A clock reading is a whole number of milliseconds that SDL's 32-bit
// counter can hold: digits only, 0 to 4294967295. Anything else would
// have wrapped or been read as 0, and shown a frame nobody asked for.
static bool read_ticks(const char* text, Uint32* ticks)
{
    unsigned long long value = 0;
    if (!*text)
        return false;
    for (const char* c = text; *c; c++) {
        if (*c < '0' || *c > '9' || value > 0xFFFFFFFFull)
            return false;
        value = value * 10 + (unsigned)(*c - '0');
    }
    if (value > 0xFFFFFFFFull)
        return false;
    *ticks = (Uint32)value;
    return true;
}

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

#if VORNEL_SINGLE
// The single program opens veins.bmp and never draws with it: a black
// pixel stands in, so that its page does not download the real bitmap.
static void stand_in_for_veins()
{
    static const unsigned char bitmap[58] = {
        'B', 'M', 58, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,  // file header
        40, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 24, 0,  // 1 x 1, 24 bits, uncompressed
    };
    FILE* file = fopen("veins.bmp", "wb");
    if (file) {
        fwrite(bitmap, 1, sizeof bitmap, file);
        fclose(file);
    }
}
#endif

// After the loop has waited for a frame, the program runs inside the
// browser's callback, where Emscripten's exit would throw its ExitStatus
// as an uncaught error. The end is taken outside it, where Emscripten
// catches its own: the runtime shuts down and the page hears of the end.
EM_JS(void, end_after_this_callback, (int status), {
    setTimeout(function () { callUserCallback(function () { exit(status); }); });
});

int main(int argc, char* argv[])
{
    bool still = argc == 3 && !strcmp(argv[1], "--ticks");
    Uint32 ticks = 0;
    if (still && !read_ticks(argv[2], &ticks)) {
        fprintf(stderr, "?ticks=%s is not a clock reading: it takes a whole number of "
                        "milliseconds from 0 to 4294967295\n", argv[2]);
        return 64;  // a usage error, as sysexits.h has it
    }
    if (!browser_has_webgl()) {  // as the program reports a window it cannot open
        fprintf(stderr, "Video initialization failed: this browser gives no WebGL context\n");
        return 2;
    }
#if VORNEL_SINGLE
    stand_in_for_veins();
#endif
    if (still) {
        draw_still(ticks);
        return 0;
    }
    webgl_follow_displayed_size();
    watch_the_page();
    end_after_this_callback(vornel_main(argc, argv));
    return 0;
}
