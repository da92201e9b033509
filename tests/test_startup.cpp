// The fixed rendering state, queried back from Mesa after the programs'
// own start-up.
#include "main.h"
#include "xvfb.h"

#include <cmath>
#include <cstdlib>
#include <gtest/gtest.h>
#include <vector>

namespace {

class Startup : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        use_private_display();
        const float light_position[] = {0.0f, 0.0f, -113.0f, 1.0f};
        setenv("SDL12COMPAT_OPENGL_SCALING", "1", 1);  // as a user may
        setup_sdl(nullptr);
        setup_opengl(640, 480);
        setup_gl_material_light();
        setup_gl_light(light_position);
    }
};

std::vector<float> floats(void (*get)(GLenum, GLenum, GLfloat*), GLenum target, GLenum name, int n = 4)
{
    std::vector<float> values(n);
    get(target, name, values.data());
    return values;
}

std::vector<float> rgba(float r, float g, float b, float a) { return {r, g, b, a}; }

GLint integer(GLenum name)
{
    GLint value;
    glGetIntegerv(name, &value);
    return value;
}

}  // namespace

TEST_F(Startup, KeepsTheUsersOpenGLScalingSetting)
{
    EXPECT_STREQ(getenv("SDL12COMPAT_OPENGL_SCALING"), "1");
}

TEST_F(Startup, WindowHasTheStartupCaption)
{
    char* title = nullptr;
    SDL_WM_GetCaption(&title, nullptr);
    EXPECT_STREQ(title, "Vornel by Talwick OpenGL demo");
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), (std::vector<GLint>{0, 0, 640, 480}));
}

TEST_F(Startup, MaterialAndLight)
{
    // The material's ambient is not read back here: with colour material
    // on, OpenGL reports the current colour whatever was set. What it
    // does to pixels is tested below.
    EXPECT_EQ(floats(glGetMaterialfv, GL_FRONT, GL_SPECULAR), rgba(1, 1, 1, 1));
    EXPECT_EQ(floats(glGetMaterialfv, GL_FRONT, GL_SHININESS, 1), std::vector<float>{50});
    EXPECT_EQ(floats(glGetLightfv, GL_LIGHT0, GL_AMBIENT), rgba(0.3f, 0.3f, 0.3f, 1));
    EXPECT_EQ(floats(glGetLightfv, GL_LIGHT0, GL_DIFFUSE), rgba(0.3f, 0.9f, 0.7f, 1));
    EXPECT_EQ(floats(glGetLightfv, GL_LIGHT0, GL_SPECULAR), rgba(1, 1, 1, 1));  // light 0's default
    // Stored in eye coordinates: 113 units straight ahead of the viewer.
    EXPECT_EQ(floats(glGetLightfv, GL_LIGHT0, GL_POSITION), rgba(0, 0, -113, 1));

    float model_ambient[4];
    glGetFloatv(GL_LIGHT_MODEL_AMBIENT, model_ambient);
    EXPECT_EQ(std::vector<float>(model_ambient, model_ambient + 4), rgba(0.5f, 0.5f, 0.5f, 1));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_LIGHT0));
}

TEST_F(Startup, RasterisationState)
{
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(integer(GL_DEPTH_FUNC), GL_LEQUAL);
    EXPECT_EQ(integer(GL_SHADE_MODEL), GL_SMOOTH);
    EXPECT_TRUE(glIsEnabled(GL_COLOR_MATERIAL));
    EXPECT_EQ(integer(GL_COLOR_MATERIAL_FACE), GL_FRONT_AND_BACK);
    EXPECT_EQ(integer(GL_COLOR_MATERIAL_PARAMETER), GL_AMBIENT_AND_DIFFUSE);
    EXPECT_EQ(integer(GL_PERSPECTIVE_CORRECTION_HINT), GL_NICEST);
    EXPECT_FALSE(glIsEnabled(GL_CULL_FACE));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(std::vector<float>(clear, clear + 4), rgba(0, 0, 0, 0));
}

// gluPerspective(45°, 1.3333334f, 1, 200), left in projection mode with
// the model-view matrix untouched.
TEST_F(Startup, ProjectionFromTheSinglePrecisionAspect)
{
    EXPECT_EQ(integer(GL_MATRIX_MODE), GL_PROJECTION);
    double m[16];
    glGetDoublev(GL_PROJECTION_MATRIX, m);
    const double aspect = 1.3333334f, cot = 1 / std::tan(22.5 * M_PI / 180);
    const double expected[16] = {cot / aspect, 0, 0, 0, 0, cot, 0, 0,
                                 0, 0, -201.0 / 199, -1, 0, 0, -400.0 / 199, 0};
    for (int i = 0; i < 16; i++)
        EXPECT_NEAR(m[i], expected[i], 1e-6 * std::fabs(expected[i]) + 1e-9) << "element " << i;

    glGetDoublev(GL_MODELVIEW_MATRIX, m);
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(m[i], i % 5 == 0 ? 1.0 : 0.0);
}

// Colour material is on before the material is set, so ambient (and
// diffuse) follow the vertex colour; the 0.5 grey asked for the material's
// ambient never takes hold. A surface facing away from the light shows only
// ambient light: its grey times the light's ambient plus the model's,
// 0.3 + 0.5. A material ambient of 0.5 would make both greys the same.
TEST_F(Startup, AmbientLightScalesTheVertexGrey)
{
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const float greys[] = {1.0f, 0.25f};
    for (int i = 0; i < 2; i++) {
        float left = -2.0f + 2.0f * i;  // two squares side by side, 10 units ahead
        glColor3f(greys[i], greys[i], greys[i]);
        glNormal3f(0, 0, 1);  // towards the viewer; the light is behind
        glBegin(GL_QUADS);
        glVertex3f(left, -1, -10);
        glVertex3f(left + 2, -1, -10);
        glVertex3f(left + 2, 1, -10);
        glVertex3f(left, 1, -10);
        glEnd();
    }
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);

    for (int i = 0; i < 2; i++) {
        unsigned char pixel[4];
        glReadPixels(320 + (i ? 40 : -40), 240, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
        int expected = (int)std::lround(255 * greys[i] * (0.3 + 0.5));
        for (int c = 0; c < 3; c++)
            EXPECT_NEAR(pixel[c], expected, 1) << "grey " << greys[i] << ", channel " << c;
    }
}
