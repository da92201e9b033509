// The application shell: start-up, the main loop, and the drawing of one
// frame. The programs' entry is main() in main.cpp; the tests and tools call
// these functions to draw the programs' own frames.
#ifndef MAIN_H
#define MAIN_H

#include <GL/gl.h>
#include <SDL.h>

#include "cvertexbuffer.h"

// Start-up, in this order. A failure prints one line and ends the process:
// status 1 when SDL has no video, 2 when the OpenGL window cannot be opened.
// Nothing shuts SDL down at exit: whoever opened it calls SDL_Quit.
int setup_sdl(SDL_Surface* screen);
void setup_opengl(int width, int height);
void setup_gl_material_light();
void setup_gl_light(const float* position);

// Drains SDL's queue; 1 if a key was pressed or the window asked to close.
int get_sdl_events();
// Whether the events taken so far left the window minimised or hidden.
bool window_hidden();
// While the window is hidden, waits for events without drawing: 0 once it
// is shown again, 1 if a key was pressed or the window asked to close.
int wait_while_hidden();

// One frame at the clock's current reading, in this program's variant.
void draw_scene(GLuint organ_tex, GLuint veins_tex);

// One frame at a given clock reading (milliseconds since start-up), without
// reading the clock: the same ticks give the same frame.
void draw_layered_scene(Uint32 ticks, GLuint organ_tex, GLuint veins_tex);
void draw_single_scene(Uint32 ticks, GLuint organ_tex, GLuint veins_tex);

// The steps of a frame, for measuring them one by one: the mesh, then
// begin_frame, the mesh's initialize, tissue_pass, and in the layered build
// shift_overlay and veins_pass; end_frame; the mesh deleted.
double scene_time(Uint32 ticks);  // ticks × CAMSPEED
// slide: the tissue's u_offset is T × slide / 128 (layered 8, single 15).
CVertexbuffer* make_tube(Uint32 ticks, double slide);
void begin_frame(double T);  // clear, place the camera, texturing on
void tissue_pass(CVertexbuffer* mesh, GLuint organ_tex);
void shift_overlay(CVertexbuffer* mesh, double T);
void veins_pass(CVertexbuffer* mesh, GLuint veins_tex);  // blended; arrays off after
void end_frame();  // texturing off, matrix back, flush

// Frame-rate caption arithmetic. whole_seconds truncates ticks × 0.001.
// due_frame_rate is the rate to show once three or more whole seconds have
// passed since last_seconds, else -1.
int whole_seconds(Uint32 ticks);
int due_frame_rate(int frames, int last_seconds, Uint32 now);
void show_frame_rate(int fps);

#endif
