// OpenGL 1.1 and GLU over WebGL: exactly the fixed-function calls the
// programs make, done the way Mesa does them. WebGL has no matrices, no
// lighting and no client-side arrays, so this file keeps that state itself
// and draws with one shader pair: per-vertex lighting for one positional
// light with colour material, and the texture modulating the lit colour.
// Every call the programs make is defined here and reaches WebGL through
// Emscripten's emscripten_gl* names, those WebGL shares with OpenGL too, so
// that the layer knows all the state a new context needs.
//
// A browser may take the WebGL context away at any time (a GPU reset, a
// driver update, a phone dropping a background tab's context) and give a
// fresh, empty one back. So everything the programs set is kept here (`gl`)
// and every WebGL object made from it in one place (`webgl`): after a
// restore, webgl_rebuild makes them all again and the programs go on as if
// nothing had happened. Textures are the programs' names for the layer's
// records, which keep the pixels they were made from.
//
// The programs draw for a 640 x 480 window. The page shows the canvas at
// any size: the layer maps the programs' viewport onto the canvas's backing
// store, 4:3, centred, with black bars.
#include <GL/gl.h>
#include <GL/glu.h>
#include <GLES2/gl2.h>
#include <emscripten.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "layer.h"

extern "C" {
void emscripten_glEnable(GLenum cap);
void emscripten_glDisable(GLenum cap);
void emscripten_glClearDepthf(GLclampf depth);
void emscripten_glTexImage2D(GLenum target, GLint level, GLint internal_format, GLsizei width,
                             GLsizei height, GLint border, GLenum format, GLenum type,
                             const void* pixels);
GLuint emscripten_glCreateShader(GLenum type);
void emscripten_glShaderSource(GLuint shader, GLsizei count, const GLchar* const* source,
                               const GLint* length);
void emscripten_glCompileShader(GLuint shader);
void emscripten_glGetShaderInfoLog(GLuint shader, GLsizei size, GLsizei* length, GLchar* log);
void emscripten_glGetShaderiv(GLuint shader, GLenum pname, GLint* value);
GLuint emscripten_glCreateProgram();
void emscripten_glAttachShader(GLuint program, GLuint shader);
void emscripten_glBindAttribLocation(GLuint program, GLuint index, const GLchar* name);
void emscripten_glLinkProgram(GLuint program);
void emscripten_glUseProgram(GLuint program);
GLint emscripten_glGetUniformLocation(GLuint program, const GLchar* name);
void emscripten_glUniform1i(GLint location, GLint value);
void emscripten_glUniform1f(GLint location, GLfloat value);
void emscripten_glUniform4fv(GLint location, GLsizei count, const GLfloat* value);
void emscripten_glUniformMatrix3fv(GLint location, GLsizei count, GLboolean transpose,
                                   const GLfloat* value);
void emscripten_glUniformMatrix4fv(GLint location, GLsizei count, GLboolean transpose,
                                   const GLfloat* value);
void emscripten_glGenBuffers(GLsizei count, GLuint* buffers);
void emscripten_glBindBuffer(GLenum target, GLuint buffer);
void emscripten_glBufferData(GLenum target, GLsizeiptr size, const void* data, GLenum usage);
void emscripten_glEnableVertexAttribArray(GLuint index);
void emscripten_glDisableVertexAttribArray(GLuint index);
void emscripten_glVertexAttribPointer(GLuint index, GLint size, GLenum type, GLboolean normalized,
                                      GLsizei stride, const void* offset);
void emscripten_glVertexAttrib4fv(GLuint index, const GLfloat* value);
void emscripten_glDrawElements(GLenum mode, GLsizei count, GLenum type, const void* offset);
void emscripten_glClear(GLbitfield mask);
void emscripten_glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha);
void emscripten_glViewport(GLint x, GLint y, GLsizei width, GLsizei height);
void emscripten_glDepthFunc(GLenum func);
void emscripten_glBlendFunc(GLenum source, GLenum destination);
void emscripten_glGenTextures(GLsizei count, GLuint* textures);
void emscripten_glBindTexture(GLenum target, GLuint texture);
void emscripten_glTexParameteri(GLenum target, GLenum pname, GLint value);
}

// ---- State -------------------------------------------------------------------

struct Matrix {
    float m[16];  // column-major, as OpenGL stores it
};

static Matrix identity()
{
    Matrix a = {};
    a.m[0] = a.m[5] = a.m[10] = a.m[15] = 1;
    return a;
}

