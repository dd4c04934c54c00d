// The row shader written once over a lane abstraction; each instruction-set file defines `Isa` and then
// includes this file inside an anonymous namespace, so every function here has internal linkage and no
// code compiled for one instruction set can be picked by the linker for another.
//
// Isa provides: L lanes; F (floats), I (int32), M (lane mask); float arithmetic through the vector
// operators + - * /; and the static functions used below. Each lane follows qf_shade (kernel/WarpKernel.h)
// operation for operation: the same IEEE single-precision operations in the same order, no fused
// multiply-add (-ffp-contract=off, and no FMA intrinsic is ever used), comparisons with the scalar code's
// NaN behaviour, and every branch turned into a select whose other side is computed and thrown away.
// Branches that are the same for the whole frame (waveform, edge mode, split, mix, map channel) stay
// branches. A lane's value never depends on its neighbours, so the tail of a row is shaded with spare
// lanes that are not stored.
//
// Values fixed per row, such as ky * py of the first iteration, are formed from exactly the operands the
// kernel uses, so they carry the same bits.

using F = Isa::F;
using I = Isa::I;
using M = Isa::M;
constexpr int L = Isa::L;

// One pixel per lane: blue, green, red, alpha, as qf4's x, y, z, w.
struct Px {
    F b, g, r, a;
};

inline F Splat(float v) { return Isa::Set(v); }

inline Px PxZero()
{
    F z = Isa::Set(0.0f);
    return Px{z, z, z, z};
}

inline Px PxSel(M m, const Px& p, const Px& q)
{
    return Px{Isa::Sel(m, p.b, q.b), Isa::Sel(m, p.g, q.g), Isa::Sel(m, p.r, q.r), Isa::Sel(m, p.a, q.a)};
}

// qf4_lerp: a + (b - a) * t per member.
inline Px PxLerp(const Px& p, const Px& q, F t)
{
    return Px{p.b + (q.b - p.b) * t, p.g + (q.g - p.g) * t, p.r + (q.r - p.r) * t, p.a + (q.a - p.a) * t};
}

// qf_clampf: below lo gives lo, else above hi gives hi, else v.
inline F Clamp(F v, F lo, F hi)
{
    return Isa::Sel(Isa::Lt(v, lo), lo, Isa::Sel(Isa::Gt(v, hi), hi, v));
}

// The lanes qf_sane keeps: |v| < 1e30, NaN excluded.
inline M SaneMask(F v)
{
    return Isa::Lt(Isa::Abs(v), Splat(QF_SANE_LIMIT));
}

// qf_sane: v when |v| < 1e30, else 0 (NaN included).
inline F Sane(F v)
{
    return Isa::Keep(SaneMask(v), v);
}

// qf_coord.
inline F Coord(F v)
{
    F r = Isa::Sel(Isa::Gt(v, Splat(QF_COORD_LIMIT)), Splat(QF_COORD_LIMIT), v);
    return Isa::Sel(Isa::Not(Isa::Gt(v, Splat(-QF_COORD_LIMIT))), Splat(-QF_COORD_LIMIT), r);
}

inline I MinI(I a, int b) { return Isa::MinI(a, Isa::SetI(b)); }
inline I MaxI(I a, int b) { return Isa::MaxI(a, Isa::SetI(b)); }

// ---- Per-row constants ---------------------------------------------------------------------------

// One axis of qf_map_axis: layer bounds [lo, hi), buffer pixel 0 at layer index b0, n buffer pixels.
struct Axis {
    int lo, hi, b0, n, mode;
    bool dead;  // empty layer extent or buffer: every texel is transparent
};

struct RowCtx {
    const QF_Frame* f;
    const float* src;
    const float* map;
    Axis ax, ay;
    int waves;      // waves read: min(num_waves, QF_MAX_WAVES)
    int Y;          // layer row
    int oy;         // input row at the same layer position, held inside the buffer
    float pfy;      // full-resolution y of the pixel centre
    float mapY;     // map buffer y of the pixel row (after qf_coord), when there is a map
};

// ---- Texel access (qf_load_straight, qf_load_premul, qf_map_axis, qf_texel) ----------------------

inline I PixelIndex(int pitch, I x, I y)
{
    return Isa::AddI(Isa::MulI(y, Isa::SetI(pitch)), x);
}

inline Px LoadStraight(const float* buf, int pitch, I x, I y)
{
    Px p;
    Isa::Load4(buf, PixelIndex(pitch, x, y), p.b, p.g, p.r, p.a);
    M alive = Isa::Gt(p.a, Splat(0.0f));
    F a = Isa::Sel(Isa::Gt(p.a, Splat(1.0f)), Splat(1.0f), p.a);
    return Px{Isa::Keep(alive, Sane(p.b)), Isa::Keep(alive, Sane(p.g)), Isa::Keep(alive, Sane(p.r)),
              Isa::Keep(alive, a)};
}

