// The warp kernel's lane flavour: the functions of WarpKernel.h for L pixels of a row at once, one lane
// function for each qf_ function, in the same order and named after it (qfl_sincos for qf_sincos), so a
// change to the warp is made here beside its scalar form. The CPU row shaders (cpu/simd) compile it once
// per instruction set; the entry at the end, qfl_shade_row, is to them what qf_render is to a GPU.
//
// C++, not kernel C: each instruction-set file defines `Isa` and then includes this file inside an
// anonymous namespace, so every function here has internal linkage and no code compiled for one
// instruction set can be picked by the linker for another. Isa provides L lanes; F (floats), I (int32),
// M (lane mask); float arithmetic through the vector operators + - * /; and the static functions below.
//
// Each lane follows its qf_ function operation for operation: the same IEEE single-precision operations
// in the same order, no fused multiply-add (-ffp-contract=off, and no FMA intrinsic is ever used),
// comparisons with the scalar code's NaN behaviour, and every branch on a pixel's own values turned into
// a select whose other side is computed and thrown away. Branches that are the same for the whole frame
// (waveform, edge mode, split, mix, map channel) stay branches. A lane's value never depends on its
// neighbours, so the tail of a row is shaded with spare lanes that are not stored. Values fixed per row,
// such as ky * py of the first iteration, are formed from exactly the operands the kernel uses, so they
// carry the same bits.
//
// Images are read where they are, in any layout: the texel functions take the image's format as a template
// argument IN (the input) or MAP (the strength map), a type that loads its pixels (as qf_pixel_at) and
// gives their B, G, R, A as floats, and the row entry is handed the output row's store. Texels are found by
// 32-bit pixel offsets (qfl_image), so the caller hands over only frames whose images and coordinates fit
// them (VectorFrameSupported, cpu/simd) and shades the others with qf_shade.
//
// The small functions are always inlined: the compiler would otherwise call some of them, with their lane
// values passing through memory, once the texel functions exist for several formats.
#define QFL_FN inline __attribute__((always_inline))

using F = Isa::F;
using I = Isa::I;
using M = Isa::M;
constexpr int L = Isa::L;

// Most anti-aliasing sub-samples per axis the lanes take; frames asking for more are shaded by qf_shade.
constexpr int QFL_MAX_AA_CAP = 64;

// ---- Lane values (qf4, qf4_set, qf4_zero, qf4_madd, qf4_lerp) ------------------------------------

// One pixel per lane: blue, green, red, alpha, as qf4's x, y, z, w.
struct qfl4 {
    F b, g, r, a;
};

QFL_FN F qfl_splat(float v) { return Isa::Set(v); }

QFL_FN qfl4 qfl4_zero()
{
    F z = Isa::Set(0.0f);
    return qfl4{z, z, z, z};
}

// acc + a * s per member.
QFL_FN qfl4 qfl4_madd(const qfl4& acc, const qfl4& a, F s)
{
    return qfl4{acc.b + a.b * s, acc.g + a.g * s, acc.r + a.r * s, acc.a + a.a * s};
}

// a + (b - a) * t per member.
QFL_FN qfl4 qfl4_lerp(const qfl4& p, const qfl4& q, F t)
{
    return qfl4{p.b + (q.b - p.b) * t, p.g + (q.g - p.g) * t, p.r + (q.r - p.r) * t, p.a + (q.a - p.a) * t};
}

// m ? p : q per lane, the select every pixel-dependent branch becomes.
QFL_FN qfl4 qfl4_sel(M m, const qfl4& p, const qfl4& q)
{
    return qfl4{Isa::Sel(m, p.b, q.b), Isa::Sel(m, p.g, q.g), Isa::Sel(m, p.r, q.r), Isa::Sel(m, p.a, q.a)};
}

// ---- qf_minf, qf_maxf (Isa::Min, Isa::Max), qf_mini, qf_maxi, qf_clampf, qf_sane -------------------

QFL_FN I qfl_mini(I a, int b) { return Isa::MinI(a, Isa::SetI(b)); }
QFL_FN I qfl_maxi(I a, int b) { return Isa::MaxI(a, Isa::SetI(b)); }

// Below lo gives lo, else above hi gives hi, else v.
QFL_FN F qfl_clampf(F v, F lo, F hi)
{
    return Isa::Sel(Isa::Lt(v, lo), lo, Isa::Sel(Isa::Gt(v, hi), hi, v));
}

// The lanes qf_sane keeps: |v| < 1e30, NaN excluded.
QFL_FN M qfl_sane_mask(F v)
{
    return Isa::Lt(Isa::Abs(v), qfl_splat(QF_SANE_LIMIT));
}

QFL_FN F qfl_sane(F v)
{
    return Isa::Keep(qfl_sane_mask(v), v);
}

// ---- Trigonometry and waveforms (qf_sincos, qf_wave) ---------------------------------------------

inline void qfl_sincos(F x, F& s, F& c)
{
    F t = x * qfl_splat(QF_INV_2PI);
    t = t - Isa::Floor(t + qfl_splat(0.5f));
    M up = Isa::Gt(t, qfl_splat(0.25f));
    M down = Isa::Lt(t, qfl_splat(-0.25f));
    t = Isa::Sel(up, qfl_splat(0.5f) - t, Isa::Sel(down, qfl_splat(-0.5f) - t, t));
    F sg = Isa::Sel(Isa::Or(up, down), qfl_splat(-1.0f), qfl_splat(1.0f));
    F a = t * qfl_splat(QF_TWO_PI);
    F a2 = a * a;
    F sn = a * (qfl_splat(1.0f) +
                a2 * (qfl_splat(QF_S1) +
                      a2 * (qfl_splat(QF_S2) + a2 * (qfl_splat(QF_S3) + a2 * (qfl_splat(QF_S4) + a2 * qfl_splat(QF_S5))))));
    F cs = qfl_splat(1.0f) +
           a2 * (qfl_splat(QF_C1) +
                 a2 * (qfl_splat(QF_C2) +
                       a2 * (qfl_splat(QF_C3) +
                             a2 * (qfl_splat(QF_C4) + a2 * (qfl_splat(QF_C5) + a2 * qfl_splat(QF_C6))))));
    s = sn;
    c = sg * cs;
}

