// Frames of either program drawn with the programs' own code at chosen
// clock readings, and read back from OpenGL.
#ifndef TOOLS_FRAME_CAPTURE_H
#define TOOLS_FRAME_CAPTURE_H

#include <GL/gl.h>
#include <SDL.h>
#include <string>

#include "picture_file.h"

enum class Variant { layered, single };

struct SceneTextures {
    GLuint organ, veins;
};

// Opens the programs' window with their start-up state and loads the two
// bitmaps from `data_dir`. Ends the process like the programs on failure.
SceneTextures open_capture_window(const std::string& data_dir);

// Draws the frame for `ticks` ms after start-up, as the program would.
RgbImage capture_frame(Variant variant, Uint32 ticks);

#endif
