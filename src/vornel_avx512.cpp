// The tube's vertices sixteen at a time with AVX-512, and its index rings
// sixteen indices at a time. Only the functions marked WIDE use these
// instructions, and only after the CPU said it has them.
//
// Each step is the plain loop's operations, in its order, on packed values:
// every rounding to float is one _mm512_cvtpd_ps, double square roots are
// exact, and there is no fused multiply-add (-ffp-contract=off, and no FMA
// intrinsic), so the stored bits are the same.
#include "vornel_kernels.h"

// GCC 12's AVX-512 intrinsics start from _mm512_undefined values and warn
// about them (GCC bug 105593); clang has no such warning.
#ifndef __clang__
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#define WIDE __attribute__((target("avx512f,avx512dq")))

// Sixteen values along one axis, from d[0] to d[15]: q = float(c + d), then
// float(q × f), eight doubles at a time.
WIDE static __m256 fold8(__m512d c, const double* d, __m512d f)
{
    __m256 q = _mm512_cvtpd_ps(_mm512_add_pd(c, _mm512_loadu_pd(d)));
    return _mm512_cvtpd_ps(_mm512_mul_pd(_mm512_cvtps_pd(q), f));
}
WIDE static __m512 fold16(__m512d c, const double* d, __m512d f)
{
    return _mm512_insertf32x8(_mm512_castps256_ps512(fold8(c, d, f)), fold8(c, d + 8, f), 1);
}

// float(sqrt(x² + y²)) of eight values, the sum in double.
WIDE static __m256 length8(__m256 x, __m256 y)
{
    __m512d dx = _mm512_cvtps_pd(x), dy = _mm512_cvtps_pd(y);
    return _mm512_cvtpd_ps(_mm512_sqrt_pd(_mm512_add_pd(_mm512_mul_pd(dx, dx), _mm512_mul_pd(dy, dy))));
}

// 1 / float(sqrt(x² + y²)) of sixteen values, the division in float.
WIDE static __m512 reciprocal_length16(__m512 x, __m512 y)
{
    __m256 low = length8(_mm512_castps512_ps256(x), _mm512_castps512_ps256(y));
    __m256 high = length8(_mm512_extractf32x8_ps(x, 1), _mm512_extractf32x8_ps(y, 1));
    return _mm512_div_ps(_mm512_set1_ps(1.0f),
                         _mm512_insertf32x8(_mm512_castps256_ps512(low), high, 1));
}

// Lane choices for _mm512_permutex2var_ps (0-15 the first source, 16-31 the
// second) that lay sixteen (x, y, z) triples out as three vectors: first x
// or y into place, then z.
struct Interleave {
    int32_t xy[3][16], then_z[3][16];
};
constexpr Interleave make_interleave()
{
    Interleave t{};
    for (int p = 0; p < 48; p++) {
        int vertex = p / 3, axis = p % 3;
        t.xy[p / 16][p % 16] = axis == 1 ? 16 + vertex : vertex;
        t.then_z[p / 16][p % 16] = axis == 2 ? 16 + vertex : p % 16;
    }
    return t;
}
static constexpr Interleave INTERLEAVE = make_interleave();

// Sixteen (x, y, z) triples as 48 packed floats.
WIDE static void store_xyz16(float* out, __m512 x, __m512 y, __m512 z)
{
    for (int i = 0; i < 3; i++) {
        __m512 xy = _mm512_permutex2var_ps(x, _mm512_loadu_si512(INTERLEAVE.xy[i]), y);
        _mm512_storeu_ps(out + 16 * i,
                         _mm512_permutex2var_ps(xy, _mm512_loadu_si512(INTERLEAVE.then_z[i]), z));
    }
}

// Sixteen (u, v) pairs as 32 packed floats, u the same for all.
WIDE static void store_uv16(float* out, __m512 u, __m512 v)
{
    const __m512i low = _mm512_set_epi32(23, 0, 22, 0, 21, 0, 20, 0, 19, 0, 18, 0, 17, 0, 16, 0);
    const __m512i high = _mm512_set_epi32(31, 0, 30, 0, 29, 0, 28, 0, 27, 0, 26, 0, 25, 0, 24, 0);
    _mm512_storeu_ps(out, _mm512_permutex2var_ps(u, low, v));
    _mm512_storeu_ps(out + 16, _mm512_permutex2var_ps(u, high, v));
}

WIDE static int write_ring(CVertexbuffer* mesh, uint32_t j, const RingTerms& ring, const BandTerms& band)
{
    const int width = 16;
    const int count = band.count / width * width;
    const __m512d cx = _mm512_set1_pd(ring.cx), cy = _mm512_set1_pd(ring.cy), f = _mm512_set1_pd(ring.f);
    const __m512 cxs = _mm512_set1_ps(ring.cx), cys = _mm512_set1_ps(ring.cy);
    const __m512 z = _mm512_set1_ps(ring.z), grey = _mm512_set1_ps(ring.grey), u = _mm512_set1_ps(ring.u);
    float* vertex = &mesh->vertices[j].x;
    float* normal = &mesh->normals[j].x;
    float* color = &mesh->colors[j].x;
    float* uv = mesh->texcoords + 2 * (size_t)j;
    for (int l = 0; l < count; l += width) {
        __m512 x = fold16(cx, band.dx + l, f), y = fold16(cy, band.dy + l, f);
        store_xyz16(vertex + 3 * l, x, y, z);
        // Towards the unfolded ring centre, normalised as CVector3 does it.
        __m512 nx = _mm512_sub_ps(cxs, x), ny = _mm512_sub_ps(cys, y);
        __m512 r = reciprocal_length16(nx, ny);
        store_xyz16(normal + 3 * l, _mm512_mul_ps(nx, r), _mm512_mul_ps(ny, r),
                    _mm512_mul_ps(_mm512_setzero_ps(), r));
        for (int i = 0; i < 3 * width; i += width)
            _mm512_storeu_ps(color + 3 * l + i, grey);
        store_uv16(uv + 2 * l, u, _mm512_loadu_ps(band.v + l));
    }
    return count;
}

WIDE static void shift_indices(GLuint* dst, const GLuint* src, size_t count, GLuint shift)
{
    const size_t width = 16;
    const __m512i by = _mm512_set1_epi32((int)shift);
    size_t i = 0;
    for (; i + width <= count; i += width)
        _mm512_storeu_si512(dst + i, _mm512_add_epi32(_mm512_loadu_si512(src + i), by));
    shift_indices_scalar(dst + i, src + i, count - i, shift);
}

static bool supported()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq");
}

const MeshKernels AVX512_KERNELS = {"avx512", supported, write_ring, shift_indices};
