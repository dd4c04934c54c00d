// The row shader with 8 lanes of AVX2. Compiled with -mavx2 alone (no -mfma, so the compiler has no
// fused multiply-add to reach for); run only where CpuFeatures reports AVX2 with the OS saving the
// 256-bit registers.
#include <immintrin.h>

#include <cstring>

#include "ShadeRowVectorImpl.h"
#include "WarpKernel.h"

namespace {

struct Isa {
    static constexpr int L = 8;
    using F = __m256;
    using I = __m256i;
    using M = __m256;  // all bits set in a lane that is on

    static F Set(float v) { return _mm256_set1_ps(v); }
    static I SetI(int v) { return _mm256_set1_epi32(v); }
    static I Iota() { return _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7); }

    static F Sqrt(F v) { return _mm256_sqrt_ps(v); }
    // a < b ? a : b and a > b ? a : b, NaN and signed zeros included.
    static F Min(F a, F b) { return _mm256_min_ps(a, b); }
    static F Max(F a, F b) { return _mm256_max_ps(a, b); }
    static F Floor(F v) { return _mm256_floor_ps(v); }
    static F Abs(F v) { return _mm256_and_ps(v, _mm256_castsi256_ps(SetI(0x7fffffff))); }

    // Ordered comparisons: false when either side is NaN, as in C.
    static M Lt(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
    static M Gt(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GT_OQ); }
    static M Le(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_LE_OQ); }
    // m ? a : b per lane.
    static F Sel(M m, F a, F b) { return _mm256_blendv_ps(b, a, m); }
    // m ? a : +0.
    static F Keep(M m, F a) { return _mm256_and_ps(m, a); }

    // m ? a * b : +0.
    static F MulKeep(M m, F a, F b) { return _mm256_and_ps(m, _mm256_mul_ps(a, b)); }

    // Truncation toward zero; callers keep values inside the int32 range.
    static I ToInt(F v) { return _mm256_cvttps_epi32(v); }
    static F ToFloat(I v) { return _mm256_cvtepi32_ps(v); }
    static I AddI(I a, I b) { return _mm256_add_epi32(a, b); }
    static I SubI(I a, I b) { return _mm256_sub_epi32(a, b); }
    static I MulI(I a, I b) { return _mm256_mullo_epi32(a, b); }
    static I MinI(I a, I b) { return _mm256_min_epi32(a, b); }
    static I MaxI(I a, I b) { return _mm256_max_epi32(a, b); }
    static M GtI(I a, I b) { return _mm256_castsi256_ps(_mm256_cmpgt_epi32(a, b)); }
    static M EqI(I a, I b) { return _mm256_castsi256_ps(_mm256_cmpeq_epi32(a, b)); }
    static I SelI(M m, I a, I b) { return _mm256_blendv_epi8(b, a, _mm256_castps_si256(m)); }

    static M And(M a, M b) { return _mm256_and_ps(a, b); }
    static M Or(M a, M b) { return _mm256_or_ps(a, b); }
    static M Not(M a) { return _mm256_xor_ps(a, All()); }
    static M All() { return _mm256_castsi256_ps(SetI(-1)); }
    static M None() { return _mm256_setzero_ps(); }
    static M FirstN(int n) { return GtI(SetI(n), Iota()); }
    static bool Any(M m) { return _mm256_movemask_ps(m) != 0; }
    static bool AllSet(M m) { return _mm256_movemask_ps(m) == 0xff; }
    static int MaxLane(I v, M m)
    {
        int x[8];
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(x), SelI(m, v, SetI(-2147483647 - 1)));
        int best = x[0];
        for (int k = 1; k < 8; k++)
            best = x[k] > best ? x[k] : best;
        return best;
    }

    // The mathematical a mod d (0 <= result < d) for d > 0, which is C's remainder plus d when negative.
    // In double precision, where the quotient of two int32 values floors exactly.
    static I FloorMod(I a, int d)
    {
        const __m256d dd = _mm256_set1_pd(double(d));
        __m256d lo = _mm256_cvtepi32_pd(_mm256_castsi256_si128(a));
        __m256d hi = _mm256_cvtepi32_pd(_mm256_extracti128_si256(a, 1));
        lo = _mm256_sub_pd(lo, _mm256_mul_pd(_mm256_floor_pd(_mm256_div_pd(lo, dd)), dd));
        hi = _mm256_sub_pd(hi, _mm256_mul_pd(_mm256_floor_pd(_mm256_div_pd(hi, dd)), dd));
        return _mm256_set_m128i(_mm256_cvtpd_epi32(hi), _mm256_cvtpd_epi32(lo));
    }

    // A 4 x 4 transpose inside each 128-bit half: half q of out[c] holds element c of half q of
    // v0, v1, v2, v3.
    static void Transpose4(__m256 v0, __m256 v1, __m256 v2, __m256 v3, __m256 out[4])
    {
        __m256 t0 = _mm256_unpacklo_ps(v0, v1);
        __m256 t1 = _mm256_unpackhi_ps(v0, v1);
        __m256 t2 = _mm256_unpacklo_ps(v2, v3);
        __m256 t3 = _mm256_unpackhi_ps(v2, v3);
        out[0] = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(1, 0, 1, 0));
        out[1] = _mm256_shuffle_ps(t0, t2, _MM_SHUFFLE(3, 2, 3, 2));
        out[2] = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(1, 0, 1, 0));
        out[3] = _mm256_shuffle_ps(t1, t3, _MM_SHUFFLE(3, 2, 3, 2));
    }

    static I AndI(I a, I b) { return _mm256_and_si256(a, b); }
    static I OrI(I a, I b) { return _mm256_or_si256(a, b); }
    template <int N> static I Srl(I v) { return _mm256_srli_epi32(v, N); }
    template <int N> static I Sll(I v) { return _mm256_slli_epi32(v, N); }
    static M Ge(F a, F b) { return _mm256_cmp_ps(a, b, _CMP_GE_OQ); }

    // The 32-bit word at LaneAddress<SCALE>(base, off[k]) into lane k, loaded lane by lane: the gather
    // instruction was no faster on the row shaders (qf_bench, 8-bit world in place).
    template <int SCALE> static I Gather32(const char* base, I off)
    {
        int idx[8];
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(idx), off);
        int32_t w[8];
        for (int k = 0; k < 8; k++)
            std::memcpy(&w[k], LaneAddress<SCALE>(base, idx[k]), 4);
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w));
    }

    // The four floats of the pixel at LaneAddress<16>(base, off[k]) into lane k of c0, c1, c2, c3.
    static void Load4(const char* base, I off, F& c0, F& c1, F& c2, F& c3)
    {
        int idx[8];
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(idx), off);
        __m256 v[4];
