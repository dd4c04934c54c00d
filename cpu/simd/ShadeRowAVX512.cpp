// The row shader with 16 lanes of AVX-512 Foundation. Compiled with -mavx512f alone; run only where
// CpuFeatures reports AVX-512F with the OS saving its registers.
// GCC 12 warns that its own AVX-512 headers read an uninitialised variable (their deliberately undefined
// pass-through operand); the warning is about the header, not this file.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#include <cstring>

#include "ShadeRowVectorImpl.h"
#include "WarpKernel.h"

namespace {

struct Isa {
    static constexpr int L = 16;
    using F = __m512;
    using I = __m512i;
    using M = __mmask16;

    static F Set(float v) { return _mm512_set1_ps(v); }
    static I SetI(int v) { return _mm512_set1_epi32(v); }
    static I Iota() { return _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15); }

    static F Sqrt(F v) { return _mm512_sqrt_ps(v); }
    // a < b ? a : b and a > b ? a : b, NaN and signed zeros included.
    static F Min(F a, F b) { return _mm512_min_ps(a, b); }
    static F Max(F a, F b) { return _mm512_max_ps(a, b); }
    static F Floor(F v) { return _mm512_roundscale_ps(v, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC); }
    static F Abs(F v) { return _mm512_castsi512_ps(_mm512_and_si512(_mm512_castps_si512(v), SetI(0x7fffffff))); }

