// Writes the layered scene's mesh at given clock readings as raw floats,
// in the machine's byte order: for each reading the positions, normals,
// colours (x, y, z each) and texture coordinates (u, v) of every vertex.
// Two builds' meshes compare byte for byte this way, for example the
// Windows build's (its C library's sin and cos) against Linux's.
//
//   dump_mesh FILE TICKS...
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "main.h"

static const double LAYERED_SLIDE = 8.0;  // vornel_layered's tissue speed

static bool write_floats(FILE* file, const float* values, size_t count)
{
    return fwrite(values, sizeof *values, count, file) == count;
}

static bool write_mesh(FILE* file, const CVertexbuffer& mesh)
{
    size_t n = (size_t)mesh.num_vertices;
    return write_floats(file, &mesh.vertices[0].x, 3 * n) &&
           write_floats(file, &mesh.normals[0].x, 3 * n) &&
           write_floats(file, &mesh.colors[0].x, 3 * n) &&
           write_floats(file, mesh.texcoords, 2 * n);
}

int main(int argc, char* argv[])
{
    if (argc < 3) {
        fprintf(stderr, "usage: dump_mesh FILE TICKS...\n");
        return 2;
    }
    FILE* file = fopen(argv[1], "wb");  // binary: no newline translation on Windows
    if (!file) {
        perror(argv[1]);
        return 1;
    }
    bool written = true;
    for (int i = 2; i < argc && written; i++) {
        std::unique_ptr<CVertexbuffer> mesh(make_tube((Uint32)strtoull(argv[i], nullptr, 10), LAYERED_SLIDE));
        written = write_mesh(file, *mesh);
    }
    if (fclose(file) != 0 || !written) {
        fprintf(stderr, "dump_mesh: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
