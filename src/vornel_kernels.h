// The tube generator's two inner loops, as plain loops in vornel.cpp
// and as vector forms for instruction sets of x86-64 CPUs, one file each.
// init_vornel picks the widest form the CPU runs; every form stores the
// same bits.
#ifndef VORNEL_KERNELS_H
#define VORNEL_KERNELS_H

#include "cvertexbuffer.h"

#include <cstddef>
#include <cstdint>

// Terms of band l around every ring: the folded radius vector and v, for up
// to BAND_CHUNK bands at a time, on the stack so that a call allocates
// nothing but the mesh.
const int BAND_CHUNK = 128;
struct BandTerms {
    int count;
    double dx[BAND_CHUNK], dy[BAND_CHUNK];  // radius × cos φ × h, radius × sin φ × h
    float v[BAND_CHUNK];
};

// Terms of ring k: its centre on the curl circle, the fold along the body,
// which scales the whole offset from the axis, depth, grey and u.
struct RingTerms {
    float cx, cy;
    double f;
    float z, grey, u;
};

struct MeshKernels {
    const char* name;
    bool (*supported)();  // by this CPU and its operating system
    // Writes the first bands of a ring, as many as fill whole vectors, from
    // vertex j on, and returns how many; the plain loop writes the rest.
    int (*write_ring)(CVertexbuffer* mesh, uint32_t j, const RingTerms& ring,
                      const BandTerms& band);
    // dst[i] = src[i] + shift for count entries: a ring of indices that
    // never reaches N, as ring 0's shifted.
    void (*shift_indices)(GLuint* dst, const GLuint* src, size_t count, GLuint shift);
};

// The plain loop's shifted copy, which compilers vectorise well enough.
void shift_indices_scalar(GLuint* dst, const GLuint* src, size_t count, GLuint shift);

extern const MeshKernels SSE2_KERNELS;    // in builds for x86-64
extern const MeshKernels AVX2_KERNELS;    // unless VORNEL_WIDE_VECTORS is off
extern const MeshKernels AVX512_KERNELS;  // likewise

#endif