static Matrix multiply(const Matrix& a, const Matrix& b)
{
    Matrix c;
    for (int col = 0; col < 4; col++)
        for (int row = 0; row < 4; row++) {
            float sum = 0;
            for (int k = 0; k < 4; k++)
                sum += a.m[k * 4 + row] * b.m[col * 4 + k];
            c.m[col * 4 + row] = sum;
        }
    return c;
}

// One client array as glVertexPointer and its kind describe it.
struct ClientArray {
    bool enabled = false;
    GLint size = 0;
    GLsizei stride = 0;
    const void* pointer = nullptr;
};

// The vertex shader's inputs, in this order: position, normal, colour,
// texture coordinates.
enum Attribute { POSITION, NORMAL, COLOR, TEXCOORD, ATTRIBUTES };

// A texture as the programs made it: enough to make it again.
struct Texture {
    std::vector<std::pair<GLenum, GLint>> parameters;  // glTexParameteri's, in order
    GLsizei width = 0, height = 0;
    std::vector<unsigned char> pixels;  // level 0, RGBA
    bool mipmaps = false;               // the chain was built from them
};

// Whether sampling the texture reads more than level 0: OpenGL's initial
// minification filter does, GL_NEAREST and GL_LINEAR do not.
static bool samples_mipmaps(const Texture& texture)
{
    GLint filter = GL_NEAREST_MIPMAP_LINEAR;
    for (const auto& p : texture.parameters)
        if (p.first == GL_TEXTURE_MIN_FILTER)
            filter = p.second;
    return filter != GL_NEAREST && filter != GL_LINEAR;
}

// Everything the programs have set, context or not.
static struct {
    std::vector<Matrix> modelview{identity()}, projection{identity()};
    std::vector<Matrix>* current = &modelview;
    bool lighting = false, light0 = false, color_material = false, texturing = false;
    // OpenGL's initial values for light 0, the material and the light model.
    float light_ambient[4] = {0, 0, 0, 1}, light_diffuse[4] = {1, 1, 1, 1};
    float light_specular[4] = {1, 1, 1, 1}, light_position[4] = {0, 0, 1, 0};
    float material_ambient[4] = {0.2f, 0.2f, 0.2f, 1}, material_diffuse[4] = {0.8f, 0.8f, 0.8f, 1};
    float material_specular[4] = {0, 0, 0, 1}, shininess = 0;
    float scene_ambient[4] = {0.2f, 0.2f, 0.2f, 1};
    ClientArray arrays[ATTRIBUTES];
    // The state WebGL keeps too, kept here for a new context.
    std::vector<std::pair<GLenum, bool>> switches;  // glEnable and glDisable of WebGL's own
    float clear_color[4] = {0, 0, 0, 0};
    float clear_depth = 1;
    GLenum depth_func = GL_LESS;
    GLenum blend_source = GL_ONE, blend_destination = GL_ZERO;
    GLint viewport[4] = {0, 0, 0, 0};
    int window_width = 0, window_height = 0;  // the video mode's, once known
    bool follow_displayed_size = false;
    std::vector<Texture> textures;  // a program's name n is textures[n - 1]
    GLuint bound_texture = 0;
} gl;

// ---- Matrices ----------------------------------------------------------------

extern "C" void glMatrixMode(GLenum mode)
{
    gl.current = mode == GL_PROJECTION ? &gl.projection : &gl.modelview;
}

extern "C" void glLoadIdentity() { gl.current->back() = identity(); }

extern "C" void glPushMatrix() { gl.current->push_back(gl.current->back()); }

extern "C" void glPopMatrix()
{
    if (gl.current->size() > 1)  // OpenGL refuses to pop the last one
        gl.current->pop_back();
}

static void multiply_current(const Matrix& m)
{
    gl.current->back() = multiply(gl.current->back(), m);
}

// As Mesa's GLU: the matrix in double, then stored in single precision.
extern "C" void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble near, GLdouble far)
{
    double radians = fovy / 2 * M_PI / 180;
    double depth = far - near;
    double cotangent = std::cos(radians) / std::sin(radians);
    Matrix m = identity();
    m.m[0] = (float)(cotangent / aspect);
    m.m[5] = (float)cotangent;
    m.m[10] = (float)(-(far + near) / depth);
    m.m[11] = -1;
    m.m[14] = (float)(-2 * near * far / depth);
    m.m[15] = 0;
    multiply_current(m);
}

static void normalize(float v[3])
{
    float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length == 0)
        return;
    for (int i = 0; i < 3; i++)
        v[i] /= length;
}

static void cross(const float a[3], const float b[3], float c[3])
{
    c[0] = a[1] * b[2] - a[2] * b[1];
    c[1] = a[2] * b[0] - a[0] * b[2];
    c[2] = a[0] * b[1] - a[1] * b[0];
}