// qf_load_premul of raw pixel values; `ok` clears lanes to transparent black as qf_texel does for
// texels outside.
inline Px Premul(const Px& p, M ok)
{
    M keep = Isa::And(ok, Isa::Gt(p.a, Splat(0.0f)));
    F a = Isa::Sel(Isa::Gt(p.a, Splat(1.0f)), Splat(1.0f), p.a);
    // Where kept, a lies in (0, 1], so a colour zeroed by qf_sane times a is +0, as the one zeroed here.
    return Px{Isa::MulKeep(Isa::And(keep, SaneMask(p.b)), p.b, a), Isa::MulKeep(Isa::And(keep, SaneMask(p.g)), p.g, a),
              Isa::MulKeep(Isa::And(keep, SaneMask(p.r)), p.r, a), Isa::Keep(keep, a)};
}

inline Px LoadPremulAt(const float* buf, I pix, M ok)
{
    Px p;
    Isa::Load4(buf, pix, p.b, p.g, p.r, p.a);
    return Premul(p, ok);
}

inline Px LoadPremul(const float* buf, int pitch, I x, I y, M ok)
{
    return LoadPremulAt(buf, PixelIndex(pitch, x, y), ok);
}

// Pixels pix and pix + 1 (the caller knows both lie in one buffer row), premultiplied.
inline void LoadPremulPair(const float* buf, I pix, M ok0, M ok1, Px& p0, Px& p1)
{
    Px q0, q1;
    Isa::Load4Pair(buf, pix, q0.b, q0.g, q0.r, q0.a, q1.b, q1.g, q1.r, q1.a);
    p0 = Premul(q0, ok0);
    p1 = Premul(q1, ok1);
}

inline I MapAxis(I i, const Axis& A, M& ok)
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
        i = MaxI(MinI(i, A.hi - 1), A.lo);
    }
    i = Isa::SubI(i, Isa::SetI(A.b0));
    return MaxI(MinI(i, A.n - 1), 0);
}

// ---- Interpolation (qf_bilinear, qf_cubic_row, qf_cubic_weights, qf_bicubic) ---------------------

// The first step of qf_bilinear and qf_bicubic: the position held by qf_coord, the texel at its floor
// and the fractions.
struct Cell {
    I ix, iy;
    F tx, ty;
};

inline Cell Locate(F x, F y)
{
    x = Coord(x);
    y = Coord(y);
    F fx = Isa::Floor(x);
    F fy = Isa::Floor(y);
    return Cell{Isa::ToInt(fx), Isa::ToInt(fy), x - fx, y - fy};
}

inline Px Bilinear(const RowCtx& c, F x, F y)
{
    const Cell cell = Locate(x, y);
    const I ix = cell.ix, iy = cell.iy;
    // qf_texel maps both axes of each of the four texels; the two columns and two rows are shared.
    M okx0 = Isa::All(), okx1 = Isa::All(), oky0 = Isa::All(), oky1 = Isa::All();
    I x0 = MapAxis(ix, c.ax, okx0);
    I x1 = MapAxis(Isa::AddI(ix, Isa::SetI(1)), c.ax, okx1);
    I y0 = MapAxis(iy, c.ay, oky0);
    I y1 = MapAxis(Isa::AddI(iy, Isa::SetI(1)), c.ay, oky1);
    const int pitch = c.f->in_pitch;
    I r0 = Isa::MulI(y0, Isa::SetI(pitch));
    I r1 = Isa::MulI(y1, Isa::SetI(pitch));
    Px a, b, cc, d;
    if (Isa::AllSet(Isa::EqI(x1, Isa::AddI(x0, Isa::SetI(1))))) {
        // Away from the edges the two columns are neighbours in memory: one load per row and lane.
        LoadPremulPair(c.src, Isa::AddI(r0, x0), Isa::And(okx0, oky0), Isa::And(okx1, oky0), a, b);
        LoadPremulPair(c.src, Isa::AddI(r1, x0), Isa::And(okx0, oky1), Isa::And(okx1, oky1), cc, d);
    } else {
        a = LoadPremulAt(c.src, Isa::AddI(r0, x0), Isa::And(okx0, oky0));
        b = LoadPremulAt(c.src, Isa::AddI(r0, x1), Isa::And(okx1, oky0));
        cc = LoadPremulAt(c.src, Isa::AddI(r1, x0), Isa::And(okx0, oky1));
        d = LoadPremulAt(c.src, Isa::AddI(r1, x1), Isa::And(okx1, oky1));
    }
    return PxLerp(PxLerp(a, b, cell.tx), PxLerp(cc, d, cell.tx), cell.ty);
}

