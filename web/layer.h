// What the browser build's own files tell each other: the entry (entry.cpp)
// sets the layer up for a running program; SDL's side (sdl.cpp), which
// hears of a restored WebGL context, has OpenGL's side (gl.cpp) make its
// objects again.
#ifndef LAYER_H
#define LAYER_H

// The canvas's backing store follows the device pixels the canvas covers
// from now on; without this (a ?ticks still) it stays the window's size.
void webgl_follow_displayed_size();
// Makes every WebGL object of the layer again, in a new context, from what
// the programs gave it.
void webgl_rebuild();

// Listens to the page from now on: its visibility and its WebGL context
// reach the program as SDL's active event, shown or not.
extern "C" void watch_the_page();  // JavaScript, in sdl.cpp

#endif
