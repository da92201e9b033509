// OpenGL 1.1 and GLU over WebGL: exactly the fixed-function calls the
// programs make, done the way Mesa does them. WebGL has no matrices, no
// lighting and no client-side arrays, so this file keeps that state itself
// and draws with one shader pair: per-vertex lighting for one positional
// light with colour material, and the texture modulating the lit colour.
// The calls WebGL shares with OpenGL (glClear, glBindTexture, glTexImage2D,
// glBlendFunc...) are Emscripten's own; the others are defined here and reach
// WebGL through Emscripten's emscripten_gl* names.
#include <GL/gl.h>
#include <GL/glu.h>
#include <GLES2/gl2.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

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

extern "C" void glEnable(GLenum cap)
{
    if (bool* on = fixed_function_switch(cap))
        *on = true;
    else
        emscripten_glEnable(cap);
}

extern "C" void glDisable(GLenum cap)
{
    if (bool* on = fixed_function_switch(cap))
        *on = false;
    else
        emscripten_glDisable(cap);
}

// WebGL shades smoothly and corrects perspective always.
extern "C" void glShadeModel(GLenum) {}
extern "C" void glHint(GLenum, GLenum) {}

extern "C" void glClearDepth(GLclampd depth) { emscripten_glClearDepthf((GLclampf)depth); }

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

static struct {
    GLuint program = 0;
    GLuint buffers[ATTRIBUTES + 1];  // one per attribute, then the indices
} webgl;

static GLint uniform(const char* name)
{
    return emscripten_glGetUniformLocation(webgl.program, name);
}

// Made at the first draw, when the context exists.
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
    emscripten_glUniform1i(uniform("texture"), 0);
    emscripten_glGenBuffers(ATTRIBUTES + 1, webgl.buffers);
}

static void set_uniforms()
{
    float normals[9];
    normal_matrix(gl.modelview.back(), normals);
    emscripten_glUniformMatrix4fv(uniform("modelview"), 1, GL_FALSE, gl.modelview.back().m);
    emscripten_glUniformMatrix4fv(uniform("projection"), 1, GL_FALSE, gl.projection.back().m);
    emscripten_glUniformMatrix3fv(uniform("normal_matrix"), 1, GL_FALSE, normals);
    emscripten_glUniform1i(uniform("lighting"), gl.lighting && gl.light0);
    emscripten_glUniform1i(uniform("color_material"), gl.color_material);
    emscripten_glUniform1i(uniform("texturing"), gl.texturing);
    emscripten_glUniform4fv(uniform("light_position"), 1, gl.light_position);
    emscripten_glUniform4fv(uniform("light_ambient"), 1, gl.light_ambient);
    emscripten_glUniform4fv(uniform("light_diffuse"), 1, gl.light_diffuse);
    emscripten_glUniform4fv(uniform("light_specular"), 1, gl.light_specular);
    emscripten_glUniform4fv(uniform("material_ambient"), 1, gl.material_ambient);
    emscripten_glUniform4fv(uniform("material_diffuse"), 1, gl.material_diffuse);
    emscripten_glUniform4fv(uniform("material_specular"), 1, gl.material_specular);
    emscripten_glUniform4fv(uniform("scene_ambient"), 1, gl.scene_ambient);
    emscripten_glUniform1f(uniform("shininess"), gl.shininess);
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
// OES_element_index_uint extension, which Emscripten enables.
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

// Each level the 2 × 2 average of the one above, rounded, as GLU halves
// images; RGBA bytes whose sides are powers of two, which is what the
// loader gives for the programs' bitmaps and what WebGL 1 can repeat.
extern "C" GLint gluBuild2DMipmaps(GLenum target, GLint, GLsizei width, GLsizei height,
                                   GLenum format, GLenum type, const void* data)
{
    bool power_of_two = width > 0 && height > 0 && !(width & (width - 1)) && !(height & (height - 1));
    if (format != GL_RGBA || type != GL_UNSIGNED_BYTE || !power_of_two)
        return GLU_INVALID_VALUE;
    std::vector<unsigned char> level((const unsigned char*)data,
                                     (const unsigned char*)data + (size_t)width * height * 4);
    for (int n = 0;; n++) {
        emscripten_glTexImage2D(target, n, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                                level.data());
        if (width == 1 && height == 1)
            return 0;
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
    }
}