inline void CubicWeights(F t, F& w0, F& w1, F& w2, F& w3)
{
    F t2 = t * t;
    F t3 = t2 * t;
    w0 = (Splat(-0.5f) * t3 + t2) - Splat(0.5f) * t;
    w1 = (Splat(1.5f) * t3 - Splat(2.5f) * t2) + Splat(1.0f);
    w2 = (Splat(-1.5f) * t3 + Splat(2.0f) * t2) + Splat(0.5f) * t;
    w3 = Splat(0.5f) * t3 - Splat(0.5f) * t2;
}

inline F CubicSum(F a, F b, F cc, F d, F w0, F w1, F w2, F w3)
{
    return ((a * w0 + b * w1) + cc * w2) + d * w3;
}

inline Px Bicubic(const RowCtx& c, F x, F y)
{
    const Cell cell = Locate(x, y);
    const I ix = cell.ix, iy = cell.iy;
    F x0, x1, x2, x3, y0, y1, y2, y3;
    CubicWeights(cell.tx, x0, x1, x2, x3);
    CubicWeights(cell.ty, y0, y1, y2, y3);
    M okx[4], oky[4];
    I cx[4], cy[4];
    for (int k = 0; k < 4; k++) {
        okx[k] = Isa::All();
        oky[k] = Isa::All();
        cx[k] = MapAxis(Isa::AddI(ix, Isa::SetI(k - 1)), c.ax, okx[k]);
        cy[k] = MapAxis(Isa::AddI(iy, Isa::SetI(k - 1)), c.ay, oky[k]);
    }
    const F yw[4] = {y0, y1, y2, y3};
    Px lo = Px{Splat(1e30f), Splat(1e30f), Splat(1e30f), Splat(1e30f)};
    Px hi = Px{Splat(-1e30f), Splat(-1e30f), Splat(-1e30f), Splat(-1e30f)};
    Px acc = PxZero();
    const int pitch = c.f->in_pitch;
    I one = Isa::SetI(1);
    const bool pairs = Isa::AllSet(Isa::And(Isa::EqI(cx[1], Isa::AddI(cx[0], one)), Isa::EqI(cx[3], Isa::AddI(cx[2], one))));
    for (int row = 0; row < 4; row++) {
        Px t[4];
        I r = Isa::MulI(cy[row], Isa::SetI(pitch));
        if (pairs) {
            LoadPremulPair(c.src, Isa::AddI(r, cx[0]), Isa::And(okx[0], oky[row]), Isa::And(okx[1], oky[row]), t[0], t[1]);
            LoadPremulPair(c.src, Isa::AddI(r, cx[2]), Isa::And(okx[2], oky[row]), Isa::And(okx[3], oky[row]), t[2], t[3]);
        } else {
            for (int k = 0; k < 4; k++)
                t[k] = LoadPremulAt(c.src, Isa::AddI(r, cx[k]), Isa::And(okx[k], oky[row]));
        }
        if (row == 1 || row == 2) {
            lo.b = Isa::Min(lo.b, Isa::Min(t[1].b, t[2].b));
            lo.g = Isa::Min(lo.g, Isa::Min(t[1].g, t[2].g));
            lo.r = Isa::Min(lo.r, Isa::Min(t[1].r, t[2].r));
            lo.a = Isa::Min(lo.a, Isa::Min(t[1].a, t[2].a));
            hi.b = Isa::Max(hi.b, Isa::Max(t[1].b, t[2].b));
            hi.g = Isa::Max(hi.g, Isa::Max(t[1].g, t[2].g));
            hi.r = Isa::Max(hi.r, Isa::Max(t[1].r, t[2].r));
            hi.a = Isa::Max(hi.a, Isa::Max(t[1].a, t[2].a));
        }
        F w = yw[row];
        acc.b = acc.b + CubicSum(t[0].b, t[1].b, t[2].b, t[3].b, x0, x1, x2, x3) * w;
        acc.g = acc.g + CubicSum(t[0].g, t[1].g, t[2].g, t[3].g, x0, x1, x2, x3) * w;
        acc.r = acc.r + CubicSum(t[0].r, t[1].r, t[2].r, t[3].r, x0, x1, x2, x3) * w;
        acc.a = acc.a + CubicSum(t[0].a, t[1].a, t[2].a, t[3].a, x0, x1, x2, x3) * w;
    }
    return Px{Clamp(acc.b, lo.b, hi.b), Clamp(acc.g, lo.g, hi.g), Clamp(acc.r, lo.r, hi.r), Clamp(acc.a, lo.a, hi.a)};
}

// ---- Footprint sampling (qf_footprint_samples, qf_sample) -----------------------------------------

inline I FootprintSamples(F l)
{
    F v = l - Splat(0.25f);
    I n = Isa::ToInt(v);
    return Isa::SelI(Isa::Lt(Isa::ToFloat(n), v), Isa::AddI(n, Isa::SetI(1)), n);
}

