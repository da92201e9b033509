// Vornel: the inside of a living tube, drawn as fast as OpenGL allows until
// a key is pressed or the window is closed.
#include "main.h"

#include <GL/glu.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ctexture.h"
#include "cvector.h"
#include "rounding.h"
#include "vornel.h"

static const int SCREEN_W = 640;      // pixels
static const int SCREEN_H = 480;      // pixels
static const int BPP = 32;            // bits per pixel of the video mode
static const int VRINGS = 128;        // rings along the tube
static const int VBANDS = 64;         // facets around each ring
static const float VRADIUS = 3.5f;    // tube radius before folding
static const int VRING_FOLD = 16;     // fold periods along the tube
static const int VBAND_FOLD = 7;      // fold periods around each ring
static const float CAMSPEED = 0.03f;  // scene time units per millisecond
// Kept on purpose: see "Exact on purpose" in README.md.
static const float PI = 3.141593f;    // one ulp above the float nearest π

// Stands where the author's web address stood in the captions.
#define CAPTION_TAG "OpenGL demo"

// ---- Start-up -------------------------------------------------------------

// SDL_Quit is called by hand on every way out rather than from atexit: when
// the display goes away, Xlib ends the process from inside its I/O error
// handler, and SDL2's shutdown would then wait for ever on the dead
// connection. The exit handlers must not touch the display.
int setup_sdl(SDL_Surface* screen)
{
    if (SDL_Init(SDL_INIT_VIDEO) < 0) {
        fprintf(stderr, "Video initialization failed: %s\n", SDL_GetError());
        SDL_Quit();
        exit(1);
    }

    // Fixed size: neither full-screen nor resizable. Where the window
    // manager gives it another size, SDL 1.2 on SDL2 (sdl12-compat) scales
    // the picture to fit, 4:3 and centred, unless SDL12COMPAT_OPENGL_SCALING
    // is 0.
    Uint32 flags = SDL_HWSURFACE | SDL_OPENGL | SDL_DOUBLEBUF;
    screen = SDL_SetVideoMode(SCREEN_W, SCREEN_H, BPP, flags);
    if (!screen) {
        fprintf(stderr, "Video initialization failed: %s\n", SDL_GetError());
        SDL_Quit();
        exit(2);
    }
    SDL_WM_SetCaption("Vornel by Talwick " CAPTION_TAG, nullptr);
    return 1;
}

void setup_opengl(int width, int height)
{
    float aspect = (float)width / (float)height;  // 1.3333334 for 640 × 480
    glShadeModel(GL_SMOOTH);
    glClearColor(0, 0, 0, 0);
    glViewport(0, 0, width, height);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);  // the overlay pass lands on the tissue's depth
    glEnable(GL_COLOR_MATERIAL);  // vertex grey sets ambient and diffuse
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, aspect, 1.0, 200.0);  // degrees; near, far
}

void setup_gl_material_light()
{
    float ambient[] = {0.5f, 0.5f, 0.5f, 1.0f};
    float specular[] = {1.0f, 1.0f, 1.0f, 1.0f};
    float shininess[] = {50.0f};
    glMaterialfv(GL_FRONT, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
    glMaterialfv(GL_FRONT, GL_SHININESS, shininess);
}

void setup_gl_light(const float* position)
{
    float ambient[] = {0.3f, 0.3f, 0.3f, 1.0f};
    float diffuse[] = {0.3f, 0.9f, 0.7f, 1.0f};  // green-cyan
    float model_ambient[] = {0.5f, 0.5f, 0.5f, 1.0f};
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    // The model-view matrix is still the identity: the light stays fixed
    // relative to the viewer for the whole run.
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, model_ambient);
    glEnable(GL_LIGHT0);
    glEnable(GL_LIGHTING);
}

// ---- Input ----------------------------------------------------------------

static bool hidden = false;  // minimised or unmapped: nobody sees a frame

// Notes whether the window is shown; 1 for a key press or a close request.
static int take_event(const SDL_Event& event)
{
    if (event.type == SDL_ACTIVEEVENT && (event.active.state & SDL_APPACTIVE))
        hidden = !event.active.gain;
    return event.type == SDL_KEYDOWN || event.type == SDL_QUIT;
}

int get_sdl_events()
{
    int quit = 0;
    SDL_Event event;
    while (SDL_PollEvent(&event))  // drain it all, whatever came first
        if (take_event(event))
            quit = 1;
    return quit;
}

bool window_hidden() { return hidden; }

int wait_while_hidden()
{
    SDL_Event event;
    while (hidden && SDL_WaitEvent(&event))
        if (take_event(event))
            return 1;
    return 0;
}

// ---- One frame --------------------------------------------------------------

double scene_time(Uint32 ticks)
{
    // ticks as a float: exact up to 2^24 ms, in steps of 2 ms or more after.
    // T itself stays double.
    // Kept on purpose: see "Exact on purpose" in README.md.
    return (double)to_single(ticks) * CAMSPEED;
}

CVertexbuffer* make_tube(Uint32 ticks, double slide)
{
    double T = scene_time(ticks);
    float u_offset = (float)(T * slide / 128.0);  // along the body
    // The folds breathe: about 107 s along the tube, 13.4 s around it.
    float ring_fold_amp = (float)(std::sin(T / 512.0f) * (double)0.07f);
    float band_fold_amp = (float)(std::sin(T / 64.0f) * (double)0.15f);
    return init_vornel(VRINGS, VBANDS, VRADIUS, 2.8f, 0.02f, ring_fold_amp, VRING_FOLD,
                       0.02f, band_fold_amp, VBAND_FOLD, CAMSPEED, to_single(ticks),
                       u_offset, 32, 8);
}