// As Mesa's GLU: a rotation in single precision, then the eye moved to
// the origin.
extern "C" void gluLookAt(GLdouble eye_x, GLdouble eye_y, GLdouble eye_z, GLdouble center_x,
                          GLdouble center_y, GLdouble center_z, GLdouble up_x, GLdouble up_y,
                          GLdouble up_z)
{
    float forward[3] = {(float)(center_x - eye_x), (float)(center_y - eye_y), (float)(center_z - eye_z)};
    float up[3] = {(float)up_x, (float)up_y, (float)up_z};
    float side[3];
    normalize(forward);
    cross(forward, up, side);
    normalize(side);
    cross(side, forward, up);

    Matrix m = identity();
    for (int i = 0; i < 3; i++) {
        m.m[i * 4 + 0] = side[i];
        m.m[i * 4 + 1] = up[i];
        m.m[i * 4 + 2] = -forward[i];
    }
    multiply_current(m);
    Matrix move = identity();
    move.m[12] = (float)-eye_x;
    move.m[13] = (float)-eye_y;
    move.m[14] = (float)-eye_z;
    multiply_current(move);
}

// The inverse transpose of the model-view matrix's upper 3 × 3, which
// carries normals into eye space. They are not normalised afterwards
// (GL_NORMALIZE is off): the programs' normals are unit length and the
// camera only turns and moves.
static void normal_matrix(const Matrix& mv, float out[9])
{
    auto a = [&](int row, int col) { return mv.m[col * 4 + row]; };
    float cof[3][3];
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++) {
            int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
            cof[r][c] = a(r1, c1) * a(r2, c2) - a(r1, c2) * a(r2, c1);
        }
    float det = a(0, 0) * cof[0][0] + a(0, 1) * cof[0][1] + a(0, 2) * cof[0][2];
    // inverse = transpose(cof) / det, so its transpose is cof / det;
    // stored column-major.
    for (int r = 0; r < 3; r++)
        for (int c = 0; c < 3; c++)
            out[c * 3 + r] = cof[r][c] / det;
}

// ---- Lighting and material -------------------------------------------------

static void copy4(float* to, const float* from) { memcpy(to, from, 4 * sizeof(float)); }

// Light 0 only: the programs light the scene with one light.
extern "C" void glLightfv(GLenum light, GLenum pname, const GLfloat* params)
{
    if (light != GL_LIGHT0)
        return;
    if (pname == GL_AMBIENT)
        copy4(gl.light_ambient, params);
    else if (pname == GL_DIFFUSE)
        copy4(gl.light_diffuse, params);
    else if (pname == GL_SPECULAR)
        copy4(gl.light_specular, params);
    else if (pname == GL_POSITION) {  // kept in eye space, as given now
        const Matrix& mv = gl.modelview.back();
        for (int row = 0; row < 4; row++)
            gl.light_position[row] = mv.m[row] * params[0] + mv.m[4 + row] * params[1] +
                                     mv.m[8 + row] * params[2] + mv.m[12 + row] * params[3];
    }
}

extern "C" void glLightModelfv(GLenum pname, const GLfloat* params)
{
    if (pname == GL_LIGHT_MODEL_AMBIENT)
        copy4(gl.scene_ambient, params);
}

// Front faces only: two-sided lighting stays off, so back faces are lit
// with the front material too.
extern "C" void glMaterialfv(GLenum face, GLenum pname, const GLfloat* params)
{
    if (face == GL_BACK)
        return;
    if (pname == GL_AMBIENT || pname == GL_AMBIENT_AND_DIFFUSE)
        copy4(gl.material_ambient, params);
    if (pname == GL_DIFFUSE || pname == GL_AMBIENT_AND_DIFFUSE)
        copy4(gl.material_diffuse, params);
    if (pname == GL_SPECULAR)
        copy4(gl.material_specular, params);
    if (pname == GL_SHININESS)
        gl.shininess = params[0];
}

// ---- Switches, and the state WebGL already has -------------------------------

static bool* fixed_function_switch(GLenum cap)
{
    switch (cap) {
    case GL_LIGHTING: return &gl.lighting;
    case GL_LIGHT0: return &gl.light0;
    case GL_COLOR_MATERIAL: return &gl.color_material;
    case GL_TEXTURE_2D: return &gl.texturing;
    default: return nullptr;
    }
}

static void set_webgl_switch(GLenum cap, bool on)
{
    for (auto& known : gl.switches)
        if (known.first == cap) {
            known.second = on;
            return;
        }
    gl.switches.push_back({cap, on});
}

static void apply_switch(GLenum cap, bool on)
{
    if (on)
        emscripten_glEnable(cap);
    else
        emscripten_glDisable(cap);
}