// qf_sample's footprint: the Jacobian after the NaN guard and the cap, and the sub-sample counts.
struct Footprint {
    F j00, j01, j10, j11;
    I na, nb;
    M single;  // na * nb == 1
};

inline Footprint MakeFootprint(const RowCtx& c, F j00, F j01, F j10, F j11)
{
    const int cap = c.f->aa_cap;
    F la = Isa::Sqrt(j00 * j00 + j10 * j10);
    F lb = Isa::Sqrt(j01 * j01 + j11 * j11);
    const float lmax = (float)cap + 1.0f;
    M badA = Isa::Not(Isa::Lt(la, Splat(1e30f)));
    la = Isa::Sel(badA, Splat(lmax + 1.0f), la);
    j00 = Isa::Sel(badA, Splat(lmax), j00);
    j10 = Isa::Sel(badA, Splat(0.0f), j10);
    M badB = Isa::Not(Isa::Lt(lb, Splat(1e30f)));
    lb = Isa::Sel(badB, Splat(lmax + 1.0f), lb);
    j01 = Isa::Sel(badB, Splat(0.0f), j01);
    j11 = Isa::Sel(badB, Splat(lmax), j11);
    // Lanes that keep their length divide by 1 instead, so no lane divides by zero.
    M bigA = Isa::Gt(la, Splat(lmax));
    F sa = Splat(lmax) / Isa::Sel(bigA, la, Splat(1.0f));
    j00 = Isa::Sel(bigA, j00 * sa, j00);
    j10 = Isa::Sel(bigA, j10 * sa, j10);
    la = Isa::Sel(bigA, Splat(lmax), la);
    M bigB = Isa::Gt(lb, Splat(lmax));
    F sb = Splat(lmax) / Isa::Sel(bigB, lb, Splat(1.0f));
    j01 = Isa::Sel(bigB, j01 * sb, j01);
    j11 = Isa::Sel(bigB, j11 * sb, j11);
    lb = Isa::Sel(bigB, Splat(lmax), lb);
    Footprint fp;
    fp.j00 = j00;
    fp.j01 = j01;
    fp.j10 = j10;
    fp.j11 = j11;
    fp.na = MaxI(MinI(FootprintSamples(la), cap), 1);
    fp.nb = MaxI(MinI(FootprintSamples(lb), cap), 1);
    fp.single = Isa::And(Isa::EqI(fp.na, Isa::SetI(1)), Isa::EqI(fp.nb, Isa::SetI(1)));
    return fp;
}

// qf_sample at (x, y) for the lanes in `live`; other lanes come back as zero.
inline Px Sample(const RowCtx& c, const Footprint& fp, F x, F y, M live)
{
    Px res = PxZero();
    M single = Isa::And(live, fp.single);
    M grid = Isa::And(live, Isa::Not(fp.single));
    if (Isa::Any(single)) {
        Px s = c.f->bicubic ? Bicubic(c, x, y) : Bilinear(c, x, y);
        res = PxSel(single, s, res);
    }
    if (Isa::Any(grid)) {
        // Lanes with fewer sub-samples sit out the extra rounds; neighbouring pixels have nearly the
        // same footprint, so few rounds are wasted.
        const int maxA = Isa::MaxLane(fp.na, grid);
        const int maxB = Isa::MaxLane(fp.nb, grid);
        F fna = Isa::ToFloat(fp.na);
        F fnb = Isa::ToFloat(fp.nb);
        F va[VECTOR_MAX_AA_CAP];
        for (int i = 0; i < maxA; i++)
            va[i] = Splat((float)i + 0.5f) / fna - Splat(0.5f);
        Px acc = PxZero();
        for (int j = 0; j < maxB; j++) {
            M rowLive = Isa::And(grid, Isa::GtI(fp.nb, Isa::SetI(j)));
            F vb = Splat((float)j + 0.5f) / fnb - Splat(0.5f);
            F bx = fp.j01 * vb;
            F by = fp.j11 * vb;
            for (int i = 0; i < maxA; i++) {
                M on = Isa::And(rowLive, Isa::GtI(fp.na, Isa::SetI(i)));
                if (!Isa::Any(on))
                    continue;
                Px s = Bilinear(c, (x + fp.j00 * va[i]) + bx, (y + fp.j10 * va[i]) + by);
                acc.b = Isa::Sel(on, acc.b + s.b, acc.b);
                acc.g = Isa::Sel(on, acc.g + s.g, acc.g);
                acc.r = Isa::Sel(on, acc.r + s.r, acc.r);
                acc.a = Isa::Sel(on, acc.a + s.a, acc.a);
            }
        }
        F inv = Splat(1.0f) / Isa::ToFloat(Isa::MulI(fp.na, fp.nb));
        res = PxSel(grid, Px{acc.b * inv, acc.g * inv, acc.r * inv, acc.a * inv}, res);
    }
    return res;
}

