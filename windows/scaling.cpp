#include "scaling.h"

#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL.h>
#include <algorithm>
#include <string>

// OpenGL 3.0's framebuffer objects (or ARB_framebuffer_object), which
// opengl32.dll only hands out through the driver.
static PFNGLGENFRAMEBUFFERSPROC gen_framebuffers;
static PFNGLBINDFRAMEBUFFERPROC bind_framebuffer;
static PFNGLGENRENDERBUFFERSPROC gen_renderbuffers;
static PFNGLBINDRENDERBUFFERPROC bind_renderbuffer;
static PFNGLRENDERBUFFERSTORAGEPROC renderbuffer_storage;
static PFNGLFRAMEBUFFERRENDERBUFFERPROC framebuffer_renderbuffer;
static PFNGLCHECKFRAMEBUFFERSTATUSPROC check_framebuffer_status;
static PFNGLBLITFRAMEBUFFERPROC blit_framebuffer;

static GLuint frame_target;          // the program's framebuffer
static int frame_width, frame_height;

template <typename Function>
static bool load(Function& function, const char* name)
{
    function = reinterpret_cast<Function>(SDL_GL_GetProcAddress(name));
    return function != nullptr;
}

bool make_frame_target(int width, int height, std::string& error)
{
    if (!(load(gen_framebuffers, "glGenFramebuffers") && load(bind_framebuffer, "glBindFramebuffer") &&
          load(gen_renderbuffers, "glGenRenderbuffers") &&
          load(bind_renderbuffer, "glBindRenderbuffer") &&
          load(renderbuffer_storage, "glRenderbufferStorage") &&
          load(framebuffer_renderbuffer, "glFramebufferRenderbuffer") &&
          load(check_framebuffer_status, "glCheckFramebufferStatus") &&
          load(blit_framebuffer, "glBlitFramebuffer"))) {
        error = "the OpenGL driver has no framebuffer objects (OpenGL 3.0)";
        return false;
    }
    GLuint colour, depth;
    gen_renderbuffers(1, &colour);
    bind_renderbuffer(GL_RENDERBUFFER, colour);
    renderbuffer_storage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    gen_renderbuffers(1, &depth);
    bind_renderbuffer(GL_RENDERBUFFER, depth);
    renderbuffer_storage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    bind_renderbuffer(GL_RENDERBUFFER, 0);

    gen_framebuffers(1, &frame_target);
    bind_framebuffer(GL_FRAMEBUFFER, frame_target);
    framebuffer_renderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
    framebuffer_renderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
    if (check_framebuffer_status(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        error = "the OpenGL driver cannot draw into a " + std::to_string(width) + " x " +
                std::to_string(height) + " framebuffer object";
        return false;
    }
    frame_width = width;
    frame_height = height;
    return true;
}

void show_frame(int window_width, int window_height)
{
    // What the copy touches: the bindings, and what a clear obeys.
    GLint draw_target, read_target;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &draw_target);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read_target);
    GLboolean scissor = glIsEnabled(GL_SCISSOR_TEST);
    GLboolean mask[4];
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);

    // 4:3 as large as fits, centred; the rest black.
    int width = std::min(window_width, window_height * frame_width / frame_height);
    int height = width * frame_height / frame_width;
    int left = (window_width - width) / 2, bottom = (window_height - height) / 2;
    bind_framebuffer(GL_DRAW_FRAMEBUFFER, 0);
    bind_framebuffer(GL_READ_FRAMEBUFFER, frame_target);
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    blit_framebuffer(0, 0, frame_width, frame_height, left, bottom, left + width, bottom + height,
                     GL_COLOR_BUFFER_BIT, GL_LINEAR);

    bind_framebuffer(GL_DRAW_FRAMEBUFFER, draw_target);
    bind_framebuffer(GL_READ_FRAMEBUFFER, read_target);
    if (scissor)
        glEnable(GL_SCISSOR_TEST);
    glColorMask(mask[0], mask[1], mask[2], mask[3]);
    glClearColor(clear[0], clear[1], clear[2], clear[3]);
}
