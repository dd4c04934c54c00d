// The row shader with 4 lanes of SSE2, which every x86-64 processor has. SSE2 lacks a floor, integer
// min/max and a 32-bit multiply; they are built from what it has, with floorf's results for every input.
#include <emmintrin.h>

#include <cstring>

#include "ShadeRowVectorImpl.h"
#include "WarpKernel.h"

namespace {

struct Isa {
    static constexpr int L = 4;
    using F = __m128;
    using I = __m128i;
    using M = __m128;  // all bits set in a lane that is on

    static F Set(float v) { return _mm_set1_ps(v); }
    static I SetI(int v) { return _mm_set1_epi32(v); }
    static I Iota() { return _mm_setr_epi32(0, 1, 2, 3); }

    static F Sqrt(F v) { return _mm_sqrt_ps(v); }
    // a < b ? a : b and a > b ? a : b, NaN and signed zeros included.
    static F Min(F a, F b) { return _mm_min_ps(a, b); }
    static F Max(F a, F b) { return _mm_max_ps(a, b); }
    static F Abs(F v) { return _mm_and_ps(v, _mm_castsi128_ps(SetI(0x7fffffff))); }

    // floorf: below 2^23 through truncation, one less where that rounded up, and the sign of a zero
    // kept (floorf(-0) is -0); larger magnitudes are integers already and NaN stays NaN.
    static F Floor(F v)
    {
        M small = _mm_cmplt_ps(Abs(v), Set(8388608.0f));
        F t = _mm_cvtepi32_ps(_mm_cvttps_epi32(v));
        t = _mm_sub_ps(t, _mm_and_ps(_mm_cmpgt_ps(t, v), Set(1.0f)));
        t = _mm_or_ps(t, _mm_and_ps(v, Set(-0.0f)));
        return Sel(small, t, v);
    }

    // Ordered comparisons: false when either side is NaN, as in C.
    static M Lt(F a, F b) { return _mm_cmplt_ps(a, b); }
    static M Gt(F a, F b) { return _mm_cmpgt_ps(a, b); }
    static M Le(F a, F b) { return _mm_cmple_ps(a, b); }
    // m ? a : b per lane.
    static F Sel(M m, F a, F b) { return _mm_or_ps(_mm_and_ps(m, a), _mm_andnot_ps(m, b)); }
    // m ? a : +0.
    static F Keep(M m, F a) { return _mm_and_ps(m, a); }

    // m ? a * b : +0.
    static F MulKeep(M m, F a, F b) { return _mm_and_ps(m, _mm_mul_ps(a, b)); }

    // Truncation toward zero; callers keep values inside the int32 range.
    static I ToInt(F v) { return _mm_cvttps_epi32(v); }
    static F ToFloat(I v) { return _mm_cvtepi32_ps(v); }
    static I AddI(I a, I b) { return _mm_add_epi32(a, b); }
    static I SubI(I a, I b) { return _mm_sub_epi32(a, b); }
    // The low 32 bits of the products, which are the same for signed and unsigned factors.
    static I MulI(I a, I b)
    {
        I even = _mm_mul_epu32(a, b);
        I odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
        return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                                  _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
    }
    static I SelI(M m, I a, I b)
    {
        I mi = _mm_castps_si128(m);
        return _mm_or_si128(_mm_and_si128(mi, a), _mm_andnot_si128(mi, b));
    }
    static M GtI(I a, I b) { return _mm_castsi128_ps(_mm_cmpgt_epi32(a, b)); }
    static M EqI(I a, I b) { return _mm_castsi128_ps(_mm_cmpeq_epi32(a, b)); }
    static I MinI(I a, I b) { return SelI(GtI(b, a), a, b); }
    static I MaxI(I a, I b) { return SelI(GtI(a, b), a, b); }

    static M And(M a, M b) { return _mm_and_ps(a, b); }
    static M Or(M a, M b) { return _mm_or_ps(a, b); }
    static M Not(M a) { return _mm_xor_ps(a, All()); }
    static M All() { return _mm_castsi128_ps(SetI(-1)); }
    static M None() { return _mm_setzero_ps(); }
    static M FirstN(int n) { return GtI(SetI(n), Iota()); }
    static bool Any(M m) { return _mm_movemask_ps(m) != 0; }
    static bool AllSet(M m) { return _mm_movemask_ps(m) == 0xf; }
    static int MaxLane(I v, M m)
    {
        int x[4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(x), SelI(m, v, SetI(-2147483647 - 1)));
        int best = x[0];
        for (int k = 1; k < 4; k++)
            best = x[k] > best ? x[k] : best;
        return best;
    }