// The waveform is the frame's, so it is a template argument rather than a branch per lane.
template <int TYPE>
inline F qfl_wave(F ph, F& dw)
{
    if (TYPE == QF_WAVE_TRIANGLE) {
        F u = ph * qfl_splat(QF_INV_2PI) + qfl_splat(0.25f);
        u = u - Isa::Floor(u);
        const float slope = 4.0f * QF_INV_2PI;
        dw = Isa::Sel(Isa::Lt(u, qfl_splat(0.5f)), qfl_splat(slope), qfl_splat(-slope));
        return qfl_splat(1.0f) - qfl_splat(4.0f) * Isa::Abs(u - qfl_splat(0.5f));
    }
    if (TYPE == QF_WAVE_SAWTOOTH) {
        const float rise = QF_SAW_RISE;
        const float fall = 1.0f - rise;
        F u = ph * qfl_splat(QF_INV_2PI) + qfl_splat(0.5f * rise);
        u = u - Isa::Floor(u);
        M up = Isa::Lt(u, qfl_splat(rise));
        dw = Isa::Sel(up, qfl_splat((2.0f / rise) * QF_INV_2PI), qfl_splat((-2.0f / fall) * QF_INV_2PI));
        F wUp = qfl_splat(-1.0f) + (qfl_splat(2.0f) * u) / qfl_splat(rise);
        F wDown = qfl_splat(1.0f) - (qfl_splat(2.0f) * (u - qfl_splat(rise))) / qfl_splat(fall);
        return Isa::Sel(up, wUp, wDown);
    }
    F s, c;
    qfl_sincos(ph, s, c);
    if (TYPE == QF_WAVE_LIQUID) {
        F s2 = (qfl_splat(2.0f) * s) * c;
        F c2 = c * c - s * s;
        F h = s2 * qfl_splat(QF_LIQUID_CB) + c2 * qfl_splat(QF_LIQUID_SB);
        F hc = c2 * qfl_splat(QF_LIQUID_CB) - s2 * qfl_splat(QF_LIQUID_SB);
        dw = (c + qfl_splat(0.9f) * hc) * qfl_splat(QF_LIQUID_NORM);
        return (s + qfl_splat(0.45f) * h) * qfl_splat(QF_LIQUID_NORM);
    }
    if (TYPE == QF_WAVE_DRIP) {
        F a = Isa::Sqrt(qfl_splat(0.5f) * (qfl_splat(1.0f) - c) + qfl_splat(QF_DRIP_EPS));
        const float k = 2.0f / (QF_DRIP_A1 - QF_DRIP_A0);
        dw = (qfl_splat(k) * s) / (qfl_splat(4.0f) * a);
        return qfl_splat(-1.0f) + qfl_splat(k) * (a - qfl_splat(QF_DRIP_A0));
    }
    if (TYPE == QF_WAVE_SQUARE) {
        F d = qfl_splat(1.0f) + qfl_splat(QF_SQUARE_K) * Isa::Abs(s);
        const float k1 = 1.0f + QF_SQUARE_K;
        dw = (c * qfl_splat(k1)) / (d * d);
        return (s * qfl_splat(k1)) / d;
    }
    dw = c;
    return s;
}

// ---- Texel access and sampling -------------------------------------------------------------------

// An image as the lanes address it: pixel (x, y) at base + (y * stride + x) pixels, the offset in 32 bits
// and the pixel's bytes the format's (IN::PIXEL_BYTES). Rows are a whole number of pixels apart, `stride`
// of them, negative for rows stored bottom-up.
struct qfl_image {
    const char* base;
    int stride;
};

// The pixel offset of row y.
QFL_FN I qfl_row_offset(const qfl_image& im, I y) { return Isa::MulI(y, Isa::SetI(im.stride)); }

// One axis of qf_map_axis: layer bounds [lo, hi), buffer pixel 0 at layer index b0, n buffer pixels.
struct qfl_axis {
    int lo, hi, b0, n, mode;
    bool dead;  // empty layer extent or buffer: every texel is transparent
};

// What a row of lanes reads besides the frame: the buffers, the edge handling of both axes and the
// values fixed for the row.
struct qfl_row {
    const QF_Frame* f;
    qfl_image src;
    qfl_image map;
    F (*map_value)(const qfl_row& c, I X);  // qfl_map_value for the map's format, when there is a map
    char* out;                              // the output row
    // Writes lanes [0, count) as output pixels bx0 .. bx0 + count - 1 of `row`, straight B, G, R, A
    // converted to the output's format.
    void (*store)(char* row, int bx0, int count, const qfl4& v);
    qfl_axis ax, ay;
    int waves;      // waves read: min(num_waves, QF_MAX_WAVES)
    int Y;          // layer row
    int oy;         // input row at the same layer position, held inside the buffer
    float pfy;      // full-resolution y of the pixel centre
    float mapY;     // map buffer y of the pixel row (after qf_coord), when there is a map
};

