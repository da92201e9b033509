// A slow, literal reading of the tube's vertex formulas, one vertex at a
// time, with every single-precision rounding forced through memory. It is
// kept apart from the generator so that a compiler or a speed-up that drops
// a rounding there shows as a difference here.
#ifndef TESTS_MESH_REFERENCE_H
#define TESTS_MESH_REFERENCE_H

struct TubeArguments {
    int rings, bands;
    float radius, curl_radius;
    float ring_fold_phase, ring_fold_amp;
    int ring_folds;
    float band_fold_phase, band_fold_amp;
    int band_folds;
    float spin_speed, ticks, u_offset;
    int u_repeat, v_repeat;
};

struct ReferenceVertex {
    float position[3], normal[3], grey, u, v;
};

ReferenceVertex reference_vertex(const TubeArguments& a, int k, int l);

#endif