// ---- Strength map (qf_map_value) -----------------------------------------------------------------

inline F MapValue(const RowCtx& c, I X)
{
    const QF_Frame* f = c.f;
    F x = Coord((Isa::ToFloat(X) + Splat(0.5f)) * Splat(f->map_sx) + Splat(f->map_ox));
    F fx = Isa::Floor(x);
    F tx = x - fx;
    const float fy = floorf(c.mapY);
    const float ty = c.mapY - fy;
    I x0 = Isa::ToInt(fx);
    I x1 = Isa::AddI(x0, Isa::SetI(1));
    int y0 = (int)fy;
    int y1 = y0 + 1;
    x0 = MaxI(MinI(x0, f->map_w - 1), 0);
    x1 = MaxI(MinI(x1, f->map_w - 1), 0);
    y0 = y0 < f->map_h - 1 ? y0 : f->map_h - 1;
    y0 = y0 > 0 ? y0 : 0;
    y1 = y1 < f->map_h - 1 ? y1 : f->map_h - 1;
    y1 = y1 > 0 ? y1 : 0;
    const int pitch = f->map_pitch;
    I Y0 = Isa::SetI(y0), Y1 = Isa::SetI(y1);
    Px top = PxLerp(LoadPremul(c.map, pitch, x0, Y0, Isa::All()), LoadPremul(c.map, pitch, x1, Y0, Isa::All()), tx);
    Px bottom =
        PxLerp(LoadPremul(c.map, pitch, x0, Y1, Isa::All()), LoadPremul(c.map, pitch, x1, Y1, Isa::All()), tx);
    Px v = PxLerp(top, bottom, Splat(ty));
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
        m = (Splat(0.2126f) * v.r + Splat(0.7152f) * v.g) + Splat(0.0722f) * v.b;
        break;
    }
    m = Clamp(m, Splat(0.0f), Splat(1.0f));
    return f->map_invert ? Splat(1.0f) - m : m;
}

// ---- Trigonometry, waveforms and the field (qf_sincos, qf_wave, qf_field) ------------------------

inline void SinCos(F x, F& s, F& c)
{
    F t = x * Splat(QF_INV_2PI);
    t = t - Isa::Floor(t + Splat(0.5f));
    M up = Isa::Gt(t, Splat(0.25f));
    M down = Isa::Lt(t, Splat(-0.25f));
    t = Isa::Sel(up, Splat(0.5f) - t, Isa::Sel(down, Splat(-0.5f) - t, t));
    F sg = Isa::Sel(Isa::Or(up, down), Splat(-1.0f), Splat(1.0f));
    F a = t * Splat(QF_TWO_PI);
    F a2 = a * a;
    F sn = a * (Splat(1.0f) +
                a2 * (Splat(QF_S1) + a2 * (Splat(QF_S2) + a2 * (Splat(QF_S3) + a2 * (Splat(QF_S4) + a2 * Splat(QF_S5))))));
    F cs = Splat(1.0f) +
           a2 * (Splat(QF_C1) +
                 a2 * (Splat(QF_C2) + a2 * (Splat(QF_C3) + a2 * (Splat(QF_C4) + a2 * (Splat(QF_C5) + a2 * Splat(QF_C6))))));
    s = sn;
    c = sg * cs;
}

