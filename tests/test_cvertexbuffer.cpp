// The vertex buffer against Mesa's OpenGL in a window on a private Xvfb.
#include "cvertexbuffer.h"
#include "vornel.h"
#include "xvfb.h"

#include <GL/glext.h>
#include <SDL.h>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

class VertexBuffer : public ::testing::Test {
protected:
    static void SetUpTestSuite() { open_gl_window(); }

    void SetUp() override
    {
        glViewport(0, 0, 640, 480);
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        glDisable(GL_LIGHTING);
        glDisable(GL_DEPTH_TEST);
        glClear(GL_COLOR_BUFFER_BIT);
    }
};

// Counts what one call hands to the pipeline, degenerate triangles included.
GLuint primitives_generated(void (*draw)(CVertexbuffer&), CVertexbuffer& mesh)
{
    auto gen = (PFNGLGENQUERIESPROC)SDL_GL_GetProcAddress("glGenQueries");
    auto begin = (PFNGLBEGINQUERYPROC)SDL_GL_GetProcAddress("glBeginQuery");
    auto end = (PFNGLENDQUERYPROC)SDL_GL_GetProcAddress("glEndQuery");
    auto result = (PFNGLGETQUERYOBJECTUIVPROC)SDL_GL_GetProcAddress("glGetQueryObjectuiv");
    GLuint query, count = 12345;
    gen(1, &query);
    begin(GL_PRIMITIVES_GENERATED, query);
    draw(mesh);
    end(GL_PRIMITIVES_GENERATED);
    result(query, GL_QUERY_RESULT, &count);
    return count;
}

CVertexbuffer* scene_mesh()
{
    return init_vornel(128, 64, 3.5f, 2.8f, 0.02f, 0.01f, 16, 0.02f, 0.1f, 7,
                       0.03f, 5000.0f, 9.375f, 32, 8);
}