template <class IN>
QFL_FN qfl4 qfl_load_straight(const qfl_image& im, I x, I y)
{
    qfl4 p;
    IN::Load(im, Isa::AddI(qfl_row_offset(im, y), x), p);
    M alive = Isa::Gt(p.a, qfl_splat(0.0f));
    F a = Isa::Sel(Isa::Gt(p.a, qfl_splat(1.0f)), qfl_splat(1.0f), p.a);
    return qfl4{Isa::Keep(alive, qfl_sane(p.b)), Isa::Keep(alive, qfl_sane(p.g)), Isa::Keep(alive, qfl_sane(p.r)),
                Isa::Keep(alive, a)};
}

// qf_load_premul of pixel values as loaded; `ok` clears lanes to transparent black as qf_texel does for
// texels outside.
QFL_FN qfl4 qfl_premul(const qfl4& p, M ok)
{
    M keep = Isa::And(ok, Isa::Gt(p.a, qfl_splat(0.0f)));
    F a = Isa::Sel(Isa::Gt(p.a, qfl_splat(1.0f)), qfl_splat(1.0f), p.a);
    // Where kept, a lies in (0, 1], so a colour zeroed by qf_sane times a is +0, as the one zeroed here.
    return qfl4{Isa::MulKeep(Isa::And(keep, qfl_sane_mask(p.b)), p.b, a),
                Isa::MulKeep(Isa::And(keep, qfl_sane_mask(p.g)), p.g, a),
                Isa::MulKeep(Isa::And(keep, qfl_sane_mask(p.r)), p.r, a), Isa::Keep(keep, a)};
}

// Premultiplied pixel at offset `off` of the image.
template <class IN>
QFL_FN qfl4 qfl_load_premul_at(const qfl_image& im, I off, M ok)
{
    qfl4 p;
    IN::Load(im, off, p);
    return qfl_premul(p, ok);
}

template <class IN>
QFL_FN qfl4 qfl_load_premul(const qfl_image& im, I x, I y, M ok)
{
    return qfl_load_premul_at<IN>(im, Isa::AddI(qfl_row_offset(im, y), x), ok);
}

// The pixel at offset `off` and its right neighbour (the caller knows both lie in one row), premultiplied.
template <class IN>
inline void qfl_load_premul_pair(const qfl_image& im, I off, M ok0, M ok1, qfl4& p0, qfl4& p1)
{
    qfl4 q0, q1;
    IN::LoadPair(im, off, q0, q1);
    p0 = qfl_premul(q0, ok0);
    p1 = qfl_premul(q1, ok1);
}

// Clears `ok` where the texel is transparent.
inline I qfl_map_axis(I i, const qfl_axis& A, M& ok)
{
    if (A.dead) {
        ok = Isa::None();
        return Isa::SetI(0);
    }
    if (A.mode == QF_EDGE_WRAP) {
        I m = Isa::FloorMod(Isa::SubI(i, Isa::SetI(A.lo)), A.hi - A.lo);
        i = Isa::AddI(Isa::SetI(A.lo), m);
    } else if (A.mode == QF_EDGE_MIRROR) {
        int len = A.hi - A.lo;
        int p = 2 * len;
        I m = Isa::FloorMod(Isa::SubI(i, Isa::SetI(A.lo)), p);
        I back = Isa::SubI(Isa::SetI(p - 1), m);
        m = Isa::SelI(Isa::GtI(Isa::SetI(len), m), m, back);
        i = Isa::AddI(Isa::SetI(A.lo), m);
    } else if (A.mode == QF_EDGE_TRANSPARENT) {
        M inside = Isa::And(Isa::Not(Isa::GtI(Isa::SetI(A.lo), i)), Isa::GtI(Isa::SetI(A.hi), i));
        ok = Isa::And(ok, inside);
    } else {
        i = qfl_maxi(qfl_mini(i, A.hi - 1), A.lo);
    }
    i = Isa::SubI(i, Isa::SetI(A.b0));
    return qfl_maxi(qfl_mini(i, A.n - 1), 0);
}

// qf_texel once both axes are mapped by qfl_map_axis: the premultiplied input texel at offset off,
// transparent where ok is clear. Bilinear and bicubic map each column and row once for all their texels.
template <class IN>
QFL_FN qfl4 qfl_texel(const qfl_row& c, I off, M ok)
{
    return qfl_load_premul_at<IN>(c.src, off, ok);
}

QFL_FN F qfl_coord(F v)
{
    F r = Isa::Sel(Isa::Gt(v, qfl_splat(QF_COORD_LIMIT)), qfl_splat(QF_COORD_LIMIT), v);
    return Isa::Sel(Isa::Not(Isa::Gt(v, qfl_splat(-QF_COORD_LIMIT))), qfl_splat(-QF_COORD_LIMIT), r);
}

QFL_FN F qfl_cell(F v, I& i)
{
    F fv = Isa::Floor(v);
    i = Isa::ToInt(fv);
    return v - fv;
}

