// The tube's vertices eight at a time with AVX, and its index rings eight
// indices at a time with AVX2. Only the functions marked WIDE use these
// instructions, and only after the CPU said it has them.
//
// Each step is the plain loop's operations, in its order, on packed values:
// every rounding to float is one _mm256_cvtpd_ps, double square roots are
// exact, and there is no fused multiply-add (-ffp-contract=off, and no FMA
// intrinsic), so the stored bits are the same.
#include "vornel_kernels.h"

#include <immintrin.h>

#define WIDE __attribute__((target("avx2")))

// Four values along one axis: q = float(c + d), then float(q × f).
WIDE static __m128 fold4(__m256d c, const double* d, __m256d f)
{
    __m128 q = _mm256_cvtpd_ps(_mm256_add_pd(c, _mm256_loadu_pd(d)));
    return _mm256_cvtpd_ps(_mm256_mul_pd(_mm256_cvtps_pd(q), f));
}

// Eight values along one axis, from d[0] to d[7].
WIDE static __m256 fold8(__m256d c, const double* d, __m256d f)
{
    return _mm256_insertf128_ps(_mm256_castps128_ps256(fold4(c, d, f)), fold4(c, d + 4, f), 1);
}

// float(sqrt(x² + y²)) of four values, the sum in double.
WIDE static __m128 length4(__m128 x, __m128 y)
{
    __m256d dx = _mm256_cvtps_pd(x), dy = _mm256_cvtps_pd(y);
    return _mm256_cvtpd_ps(_mm256_sqrt_pd(_mm256_add_pd(_mm256_mul_pd(dx, dx), _mm256_mul_pd(dy, dy))));
}

// 1 / float(sqrt(x² + y²)) of eight values, the division in float.
WIDE static __m256 reciprocal_length8(__m256 x, __m256 y)
{
    __m128 low = length4(_mm256_castps256_ps128(x), _mm256_castps256_ps128(y));
    __m128 high = length4(_mm256_extractf128_ps(x, 1), _mm256_extractf128_ps(y, 1));
    return _mm256_div_ps(_mm256_set1_ps(1.0f),
                         _mm256_insertf128_ps(_mm256_castps128_ps256(low), high, 1));
}

// Eight (x, y, z) triples as 24 packed floats: the SSE2 form's shuffles,
// which stay within each 128-bit half, then the halves put in order.
WIDE static void store_xyz8(float* out, __m256 x, __m256 y, __m256 z)
{
    __m256 xy_low = _mm256_unpacklo_ps(x, y), xy_high = _mm256_unpackhi_ps(x, y);
    __m256 yz_low = _mm256_unpacklo_ps(y, z), yz_high = _mm256_unpackhi_ps(y, z);
    __m256 zx_low = _mm256_unpacklo_ps(z, x), zx_high = _mm256_unpackhi_ps(z, x);
    __m256 a = _mm256_shuffle_ps(xy_low, zx_low, _MM_SHUFFLE(3, 0, 1, 0));    // x0 y0 z0 x1 | x4 y4 z4 x5
    __m256 b = _mm256_shuffle_ps(yz_low, xy_high, _MM_SHUFFLE(1, 0, 3, 2));   // y1 z1 x2 y2 | y5 z5 x6 y6
    __m256 c = _mm256_shuffle_ps(zx_high, yz_high, _MM_SHUFFLE(3, 2, 3, 0));  // z2 x3 y3 z3 | z6 x7 y7 z7
    _mm256_storeu_ps(out, _mm256_permute2f128_ps(a, b, 0x20));
    _mm256_storeu_ps(out + 8, _mm256_permute2f128_ps(c, a, 0x30));
    _mm256_storeu_ps(out + 16, _mm256_permute2f128_ps(b, c, 0x31));
}

// Eight (u, v) pairs as 16 packed floats, u the same for all.
WIDE static void store_uv8(float* out, __m256 u, __m256 v)
{
    __m256 low = _mm256_unpacklo_ps(u, v), high = _mm256_unpackhi_ps(u, v);
    _mm256_storeu_ps(out, _mm256_permute2f128_ps(low, high, 0x20));
    _mm256_storeu_ps(out + 8, _mm256_permute2f128_ps(low, high, 0x31));
}

WIDE static int write_ring(CVertexbuffer* mesh, uint32_t j, const RingTerms& ring, const BandTerms& band)
{
    const int width = 8;
    const int count = band.count / width * width;
    const __m256d cx = _mm256_set1_pd(ring.cx), cy = _mm256_set1_pd(ring.cy), f = _mm256_set1_pd(ring.f);
    const __m256 cxs = _mm256_set1_ps(ring.cx), cys = _mm256_set1_ps(ring.cy);
    const __m256 z = _mm256_set1_ps(ring.z), grey = _mm256_set1_ps(ring.grey), u = _mm256_set1_ps(ring.u);
    float* vertex = &mesh->vertices[j].x;
    float* normal = &mesh->normals[j].x;
    float* color = &mesh->colors[j].x;
    float* uv = mesh->texcoords + 2 * (size_t)j;
    for (int l = 0; l < count; l += width) {
        __m256 x = fold8(cx, band.dx + l, f), y = fold8(cy, band.dy + l, f);
        store_xyz8(vertex + 3 * l, x, y, z);
        // Towards the unfolded ring centre, normalised as CVector3 does it.
        __m256 nx = _mm256_sub_ps(cxs, x), ny = _mm256_sub_ps(cys, y);
        __m256 r = reciprocal_length8(nx, ny);
        store_xyz8(normal + 3 * l, _mm256_mul_ps(nx, r), _mm256_mul_ps(ny, r),
                   _mm256_mul_ps(_mm256_setzero_ps(), r));
        for (int i = 0; i < 3 * width; i += width)
            _mm256_storeu_ps(color + 3 * l + i, grey);
        store_uv8(uv + 2 * l, u, _mm256_loadu_ps(band.v + l));
    }
    return count;
}

WIDE static void shift_indices(GLuint* dst, const GLuint* src, size_t count, GLuint shift)
{
    const size_t width = 8;
    const __m256i by = _mm256_set1_epi32((int)shift);
    size_t i = 0;
    for (; i + width <= count; i += width) {
        __m256i in = _mm256_loadu_si256((const __m256i*)(src + i));
        _mm256_storeu_si256((__m256i*)(dst + i), _mm256_add_epi32(in, by));
    }
    shift_indices_scalar(dst + i, src + i, count - i, shift);
}

static bool supported()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

const MeshKernels AVX2_KERNELS = {"avx2", supported, write_ring, shift_indices};
