// The creature's body: a tube along one turn of a helix, rebuilt for each
// instant from fifteen parameters.
#ifndef VORNEL_H
#define VORNEL_H

#include "cvertexbuffer.h"

#include <vector>

// Returns a new mesh of rings × (bands + 1) vertices and twice as many
// triangles; the caller deletes it. Never returns null: allocation failures
// throw. bands must be at least 1, rings at least 0.
// Fifteen arguments on purpose: see "Exact on purpose" in README.md.
CVertexbuffer* init_vornel(int rings, int bands, float radius, float curl_radius,
                           float ring_fold_phase, float ring_fold_amp, int ring_folds,
                           float band_fold_phase, float band_fold_amp, int band_folds,
                           float spin_speed, float ticks, float u_offset,
                           int u_repeat, int v_repeat);

// The ways init_vornel can fill a mesh that this build has and this CPU
// runs, simplest first: "scalar", the plain loops, then vector forms such as
// "sse2" and "avx512". All store the same bits. It uses the last one unless
// told otherwise, for the whole process: use_mesh_path is for tests and
// benchmarks, and returns false for a path that is not in the list.
std::vector<const char*> mesh_paths();
bool use_mesh_path(const char* name);
const char* mesh_path();

// The mesh is allocated and freed every frame, 566 KB of it. By default
// glibc serves the largest array with mmap and trims the rest off the heap
// on free, so every frame starts with fresh pages from the kernel: about a
// hundred page faults. Called once at start-up, this keeps freed memory in
// the heap for the next frame. A process-wide setting, so only programs
// that draw frames call it.
void keep_mesh_memory();

#endif