template <class IN>
inline qfl4 qfl_bilinear(const qfl_row& c, F x, F y)
{
    I ix, iy;
    F tx = qfl_cell(qfl_coord(x), ix);
    F ty = qfl_cell(qfl_coord(y), iy);
    M okx0 = Isa::All(), okx1 = Isa::All(), oky0 = Isa::All(), oky1 = Isa::All();
    I x0 = qfl_map_axis(ix, c.ax, okx0);
    I x1 = qfl_map_axis(Isa::AddI(ix, Isa::SetI(1)), c.ax, okx1);
    I y0 = qfl_map_axis(iy, c.ay, oky0);
    I y1 = qfl_map_axis(Isa::AddI(iy, Isa::SetI(1)), c.ay, oky1);
    I r0 = qfl_row_offset(c.src, y0);
    I r1 = qfl_row_offset(c.src, y1);
    qfl4 a, b, cc, d;
    if (Isa::AllSet(Isa::EqI(x1, Isa::AddI(x0, Isa::SetI(1))))) {
        // Away from the edges the two columns are neighbours in memory: one load per row and lane.
        qfl_load_premul_pair<IN>(c.src, Isa::AddI(r0, x0), Isa::And(okx0, oky0), Isa::And(okx1, oky0), a, b);
        qfl_load_premul_pair<IN>(c.src, Isa::AddI(r1, x0), Isa::And(okx0, oky1), Isa::And(okx1, oky1), cc, d);
    } else {
        a = qfl_texel<IN>(c, Isa::AddI(r0, x0), Isa::And(okx0, oky0));
        b = qfl_texel<IN>(c, Isa::AddI(r0, x1), Isa::And(okx1, oky0));
        cc = qfl_texel<IN>(c, Isa::AddI(r1, x0), Isa::And(okx0, oky1));
        d = qfl_texel<IN>(c, Isa::AddI(r1, x1), Isa::And(okx1, oky1));
    }
    return qfl4_lerp(qfl4_lerp(a, b, tx), qfl4_lerp(cc, d, tx), ty);
}

// The four texels of one Catmull-Rom row (columns mapped once per pixel in cx and okx, the row's offset
// in r and oky), widening [lo, hi] when track is set, summed with the column factors w.
template <class IN>
inline qfl4 qfl_cubic_row(const qfl_row& c, const I cx[4], const M okx[4], bool pairs, I r, M oky, const F w[4],
                          bool track, qfl4& lo, qfl4& hi)
{
    qfl4 t[4];
    if (pairs) {
        qfl_load_premul_pair<IN>(c.src, Isa::AddI(r, cx[0]), Isa::And(okx[0], oky), Isa::And(okx[1], oky), t[0],
                                 t[1]);
        qfl_load_premul_pair<IN>(c.src, Isa::AddI(r, cx[2]), Isa::And(okx[2], oky), Isa::And(okx[3], oky), t[2],
                                 t[3]);
    } else {
        for (int k = 0; k < 4; k++)
            t[k] = qfl_texel<IN>(c, Isa::AddI(r, cx[k]), Isa::And(okx[k], oky));
    }
    if (track) {
        lo.b = Isa::Min(lo.b, Isa::Min(t[1].b, t[2].b));
        lo.g = Isa::Min(lo.g, Isa::Min(t[1].g, t[2].g));
        lo.r = Isa::Min(lo.r, Isa::Min(t[1].r, t[2].r));
        lo.a = Isa::Min(lo.a, Isa::Min(t[1].a, t[2].a));
        hi.b = Isa::Max(hi.b, Isa::Max(t[1].b, t[2].b));
        hi.g = Isa::Max(hi.g, Isa::Max(t[1].g, t[2].g));
        hi.r = Isa::Max(hi.r, Isa::Max(t[1].r, t[2].r));
        hi.a = Isa::Max(hi.a, Isa::Max(t[1].a, t[2].a));
    }
    return qfl4{((t[0].b * w[0] + t[1].b * w[1]) + t[2].b * w[2]) + t[3].b * w[3],
                ((t[0].g * w[0] + t[1].g * w[1]) + t[2].g * w[2]) + t[3].g * w[3],
                ((t[0].r * w[0] + t[1].r * w[1]) + t[2].r * w[2]) + t[3].r * w[3],
                ((t[0].a * w[0] + t[1].a * w[1]) + t[2].a * w[2]) + t[3].a * w[3]};
}

inline void qfl_cubic_weights(F t, F& w0, F& w1, F& w2, F& w3)
{
    F t2 = t * t;
    F t3 = t2 * t;
    w0 = (qfl_splat(-0.5f) * t3 + t2) - qfl_splat(0.5f) * t;
    w1 = (qfl_splat(1.5f) * t3 - qfl_splat(2.5f) * t2) + qfl_splat(1.0f);
    w2 = (qfl_splat(-1.5f) * t3 + qfl_splat(2.0f) * t2) + qfl_splat(0.5f) * t;
    w3 = qfl_splat(0.5f) * t3 - qfl_splat(0.5f) * t2;
}

template <class IN>
inline qfl4 qfl_bicubic(const qfl_row& c, F x, F y)
{
    I ix, iy;
    F tx = qfl_cell(qfl_coord(x), ix);
    F ty = qfl_cell(qfl_coord(y), iy);
    F xw[4], yw[4];
    qfl_cubic_weights(tx, xw[0], xw[1], xw[2], xw[3]);
    qfl_cubic_weights(ty, yw[0], yw[1], yw[2], yw[3]);
    M okx[4], oky[4];
    I cx[4], cy[4];
    for (int k = 0; k < 4; k++) {
        okx[k] = Isa::All();
        oky[k] = Isa::All();
        cx[k] = qfl_map_axis(Isa::AddI(ix, Isa::SetI(k - 1)), c.ax, okx[k]);
        cy[k] = qfl_map_axis(Isa::AddI(iy, Isa::SetI(k - 1)), c.ay, oky[k]);
    }
    qfl4 lo = qfl4{qfl_splat(1e30f), qfl_splat(1e30f), qfl_splat(1e30f), qfl_splat(1e30f)};
    qfl4 hi = qfl4{qfl_splat(-1e30f), qfl_splat(-1e30f), qfl_splat(-1e30f), qfl_splat(-1e30f)};
    qfl4 acc = qfl4_zero();
    I one = Isa::SetI(1);
    const bool pairs =
        Isa::AllSet(Isa::And(Isa::EqI(cx[1], Isa::AddI(cx[0], one)), Isa::EqI(cx[3], Isa::AddI(cx[2], one))));
    for (int row = 0; row < 4; row++) {
        I r = qfl_row_offset(c.src, cy[row]);
        acc = qfl4_madd(acc, qfl_cubic_row<IN>(c, cx, okx, pairs, r, oky[row], xw, row == 1 || row == 2, lo, hi),
                        yw[row]);
    }
    return qfl4{qfl_clampf(acc.b, lo.b, hi.b), qfl_clampf(acc.g, lo.g, hi.g), qfl_clampf(acc.r, lo.r, hi.r),
                qfl_clampf(acc.a, lo.a, hi.a)};
}