void begin_frame(double T)
{
    glMatrixMode(GL_MODELVIEW);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glPushMatrix();
    glLoadIdentity();

    // The eye circles the axis with the tube's first ring, once every
    // 128 / 30 s, always looking at the same point down the tube.
    float t = to_single(T);
    double theta = t * (double)(2 * PI) / 128.0f;
    CVector3 eye(to_single(std::cos(theta) * (double)2.8f),
                 to_single(std::sin(theta) * (double)2.8f), 0);
    gluLookAt(eye.x, eye.y, 0, 0, 0, -10, 0, 1, 0);

    glEnable(GL_TEXTURE_2D);
}

// The veins turn around the tube relative to the tissue: v is the
// coordinate around the rings.
// Into the mesh, on the CPU, on purpose: see "Exact on purpose" in README.md.
void shift_overlay(CVertexbuffer* mesh, double T)
{
    const double shift = T * 5.0 / 128.0;
    for (int i = 0; i < mesh->num_vertices; i++)
        mesh->texcoords[2 * i + 1] = (float)(mesh->texcoords[2 * i + 1] + shift);
}

void tissue_pass(CVertexbuffer* mesh, GLuint organ_tex)
{
    glBindTexture(GL_TEXTURE_2D, organ_tex);
    mesh->render();
}

// Same triangles again, at equal depth, with black veins transparent; then
// the arrays and blending are switched off.
void veins_pass(CVertexbuffer* mesh, GLuint veins_tex)
{
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glBindTexture(GL_TEXTURE_2D, veins_tex);
    mesh->render();
    mesh->disable();
    glDisable(GL_BLEND);
}

void end_frame()
{
    glDisable(GL_TEXTURE_2D);
    glPopMatrix();
    glFlush();
}

void draw_layered_scene(Uint32 ticks, GLuint organ_tex, GLuint veins_tex)
{
    double T = scene_time(ticks);
    CVertexbuffer* mesh = make_tube(ticks, 8.0);
    begin_frame(T);
    mesh->initialize();
    tissue_pass(mesh, organ_tex);
    shift_overlay(mesh, T);
    veins_pass(mesh, veins_tex);
    end_frame();
    delete mesh;
}

// Tissue only, sliding faster. The client arrays stay enabled, pointing at
// the freed mesh until the next frame's initialize; nothing draws between.
// Left so on purpose: see "Exact on purpose" in README.md.
void draw_single_scene(Uint32 ticks, GLuint organ_tex, GLuint /*veins_tex*/)
{
    double T = scene_time(ticks);
    CVertexbuffer* mesh = make_tube(ticks, 15.0);
    begin_frame(T);
    mesh->initialize();
    tissue_pass(mesh, organ_tex);
    end_frame();
    delete mesh;
}

// The build picks the variant: VORNEL_SINGLE=1 for vornel_single.
void draw_scene(GLuint organ_tex, GLuint veins_tex)
{
#if VORNEL_SINGLE
    draw_single_scene(SDL_GetTicks(), organ_tex, veins_tex);
#else
    draw_layered_scene(SDL_GetTicks(), organ_tex, veins_tex);
#endif
}

// ---- Frame rate -------------------------------------------------------------

int whole_seconds(Uint32 ticks)
{
    // The double nearest 0.001 lies just above it, so this equals
    // ticks / 1000 for every 32-bit count.
    return (int)(ticks * 0.001);
}

int due_frame_rate(int frames, int last_seconds, Uint32 now)
{
    // After the clock wraps (49.7 days) elapsed stays negative: the caption
    // is no longer refreshed, while drawing goes on.
    int elapsed = whole_seconds(now) - last_seconds;
    return elapsed > 2 ? frames / elapsed : -1;
}

void show_frame_rate(int fps)
{
    char caption[256];
    memset(caption, 0, sizeof caption);
    snprintf(caption, sizeof caption, "*Vornel* by Talwick [" CAPTION_TAG "]  FPS: %d", fps);
    SDL_WM_SetCaption(caption, nullptr);
}

// ---- The program ------------------------------------------------------------

int main(int argc, char* argv[])
{
    (void)argc;  // no options
    (void)argv;
    SDL_Surface* screen = nullptr;
    float light_position[] = {0.0f, 0.0f, -113.0f, 1.0f};  // 113 units ahead

    // Start-up: window, fixed OpenGL state, textures, allocator.
    if (!setup_sdl(screen))
        exit(1);
    setup_opengl(SCREEN_W, SCREEN_H);
    setup_gl_material_light();
    setup_gl_light(light_position);
    CTexture organ("organ.bmp");
    CTexture veins("veins.bmp");
    keep_mesh_memory();  // after loading, so that the loader's memory goes back

    // The loop: the frame that sees a key press is still drawn and shown.
    int frames = 0;
    int last_seconds = whole_seconds(SDL_GetTicks());  // loading not counted
    int done = 0;
    while (!done) {
        done = get_sdl_events();
        if (!done && window_hidden()) {
            done = wait_while_hidden();  // no frames while nobody can see them
            frames = 0;  // nor does the pause count in the next rate
            last_seconds = whole_seconds(SDL_GetTicks());
        }
        draw_scene(organ.texID(), veins.texID());
        SDL_GL_SwapBuffers();
        frames = frames + 1;
        int fps = due_frame_rate(frames, last_seconds, SDL_GetTicks());
        if (fps >= 0) {
            show_frame_rate(fps);
            last_seconds = whole_seconds(SDL_GetTicks());  // a fresh reading
            frames = 0;
        }
    }

    // The end: SDL shuts down here, before veins, then organ, are destroyed
    // (their OpenGL textures end with the context).
    SDL_Quit();
    return 0;
}