static void switch_cap(GLenum cap, bool on)
{
    if (bool* fixed = fixed_function_switch(cap)) {
        *fixed = on;
        return;
    }
    set_webgl_switch(cap, on);
    apply_switch(cap, on);
}

extern "C" void glEnable(GLenum cap) { switch_cap(cap, true); }
extern "C" void glDisable(GLenum cap) { switch_cap(cap, false); }

// WebGL shades smoothly and corrects perspective always.
extern "C" void glShadeModel(GLenum) {}
extern "C" void glHint(GLenum, GLenum) {}

extern "C" void glClearDepth(GLclampd depth)
{
    gl.clear_depth = (float)depth;
    emscripten_glClearDepthf(gl.clear_depth);
}

extern "C" void glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha)
{
    float color[4] = {red, green, blue, alpha};
    copy4(gl.clear_color, color);
    emscripten_glClearColor(red, green, blue, alpha);
}

extern "C" void glDepthFunc(GLenum func)
{
    gl.depth_func = func;
    emscripten_glDepthFunc(func);
}

extern "C" void glBlendFunc(GLenum source, GLenum destination)
{
    gl.blend_source = source;
    gl.blend_destination = destination;
    emscripten_glBlendFunc(source, destination);
}

// ---- The canvas and the viewport ---------------------------------------------

// The canvas's backing store in device pixels; while following, first made
// the device pixels the canvas covers (a change clears it, and each frame
// is drawn whole after its clear): its displayed size times
// devicePixelRatio, rounded, or the browser's own count (Module.devicePixels,
// below) where it gives one within a pixel of that. (Chromium's emulated
// pixel ratios, the tests', leave its count in CSS pixels.)
EM_JS(void, canvas_size, (bool follow, int* size), {
    var canvas = Module['canvas'];
    if (follow) {
        var box = canvas.getBoundingClientRect();
        var exact = [box.width * devicePixelRatio, box.height * devicePixelRatio];
        var counted = Module['devicePixels'];
        var pixels = counted && Math.abs(counted[0] - exact[0]) < 1 && Math.abs(counted[1] - exact[1]) < 1
                         ? counted : exact.map(Math.round);
        var width = Math.max(1, pixels[0]), height = Math.max(1, pixels[1]);
        if (canvas.width != width) canvas.width = width;
        if (canvas.height != height) canvas.height = height;
    }
    HEAP32[size >> 2] = canvas.width;
    HEAP32[(size >> 2) + 1] = canvas.height;
});

// A canvas box seldom lies on whole device pixels (753.33 CSS pixels wide
// at x = 23.33, say), and a backing store of the rounded size is then
// resampled by the compositor at every frame. The browser knows the device
// pixels it will cover, and tells a ResizeObserver of the
// device-pixel-content-box, where it has one: a backing store of exactly
// that size is shown as it is.
EM_JS(void, watch_device_pixels, (), {
    if (typeof ResizeObserver != 'function') return;
    var observer = new ResizeObserver(function (entries) {
        var size = entries[0].devicePixelContentBoxSize;
        if (size) Module['devicePixels'] = [size[0].inlineSize, size[0].blockSize];
    });
    try {
        observer.observe(Module['canvas'], { box: 'device-pixel-content-box' });
    } catch (error) {  // a browser without that box
    }
});

void webgl_follow_displayed_size()
{
    gl.follow_displayed_size = true;
    watch_device_pixels();
}

// The programs' viewport, in their window, onto the largest 4:3 (the
// window's shape) rectangle centred on the backing store. A backing store
// of the window's size maps one to one: the stills stay exact.
static void fit_viewport()
{
    int size[2];
    if (!gl.window_width) {  // SDL_SetVideoMode has just sized the canvas as the window
        canvas_size(false, size);
        gl.window_width = size[0], gl.window_height = size[1];
    }
    canvas_size(gl.follow_displayed_size, size);
    double scale = std::fmin((double)size[0] / gl.window_width, (double)size[1] / gl.window_height);
    double left = (size[0] - gl.window_width * scale) / 2;
    double bottom = (size[1] - gl.window_height * scale) / 2;
    const GLint* v = gl.viewport;
    GLint x0 = (GLint)std::lround(left + v[0] * scale), x1 = (GLint)std::lround(left + (v[0] + v[2]) * scale);
    GLint y0 = (GLint)std::lround(bottom + v[1] * scale), y1 = (GLint)std::lround(bottom + (v[1] + v[3]) * scale);
    emscripten_glViewport(x0, y0, x1 - x0, y1 - y0);
}