QFL_FN I qfl_footprint_samples(F l)
{
    F v = l - qfl_splat(0.25f);
    I n = Isa::ToInt(v);
    return Isa::SelI(Isa::Lt(Isa::ToFloat(n), v), Isa::AddI(n, Isa::SetI(1)), n);
}

// qf_sample's footprint: the Jacobian after the NaN guard and the cap, and the sub-sample counts.
struct qfl_footprint {
    F j00, j01, j10, j11;
    I na, nb;
    M single;  // na * nb == 1
};

// qf_sample up to its choice between one sample and the grid. The row entry forms it before the texels
// of any lane are read, so their rows can be asked for early.
inline qfl_footprint qfl_sample_footprint(const qfl_row& c, F j00, F j01, F j10, F j11)
{
    const int cap = c.f->aa_cap;
    F la = Isa::Sqrt(j00 * j00 + j10 * j10);
    F lb = Isa::Sqrt(j01 * j01 + j11 * j11);
    const float lmax = (float)cap + 1.0f;
    M badA = Isa::Not(Isa::Lt(la, qfl_splat(1e30f)));
    la = Isa::Sel(badA, qfl_splat(lmax + 1.0f), la);
    j00 = Isa::Sel(badA, qfl_splat(lmax), j00);
    j10 = Isa::Sel(badA, qfl_splat(0.0f), j10);
    M badB = Isa::Not(Isa::Lt(lb, qfl_splat(1e30f)));
    lb = Isa::Sel(badB, qfl_splat(lmax + 1.0f), lb);
    j01 = Isa::Sel(badB, qfl_splat(0.0f), j01);
    j11 = Isa::Sel(badB, qfl_splat(lmax), j11);
    // Lanes that keep their length divide by 1 instead, so no lane divides by zero.
    M bigA = Isa::Gt(la, qfl_splat(lmax));
    F sa = qfl_splat(lmax) / Isa::Sel(bigA, la, qfl_splat(1.0f));
    j00 = Isa::Sel(bigA, j00 * sa, j00);
    j10 = Isa::Sel(bigA, j10 * sa, j10);
    la = Isa::Sel(bigA, qfl_splat(lmax), la);
    M bigB = Isa::Gt(lb, qfl_splat(lmax));
    F sb = qfl_splat(lmax) / Isa::Sel(bigB, lb, qfl_splat(1.0f));
    j01 = Isa::Sel(bigB, j01 * sb, j01);
    j11 = Isa::Sel(bigB, j11 * sb, j11);
    lb = Isa::Sel(bigB, qfl_splat(lmax), lb);
    qfl_footprint fp;
    fp.j00 = j00;
    fp.j01 = j01;
    fp.j10 = j10;
    fp.j11 = j11;
    fp.na = qfl_maxi(qfl_mini(qfl_footprint_samples(la), cap), 1);
    fp.nb = qfl_maxi(qfl_mini(qfl_footprint_samples(lb), cap), 1);
    fp.single = Isa::And(Isa::EqI(fp.na, Isa::SetI(1)), Isa::EqI(fp.nb, Isa::SetI(1)));
    return fp;
}

// The rest of qf_sample at (x, y) for the lanes in `live`; other lanes come back as zero.
template <class IN>
inline qfl4 qfl_sample(const qfl_row& c, const qfl_footprint& fp, F x, F y, M live)
{
    qfl4 res = qfl4_zero();
    M single = Isa::And(live, fp.single);
    M grid = Isa::And(live, Isa::Not(fp.single));
    if (Isa::Any(single)) {
        qfl4 s = c.f->bicubic ? qfl_bicubic<IN>(c, x, y) : qfl_bilinear<IN>(c, x, y);
        res = qfl4_sel(single, s, res);
    }
    if (Isa::Any(grid)) {
        // Lanes with fewer sub-samples sit out the extra rounds; neighbouring pixels have nearly the
        // same footprint, so few rounds are wasted.
        const int maxA = Isa::MaxLane(fp.na, grid);
        const int maxB = Isa::MaxLane(fp.nb, grid);
        F fna = Isa::ToFloat(fp.na);
        F fnb = Isa::ToFloat(fp.nb);
        F va[QFL_MAX_AA_CAP];
        for (int i = 0; i < maxA; i++)
            va[i] = qfl_splat((float)i + 0.5f) / fna - qfl_splat(0.5f);
        qfl4 acc = qfl4_zero();
        for (int j = 0; j < maxB; j++) {
            M rowLive = Isa::And(grid, Isa::GtI(fp.nb, Isa::SetI(j)));
            F vb = qfl_splat((float)j + 0.5f) / fnb - qfl_splat(0.5f);
            F bx = fp.j01 * vb;
            F by = fp.j11 * vb;
            for (int i = 0; i < maxA; i++) {
                M on = Isa::And(rowLive, Isa::GtI(fp.na, Isa::SetI(i)));
                if (!Isa::Any(on))
                    continue;
                qfl4 s = qfl_bilinear<IN>(c, (x + fp.j00 * va[i]) + bx, (y + fp.j10 * va[i]) + by);
                acc.b = Isa::Sel(on, acc.b + s.b, acc.b);
                acc.g = Isa::Sel(on, acc.g + s.g, acc.g);
                acc.r = Isa::Sel(on, acc.r + s.r, acc.r);
                acc.a = Isa::Sel(on, acc.a + s.a, acc.a);
            }
        }
        F inv = qfl_splat(1.0f) / Isa::ToFloat(Isa::MulI(fp.na, fp.nb));
        res = qfl4_sel(grid, qfl4{acc.b * inv, acc.g * inv, acc.r * inv, acc.a * inv}, res);
    }
    return res;
}