    // The mathematical a mod d (0 <= result < d) for d > 0: C's remainder plus d when negative.
    static I FloorMod(I a, int d)
    {
        int x[4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(x), a);
        for (int k = 0; k < 4; k++) {
            int m = x[k] % d;
            x[k] = m < 0 ? m + d : m;
        }
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(x));
    }

    static I AndI(I a, I b) { return _mm_and_si128(a, b); }
    static I OrI(I a, I b) { return _mm_or_si128(a, b); }
    template <int N> static I Srl(I v) { return _mm_srli_epi32(v, N); }
    template <int N> static I Sll(I v) { return _mm_slli_epi32(v, N); }
    static M Ge(F a, F b) { return _mm_cmpge_ps(a, b); }

    // The 32-bit word at LaneAddress<SCALE>(base, off[k]) into lane k.
    template <int SCALE> static I Gather32(const char* base, I off)
    {
        int idx[4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(idx), off);
        int32_t w[4];
        for (int k = 0; k < 4; k++)
            std::memcpy(&w[k], LaneAddress<SCALE>(base, idx[k]), 4);
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(w));
    }

    // The four floats of the pixel at LaneAddress<16>(base, off[k]) into lane k of c0, c1, c2, c3.
    static void Load4(const char* base, I off, F& c0, F& c1, F& c2, F& c3)
    {
        int idx[4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(idx), off);
        c0 = _mm_loadu_ps(reinterpret_cast<const float*>(LaneAddress<16>(base, idx[0])));
        c1 = _mm_loadu_ps(reinterpret_cast<const float*>(LaneAddress<16>(base, idx[1])));
        c2 = _mm_loadu_ps(reinterpret_cast<const float*>(LaneAddress<16>(base, idx[2])));
        c3 = _mm_loadu_ps(reinterpret_cast<const float*>(LaneAddress<16>(base, idx[3])));
        _MM_TRANSPOSE4_PS(c0, c1, c2, c3);
    }

    // That pixel and the next one in memory into lane k of (c0 .. c3) and (d0 .. d3).
    static void Load4Pair(const char* base, I off, F& c0, F& c1, F& c2, F& c3, F& d0, F& d1, F& d2,
                          F& d3)
    {
        Load4(base, off, c0, c1, c2, c3);
        Load4(base + 16, off, d0, d1, d2, d3);
    }

    // A hint to bring the pixel at LaneAddress<SCALE>(base, off[k]) towards the cache.
    template <int SCALE> static void Prefetch(const char* base, I off)
    {
        int idx[4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(idx), off);
        for (int k = 0; k < 4; k++)
            _mm_prefetch(LaneAddress<SCALE>(base, idx[k]), _MM_HINT_T0);
    }

    // Lanes [0, n) as n consecutive pixels of four floats (c0 .. c3) at out.
    static void Store4(char* out, int n, F c0, F c1, F c2, F c3)
    {
        _MM_TRANSPOSE4_PS(c0, c1, c2, c3);
        const F p[4] = {c0, c1, c2, c3};
        for (int k = 0; k < n; k++)
            _mm_storeu_ps(reinterpret_cast<float*>(out + 16 * k), p[k]);
    }

    // Lanes [0, n) as n consecutive 32-bit words at out.
    static void StoreWords(char* out, int n, I w)
    {
        if (n == 4) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), w);
            return;
        }
        int32_t t[4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(t), w);
        std::memcpy(out, t, size_t(n) * 4);
    }

    // Lanes [0, n) as n consecutive pairs of 32-bit words (lo, hi) at out.
    static void StoreWordPairs(char* out, int n, I lo, I hi)
    {
        int32_t t[8];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(t), _mm_unpacklo_epi32(lo, hi));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(t + 4), _mm_unpackhi_epi32(lo, hi));
        std::memcpy(out, t, size_t(n) * 8);
    }
};

#include "WarpKernelLanes.h"
#include "ShadeRowInPlace.h"

static_assert(QFL_MAX_AA_CAP == VECTOR_MAX_AA_CAP, "the lanes take what VectorFrameSupported admits");

} // namespace

void ShadeRowSSE2(const QF_Frame& frame, const ShadeWorlds& worlds, int32_t row)
{
    ShadeRowInPlace(frame, worlds, row);
}