extern "C" void glViewport(GLint x, GLint y, GLsizei width, GLsizei height)
{
    GLint viewport[4] = {x, y, width, height};
    memcpy(gl.viewport, viewport, sizeof viewport);
    fit_viewport();
}

// A frame starts with its clear: the canvas's size is taken then, and the
// whole backing store cleared, bars included.
extern "C" void glClear(GLbitfield mask)
{
    fit_viewport();
    emscripten_glClear(mask);
}

// ---- Client arrays ------------------------------------------------------------

static ClientArray* client_array(GLenum kind)
{
    switch (kind) {
    case GL_VERTEX_ARRAY: return &gl.arrays[POSITION];
    case GL_NORMAL_ARRAY: return &gl.arrays[NORMAL];
    case GL_COLOR_ARRAY: return &gl.arrays[COLOR];
    case GL_TEXTURE_COORD_ARRAY: return &gl.arrays[TEXCOORD];
    default: return nullptr;
    }
}

extern "C" void glEnableClientState(GLenum kind)
{
    if (ClientArray* array = client_array(kind))
        array->enabled = true;
}

extern "C" void glDisableClientState(GLenum kind)
{
    if (ClientArray* array = client_array(kind))
        array->enabled = false;
}

// Float arrays only: the meshes are floats throughout.
static void point(Attribute attribute, GLint size, GLsizei stride, const void* pointer)
{
    gl.arrays[attribute].size = size;
    gl.arrays[attribute].stride = stride;
    gl.arrays[attribute].pointer = pointer;
}

extern "C" void glVertexPointer(GLint size, GLenum, GLsizei stride, const GLvoid* pointer)
{
    point(POSITION, size, stride, pointer);
}

extern "C" void glNormalPointer(GLenum, GLsizei stride, const GLvoid* pointer)
{
    point(NORMAL, 3, stride, pointer);
}

extern "C" void glColorPointer(GLint size, GLenum, GLsizei stride, const GLvoid* pointer)
{
    point(COLOR, size, stride, pointer);
}

extern "C" void glTexCoordPointer(GLint size, GLenum, GLsizei stride, const GLvoid* pointer)
{
    point(TEXCOORD, size, stride, pointer);
}

// ---- The shaders ----------------------------------------------------------------

// OpenGL's lighting equation for one light, evaluated per vertex as Mesa
// does: colour material makes the vertex colour the ambient and diffuse
// reflectance; the viewer is at infinity (no local viewer); there is no
// attenuation or spot. Specular light falls only where the light reaches
// the front of the surface (n·l > 0), as in Mesa: OpenGL's own wording,
// n·l ≠ 0, would put highlights on the dark side of the folds.
static const char* const VERTEX_SHADER = R"(
attribute vec4 position;
attribute vec3 normal;
attribute vec4 color;
attribute vec4 texcoord;
uniform mat4 modelview, projection;
uniform mat3 normal_matrix;
uniform bool lighting, color_material;
uniform vec4 light_position, light_ambient, light_diffuse, light_specular;
uniform vec4 material_ambient, material_diffuse, material_specular, scene_ambient;
uniform float shininess;
varying vec4 lit;
varying vec2 uv;

void main()
{
    vec4 eye = modelview * position;
    gl_Position = projection * eye;
    uv = texcoord.xy;
    if (!lighting) {
        lit = color;
        return;
    }
    vec4 ambient = color_material ? color : material_ambient;
    vec4 diffuse = color_material ? color : material_diffuse;
    vec3 n = normal_matrix * normal;
    vec3 l = normalize(light_position.xyz * eye.w - eye.xyz * light_position.w);
    float n_dot_l = dot(n, l);
    vec3 sum = scene_ambient.rgb * ambient.rgb + light_ambient.rgb * ambient.rgb
             + max(n_dot_l, 0.0) * light_diffuse.rgb * diffuse.rgb;
    if (n_dot_l > 0.0) {
        vec3 h = normalize(l + vec3(0.0, 0.0, 1.0));
        sum += pow(max(dot(n, h), 0.0), shininess) * light_specular.rgb * material_specular.rgb;
    }
    lit = vec4(clamp(sum, 0.0, 1.0), clamp(diffuse.a, 0.0, 1.0));
}
)";

// GL_MODULATE, OpenGL's default texture environment. High precision: the
// texture coordinates grow with the clock.
static const char* const FRAGMENT_SHADER = R"(
precision highp float;
uniform bool texturing;
uniform sampler2D texture;
varying vec4 lit;
varying vec2 uv;

void main()
{
    gl_FragColor = texturing ? lit * texture2D(texture, uv) : lit;
}
)";