// The map row's y is the same on every lane, so it is formed once per row (qfl_row::mapY).
template <class MAP>
F qfl_map_value(const qfl_row& c, I X)
{
    const QF_Frame* f = c.f;
    F x = qfl_coord((Isa::ToFloat(X) + qfl_splat(0.5f)) * qfl_splat(f->map_sx) + qfl_splat(f->map_ox));
    I x0;
    F tx = qfl_cell(x, x0);
    const float fy = floorf(c.mapY);
    const float ty = c.mapY - fy;
    I x1 = Isa::AddI(x0, Isa::SetI(1));
    int y0 = (int)fy;
    int y1 = y0 + 1;
    x0 = qfl_maxi(qfl_mini(x0, f->map_w - 1), 0);
    x1 = qfl_maxi(qfl_mini(x1, f->map_w - 1), 0);
    y0 = y0 < f->map_h - 1 ? y0 : f->map_h - 1;
    y0 = y0 > 0 ? y0 : 0;
    y1 = y1 < f->map_h - 1 ? y1 : f->map_h - 1;
    y1 = y1 > 0 ? y1 : 0;
    I Y0 = Isa::SetI(y0), Y1 = Isa::SetI(y1);
    qfl4 top = qfl4_lerp(qfl_load_premul<MAP>(c.map, x0, Y0, Isa::All()),
                         qfl_load_premul<MAP>(c.map, x1, Y0, Isa::All()), tx);
    qfl4 bottom = qfl4_lerp(qfl_load_premul<MAP>(c.map, x0, Y1, Isa::All()),
                            qfl_load_premul<MAP>(c.map, x1, Y1, Isa::All()), tx);
    qfl4 v = qfl4_lerp(top, bottom, qfl_splat(ty));
    F m;
    switch (f->map_channel) {
    case QF_MAP_ALPHA:
        m = v.a;
        break;
    case QF_MAP_RED:
        m = v.r;
        break;
    case QF_MAP_GREEN:
        m = v.g;
        break;
    case QF_MAP_BLUE:
        m = v.b;
        break;
    default:
        m = (qfl_splat(0.2126f) * v.r + qfl_splat(0.7152f) * v.g) + qfl_splat(0.0722f) * v.b;
        break;
    }
    m = qfl_clampf(m, qfl_splat(0.0f), qfl_splat(1.0f));
    return f->map_invert ? qfl_splat(1.0f) - m : m;
}

// ---- Displacement field and shading (qf_field, qf_shade) ----------------------------------------

struct qfl_field_out {
    F dx, dy, j00, j01, j10, j11;
};

// qf_field at (px, py). When the row's y is the same on every lane (the first iteration), kyPy holds
// ky * py per wave, formed from the same operands as the kernel's product, and py is not read.
template <int TYPE>
inline qfl_field_out qfl_field(const qfl_row& c, F px, F py, const float* kyPy)
{
    F sx = qfl_splat(0.0f), sy = qfl_splat(0.0f), a = qfl_splat(0.0f), b = qfl_splat(0.0f), cc = qfl_splat(0.0f),
      d = qfl_splat(0.0f);
    for (int i = 0; i < c.waves; i++) {
        const QF_Wave& w = c.f->waves[i];
        F base = kyPy ? qfl_splat(w.kx) * px + qfl_splat(kyPy[i]) : qfl_splat(w.kx) * px + qfl_splat(w.ky) * py;
        F dwf, dwd;
        F wf = qfl_wave<TYPE>(base + qfl_splat(w.phf), dwf);
        F wd = qfl_wave<TYPE>(base + qfl_splat(w.phd), dwd);
        sx = sx + (wf * qfl_splat(w.fx) + wd * qfl_splat(w.dx));
        sy = sy + (wf * qfl_splat(w.fy) + wd * qfl_splat(w.dy));
        F gx = dwf * qfl_splat(w.fx) + dwd * qfl_splat(w.dx);
        F gy = dwf * qfl_splat(w.fy) + dwd * qfl_splat(w.dy);
        a = a + gx * qfl_splat(w.kx);
        b = b + gx * qfl_splat(w.ky);
        cc = cc + gy * qfl_splat(w.kx);
        d = d + gy * qfl_splat(w.ky);
    }
    return qfl_field_out{sx, sy, a, b, cc, d};
}

// qf_shade comes in two stages, so the texels one block of lanes needs can be asked for while the block
// before it is sampled: qfl_shade_warp (the strength, the field and the footprint) and qfl_shade_finish
// (the sampling, colour split, mix and un-premultiplying). A block carries one stage's result to the
// other.
struct qfl_block {
    int bx0, count;
    I ox;       // input column at the same layer position, held inside the buffer
    M lanes;    // lanes [0, count)
    M warp;     // lanes that do not take the early exit
    M live;     // warp and lanes
    F x, y;     // sampling centre, layer pixels
    F ddx, ddy; // displacement, buffer pixels (the colour split scales it)
    qfl_footprint fp;
};

