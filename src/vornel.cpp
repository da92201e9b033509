#include "vornel.h"

#include "rounding.h"
#include "vornel_kernels.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>
#ifdef __GLIBC__
#include <malloc.h>  // mallopt
#endif

// The single-precision values of the decimals 6.283186 and 3.141593, one unit
// in the last place above the floats nearest to 2π and π. Every angle uses
// them, so the seam vertex lands a few millionths away from band 0.
// Kept on purpose: see "Exact on purpose" in README.md.
static const double TWO_PI = 6.283186f;
static const double PI = 3.141593f;

// Precision: values stored in the mesh are floats; everything in between is
// double, and sin and cos are the double-precision library functions. Every
// float that feeds a later double expression goes through to_single. The
// ring and band terms below are hoisted out of the vertex loop with exactly
// the operations, in the same order, that the per-vertex formulas use. The
// vector forms of the loops (vornel_kernels.h) repeat them on packed values.

// Vertex count N = rings × (bands + 1). The buffer keeps counts as int and
// draws 6N indices, so a mesh too large for that is refused like an
// allocation that cannot be made.
static uint32_t vertex_count(int rings, int bands)
{
    long long n = (long long)rings * ((long long)bands + 1);
    if (n < 0 || n > INT_MAX / 6)
        throw std::bad_array_new_length();
    return (uint32_t)n;
}

// Step 1: the container and its five arrays. If one allocation fails, the
// arrays already made are released with the container.
static CVertexbuffer* allocate_mesh(uint32_t n)
{
    std::unique_ptr<CVertexbuffer> mesh(new CVertexbuffer);
    mesh->vertices = new CVector3[n];
    mesh->colors = new CVector3[n];
    mesh->normals = new CVector3[n];
    mesh->texcoords = new float[2 * (size_t)n];
    mesh->indices = new GLuint[6 * (size_t)n];
    mesh->num_vertices = (int)n;
    mesh->num_faces = (int)(2 * n);
    mesh->primitive = GL_TRIANGLES;
    return mesh.release();
}

// Step 2: two triangles for each of the rings × (bands + 1) quads. The ring
// stride is `bands`, one less than the vertices a ring holds; that repeats
// one quad per ring and leaves the far end's last vertices unreferenced,
// which nobody sees at the dark end of the tube.
// Kept on purpose: see "Exact on purpose" in README.md.
static void write_indices(GLuint* indices, uint32_t rings, uint32_t bands, uint32_t n,
                          const MeshKernels& kernels)
{
    // Ring r's quads are ring 0's plus r × bands: ring 0 is laid out first,
    // before the modulo, and every other ring is a shifted copy of it.
    const size_t per_ring = 6 * (size_t)(bands + 1);
    for (uint32_t s = 0; s <= bands; s++) {
        GLuint* quad = indices + 6 * s;
        quad[0] = s + bands + 1;
        quad[1] = s + bands;
        quad[2] = s;
        quad[3] = s;
        quad[4] = s + 1;
        quad[5] = s + bands + 1;
    }
    // Every index before the modulo is below 2N (rings ≥ 1), so the modulo
    // is one conditional subtraction. 2N fits an int (vertex_count), and
    // signed compares are what SSE2 can vectorise.
    const int32_t count = (int32_t)n;
    auto wrap = [count](int32_t index) { return (GLuint)(index - (index >= count ? count : 0)); };
    for (uint32_t r = 1; r < rings; r++) {
        GLuint* ring = indices + r * per_ring;
        const int32_t shift = (int32_t)(r * bands);
        // Ring r's largest index is (r + 2) × bands + 1; below N the modulo
        // changes nothing. In the scene it never does.
        if ((uint64_t)(r + 2) * bands + 1 < n) {
            kernels.shift_indices(ring, indices, per_ring, (GLuint)shift);
            continue;
        }
        for (size_t i = 0; i < per_ring; i++)
            ring[i] = wrap((int32_t)indices[i] + shift);
    }
    for (size_t i = 0; i < per_ring; i++)
        indices[i] = wrap((int32_t)indices[i]);
}

void shift_indices_scalar(GLuint* dst, const GLuint* src, size_t count, GLuint shift)
{
    for (size_t i = 0; i < count; i++)
        dst[i] = src[i] + shift;
}

// Step 3, for one ring k: positions, inward normals, grey and texture
// coordinates of the chunk's bands from band `first` on, whose first vertex
// is j.
static void write_ring(CVertexbuffer* mesh, uint32_t j, const RingTerms& ring,
                       const BandTerms& band, int first)
{
    CVector3* vertex = mesh->vertices + j;
    CVector3* normal = mesh->normals + j;
    CVector3* color = mesh->colors + j;
    float* uv = mesh->texcoords + 2 * (size_t)j;
    for (int l = first; l < band.count; l++) {
        float qx = to_single(ring.cx + band.dx[l]);
        float qy = to_single(ring.cy + band.dy[l]);
        float x = to_single(qx * ring.f);
        float y = to_single(qy * ring.f);
        vertex[l] = CVector3(x, y, ring.z);
        // Towards the unfolded ring centre, into the tube.
        normal[l] = CVector3(ring.cx - x, ring.cy - y, 0.0f);
        normal[l].normalize();
        color[l] = ring.grey;
        uv[2 * l] = ring.u;
        uv[2 * l + 1] = band.v[l];
    }
}