static GLuint compile(GLenum type, const char* source)
{
    GLuint shader = emscripten_glCreateShader(type);
    emscripten_glShaderSource(shader, 1, &source, nullptr);
    emscripten_glCompileShader(shader);
    GLint compiled = 0;
    emscripten_glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
    if (!compiled) {  // a fault of this file, not of the browser
        char log[1024] = "";
        emscripten_glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        fprintf(stderr, "shader: %s\n", log);
    }
    return shader;
}

enum Uniform {
    MODELVIEW, PROJECTION, NORMAL_MATRIX, LIGHTING, COLOR_MATERIAL, TEXTURING, LIGHT_POSITION,
    LIGHT_AMBIENT, LIGHT_DIFFUSE, LIGHT_SPECULAR, MATERIAL_AMBIENT, MATERIAL_DIFFUSE,
    MATERIAL_SPECULAR, SCENE_AMBIENT, SHININESS, SAMPLER, UNIFORMS
};

static const char* const UNIFORM_NAMES[UNIFORMS] = {
    "modelview", "projection", "normal_matrix", "lighting", "color_material", "texturing",
    "light_position", "light_ambient", "light_diffuse", "light_specular", "material_ambient",
    "material_diffuse", "material_specular", "scene_ambient", "shininess", "texture"};

// Every WebGL object the layer has made: all of them belong to one context,
// and webgl_rebuild makes them all again in a new one.
static struct {
    GLuint program = 0;  // with its buffers, made at the first draw
    GLint uniforms[UNIFORMS];
    GLuint buffers[ATTRIBUTES + 1];  // one per attribute, then the indices
    std::vector<GLuint> textures;    // WebGL's name for each of gl.textures
    std::vector<bool> chains;        // whether WebGL holds that texture's mipmaps
} webgl;

static void make_program()
{
    webgl.program = emscripten_glCreateProgram();
    emscripten_glAttachShader(webgl.program, compile(GL_VERTEX_SHADER, VERTEX_SHADER));
    emscripten_glAttachShader(webgl.program, compile(GL_FRAGMENT_SHADER, FRAGMENT_SHADER));
    const char* names[ATTRIBUTES] = {"position", "normal", "color", "texcoord"};
    for (GLuint i = 0; i < ATTRIBUTES; i++)
        emscripten_glBindAttribLocation(webgl.program, i, names[i]);
    emscripten_glLinkProgram(webgl.program);
    emscripten_glUseProgram(webgl.program);
    for (int i = 0; i < UNIFORMS; i++)
        webgl.uniforms[i] = emscripten_glGetUniformLocation(webgl.program, UNIFORM_NAMES[i]);
    emscripten_glUniform1i(webgl.uniforms[SAMPLER], 0);
    emscripten_glGenBuffers(ATTRIBUTES + 1, webgl.buffers);
}

static void set_uniforms()
{
    const GLint* u = webgl.uniforms;
    float normals[9];
    normal_matrix(gl.modelview.back(), normals);
    emscripten_glUniformMatrix4fv(u[MODELVIEW], 1, GL_FALSE, gl.modelview.back().m);
    emscripten_glUniformMatrix4fv(u[PROJECTION], 1, GL_FALSE, gl.projection.back().m);
    emscripten_glUniformMatrix3fv(u[NORMAL_MATRIX], 1, GL_FALSE, normals);
    emscripten_glUniform1i(u[LIGHTING], gl.lighting && gl.light0);
    emscripten_glUniform1i(u[COLOR_MATERIAL], gl.color_material);
    emscripten_glUniform1i(u[TEXTURING], gl.texturing);
    emscripten_glUniform4fv(u[LIGHT_POSITION], 1, gl.light_position);
    emscripten_glUniform4fv(u[LIGHT_AMBIENT], 1, gl.light_ambient);
    emscripten_glUniform4fv(u[LIGHT_DIFFUSE], 1, gl.light_diffuse);
    emscripten_glUniform4fv(u[LIGHT_SPECULAR], 1, gl.light_specular);
    emscripten_glUniform4fv(u[MATERIAL_AMBIENT], 1, gl.material_ambient);
    emscripten_glUniform4fv(u[MATERIAL_DIFFUSE], 1, gl.material_diffuse);
    emscripten_glUniform4fv(u[MATERIAL_SPECULAR], 1, gl.material_specular);
    emscripten_glUniform4fv(u[SCENE_AMBIENT], 1, gl.scene_ambient);
    emscripten_glUniform1f(u[SHININESS], gl.shininess);
}

// OpenGL's current values stand in for a disabled array.
static const float CURRENT_VALUES[ATTRIBUTES][4] = {
    {0, 0, 0, 1}, {0, 0, 1, 0}, {1, 1, 1, 1}, {0, 0, 0, 1}};