// qf_shade up to the first texel of the warped sample, for output pixels bx0 .. bx0 + count - 1. Not
// inlined: each waveform has one copy, whatever the images' formats.
template <int TYPE>
__attribute__((noinline)) void qfl_shade_warp(const qfl_row& c, int bx0, int count, qfl_block& k)
{
    const QF_Frame* f = c.f;
    I X = Isa::AddI(Isa::SetI(f->out_x0 + bx0), Isa::Iota());
    k.bx0 = bx0;
    k.count = count;
    k.ox = qfl_maxi(qfl_mini(Isa::SubI(X, Isa::SetI(f->in_x0)), f->in_w - 1), 0);
    F m = qfl_splat(1.0f);
    if (f->has_map)
        m = c.map_value(c, X);
    // The frame-wide exits (mix, no waves) never reach this function.
    k.warp = Isa::Not(Isa::Le(m, qfl_splat(0.0f)));
    k.lanes = Isa::FirstN(count);
    k.live = Isa::And(k.warp, k.lanes);
    if (!Isa::Any(k.live))
        return;
    F pfx = (Isa::ToFloat(X) + qfl_splat(0.5f)) / qfl_splat(f->dsx);
    F a00 = qfl_splat(1.0f), a01 = qfl_splat(0.0f), a10 = qfl_splat(0.0f), a11 = qfl_splat(1.0f);
    F dispx = qfl_splat(0.0f), dispy = qfl_splat(0.0f);
    float kyPy[QF_MAX_WAVES];
    for (int it = 0; it < f->iterations; it++) {
        qfl_field_out g;
        if (it == 0) {
            // dispy is still 0 on every lane, so py is one value for the row.
            const float py = c.pfy + 0.0f;
            for (int i = 0; i < c.waves; i++)
                kyPy[i] = f->waves[i].ky * py;
            g = qfl_field<TYPE>(c, pfx + dispx, qfl_splat(py), kyPy);
        } else {
            g = qfl_field<TYPE>(c, pfx + dispx, qfl_splat(c.pfy) + dispy, nullptr);
        }
        F e00 = qfl_splat(1.0f) + m * (g.j00 * a00 + g.j01 * a10);
        F e01 = m * (g.j00 * a01 + g.j01 * a11);
        F e10 = m * (g.j10 * a00 + g.j11 * a10);
        F e11 = qfl_splat(1.0f) + m * (g.j10 * a01 + g.j11 * a11);
        a00 = e00;
        a01 = e01;
        a10 = e10;
        a11 = e11;
        dispx = m * g.dx;
        dispy = m * g.dy;
    }
    k.ddx = dispx * qfl_splat(f->dsx);
    k.ddy = dispy * qfl_splat(f->dsy);
    F j01 = (a01 * qfl_splat(f->dsx)) / qfl_splat(f->dsy);
    F j10 = (a10 * qfl_splat(f->dsy)) / qfl_splat(f->dsx);
    k.x = Isa::ToFloat(X);
    k.y = qfl_splat((float)c.Y);
    k.fp = qfl_sample_footprint(c, a00, j01, j10, a11);
}

// Asks for the source rows around each lane's sampling centre, so they are on their way while the
// previous block is sampled. Only a hint: any lane, any position. Always inlined: a call to it would
// have no effect the compiler sees, and it may drop the call.
template <class IN>
QFL_FN void qfl_shade_prefetch(const qfl_row& c, const qfl_block& k)
{
    if (!Isa::Any(k.live))
        return;
    F x = qfl_coord(k.x + k.ddx);
    F y = qfl_coord(k.y + k.ddy);
    M ok = Isa::All();
    I ix = qfl_map_axis(Isa::ToInt(Isa::Floor(x)), c.ax, ok);
    I iy = Isa::ToInt(Isa::Floor(y));
    // The rows of the centre's bilinear taps and the two below, where the footprints of the next output
    // rows reach first; the rows above were read by the rows before. Every lane, since under compression
    // neighbouring lanes read lines far apart.
    for (int d = 0; d <= 3; d++) {
        M ok2 = Isa::All();
        I r = qfl_map_axis(Isa::AddI(iy, Isa::SetI(d)), c.ay, ok2);
        Isa::template Prefetch<IN::PIXEL_BYTES>(c.src.base, Isa::AddI(qfl_row_offset(c.src, r), ix));
    }
}

// The rest of qf_shade; stores lanes [0, count) of the block into the output row. Not inlined: each
// input format has one copy, whatever the waveform.
template <class IN>
__attribute__((noinline)) void qfl_shade_finish(const qfl_row& c, const qfl_block& k)
{
    const QF_Frame* f = c.f;
    I oy = Isa::SetI(c.oy);
    qfl4 res = qfl4_zero();
    if (Isa::Any(k.live)) {
        if (f->split == 0.0f) {
            res = qfl_sample<IN>(c, k.fp, k.x + k.ddx, k.y + k.ddy, k.live);
        } else {
            const float kr = 1.0f + f->split;
            const float kb = 1.0f - f->split;
            qfl4 gs = qfl_sample<IN>(c, k.fp, k.x + k.ddx, k.y + k.ddy, k.live);
            qfl4 rs = qfl_sample<IN>(c, k.fp, k.x + k.ddx * qfl_splat(kr), k.y + k.ddy * qfl_splat(kr), k.live);
            qfl4 bs = qfl_sample<IN>(c, k.fp, k.x + k.ddx * qfl_splat(kb), k.y + k.ddy * qfl_splat(kb), k.live);
            res = qfl4{bs.b, gs.g, rs.r, gs.a};
        }
        if (f->mix < 1.0f) {
            qfl4 orig = qfl_load_premul<IN>(c.src, k.ox, oy, Isa::All());
            res = qfl4_lerp(orig, res, qfl_splat(f->mix));
        }
        F a = res.a;
        M visible = Isa::Gt(a, qfl_splat(QF_MIN_ALPHA));
        // Invisible lanes divide by 1 instead of by a tiny or NaN alpha; they are zeroed below.
        a = Isa::Sel(visible, Isa::Min(a, qfl_splat(1.0f)), qfl_splat(1.0f));
        res = qfl4{Isa::Keep(visible, qfl_sane(res.b / a)), Isa::Keep(visible, qfl_sane(res.g / a)),
                   Isa::Keep(visible, qfl_sane(res.r / a)), Isa::Keep(visible, a)};
    }
    M still = Isa::And(k.lanes, Isa::Not(k.warp));
    if (Isa::Any(still))
        res = qfl4_sel(k.warp, res, qfl_load_straight<IN>(c.src, k.ox, oy));
    c.store(c.out, k.bx0, k.count, res);
}

