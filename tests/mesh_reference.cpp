#include "mesh_reference.h"

#include <cmath>

// Rounds to single precision through a volatile store, whatever the
// optimiser would like to keep in a register.
static float single(double value)
{
    volatile float stored = (float)value;
    return stored;
}

static const double TWO_PI_AS_FLOAT = (double)6.283186f;
static const double PI_AS_FLOAT = (double)3.141593f;

ReferenceVertex reference_vertex(const TubeArguments& a, int k, int l)
{
    double R = a.rings, B = a.bands;

    float p = single((double)k + (double)a.ticks * (double)a.spin_speed);
    double theta = (double)p * TWO_PI_AS_FLOAT / R;
    float cx = single((double)a.curl_radius * cos(theta));
    float cy = single((double)a.curl_radius * sin(theta));

    double phi = (double)(2 * l) * PI_AS_FLOAT / B;
    double h = 1.0 + (double)a.band_fold_amp *
                         sin((double)(2 * a.band_folds * l) * PI_AS_FLOAT / B + (double)a.band_fold_phase);
    float qx = single((double)cx + (double)a.radius * cos(phi) * h);
    float qy = single((double)cy + (double)a.radius * sin(phi) * h);
    double f = 1.0 + (double)a.ring_fold_amp *
                         sin((double)(2 * a.ring_folds * k) * PI_AS_FLOAT / R + (double)a.ring_fold_phase);

    ReferenceVertex out;
    out.position[0] = single((double)qx * f);
    out.position[1] = single((double)qy * f);
    out.position[2] = single((double)(15 - k));

    float nx = single((double)cx - (double)out.position[0]);
    float ny = single((double)cy - (double)out.position[1]);
    float length = single(sqrt((double)nx * nx + (double)ny * ny));
    float reciprocal = single(1.0 / (double)length);
    out.normal[0] = single((double)nx * reciprocal);
    out.normal[1] = single((double)ny * reciprocal);
    out.normal[2] = single(0.0 * (double)reciprocal);

    out.grey = single(1.0 - (double)k / R);
    out.u = single((double)k / R * (double)a.u_repeat + (double)a.u_offset);
    out.v = single((double)l / B * (double)a.v_repeat);
    return out;
}