template <int TYPE>
inline F Wave(F ph, F& dw)
{
    if (TYPE == QF_WAVE_TRIANGLE) {
        F u = ph * Splat(QF_INV_2PI) + Splat(0.25f);
        u = u - Isa::Floor(u);
        const float slope = 4.0f * QF_INV_2PI;
        dw = Isa::Sel(Isa::Lt(u, Splat(0.5f)), Splat(slope), Splat(-slope));
        return Splat(1.0f) - Splat(4.0f) * Isa::Abs(u - Splat(0.5f));
    }
    if (TYPE == QF_WAVE_SAWTOOTH) {
        const float rise = QF_SAW_RISE;
        const float fall = 1.0f - rise;
        F u = ph * Splat(QF_INV_2PI) + Splat(0.5f * rise);
        u = u - Isa::Floor(u);
        M up = Isa::Lt(u, Splat(rise));
        dw = Isa::Sel(up, Splat((2.0f / rise) * QF_INV_2PI), Splat((-2.0f / fall) * QF_INV_2PI));
        F wUp = Splat(-1.0f) + (Splat(2.0f) * u) / Splat(rise);
        F wDown = Splat(1.0f) - (Splat(2.0f) * (u - Splat(rise))) / Splat(fall);
        return Isa::Sel(up, wUp, wDown);
    }
    F s, c;
    SinCos(ph, s, c);
    if (TYPE == QF_WAVE_LIQUID) {
        F s2 = (Splat(2.0f) * s) * c;
        F c2 = c * c - s * s;
        F h = s2 * Splat(QF_LIQUID_CB) + c2 * Splat(QF_LIQUID_SB);
        F hc = c2 * Splat(QF_LIQUID_CB) - s2 * Splat(QF_LIQUID_SB);
        dw = (c + Splat(0.9f) * hc) * Splat(QF_LIQUID_NORM);
        return (s + Splat(0.45f) * h) * Splat(QF_LIQUID_NORM);
    }
    if (TYPE == QF_WAVE_DRIP) {
        F a = Isa::Sqrt(Splat(0.5f) * (Splat(1.0f) - c) + Splat(QF_DRIP_EPS));
        const float k = 2.0f / (QF_DRIP_A1 - QF_DRIP_A0);
        dw = (Splat(k) * s) / (Splat(4.0f) * a);
        return Splat(-1.0f) + Splat(k) * (a - Splat(QF_DRIP_A0));
    }
    if (TYPE == QF_WAVE_SQUARE) {
        F d = Splat(1.0f) + Splat(QF_SQUARE_K) * Isa::Abs(s);
        const float k1 = 1.0f + QF_SQUARE_K;
        dw = (c * Splat(k1)) / (d * d);
        return (s * Splat(k1)) / d;
    }
    dw = c;
    return s;
}

struct FieldOut {
    F dx, dy, j00, j01, j10, j11;
};

// qf_field at (px, py). When the row's y is the same on every lane (the first iteration), kyPy holds
// ky * py per wave, formed from the same operands as the kernel's product, and py is not read.
template <int TYPE>
inline FieldOut Field(const RowCtx& c, F px, F py, const float* kyPy)
{
    F sx = Splat(0.0f), sy = Splat(0.0f), a = Splat(0.0f), b = Splat(0.0f), cc = Splat(0.0f), d = Splat(0.0f);
    for (int i = 0; i < c.waves; i++) {
        const QF_Wave& w = c.f->waves[i];
        F base = kyPy ? Splat(w.kx) * px + Splat(kyPy[i]) : Splat(w.kx) * px + Splat(w.ky) * py;
        F dwf, dwd;
        F wf = Wave<TYPE>(base + Splat(w.phf), dwf);
        F wd = Wave<TYPE>(base + Splat(w.phd), dwd);
        sx = sx + (wf * Splat(w.fx) + wd * Splat(w.dx));
        sy = sy + (wf * Splat(w.fy) + wd * Splat(w.dy));
        F gx = dwf * Splat(w.fx) + dwd * Splat(w.dx);
        F gy = dwf * Splat(w.fy) + dwd * Splat(w.dy);
        a = a + gx * Splat(w.kx);
        b = b + gx * Splat(w.ky);
        cc = cc + gy * Splat(w.kx);
        d = d + gy * Splat(w.ky);
    }
    return FieldOut{sx, sy, a, b, cc, d};
}

// ---- Shading (qf_shade) --------------------------------------------------------------------------

// One block of lanes between its field (first stage) and its sampling (second stage).
struct Block {
    int bx0, count;
    I ox;       // input column at the same layer position, held inside the buffer
    M lanes;    // lanes [0, count)
    M warp;     // lanes that do not take the early exit
    M live;     // warp and lanes
    F x, y;     // sampling centre, layer pixels
    F ddx, ddy; // displacement, buffer pixels (the colour split scales it)
    Footprint fp;
};