// ---- Row entry -----------------------------------------------------------------------------------

// Every pixel the straight input at its layer position: qf_shade's frame-wide early exit.
template <class IN>
void qfl_shade_straight_row(const qfl_row& c)
{
    const QF_Frame* f = c.f;
    I oy = Isa::SetI(c.oy);
    for (int bx0 = 0; bx0 < f->out_w; bx0 += L) {
        int count = f->out_w - bx0 < L ? f->out_w - bx0 : L;
        I X = Isa::AddI(Isa::SetI(f->out_x0 + bx0), Isa::Iota());
        I ox = qfl_maxi(qfl_mini(Isa::SubI(X, Isa::SetI(f->in_x0)), f->in_w - 1), 0);
        qfl4 p = qfl_load_straight<IN>(c.src, ox, oy);
        c.store(c.out, bx0, count, p);
    }
}

// Blocks between a block's warp stage and its finishing stage.
constexpr int QFL_PREFETCH_BLOCKS = 2;

// Two stages QFL_PREFETCH_BLOCKS blocks apart: while block b is sampled, the source rows of block
// b + QFL_PREFETCH_BLOCKS are already on their way, since the warp scatters reads over many source rows
// and waiting on memory would otherwise dominate.
template <int TYPE, class IN>
void qfl_shade_blocks(const qfl_row& c)
{
    const int w = c.f->out_w;
    const int blocks = (w + L - 1) / L;
    qfl_block ring[QFL_PREFETCH_BLOCKS + 1];
    for (int b = 0; b < blocks + QFL_PREFETCH_BLOCKS; b++) {
        if (b < blocks) {
            qfl_block& k = ring[b % (QFL_PREFETCH_BLOCKS + 1)];
            qfl_shade_warp<TYPE>(c, b * L, w - b * L < L ? w - b * L : L, k);
            qfl_shade_prefetch<IN>(c, k);
        }
        if (b >= QFL_PREFETCH_BLOCKS)
            qfl_shade_finish<IN>(c, ring[(b - QFL_PREFETCH_BLOCKS) % (QFL_PREFETCH_BLOCKS + 1)]);
    }
}

inline qfl_axis qfl_make_axis(int lo, int hi, int b0, int n, int mode)
{
    qfl_axis a;
    a.lo = lo;
    a.hi = hi;
    a.b0 = b0;
    a.n = n;
    a.mode = mode;
    a.dead = hi - lo <= 0 || n <= 0;
    return a;
}

// Pixels 0 to out_w - 1 of output row `row`, bit for bit qf_shade's, through c.store into c.out. The
// caller has set c's frame, images, map value, output row and store, and checked that the lanes can take
// the frame (see the top of this file).
template <class IN>
void qfl_shade_row(qfl_row& c, int row)
{
    const QF_Frame& f = *c.f;
    if (f.out_w <= 0)
        return;
    c.ax = qfl_make_axis(f.lay_x0, f.lay_x1, f.in_x0, f.in_w, f.edge_mode);
    c.ay = qfl_make_axis(f.lay_y0, f.lay_y1, f.in_y0, f.in_h, f.edge_mode);
    c.waves = f.num_waves < QF_MAX_WAVES ? f.num_waves : QF_MAX_WAVES;
    c.Y = f.out_y0 + row;
    int oy = c.Y - f.in_y0;
    oy = oy < f.in_h - 1 ? oy : f.in_h - 1;
    c.oy = oy > 0 ? oy : 0;
    c.pfy = ((float)c.Y + 0.5f) / f.dsy;
    c.mapY = 0.0f;
    if (f.mix <= 0.0f || f.num_waves <= 0) {
        qfl_shade_straight_row<IN>(c);
        return;
    }
    if (f.has_map) {
        if (f.map_w <= 0 || f.map_h <= 0) {
            // Strength 0 everywhere.
            qfl_shade_straight_row<IN>(c);
            return;
        }
        float y = ((float)c.Y + 0.5f) * f.map_sy + f.map_oy;
        c.mapY = !(y > -QF_COORD_LIMIT) ? -QF_COORD_LIMIT : (y > QF_COORD_LIMIT ? QF_COORD_LIMIT : y);
    }
    switch (f.waveform) {
    case QF_WAVE_LIQUID:
        qfl_shade_blocks<QF_WAVE_LIQUID, IN>(c);
        break;
    case QF_WAVE_DRIP:
        qfl_shade_blocks<QF_WAVE_DRIP, IN>(c);
        break;
    case QF_WAVE_TRIANGLE:
        qfl_shade_blocks<QF_WAVE_TRIANGLE, IN>(c);
        break;
    case QF_WAVE_SQUARE:
        qfl_shade_blocks<QF_WAVE_SQUARE, IN>(c);
        break;
    case QF_WAVE_SAWTOOTH:
        qfl_shade_blocks<QF_WAVE_SAWTOOTH, IN>(c);
        break;
    default:
        qfl_shade_blocks<QF_WAVE_SINE, IN>(c);
        break;
    }
}
