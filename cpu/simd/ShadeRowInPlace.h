// The lanes reading and writing the worlds in place, for one instruction set: each pixel format of
// PixelFormats.h as the texel source the kernel's lane flavour (WarpKernelLanes.h) is instantiated with,
// and as the store of an output row, with exactly the arithmetic of ReadLevel and WriteLevel; then the row
// shader over them. Each instruction-set file includes this inside its anonymous namespace, after `Isa`
// and WarpKernelLanes.h. Isa provides, beyond what the lane flavour uses: Gather32 (32-bit words), Load4
// and Load4Pair (pixels of four floats), Store4, StoreWords and StoreWordPairs, and the integer bit
// operations below.

template <class P>
struct LaneFormat {
    static constexpr int PIXEL_BYTES = P::PIXEL_BYTES;

    // Integer levels as ReadLevel reads them.
    static F Level(I level) { return Isa::ToFloat(level) * Isa::Set(P::INVERSE); }

    // Floats as WriteLevel writes integer levels: QuantiseLevel per lane.
    static I Quantise(F v)
    {
        I q = Isa::ToInt(v * Isa::Set(float(P::FULL_SCALE)) + Isa::Set(0.5f));
        q = Isa::SelI(Isa::Gt(v, Isa::Set(0.0f)), q, Isa::SetI(0));
        return Isa::SelI(Isa::Ge(v, Isa::Set(1.0f)), Isa::SetI(P::FULL_SCALE), q);
    }

    // The four channels, in memory order, of the pixels at offsets off (in pixels) from base.
    static void Channels(const char* base, I off, F c[4])
    {
        if constexpr (P::FLOAT) {
            Isa::Load4(base, off, c[0], c[1], c[2], c[3]);
        } else if constexpr (P::PIXEL_BYTES == 8) {
            const I lo = Isa::template Gather32<8>(base, off);
            const I hi = Isa::template Gather32<8>(base + 4, off);
            const I mask = Isa::SetI(0xffff);
            c[0] = Level(Isa::AndI(lo, mask));
            c[1] = Level(Isa::template Srl<16>(lo));
            c[2] = Level(Isa::AndI(hi, mask));
            c[3] = Level(Isa::template Srl<16>(hi));
        } else {
            static_assert(P::PIXEL_BYTES == 4, "8-, 16-bit and float channels");
            const I w = Isa::template Gather32<4>(base, off);
            const I mask = Isa::SetI(0xff);
            c[0] = Level(Isa::AndI(w, mask));
            c[1] = Level(Isa::AndI(Isa::template Srl<8>(w), mask));
            c[2] = Level(Isa::AndI(Isa::template Srl<16>(w), mask));
            c[3] = Level(Isa::template Srl<24>(w));
        }
    }

    static void Load(const qfl_image& im, I off, qfl4& p)
    {
        F c[4];
        Channels(im.base, off, c);
        p = qfl4{c[P::B], c[P::G], c[P::R], c[P::A]};
    }

    // The pixel at each offset and its right neighbour, one pixel further in memory.
    static void LoadPair(const qfl_image& im, I off, qfl4& p0, qfl4& p1)
    {
        F c0[4], c1[4];
        if constexpr (P::FLOAT) {
            Isa::Load4Pair(im.base, off, c0[0], c0[1], c0[2], c0[3], c1[0], c1[1], c1[2], c1[3]);
        } else {
            Channels(im.base, off, c0);
            Channels(im.base + PIXEL_BYTES, off, c1);
        }
        p0 = qfl4{c0[P::B], c0[P::G], c0[P::R], c0[P::A]};
        p1 = qfl4{c1[P::B], c1[P::G], c1[P::R], c1[P::A]};
    }

    static void Store(char* row, int bx0, int count, const qfl4& v)
    {
        char* out = row + std::ptrdiff_t(bx0) * PIXEL_BYTES;
        if constexpr (P::FLOAT) {
            F c[4];
            c[P::B] = v.b;
            c[P::G] = v.g;
            c[P::R] = v.r;
            c[P::A] = v.a;
            Isa::Store4(out, count, c[0], c[1], c[2], c[3]);
        } else {
            I c[4];
            c[P::B] = Quantise(v.b);
            c[P::G] = Quantise(v.g);
            c[P::R] = Quantise(v.r);
            c[P::A] = Quantise(v.a);
            if constexpr (P::PIXEL_BYTES == 8) {
                Isa::StoreWordPairs(out, count, Isa::OrI(c[0], Isa::template Sll<16>(c[1])),
                                    Isa::OrI(c[2], Isa::template Sll<16>(c[3])));
            } else {
                Isa::StoreWords(out, count,
                                Isa::OrI(Isa::OrI(c[0], Isa::template Sll<8>(c[1])),
                                         Isa::OrI(Isa::template Sll<16>(c[2]), Isa::template Sll<24>(c[3]))));
            }
        }
    }
};

// Only templates and functions of this file are called from here on, no inline function of a shared
// header: compiled with this file's instruction set, such a function could be the copy the linker keeps
// for every caller.
// VectorFrameSupported has checked that the world's rows are a whole number of pixels apart.
inline qfl_image LaneImage(const WorldView& world)
{
    const int pixel_bytes = WithPixelFormat(world.depth, world.order, []<class P>() { return P::PIXEL_BYTES; });
    qfl_image im;
    im.base = static_cast<const char*>(world.data);
    im.stride = int(world.row_bytes / pixel_bytes);
    return im;
}

// ShadeRowFn's contract (ShadeRow.h) for frames VectorFrameSupported accepts.
inline void ShadeRowInPlace(const QF_Frame& frame, const ShadeWorlds& worlds, int32_t row)
{
    qfl_row c;
    c.f = &frame;
    c.src = LaneImage(worlds.input);
    c.map = LaneImage(worlds.map);
    c.map_value = nullptr;
    if (frame.has_map) {
        c.map_value = WithPixelFormat(worlds.map.depth, worlds.map.order,
                                      []<class P>() { return &qfl_map_value<LaneFormat<P>>; });
    }
    c.out = static_cast<char*>(worlds.output.data) + std::int64_t(row) * std::int64_t(worlds.output.row_bytes);
    c.store = WithPixelFormat(worlds.output.depth, worlds.output.order, []<class P>() { return &LaneFormat<P>::Store; });
    WithPixelFormat(worlds.input.depth, worlds.input.order, [&]<class P>() { qfl_shade_row<LaneFormat<P>>(c, row); });
}