// Everything of qf_shade before the first texel of the warped sample is read.
template <int TYPE>
inline void WarpBlock(const RowCtx& c, int bx0, int count, Block& k)
{
    const QF_Frame* f = c.f;
    I X = Isa::AddI(Isa::SetI(f->out_x0 + bx0), Isa::Iota());
    k.bx0 = bx0;
    k.count = count;
    k.ox = MaxI(MinI(Isa::SubI(X, Isa::SetI(f->in_x0)), f->in_w - 1), 0);
    F m = Splat(1.0f);
    if (f->has_map)
        m = MapValue(c, X);
    // The frame-wide exits (mix, no waves) never reach this function.
    k.warp = Isa::Not(Isa::Le(m, Splat(0.0f)));
    k.lanes = Isa::FirstN(count);
    k.live = Isa::And(k.warp, k.lanes);
    if (!Isa::Any(k.live))
        return;
    F pfx = (Isa::ToFloat(X) + Splat(0.5f)) / Splat(f->dsx);
    F a00 = Splat(1.0f), a01 = Splat(0.0f), a10 = Splat(0.0f), a11 = Splat(1.0f);
    F dispx = Splat(0.0f), dispy = Splat(0.0f);
    float kyPy[QF_MAX_WAVES];
    for (int it = 0; it < f->iterations; it++) {
        FieldOut g;
        if (it == 0) {
            // dispy is still 0 on every lane, so py is one value for the row.
            const float py = c.pfy + 0.0f;
            for (int i = 0; i < c.waves; i++)
                kyPy[i] = f->waves[i].ky * py;
            g = Field<TYPE>(c, pfx + dispx, Splat(py), kyPy);
        } else {
            g = Field<TYPE>(c, pfx + dispx, Splat(c.pfy) + dispy, nullptr);
        }
        F e00 = Splat(1.0f) + m * (g.j00 * a00 + g.j01 * a10);
        F e01 = m * (g.j00 * a01 + g.j01 * a11);
        F e10 = m * (g.j10 * a00 + g.j11 * a10);
        F e11 = Splat(1.0f) + m * (g.j10 * a01 + g.j11 * a11);
        a00 = e00;
        a01 = e01;
        a10 = e10;
        a11 = e11;
        dispx = m * g.dx;
        dispy = m * g.dy;
    }
    k.ddx = dispx * Splat(f->dsx);
    k.ddy = dispy * Splat(f->dsy);
    F j01 = (a01 * Splat(f->dsx)) / Splat(f->dsy);
    F j10 = (a10 * Splat(f->dsy)) / Splat(f->dsx);
    k.x = Isa::ToFloat(X);
    k.y = Splat((float)c.Y);
    k.fp = MakeFootprint(c, a00, j01, j10, a11);
}

// Asks for the source rows around each lane's sampling centre, so they are on their way while the
// previous block is sampled. Only a hint: any lane, any position.
inline void PrefetchBlock(const RowCtx& c, const Block& k)
{
    if (!Isa::Any(k.live))
        return;
    F x = Coord(k.x + k.ddx);
    F y = Coord(k.y + k.ddy);
    M ok = Isa::All();
    I ix = MapAxis(Isa::ToInt(Isa::Floor(x)), c.ax, ok);
    I iy = Isa::ToInt(Isa::Floor(y));
    const int pitch = c.f->in_pitch;
    // The rows of the centre's bilinear taps and the two below, where the footprints of the next output
    // rows reach first; the rows above were read by the rows before. Every lane, since under compression
    // neighbouring lanes read lines far apart.
    for (int d = 0; d <= 3; d++) {
        M ok2 = Isa::All();
        I r = MapAxis(Isa::AddI(iy, Isa::SetI(d)), c.ay, ok2);
        Isa::Prefetch(c.src, Isa::AddI(Isa::MulI(r, Isa::SetI(pitch)), ix));
    }
}

// The rest of qf_shade: sampling, colour split, mix, un-premultiplying; writes lanes [0, count).
inline void FinishBlock(const RowCtx& c, const Block& k, float* out)
{
    const QF_Frame* f = c.f;
    I oy = Isa::SetI(c.oy);
    Px res = PxZero();
    if (Isa::Any(k.live)) {
        if (f->split == 0.0f) {
            res = Sample(c, k.fp, k.x + k.ddx, k.y + k.ddy, k.live);
        } else {
            const float kr = 1.0f + f->split;
            const float kb = 1.0f - f->split;
            Px gs = Sample(c, k.fp, k.x + k.ddx, k.y + k.ddy, k.live);
            Px rs = Sample(c, k.fp, k.x + k.ddx * Splat(kr), k.y + k.ddy * Splat(kr), k.live);
            Px bs = Sample(c, k.fp, k.x + k.ddx * Splat(kb), k.y + k.ddy * Splat(kb), k.live);
            res = Px{bs.b, gs.g, rs.r, gs.a};
        }
        if (f->mix < 1.0f) {
            Px orig = LoadPremul(c.src, f->in_pitch, k.ox, oy, Isa::All());
            res = PxLerp(orig, res, Splat(f->mix));
        }
        F a = res.a;
        M visible = Isa::Gt(a, Splat(QF_MIN_ALPHA));
        // Invisible lanes divide by 1 instead of by a tiny or NaN alpha; they are zeroed below.
        a = Isa::Sel(visible, Isa::Min(a, Splat(1.0f)), Splat(1.0f));
        res = Px{Isa::Keep(visible, Sane(res.b / a)), Isa::Keep(visible, Sane(res.g / a)),
                 Isa::Keep(visible, Sane(res.r / a)), Isa::Keep(visible, a)};
    }
    M still = Isa::And(k.lanes, Isa::Not(k.warp));
    if (Isa::Any(still))
        res = PxSel(k.warp, res, LoadStraight(c.src, f->in_pitch, k.ox, oy));
    Isa::StoreAos(out + 4 * k.bx0, k.count, res.b, res.g, res.r, res.a);
}