// A quad over the whole viewport, two triangles, every corner at texture
// coordinate (u, 0.5).
CVertexbuffer* screen_quad(float u)
{
    auto* quad = new CVertexbuffer;
    quad->num_vertices = 4;
    quad->num_faces = 2;
    quad->primitive = GL_TRIANGLES;
    quad->vertices = new CVector3[4]{{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}};
    quad->colors = new CVector3[4];
    for (int i = 0; i < 4; i++)
        quad->colors[i] = 1.0f;
    quad->normals = new CVector3[4]{{0, 0, 1}, {0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
    quad->texcoords = new float[8]{u, 0.5f, u, 0.5f, u, 0.5f, u, 0.5f};
    quad->indices = new GLuint[6]{0, 1, 2, 2, 3, 0};
    return quad;
}

// Two texels: red on the left half, green on the right.
GLuint red_green_texture()
{
    const unsigned char texels[] = {255, 0, 0, 255, 0, 255, 0, 255};
    GLuint tex;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 2, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    return tex;
}

std::vector<unsigned char> centre_pixel()
{
    std::vector<unsigned char> rgba(4);
    glReadBuffer(GL_BACK);
    glReadPixels(320, 240, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return {rgba[0], rgba[1], rgba[2]};
}

}  // namespace

TEST_F(VertexBuffer, FreshBufferIsEmptyAndDrawsNothing)
{
    CVertexbuffer fresh;
    EXPECT_EQ(fresh.num_faces, 0);
    EXPECT_EQ(fresh.primitive, 0u);
    EXPECT_EQ(fresh.vertices, nullptr);
    EXPECT_EQ(fresh.texcoords, nullptr);
    EXPECT_EQ(primitives_generated([](CVertexbuffer& m) { m.render(); }, fresh), 0u);
}

TEST_F(VertexBuffer, SceneMeshIsOneIndexedDrawOfAllTriangles)
{
    std::unique_ptr<CVertexbuffer> mesh(scene_mesh());
    mesh->initialize();
    EXPECT_EQ(primitives_generated([](CVertexbuffer& m) { m.render(); }, *mesh), 16640u);

    GLvoid* pointer;
    glGetPointerv(GL_TEXTURE_COORD_ARRAY_POINTER, &pointer);
    EXPECT_EQ(pointer, mesh->texcoords);
    glGetPointerv(GL_NORMAL_ARRAY_POINTER, &pointer);
    EXPECT_EQ(pointer, mesh->normals);

    mesh->disable();
    EXPECT_FALSE(glIsEnabled(GL_VERTEX_ARRAY) || glIsEnabled(GL_NORMAL_ARRAY) ||
                 glIsEnabled(GL_COLOR_ARRAY) || glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    mesh->initialize();
    EXPECT_TRUE(glIsEnabled(GL_VERTEX_ARRAY) && glIsEnabled(GL_NORMAL_ARRAY) &&
                glIsEnabled(GL_COLOR_ARRAY) && glIsEnabled(GL_TEXTURE_COORD_ARRAY));
    mesh->disable();
}

TEST_F(VertexBuffer, TextureCoordinatesChangedBetweenDrawsShowInTheSecond)
{
    std::unique_ptr<CVertexbuffer> quad(screen_quad(0.25f));
    GLuint tex = red_green_texture();
    glEnable(GL_TEXTURE_2D);
    quad->initialize();
    quad->render();
    EXPECT_EQ(centre_pixel(), (std::vector<unsigned char>{255, 0, 0}));

    for (int i = 0; i < 4; i++)
        quad->texcoords[2 * i] = 0.75f;  // no new initialize
    quad->render();
    EXPECT_EQ(centre_pixel(), (std::vector<unsigned char>{0, 255, 0}));

    quad->disable();
    glDisable(GL_TEXTURE_2D);
    glDeleteTextures(1, &tex);
}

// Feedback mode hands back every line OpenGL would rasterise, in window
// coordinates, with its colours.
TEST_F(VertexBuffer, RenderNormalsDrawsOneColouredSegmentPerVertex)
{
    std::unique_ptr<CVertexbuffer> quad(screen_quad(0.5f));
    for (int i = 0; i < 4; i++) {
        quad->vertices[i] = quad->vertices[i] * 0.5f;
        quad->normals[i] = CVector3(0.25f, 0, 0);
        quad->colors[i] = CVector3(0.25f * i, 1, 0.5f);
    }
    for (float scale : {2.0f, 0.0f}) {
        std::vector<GLfloat> feedback(1000);
        glFeedbackBuffer((GLsizei)feedback.size(), GL_3D_COLOR, feedback.data());
        glRenderMode(GL_FEEDBACK);
        quad->initialize();
        quad->render_normals(scale);
        int used = glRenderMode(GL_RENDER);

        // Each line: a token, then two vertices of x, y, z, r, g, b, a.
        ASSERT_EQ(used, 4 * (1 + 2 * 7)) << "scale " << scale;
        for (int k = 0; k < 4; k++) {
            const GLfloat* line = &feedback[k * 15];
            EXPECT_TRUE(line[0] == GL_LINE_TOKEN || line[0] == GL_LINE_RESET_TOKEN);
            const GLfloat* from = line + 1;
            const GLfloat* to = line + 8;
            float x = quad->vertices[k].x, y = quad->vertices[k].y;
            EXPECT_FLOAT_EQ(from[0], (x + 1) * 320);
            EXPECT_FLOAT_EQ(from[1], (y + 1) * 240);
            EXPECT_FLOAT_EQ(to[0], (x + 0.25f * scale + 1) * 320);
            EXPECT_FLOAT_EQ(to[1], (y + 1) * 240);
            for (const GLfloat* end : {from, to}) {
                EXPECT_FLOAT_EQ(end[3], 0.25f * k);
                EXPECT_FLOAT_EQ(end[4], 1.0f);
                EXPECT_FLOAT_EQ(end[5], 0.5f);
            }
        }
        // The colour array is left as it was found; the others are off.
        GLvoid* pointer;
        glGetPointerv(GL_COLOR_ARRAY_POINTER, &pointer);
        EXPECT_EQ(pointer, quad->colors);
        EXPECT_TRUE(glIsEnabled(GL_COLOR_ARRAY));
        EXPECT_FALSE(glIsEnabled(GL_NORMAL_ARRAY) || glIsEnabled(GL_TEXTURE_COORD_ARRAY) ||
                     glIsEnabled(GL_TEXTURE_2D));
        quad->disable();
    }
}