// The plain loops alone: no vector writes any band.
static int no_vectors(CVertexbuffer*, uint32_t, const RingTerms&, const BandTerms&) { return 0; }
static bool always() { return true; }
static const MeshKernels SCALAR_KERNELS = {"scalar", always, no_vectors, shift_indices_scalar};

// The forms this build has, simplest first. Only x86-64 has vector forms,
// and builds for Windows leave out the wide ones (see CMakeLists.txt).
static const MeshKernels* const BUILT_PATHS[] = {
    &SCALAR_KERNELS,
#ifdef VORNEL_SSE2_VECTORS
    &SSE2_KERNELS,
#endif
#ifdef VORNEL_WIDE_VECTORS
    &AVX2_KERNELS,
    &AVX512_KERNELS,
#endif
};

// Chosen once, the first time it is asked for: the widest this CPU runs.
static const MeshKernels*& active_path()
{
    static const MeshKernels* path = [] {
        const MeshKernels* widest = &SCALAR_KERNELS;
        for (const MeshKernels* p : BUILT_PATHS)
            if (p->supported())
                widest = p;
        return widest;
    }();
    return path;
}

std::vector<const char*> mesh_paths()
{
    std::vector<const char*> names;
    for (const MeshKernels* p : BUILT_PATHS)
        if (p->supported())
            names.push_back(p->name);
    return names;
}

bool use_mesh_path(const char* name)
{
    for (const MeshKernels* p : BUILT_PATHS)
        if (std::strcmp(p->name, name) == 0 && p->supported()) {
            active_path() = p;
            return true;
        }
    return false;
}

const char* mesh_path() { return active_path()->name; }

CVertexbuffer* init_vornel(int rings, int bands, float radius, float curl_radius,
                           float ring_fold_phase, float ring_fold_amp, int ring_folds,
                           float band_fold_phase, float band_fold_amp, int band_folds,
                           float spin_speed, float ticks, float u_offset,
                           int u_repeat, int v_repeat)
{
    uint32_t n = vertex_count(rings, bands);
    CVertexbuffer* mesh = allocate_mesh(n);
    if (n == 0)
        return mesh;

    const MeshKernels& kernels = *active_path();
    write_indices(mesh->indices, rings, bands, n, kernels);

    auto band_terms = [&](BandTerms& t, int first) {
        t.count = std::min(BAND_CHUNK, bands + 1 - first);
        for (int i = 0; i < t.count; i++) {
            int l = first + i;
            double phi = (double)(2 * l) * PI / bands;
            double h = 1 + (double)band_fold_amp *
                               std::sin((double)(2 * band_folds * l) * PI / bands + band_fold_phase);
            t.dx[i] = (double)radius * std::cos(phi) * h;
            t.dy[i] = (double)radius * std::sin(phi) * h;
            t.v[i] = (float)((double)l / bands * v_repeat);
        }
    };
    auto ring_terms = [&](int k) {
        // The helix turns with time: ring k sits at position p along it.
        float p = to_single(k + (double)ticks * spin_speed);
        double theta = p * TWO_PI / rings;
        RingTerms ring;
        ring.cx = to_single(curl_radius * std::cos(theta));
        ring.cy = to_single(curl_radius * std::sin(theta));
        ring.f = 1 + (double)ring_fold_amp *
                         std::sin((double)(2 * ring_folds * k) * PI / rings + ring_fold_phase);
        ring.z = (float)(15 - k);
        ring.grey = (float)(1 - (double)k / rings);  // darker with depth
        ring.u = (float)((double)k / rings * u_repeat + u_offset);
        return ring;
    };

    // The scene's 65 bands are one chunk; only wider rings revisit each
    // ring's terms once per chunk.
    BandTerms band;
    for (int first = 0; first <= bands; first += BAND_CHUNK) {
        band_terms(band, first);
        for (int k = 0; k < rings; k++) {
            uint32_t j = (uint32_t)k * (bands + 1) + first;
            RingTerms ring = ring_terms(k);
            int done = kernels.write_ring(mesh, j, ring, band);  // whole vectors
            write_ring(mesh, j, ring, band, done);               // the rest
        }
    }
    return mesh;
}

void keep_mesh_memory()
{
#ifdef __GLIBC__
    const int heap_limit = 64 << 20;  // bytes, far above one mesh
    mallopt(M_MMAP_THRESHOLD, heap_limit);
    mallopt(M_TRIM_THRESHOLD, heap_limit);
#endif
}
