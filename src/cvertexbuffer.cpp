#include "cvertexbuffer.h"

#include <memory>

// num_vertices starts at 0 too, so that an unfilled buffer reads as empty
// everywhere, render_normals included; the filler sets it with the arrays.
CVertexbuffer::CVertexbuffer()
    : num_faces(0), num_vertices(0), primitive(0), vertices(nullptr),
      colors(nullptr), normals(nullptr), texcoords(nullptr), indices(nullptr)
{
}

template <typename T> static void release(T*& array)
{
    delete[] array;
    array = nullptr;
}

CVertexbuffer::~CVertexbuffer()
{
    release(vertices);
    release(colors);
    release(normals);
    release(indices);
    num_faces = 0;
    primitive = 0;
    release(texcoords);
}

void CVertexbuffer::initialize()
{
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    glColorPointer(3, GL_FLOAT, 0, colors);
    glVertexPointer(3, GL_FLOAT, 0, vertices);
    glTexCoordPointer(2, GL_FLOAT, 0, texcoords);
    glNormalPointer(GL_FLOAT, 0, normals);
}

void CVertexbuffer::render()
{
    glDrawElements(primitive, 3 * num_faces, GL_UNSIGNED_INT, indices);
}

void CVertexbuffer::disable()
{
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
}

void CVertexbuffer::render_normals(float scale)
{
    int n = num_vertices;
    // Both arrays exist before any state changes, and neither leaks if the
    // second allocation throws.
    std::unique_ptr<CVector3[]> segments(new CVector3[2 * n]);
    // The mesh's colour array has one colour per vertex, but 2n points are
    // drawn: each segment gets its vertex's colour at both ends.
    std::unique_ptr<CVector3[]> segment_colors(new CVector3[2 * n]);
    for (int k = 0; k < n; k++) {
        segments[2 * k] = vertices[k];
        segments[2 * k + 1] = vertices[k] + normals[k] * scale;
        segment_colors[2 * k] = colors[k];
        segment_colors[2 * k + 1] = colors[k];
    }

    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisable(GL_TEXTURE_2D);

    glVertexPointer(3, GL_FLOAT, 0, segments.get());
    glColorPointer(3, GL_FLOAT, 0, segment_colors.get());
    glDrawArrays(GL_LINES, 0, 2 * n);
    glColorPointer(3, GL_FLOAT, 0, colors);  // leave the colour array as found
}