// Every pixel the straight input at its layer position: the frame-wide early exit of qf_shade.
inline void StraightRow(const RowCtx& c, float* out)
{
    const QF_Frame* f = c.f;
    I oy = Isa::SetI(c.oy);
    for (int bx0 = 0; bx0 < f->out_w; bx0 += L) {
        int count = f->out_w - bx0 < L ? f->out_w - bx0 : L;
        I X = Isa::AddI(Isa::SetI(f->out_x0 + bx0), Isa::Iota());
        I ox = MaxI(MinI(Isa::SubI(X, Isa::SetI(f->in_x0)), f->in_w - 1), 0);
        Px p = LoadStraight(c.src, f->in_pitch, ox, oy);
        Isa::StoreAos(out + 4 * bx0, count, p.b, p.g, p.r, p.a);
    }
}

// Blocks between a block's field and its sampling.
constexpr int PREFETCH_BLOCKS = 2;

// Two stages PREFETCH_BLOCKS blocks apart: while block b is sampled, the source rows of block
// b + PREFETCH_BLOCKS are already on their way, since the warp scatters reads over many source rows and
// waiting on memory would otherwise dominate.
template <int TYPE>
inline void ShadeRowBlocks(const RowCtx& c, float* out)
{
    const int w = c.f->out_w;
    const int blocks = (w + L - 1) / L;
    Block ring[PREFETCH_BLOCKS + 1];
    for (int b = 0; b < blocks + PREFETCH_BLOCKS; b++) {
        if (b < blocks) {
            Block& k = ring[b % (PREFETCH_BLOCKS + 1)];
            WarpBlock<TYPE>(c, b * L, w - b * L < L ? w - b * L : L, k);
            PrefetchBlock(c, k);
        }
        if (b >= PREFETCH_BLOCKS)
            FinishBlock(c, ring[(b - PREFETCH_BLOCKS) % (PREFETCH_BLOCKS + 1)], out);
    }
}

inline Axis MakeAxis(int lo, int hi, int b0, int n, int mode)
{
    Axis a;
    a.lo = lo;
    a.hi = hi;
    a.b0 = b0;
    a.n = n;
    a.mode = mode;
    a.dead = hi - lo <= 0 || n <= 0;
    return a;
}

inline void ShadeRowLanes(const QF_Frame& f, const float* src, const float* map, int32_t row, float* out)
{
    if (f.out_w <= 0)
        return;
    if (!VectorFrameSupported(f)) {
        ShadePixelsScalar(f, src, map, row, 0, f.out_w, out);
        return;
    }
    RowCtx c;
    c.f = &f;
    c.src = src;
    c.map = map;
    c.ax = MakeAxis(f.lay_x0, f.lay_x1, f.in_x0, f.in_w, f.edge_mode);
    c.ay = MakeAxis(f.lay_y0, f.lay_y1, f.in_y0, f.in_h, f.edge_mode);
    c.waves = f.num_waves < QF_MAX_WAVES ? f.num_waves : QF_MAX_WAVES;
    c.Y = f.out_y0 + row;
    int oy = c.Y - f.in_y0;
    oy = oy < f.in_h - 1 ? oy : f.in_h - 1;
    c.oy = oy > 0 ? oy : 0;
    c.pfy = ((float)c.Y + 0.5f) / f.dsy;
    c.mapY = 0.0f;
    if (f.mix <= 0.0f || f.num_waves <= 0) {
        StraightRow(c, out);
        return;
    }
    if (f.has_map) {
        if (f.map_w <= 0 || f.map_h <= 0) {
            // Strength 0 everywhere.
            StraightRow(c, out);
            return;
        }
        float y = ((float)c.Y + 0.5f) * f.map_sy + f.map_oy;
        c.mapY = !(y > -QF_COORD_LIMIT) ? -QF_COORD_LIMIT : (y > QF_COORD_LIMIT ? QF_COORD_LIMIT : y);
    }
    switch (f.waveform) {
    case QF_WAVE_LIQUID:
        ShadeRowBlocks<QF_WAVE_LIQUID>(c, out);
        break;
    case QF_WAVE_DRIP:
        ShadeRowBlocks<QF_WAVE_DRIP>(c, out);
        break;
    case QF_WAVE_TRIANGLE:
        ShadeRowBlocks<QF_WAVE_TRIANGLE>(c, out);
        break;
    case QF_WAVE_SQUARE:
        ShadeRowBlocks<QF_WAVE_SQUARE>(c, out);
        break;
    case QF_WAVE_SAWTOOTH:
        ShadeRowBlocks<QF_WAVE_SAWTOOTH>(c, out);
        break;
    default:
        ShadeRowBlocks<QF_WAVE_SINE>(c, out);
        break;
    }
}
