// The picture at the window's own size. The program draws 640 × 480
// frames (its viewport), and the classic SDL 1.2 shows them as they are in
// a corner of a bigger window. So the program draws into a framebuffer
// object of that size instead, and at each buffer swap its frame is scaled
// into the window: 4:3, as large as fits, centred, between black bars.
#ifndef WINDOWS_SCALING_H
#define WINDOWS_SCALING_H

#include <string>

// Once the program's OpenGL context is current: makes the frame's target,
// width × height pixels, and leaves it bound for the program's drawing.
// False, with a reason, where the driver has no framebuffer objects.
bool make_frame_target(int width, int height, std::string& error);

// Before each swap: the frame scaled into the window's back buffer. Every
// piece of OpenGL state it touches is put back as it found it.
void show_frame(int window_width, int window_height);

#endif