    // Ordered comparisons: false when either side is NaN, as in C.
    static M Lt(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_LT_OQ); }
    static M Gt(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_GT_OQ); }
    static M Le(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_LE_OQ); }
    // m ? a : b per lane.
    static F Sel(M m, F a, F b) { return _mm512_mask_blend_ps(m, b, a); }
    // m ? a : +0.
    static F Keep(M m, F a) { return _mm512_maskz_mov_ps(m, a); }

    // m ? a * b : +0.
    static F MulKeep(M m, F a, F b) { return _mm512_maskz_mul_ps(m, a, b); }

    // Truncation toward zero; callers keep values inside the int32 range.
    static I ToInt(F v) { return _mm512_cvttps_epi32(v); }
    static F ToFloat(I v) { return _mm512_cvtepi32_ps(v); }
    static I AddI(I a, I b) { return _mm512_add_epi32(a, b); }
    static I SubI(I a, I b) { return _mm512_sub_epi32(a, b); }
    static I MulI(I a, I b) { return _mm512_mullo_epi32(a, b); }
    static I MinI(I a, I b) { return _mm512_min_epi32(a, b); }
    static I MaxI(I a, I b) { return _mm512_max_epi32(a, b); }
    static M GtI(I a, I b) { return _mm512_cmpgt_epi32_mask(a, b); }
    static M EqI(I a, I b) { return _mm512_cmpeq_epi32_mask(a, b); }
    static I SelI(M m, I a, I b) { return _mm512_mask_blend_epi32(m, b, a); }

    static M And(M a, M b) { return M(a & b); }
    static M Or(M a, M b) { return M(a | b); }
    static M Not(M a) { return M(~a); }
    static M All() { return M(0xffff); }
    static M None() { return M(0); }
    static M FirstN(int n) { return n >= 16 ? M(0xffff) : M((1u << n) - 1); }
    static bool Any(M m) { return m != 0; }
    static bool AllSet(M m) { return m == 0xffff; }
    static int MaxLane(I v, M m) { return _mm512_mask_reduce_max_epi32(m, v); }

    // The mathematical a mod d (0 <= result < d) for d > 0, which is C's remainder plus d when negative.
    // In double precision, where the quotient of two int32 values floors exactly.
    static I FloorMod(I a, int d)
    {
        const __m512d dd = _mm512_set1_pd(double(d));
        __m512d lo = _mm512_cvtepi32_pd(_mm512_castsi512_si256(a));
        __m512d hi = _mm512_cvtepi32_pd(_mm512_extracti64x4_epi64(a, 1));
        lo = _mm512_sub_pd(lo, _mm512_mul_pd(_mm512_roundscale_pd(_mm512_div_pd(lo, dd), _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC), dd));
        hi = _mm512_sub_pd(hi, _mm512_mul_pd(_mm512_roundscale_pd(_mm512_div_pd(hi, dd), _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC), dd));
        return _mm512_inserti64x4(_mm512_castsi256_si512(_mm512_cvtpd_epi32(lo)), _mm512_cvtpd_epi32(hi), 1);
    }

    static I AndI(I a, I b) { return _mm512_and_si512(a, b); }
    static I OrI(I a, I b) { return _mm512_or_si512(a, b); }
    template <int N> static I Srl(I v) { return _mm512_srli_epi32(v, N); }
    template <int N> static I Sll(I v) { return _mm512_slli_epi32(v, N); }
    static M Ge(F a, F b) { return _mm512_cmp_ps_mask(a, b, _CMP_GE_OQ); }

    // The 32-bit word at LaneAddress<SCALE>(base, off[k]) into lane k, loaded lane by lane as the AVX2
    // row shader loads them (there the gather instruction was no faster; qf_bench, 8-bit world in place).
    template <int SCALE> static I Gather32(const char* base, I off)
    {
        int idx[16];
        _mm512_storeu_si512(idx, off);
        int32_t w[16];
        for (int k = 0; k < 16; k++)
            std::memcpy(&w[k], LaneAddress<SCALE>(base, idx[k]), 4);
        return _mm512_loadu_si512(w);
    }

    // The four floats of the pixel at LaneAddress<16>(base, off[k]) into lane k of b, g, r, a.
    static void Load4(const char* base, I off, F& b, F& g, F& r, F& a)
    {
        int idx[16];
        _mm512_storeu_si512(idx, off);
        __m512 v[4];
#pragma GCC unroll 4
        for (int k = 0; k < 4; k++) {
            __m512 t = _mm512_castps128_ps512(_mm_loadu_ps(Floats(base, idx[k])));
            t = _mm512_insertf32x4(t, _mm_loadu_ps(Floats(base, idx[k + 4])), 1);
            t = _mm512_insertf32x4(t, _mm_loadu_ps(Floats(base, idx[k + 8])), 2);
            v[k] = _mm512_insertf32x4(t, _mm_loadu_ps(Floats(base, idx[k + 12])), 3);
        }
        // v[k] holds lanes k, k + 4, k + 8, k + 12, so the transpose puts lanes 4q .. 4q + 3 of each
        // channel into block q.
        __m512 out[4];
        Transpose4(v[0], v[1], v[2], v[3], out);
        b = out[0];
        g = out[1];
        r = out[2];
        a = out[3];
    }

    // That pixel and the next one in memory into lane k of (b0, g0, r0, a0) and (b1, g1, r1, a1).
    static void Load4Pair(const char* base, I off, F& b0, F& g0, F& r0, F& a0, F& b1, F& g1, F& r1,
                          F& a1)
    {
        int idx[16];
        _mm512_storeu_si512(idx, off);
        // z[k] holds the pairs of two lanes, one per 256-bit half: lanes k and k + 4 for k < 4, lanes
        // k + 4 and k + 8 above; the transpose below then returns every lane in its own place.
        __m512 z[8];
#pragma GCC unroll 8
        for (int k = 0; k < 8; k++) {
            const int l0 = k < 4 ? k : k + 4;
            // 256-bit halves moved as doubles: inserting them as floats needs AVX-512DQ.
            __m512d t = _mm512_castpd256_pd512(_mm256_loadu_pd(reinterpret_cast<const double*>(LaneAddress<16>(base, idx[l0]))));
            t = _mm512_insertf64x4(t, _mm256_loadu_pd(reinterpret_cast<const double*>(LaneAddress<16>(base, idx[l0 + 4]))), 1);
            z[k] = _mm512_castpd_ps(t);
        }
        __m512 u[4], w[4];
        Transpose4(z[0], z[1], z[2], z[3], u);
        Transpose4(z[4], z[5], z[6], z[7], w);
        b0 = _mm512_shuffle_f32x4(u[0], w[0], _MM_SHUFFLE(2, 0, 2, 0));
        g0 = _mm512_shuffle_f32x4(u[1], w[1], _MM_SHUFFLE(2, 0, 2, 0));
        r0 = _mm512_shuffle_f32x4(u[2], w[2], _MM_SHUFFLE(2, 0, 2, 0));
        a0 = _mm512_shuffle_f32x4(u[3], w[3], _MM_SHUFFLE(2, 0, 2, 0));
        b1 = _mm512_shuffle_f32x4(u[0], w[0], _MM_SHUFFLE(3, 1, 3, 1));
        g1 = _mm512_shuffle_f32x4(u[1], w[1], _MM_SHUFFLE(3, 1, 3, 1));
        r1 = _mm512_shuffle_f32x4(u[2], w[2], _MM_SHUFFLE(3, 1, 3, 1));
        a1 = _mm512_shuffle_f32x4(u[3], w[3], _MM_SHUFFLE(3, 1, 3, 1));
    }

    // A 4 x 4 transpose inside each 128-bit block: block q of out[c] holds element c of block q of
    // v0, v1, v2, v3.
    static void Transpose4(__m512 v0, __m512 v1, __m512 v2, __m512 v3, __m512 out[4])
    {
        __m512 t0 = _mm512_unpacklo_ps(v0, v1);
        __m512 t1 = _mm512_unpackhi_ps(v0, v1);
        __m512 t2 = _mm512_unpacklo_ps(v2, v3);
        __m512 t3 = _mm512_unpackhi_ps(v2, v3);
        out[0] = _mm512_castpd_ps(_mm512_unpacklo_pd(_mm512_castps_pd(t0), _mm512_castps_pd(t2)));
        out[1] = _mm512_castpd_ps(_mm512_unpackhi_pd(_mm512_castps_pd(t0), _mm512_castps_pd(t2)));
        out[2] = _mm512_castpd_ps(_mm512_unpacklo_pd(_mm512_castps_pd(t1), _mm512_castps_pd(t3)));
        out[3] = _mm512_castpd_ps(_mm512_unpackhi_pd(_mm512_castps_pd(t1), _mm512_castps_pd(t3)));
    }

    static const float* Floats(const char* base, int off)
    {
        return reinterpret_cast<const float*>(LaneAddress<16>(base, off));
    }

    // A hint to bring the pixel at LaneAddress<SCALE>(base, off[k]) towards the cache.
    template <int SCALE> static void Prefetch(const char* base, I off)
    {
        int idx[16];
        _mm512_storeu_si512(idx, off);
        for (int k = 0; k < 16; k++)
            _mm_prefetch(LaneAddress<SCALE>(base, idx[k]), _MM_HINT_T0);
    }

    // Lanes [0, n) as n consecutive pixels of four floats (b, g, r, a) at out.
    static void Store4(char* out, int n, F b, F g, F r, F a)
    {
        __m512 t0 = _mm512_unpacklo_ps(b, g);
        __m512 t1 = _mm512_unpackhi_ps(b, g);
        __m512 t2 = _mm512_unpacklo_ps(r, a);
        __m512 t3 = _mm512_unpackhi_ps(r, a);
        // p[k] holds pixels k, k + 4, k + 8, k + 12, one per 128-bit block.
        __m512 p0 = _mm512_castpd_ps(_mm512_unpacklo_pd(_mm512_castps_pd(t0), _mm512_castps_pd(t2)));
        __m512 p1 = _mm512_castpd_ps(_mm512_unpackhi_pd(_mm512_castps_pd(t0), _mm512_castps_pd(t2)));
        __m512 p2 = _mm512_castpd_ps(_mm512_unpacklo_pd(_mm512_castps_pd(t1), _mm512_castps_pd(t3)));
        __m512 p3 = _mm512_castpd_ps(_mm512_unpackhi_pd(_mm512_castps_pd(t1), _mm512_castps_pd(t3)));
        __m512 u0 = _mm512_shuffle_f32x4(p0, p1, _MM_SHUFFLE(1, 0, 1, 0));  // pixels 0 4 1 5
        __m512 u1 = _mm512_shuffle_f32x4(p2, p3, _MM_SHUFFLE(1, 0, 1, 0));  // 2 6 3 7
        __m512 u2 = _mm512_shuffle_f32x4(p0, p1, _MM_SHUFFLE(3, 2, 3, 2));  // 8 12 9 13
        __m512 u3 = _mm512_shuffle_f32x4(p2, p3, _MM_SHUFFLE(3, 2, 3, 2));  // 10 14 11 15
        __m512 q[4] = {_mm512_shuffle_f32x4(u0, u1, _MM_SHUFFLE(2, 0, 2, 0)),
                       _mm512_shuffle_f32x4(u0, u1, _MM_SHUFFLE(3, 1, 3, 1)),
                       _mm512_shuffle_f32x4(u2, u3, _MM_SHUFFLE(2, 0, 2, 0)),
                       _mm512_shuffle_f32x4(u2, u3, _MM_SHUFFLE(3, 1, 3, 1))};
        for (int k = 0; k < 4; k++) {
            int left = n - 4 * k;
            if (left <= 0)
                break;
            __mmask16 m = left >= 4 ? __mmask16(0xffff) : __mmask16((1u << (4 * left)) - 1);
            _mm512_mask_storeu_ps(out + 64 * k, m, q[k]);
        }
    }

    // Lanes [0, n) as n consecutive 32-bit words at out.
    static void StoreWords(char* out, int n, I w)
    {
        if (n == 16) {
            _mm512_storeu_si512(out, w);
            return;
        }
        int32_t t[16];
        _mm512_storeu_si512(t, w);
        std::memcpy(out, t, size_t(n) * 4);
    }

    // Lanes [0, n) as n consecutive pairs of 32-bit words (lo, hi) at out.
    static void StoreWordPairs(char* out, int n, I lo, I hi)
    {
        // Block q of p0 holds pixels 4q and 4q + 1, of p1 pixels 4q + 2 and 4q + 3.
        const __m512i p0 = _mm512_unpacklo_epi32(lo, hi);
        const __m512i p1 = _mm512_unpackhi_epi32(lo, hi);
        const __m512i t0 = _mm512_shuffle_i32x4(p0, p1, _MM_SHUFFLE(1, 0, 1, 0));  // pixels 0 1 4 5 2 3 6 7
        const __m512i t1 = _mm512_shuffle_i32x4(p0, p1, _MM_SHUFFLE(3, 2, 3, 2));  // 8 9 12 13 10 11 14 15
        const __m512i first = _mm512_shuffle_i32x4(t0, t0, _MM_SHUFFLE(3, 1, 2, 0));   // pixels 0 to 7
        const __m512i second = _mm512_shuffle_i32x4(t1, t1, _MM_SHUFFLE(3, 1, 2, 0));  // pixels 8 to 15
        if (n == 16) {
            _mm512_storeu_si512(out, first);
            _mm512_storeu_si512(out + 64, second);
            return;
        }
        int32_t t[32];
        _mm512_storeu_si512(t, first);
        _mm512_storeu_si512(t + 16, second);
        std::memcpy(out, t, size_t(n) * 8);
    }
};

#include "WarpKernelLanes.h"
#include "ShadeRowInPlace.h"

static_assert(QFL_MAX_AA_CAP == VECTOR_MAX_AA_CAP, "the lanes take what VectorFrameSupported admits");

} // namespace

void ShadeRowAVX512(const QF_Frame& frame, const ShadeWorlds& worlds, int32_t row)
{
    ShadeRowInPlace(frame, worlds, row);
}
