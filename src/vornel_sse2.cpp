// The tube's vertices four at a time with SSE2, which every x86-64 CPU has.
//
// Each step is the plain loop's operations, in its order, on packed values:
// every rounding to float is one _mm_cvtpd_ps, double square roots are
// exact, and there is no fused multiply-add (-ffp-contract=off, and no FMA
// intrinsic), so the stored bits are the same.
#include "vornel_kernels.h"

#include <emmintrin.h>

// Two values along one axis: q = float(c + d), then float(q × f).
static __m128 fold2(__m128d c, const double* d, __m128d f)
{
    __m128 q = _mm_cvtpd_ps(_mm_add_pd(c, _mm_loadu_pd(d)));
    return _mm_cvtpd_ps(_mm_mul_pd(_mm_cvtps_pd(q), f));
}

// Four values along one axis, from d[0] to d[3].
static __m128 fold4(__m128d c, const double* d, __m128d f)
{
    return _mm_movelh_ps(fold2(c, d, f), fold2(c, d + 2, f));
}

// float(sqrt(x² + y²)) of the two lower lanes, the sum in double.
static __m128 length2(__m128 x, __m128 y)
{
    __m128d dx = _mm_cvtps_pd(x), dy = _mm_cvtps_pd(y);
    return _mm_cvtpd_ps(_mm_sqrt_pd(_mm_add_pd(_mm_mul_pd(dx, dx), _mm_mul_pd(dy, dy))));
}

// 1 / float(sqrt(x² + y²)) of four lanes, the division in float.
static __m128 reciprocal_length4(__m128 x, __m128 y)
{
    __m128 low = length2(x, y);
    __m128 high = length2(_mm_movehl_ps(x, x), _mm_movehl_ps(y, y));
    return _mm_div_ps(_mm_set1_ps(1.0f), _mm_movelh_ps(low, high));
}

// Four (x, y, z) triples as twelve packed floats.
static void store_xyz4(float* out, __m128 x, __m128 y, __m128 z)
{
    __m128 xy_low = _mm_unpacklo_ps(x, y), xy_high = _mm_unpackhi_ps(x, y);  // x0 y0 x1 y1, x2 y2 x3 y3
    __m128 yz_low = _mm_unpacklo_ps(y, z), yz_high = _mm_unpackhi_ps(y, z);  // y0 z0 y1 z1, y2 z2 y3 z3
    __m128 zx_low = _mm_unpacklo_ps(z, x), zx_high = _mm_unpackhi_ps(z, x);  // z0 x0 z1 x1, z2 x2 z3 x3
    _mm_storeu_ps(out, _mm_shuffle_ps(xy_low, zx_low, _MM_SHUFFLE(3, 0, 1, 0)));      // x0 y0 z0 x1
    _mm_storeu_ps(out + 4, _mm_shuffle_ps(yz_low, xy_high, _MM_SHUFFLE(1, 0, 3, 2)));  // y1 z1 x2 y2
    _mm_storeu_ps(out + 8, _mm_shuffle_ps(zx_high, yz_high, _MM_SHUFFLE(3, 2, 3, 0))); // z2 x3 y3 z3
}

static int write_ring(CVertexbuffer* mesh, uint32_t j, const RingTerms& ring, const BandTerms& band)
{
    const int width = 4;
    const int count = band.count / width * width;
    const __m128d cx = _mm_set1_pd(ring.cx), cy = _mm_set1_pd(ring.cy), f = _mm_set1_pd(ring.f);
    const __m128 cxs = _mm_set1_ps(ring.cx), cys = _mm_set1_ps(ring.cy);
    const __m128 z = _mm_set1_ps(ring.z), grey = _mm_set1_ps(ring.grey), u = _mm_set1_ps(ring.u);
    float* vertex = &mesh->vertices[j].x;
    float* normal = &mesh->normals[j].x;
    float* color = &mesh->colors[j].x;
    float* uv = mesh->texcoords + 2 * (size_t)j;
    for (int l = 0; l < count; l += width) {
        __m128 x = fold4(cx, band.dx + l, f), y = fold4(cy, band.dy + l, f);
        store_xyz4(vertex + 3 * l, x, y, z);
        // Towards the unfolded ring centre, normalised as CVector3 does it.
        __m128 nx = _mm_sub_ps(cxs, x), ny = _mm_sub_ps(cys, y);
        __m128 r = reciprocal_length4(nx, ny);
        store_xyz4(normal + 3 * l, _mm_mul_ps(nx, r), _mm_mul_ps(ny, r), _mm_mul_ps(_mm_setzero_ps(), r));
        for (int i = 0; i < 3 * width; i += 4)
            _mm_storeu_ps(color + 3 * l + i, grey);
        __m128 v = _mm_loadu_ps(band.v + l);
        _mm_storeu_ps(uv + 2 * l, _mm_unpacklo_ps(u, v));
        _mm_storeu_ps(uv + 2 * l + 4, _mm_unpackhi_ps(u, v));
    }
    return count;
}

static bool supported() { return true; }

const MeshKernels SSE2_KERNELS = {"sse2", supported, write_ring, shift_indices_scalar};
