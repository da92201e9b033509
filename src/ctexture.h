// A Windows bitmap as an OpenGL RGBA texture with a full mipmap chain, in
// which pure black is transparent.
#ifndef CTEXTURE_H
#define CTEXTURE_H

#include <GL/gl.h>
#include <SDL.h>

class CTexture {
public:
    char trans_r, trans_g, trans_b;  // stored by set_trans_color, never read
    GLuint tex_id;

    CTexture();
    // Loads the file; one that cannot be loaded ends the program with
    // "Can't load texture!!!" and exit status 3. Needs a current context.
    explicit CTexture(const char* filename);
    ~CTexture();  // the OpenGL texture lives on until the context ends

    GLuint texID();
    // Returns nonzero on success; on failure SDL_GetError says why.
    int load(const char* filename);
    void set_trans_color(char r, char g, char b);
    void destroy();

    // Bottom row first, red and blue swapped: the order OpenGL uploads.
    void invert_sdl_image(SDL_Surface* surface);
    // w × h RGBA pixels from new[], alpha 0 where the pixel is (0, 0, 0).
    unsigned char* convert_to_rgba(SDL_Surface* surface);
};

// Reads a Windows bitmap from the stream, and closes it, into a surface of
// 3 or 4 bytes per pixel with blue, green, red first in memory, whatever
// kind the file is. Null, with SDL_GetError saying why, when it cannot be
// read, or when its header claims more than its bytes can back. The
// caller frees the surface.
SDL_Surface* read_bitmap(SDL_RWops* stream);

#endif