// Each enabled client array, as far as the highest index reaches, is
// copied into its buffer for this draw: the programs change the arrays
// between draws.
static void upload_arrays(GLuint vertices)
{
    for (int i = 0; i < ATTRIBUTES; i++) {
        const ClientArray& array = gl.arrays[i];
        if (!array.enabled || vertices == 0) {
            emscripten_glDisableVertexAttribArray(i);
            emscripten_glVertexAttrib4fv(i, CURRENT_VALUES[i]);
            continue;
        }
        GLsizei stride = array.stride ? array.stride : array.size * (GLsizei)sizeof(float);
        GLsizeiptr bytes = (GLsizeiptr)(vertices - 1) * stride + array.size * sizeof(float);
        emscripten_glBindBuffer(GL_ARRAY_BUFFER, webgl.buffers[i]);
        emscripten_glBufferData(GL_ARRAY_BUFFER, bytes, array.pointer, GL_STREAM_DRAW);
        emscripten_glEnableVertexAttribArray(i);
        emscripten_glVertexAttribPointer(i, array.size, GL_FLOAT, GL_FALSE, stride, nullptr);
    }
}

// 32-bit indices, as the meshes have: WebGL 1 reads them with the
// OES_element_index_uint extension, which Emscripten enables in the
// context it makes and webgl_rebuild in a restored one.
extern "C" void glDrawElements(GLenum mode, GLsizei count, GLenum type, const GLvoid* indices)
{
    if (type != GL_UNSIGNED_INT || count <= 0)
        return;
    if (!webgl.program)
        make_program();
    const GLuint* index = (const GLuint*)indices;
    GLuint highest = 0;
    for (GLsizei i = 0; i < count; i++)
        highest = index[i] > highest ? index[i] : highest;
    upload_arrays(highest + 1);
    set_uniforms();
    emscripten_glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, webgl.buffers[ATTRIBUTES]);
    emscripten_glBufferData(GL_ELEMENT_ARRAY_BUFFER, count * sizeof(GLuint), indices, GL_STREAM_DRAW);
    emscripten_glDrawElements(mode, count, type, nullptr);
}

// ---- Mipmaps ---------------------------------------------------------------

// The levels below level 0 of the bound texture, each the 2 × 2 average
// of the one above, rounded, as GLU halves images.
static void upload_chain(GLsizei width, GLsizei height, const unsigned char* data)
{
    std::vector<unsigned char> level(data, data + (size_t)width * height * 4);
    for (int n = 1; width > 1 || height > 1; n++) {
        int w = width > 1 ? width / 2 : 1, h = height > 1 ? height / 2 : 1;
        int dx = width > 1 ? 4 : 0, dy = height > 1 ? width * 4 : 0;
        std::vector<unsigned char> half((size_t)w * h * 4);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++)
                for (int c = 0; c < 4; c++) {
                    const unsigned char* p = &level[((size_t)(2 * y) * width + 2 * x) * 4 + c];
                    int sum = p[0] + p[dx] + p[dy] + p[dx + dy];
                    half[((size_t)y * w + x) * 4 + c] = (unsigned char)((sum + 2) / 4);
                }
        level.swap(half);
        width = w;
        height = h;
        emscripten_glTexImage2D(GL_TEXTURE_2D, n, GL_RGBA, width, height, 0, GL_RGBA,
                                GL_UNSIGNED_BYTE, level.data());
    }
}

// WebGL gets a texture's mipmaps only once its filter reads them: with
// GL_LINEAR, the programs' filter, sampling a texture that holds the whole
// chain costs a software renderer a third more for the same pixels. The
// layer keeps level 0's pixels for the chain, should a mipmap filter come
// later. The texture is the bound one.
static void give_mipmaps_if_sampled(size_t i)
{
    const Texture& texture = gl.textures[i];
    if (!texture.mipmaps || webgl.chains[i] || !samples_mipmaps(texture) || texture.pixels.empty())
        return;
    upload_chain(texture.width, texture.height, texture.pixels.data());
    webgl.chains[i] = true;
}

// ---- Textures ------------------------------------------------------------------

static Texture* bound_texture()
{
    return gl.bound_texture ? &gl.textures[gl.bound_texture - 1] : nullptr;
}

extern "C" void glGenTextures(GLsizei count, GLuint* names)
{
    for (GLsizei i = 0; i < count; i++) {
        gl.textures.emplace_back();
        webgl.textures.push_back(0);
        webgl.chains.push_back(false);
        emscripten_glGenTextures(1, &webgl.textures.back());
        names[i] = (GLuint)gl.textures.size();
    }
}

