// One indexed triangle mesh in client-side arrays, drawn with OpenGL 1.1
// vertex arrays. The filler (init_vornel) allocates the arrays with new[];
// the buffer owns and releases them.
#ifndef CVERTEXBUFFER_H
#define CVERTEXBUFFER_H

#include <GL/gl.h>

#include "cvector.h"

class CVertexbuffer {
public:
    int num_faces;      // triangles; indices holds 3 × num_faces entries
    int num_vertices;   // entries in vertices, colors, normals; pairs in texcoords
    GLenum primitive;   // mode for glDrawElements
    CVector3* vertices;
    CVector3* colors;   // red, green, blue in x, y, z
    CVector3* normals;
    float* texcoords;   // u, v per vertex
    GLuint* indices;

    CVertexbuffer();
    ~CVertexbuffer();
    CVertexbuffer(const CVertexbuffer&) = delete;
    CVertexbuffer& operator=(const CVertexbuffer&) = delete;

    // Enables the vertex, texture-coordinate, normal and colour arrays and
    // points them at this buffer.
    void initialize();
    // One glDrawElements over all faces, reading the arrays as they are now.
    void render();
    void disable();
    // Diagnostic: each normal as a segment of length `scale` from its vertex.
    void render_normals(float scale);
};

#endif