#pragma GCC unroll 4
        for (int k = 0; k < 4; k++) {
            __m256 t = _mm256_castps128_ps256(_mm_loadu_ps(reinterpret_cast<const float*>(LaneAddress<16>(base, idx[k]))));
            v[k] = _mm256_insertf128_ps(t, _mm_loadu_ps(reinterpret_cast<const float*>(LaneAddress<16>(base, idx[k + 4]))), 1);
        }
        // v[k] holds lanes k and k + 4.
        __m256 out[4];
        Transpose4(v[0], v[1], v[2], v[3], out);
        c0 = out[0];
        c1 = out[1];
        c2 = out[2];
        c3 = out[3];
    }

    // That pixel and the next one in memory into lane k of (c0 .. c3) and (d0 .. d3).
    static void Load4Pair(const char* base, I off, F& c0, F& c1, F& c2, F& c3, F& d0, F& d1, F& d2,
                          F& d3)
    {
        int idx[8];
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(idx), off);
        __m256 z[8];
#pragma GCC unroll 8
        for (int k = 0; k < 8; k++)
            z[k] = _mm256_loadu_ps(reinterpret_cast<const float*>(LaneAddress<16>(base, idx[k])));
        // u: lanes 0-3, w: lanes 4-7; the low half holds the first pixel, the high half the second.
        __m256 u[4], w[4];
        Transpose4(z[0], z[1], z[2], z[3], u);
        Transpose4(z[4], z[5], z[6], z[7], w);
        c0 = _mm256_permute2f128_ps(u[0], w[0], 0x20);
        c1 = _mm256_permute2f128_ps(u[1], w[1], 0x20);
        c2 = _mm256_permute2f128_ps(u[2], w[2], 0x20);
        c3 = _mm256_permute2f128_ps(u[3], w[3], 0x20);
        d0 = _mm256_permute2f128_ps(u[0], w[0], 0x31);
        d1 = _mm256_permute2f128_ps(u[1], w[1], 0x31);
        d2 = _mm256_permute2f128_ps(u[2], w[2], 0x31);
        d3 = _mm256_permute2f128_ps(u[3], w[3], 0x31);
    }

    // A hint to bring the pixel at LaneAddress<SCALE>(base, off[k]) towards the cache.
    template <int SCALE> static void Prefetch(const char* base, I off)
    {
        int idx[8];
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(idx), off);
        for (int k = 0; k < 8; k++)
            _mm_prefetch(LaneAddress<SCALE>(base, idx[k]), _MM_HINT_T0);
    }

    // Lanes [0, n) as n consecutive pixels of four floats (c0 .. c3) at out.
    static void Store4(char* out, int n, F c0, F c1, F c2, F c3)
    {
        __m256 p[4];
        // p[k] holds pixel k in its low half and pixel k + 4 in its high half.
        Transpose4(c0, c1, c2, c3, p);
        __m256 q[4] = {_mm256_permute2f128_ps(p[0], p[1], 0x20), _mm256_permute2f128_ps(p[2], p[3], 0x20),
                       _mm256_permute2f128_ps(p[0], p[1], 0x31), _mm256_permute2f128_ps(p[2], p[3], 0x31)};
        if (n == 8) {
            for (int k = 0; k < 4; k++)
                _mm256_storeu_ps(reinterpret_cast<float*>(out + 32 * k), q[k]);
            return;
        }
        float tmp[32];
        for (int k = 0; k < 4; k++)
            _mm256_storeu_ps(tmp + 8 * k, q[k]);
        std::memcpy(out, tmp, size_t(n) * 16);
    }

    // Lanes [0, n) as n consecutive 32-bit words at out.
    static void StoreWords(char* out, int n, I w)
    {
        if (n == 8) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), w);
            return;
        }
        int32_t t[8];
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(t), w);
        std::memcpy(out, t, size_t(n) * 4);
    }

    // Lanes [0, n) as n consecutive pairs of 32-bit words (lo, hi) at out.
    static void StoreWordPairs(char* out, int n, I lo, I hi)
    {
        // Pixels 0, 1 | 4, 5 and 2, 3 | 6, 7.
        const __m256i p0 = _mm256_unpacklo_epi32(lo, hi);
        const __m256i p1 = _mm256_unpackhi_epi32(lo, hi);
        const __m256i first = _mm256_permute2x128_si256(p0, p1, 0x20);   // pixels 0 to 3
        const __m256i second = _mm256_permute2x128_si256(p0, p1, 0x31);  // pixels 4 to 7
        if (n == 8) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), first);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), second);
            return;
        }
        int32_t t[16];
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(t), first);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(t + 8), second);
        std::memcpy(out, t, size_t(n) * 8);
    }
};

#include "WarpKernelLanes.h"
#include "ShadeRowInPlace.h"

static_assert(QFL_MAX_AA_CAP == VECTOR_MAX_AA_CAP, "the lanes take what VectorFrameSupported admits");

} // namespace

void ShadeRowAVX2(const QF_Frame& frame, const ShadeWorlds& worlds, int32_t row)
{
    ShadeRowInPlace(frame, worlds, row);
}