// Names the layer never gave bind no texture, as WebGL has no way to make one.
extern "C" void glBindTexture(GLenum target, GLuint name)
{
    gl.bound_texture = name <= gl.textures.size() ? name : 0;
    emscripten_glBindTexture(target, gl.bound_texture ? webgl.textures[gl.bound_texture - 1] : 0);
}

extern "C" void glTexParameteri(GLenum target, GLenum pname, GLint value)
{
    if (Texture* texture = bound_texture()) {
        auto& parameters = texture->parameters;
        parameters.erase(std::remove_if(parameters.begin(), parameters.end(),
                                        [&](const auto& p) { return p.first == pname; }),
                         parameters.end());
        parameters.push_back({pname, value});
    }
    emscripten_glTexParameteri(target, pname, value);
    if (pname == GL_TEXTURE_MIN_FILTER && gl.bound_texture)
        give_mipmaps_if_sampled(gl.bound_texture - 1);
}

// Level 0 of RGBA bytes, the loader's only kind, is kept for a new context.
extern "C" void glTexImage2D(GLenum target, GLint level, GLint internal_format, GLsizei width,
                             GLsizei height, GLint border, GLenum format, GLenum type,
                             const void* pixels)
{
    Texture* texture = bound_texture();
    if (texture && level == 0 && format == GL_RGBA && type == GL_UNSIGNED_BYTE && pixels) {
        const unsigned char* bytes = (const unsigned char*)pixels;
        texture->width = width;
        texture->height = height;
        texture->pixels.assign(bytes, bytes + (size_t)width * height * 4);
    }
    emscripten_glTexImage2D(target, level, internal_format, width, height, border, format, type,
                            pixels);
}

// RGBA bytes whose sides are powers of two, which is what the loader gives
// for the programs' bitmaps and what WebGL 1 can repeat. Level 0 goes to
// WebGL unless it holds those very pixels already (the loader gives them
// to glTexImage2D first); the rest of the chain as the filter asks.
extern "C" GLint gluBuild2DMipmaps(GLenum target, GLint, GLsizei width, GLsizei height,
                                   GLenum format, GLenum type, const void* data)
{
    bool power_of_two = width > 0 && height > 0 && !(width & (width - 1)) && !(height & (height - 1));
    if (format != GL_RGBA || type != GL_UNSIGNED_BYTE || !power_of_two)
        return GLU_INVALID_VALUE;
    Texture* texture = bound_texture();
    if (!texture)
        return 0;
    const unsigned char* bytes = (const unsigned char*)data;
    size_t size = (size_t)width * height * 4;
    bool held = texture->width == width && texture->height == height &&
                texture->pixels.size() == size && std::equal(bytes, bytes + size, texture->pixels.begin());
    if (!held) {
        texture->width = width;
        texture->height = height;
        texture->pixels.assign(bytes, bytes + size);
        emscripten_glTexImage2D(target, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, data);
        webgl.chains[gl.bound_texture - 1] = false;
    }
    texture->mipmaps = true;
    give_mipmaps_if_sampled(gl.bound_texture - 1);
    return 0;
}

// ---- A new context -----------------------------------------------------------

EM_JS(void, enable_index_extension, (), {
    GLctx.getExtension('OES_element_index_uint');
});

static void make_texture(size_t i)
{
    const Texture& texture = gl.textures[i];
    emscripten_glGenTextures(1, &webgl.textures[i]);
    emscripten_glBindTexture(GL_TEXTURE_2D, webgl.textures[i]);
    webgl.chains[i] = false;
    for (const auto& p : texture.parameters)
        emscripten_glTexParameteri(GL_TEXTURE_2D, p.first, p.second);
    if (texture.pixels.empty())
        return;
    emscripten_glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, texture.width, texture.height, 0, GL_RGBA,
                            GL_UNSIGNED_BYTE, texture.pixels.data());
    give_mipmaps_if_sampled(i);
}

// The objects of the lost context are not deleted: they belong to it, and
// WebGL would only warn about each.
void webgl_rebuild()
{
    enable_index_extension();
    for (size_t i = 0; i < gl.textures.size(); i++)
        make_texture(i);
    emscripten_glBindTexture(GL_TEXTURE_2D, gl.bound_texture ? webgl.textures[gl.bound_texture - 1] : 0);
    make_program();
    for (const auto& known : gl.switches)
        apply_switch(known.first, known.second);
    emscripten_glClearColor(gl.clear_color[0], gl.clear_color[1], gl.clear_color[2], gl.clear_color[3]);
    emscripten_glClearDepthf(gl.clear_depth);
    emscripten_glDepthFunc(gl.depth_func);
    emscripten_glBlendFunc(gl.blend_source, gl.blend_destination);
    fit_viewport();
}
