// The hostile host behind the fuzz target and the corpus replay. See FuzzHarness.h.
#include "FuzzHarness.h"

#include "Drawbot.h"
#include "GpuHost.h"
#include "HostSim.h"
#include "ParamIndex.h"
#include "PreRenderData.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace {

// ---- reading the input ----

// The input as a stream of choices; past its end every read gives zeros.
class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool Empty() const { return pos_ >= size_; }
    std::uint8_t U8() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint32_t U32()
    {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            v |= static_cast<std::uint32_t>(U8()) << (8 * i);
        }
        return v;
    }
    std::uint64_t U64() { return U32() | (static_cast<std::uint64_t>(U32()) << 32); }
    bool Bool() { return (U8() & 1) != 0; }
    // lo to hi inclusive.
    int Range(int lo, int hi)
    {
        const auto span = static_cast<std::uint32_t>(static_cast<std::int64_t>(hi) - lo + 1);
        const std::uint32_t pick = span <= 256 ? U8() : U32();
        return static_cast<int>(lo + static_cast<std::int64_t>(pick % span));
    }
    template <typename T, std::size_t N>
    T Pick(const T (&table)[N])
    {
        return table[U8() % N];
    }

    // Numbers a careless or hostile host hands over: non-finite values, the ends of every range, and raw
    // bit patterns.
    double Double()
    {
        static const double SPECIAL[] = {
            std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
            std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
            std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest(),
            std::numeric_limits<double>::denorm_min(), -0.0, 0.0, 1.0, -1.0, 0.5, 100.0, 360.0, 1e9, -1e9,
            2147483648.0, -2147483649.0, 1e300, -1e300, 1e-300, 4.5e15, 100000.0, 1000.0, 2.0, 32.0, 7.0, 33.0,
        };
        const std::uint8_t kind = U8();
        if (kind < 128) {
            return SPECIAL[kind % std::size(SPECIAL)];
        }
        if (kind < 192) {
            return static_cast<double>(static_cast<std::int8_t>(U8())) * (kind & 1 ? 1.0 : 10.0);
        }
        return std::bit_cast<double>(U64());
    }
    std::int32_t Int32()
    {
        static const std::int32_t SPECIAL[] = {
            std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max(), 0, 1, -1, 2, 16,
            1 << 20, -(1 << 20), 1 << 30, -(1 << 30), std::numeric_limits<std::int32_t>::min() + 1,
            std::numeric_limits<std::int32_t>::max() - 1, 1000000, -1000000,
        };
        const std::uint8_t kind = U8();
        if (kind < 96) {
            return SPECIAL[kind % std::size(SPECIAL)];
        }
        if (kind < 192) {
            return static_cast<std::int8_t>(U8());
        }
        return static_cast<std::int32_t>(U32());
    }
    float Float()
    {
        static const float SPECIAL[] = {
            std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
            -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::max(),
            std::numeric_limits<float>::denorm_min(), -0.0f, 0.0f, 1.0f, 0.5f, -1.0f, 2.0f, 1e30f, 1e-7f,
        };
        const std::uint8_t kind = U8();
        if (kind < 64) {
            return SPECIAL[kind % std::size(SPECIAL)];
        }
        if (kind < 224) {
            return static_cast<float>(U8()) / 255.0f;
        }
        return std::bit_cast<float>(U32());
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// ---- limits that keep one run fast ----

// Pixels in one layer or output; a single row or column may be longer, so that 1 x 100000 happens.
constexpr std::int64_t PIXEL_BUDGET = 4096;
constexpr std::int64_t LINE_BUDGET = 100000;
constexpr int MAX_STEPS = 24;
constexpr int MAX_FRAMES = 6;   // steps that render, per input
// Input pixels that the steps of one input may render (each step counted once): a 1 x 100000 layer
// renders once, small layers many times.
constexpr std::int64_t FRAME_PIXEL_BUDGET = 120000;

void Fail(const char* what)
{
    std::fprintf(stderr, "fuzz harness: %s\nsteps: %s\n", what, FuzzTrace().c_str());
    std::abort();
}

#define FUZZ_CHECK(condition, what)                                                                         \
    do {                                                                                                    \
        if (!(condition)) {                                                                                 \
            Fail(what);                                                                                     \
        }                                                                                                   \
    } while (0)

std::string g_trace;

// ---- the reference frame, rendered once per process ----

struct Reference {
    std::unique_ptr<HostSim> host;   // keeps the module loaded for the whole process
    FloatImage image;
};
Reference* g_reference = nullptr;

FloatImage ReferencePicture()
{
    FloatImage image(12, 9);
    for (A_long y = 0; y < image.height; ++y) {
        for (A_long x = 0; x < image.width; ++x) {
            image.Set(x, y, 0.1f * static_cast<float>(x % 7), 0.05f * static_cast<float>(y), 0.7f,
                      x == 3 ? 0.0f : 1.0f);
        }
    }
    return image;
}

FloatImage RenderReference(HostSim& host)
{
    host.settings() = HostSettings{};
    RenderRequest request;
    request.depth = PixelDepth::Float;
    const RenderResult result = host.render().Frame(request);
    if (result.error != PF_Err_NONE || !result.rendered) {
        Fail("the reference frame did not render");
    }
    return result.image;
}

// ---- building the host's state from bytes ----

A_long Side(Bytes& in, std::int64_t budget)
{
    return static_cast<A_long>(1 + in.U32() % static_cast<std::uint32_t>(budget));
}

// A layer size: empty, tiny, small, a long line either way, or anything within the budget.
void LayerSize(Bytes& in, A_long& width, A_long& height)
{
    switch (in.U8() % 6) {
    case 0:
        width = in.Range(0, 4);
        height = in.Range(0, 4);
        break;
    case 1:
        width = in.Range(1, 64);
        height = in.Range(1, 64);
        break;
    case 2:
        width = Side(in, LINE_BUDGET);
        height = in.Range(1, 2);
        break;
    case 3:
        width = in.Range(1, 2);
        height = Side(in, LINE_BUDGET);
        break;
    default:
        width = Side(in, PIXEL_BUDGET);
        height = static_cast<A_long>(1 + in.U32() % static_cast<std::uint32_t>(std::max<std::int64_t>(1, PIXEL_BUDGET / width)));
        break;
    }
}

PixelDepth Depth(Bytes& in)
{
    static const PixelDepth DEPTHS[] = {PixelDepth::Bits8, PixelDepth::Bits16, PixelDepth::Float};
    return in.Pick(DEPTHS);
}

// Pixels from a small palette of hostile values, laid out with a stride so neighbours differ.
FloatImage Picture(Bytes& in, A_long width, A_long height)
{
    float palette[8];
    for (float& v : palette) {
        v = in.Float();
    }
    const std::size_t stride = 1 + in.U8() % 7;
    FloatImage image(width, height);
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        image.pixels[i] = palette[(i * stride + i / 5) % 8];
    }
    return image;
}

int AddLayer(HostSim& host, Bytes& in)
{
    A_long width = 0;
    A_long height = 0;
    LayerSize(in, width, height);
    const PixelDepth depth = Depth(in);
    const A_long padding = in.Bool() ? in.Range(0, 67) : 0;   // odd strides included
    return host.layers().Add(Picture(in, width, height), depth, padding);
}

PF_LRect Rect(Bytes& in)
{
    return PF_LRect{in.Int32(), in.Int32(), in.Int32(), in.Int32()};
}

// A value for one control: anything at all, as a double; the host converts it to the control's type,
// saturating integers and angles.
void SetHostileParam(HostSim& host, Bytes& in)
{
    const int index = in.Range(2, PARAM_COUNT - 2);
    const double value = in.Double();
    // A layer parameter holds a layer, not a value; after a failed parameter set-up the host holds fewer.
    if (index == PARAM_MAP_LAYER || index >= host.params().Count()) {
        return;
    }
    host.params().Set(index, value);
}

void SetHostileKeyframes(HostSim& host, Bytes& in)
{
    const int index = in.Range(2, PARAM_COUNT - 2);
    if (index == PARAM_MAP_LAYER || index >= host.params().Count()) {
        return;
    }
    std::vector<Keyframe> keys;
    const int count = in.Range(1, 3);
    for (int i = 0; i < count; ++i) {
        keys.push_back(Keyframe{in.Int32(), in.Double()});
    }
    host.params().SetKeyframes(index, std::move(keys));
}

void SetHostSettings(HostSim& host, Bytes& in)
{
    HostSettings& s = host.settings();
    switch (in.U8() % 6) {
    case 0:
        s.current_time = in.Int32();
        s.time_scale = static_cast<A_u_long>(in.Int32());
        break;
    case 1:
        s.downsample_x = PF_RationalScale{in.Int32(), static_cast<A_u_long>(in.Int32())};
        s.downsample_y = PF_RationalScale{in.Int32(), static_cast<A_u_long>(in.Int32())};
        break;
    case 2:
        s.width = in.Int32();
        s.height = in.Int32();
        break;
    case 3:
        s.total_time = in.Int32();
        s.time_step = in.Int32();
        break;
    case 4:
        s.appl_id = in.Bool() ? HostSettings::APPL_ID_PREMIERE : in.Int32();
        break;
    default:
        s = HostSettings{};
        break;
    }
}

// ---- what every command must leave behind ----

struct Hostility {
    bool injected = false;          // some host call may fail or throw
    bool checkout_lies = false;     // a checkout that reports success without handing out a definition,
                                    // or a check-in that fails: the host's own count goes astray
    bool suite_lies = false;        // an acquisition that reports success without counting it: the
                                    // plug-in rightly releases it, one release more than acquisitions
};

void CheckReleased(HostSim& host, const Hostility& hostility)
{
    FUZZ_CHECK(hostility.suite_lies ? host.suites().Outstanding() <= 0 : host.suites().Outstanding() == 0,
               "a suite was not released");
    if (!hostility.checkout_lies) {
        FUZZ_CHECK(host.params().OutstandingCheckouts() == 0, "a parameter was not checked in");
    }
    DrawingHost& ui = host.drawing();
    FUZZ_CHECK(ui.ImagesOutstanding() == 0, "a drawing image was not released");
    FUZZ_CHECK(ui.StateDepth() == 0, "a drawing state push was not popped");
    FUZZ_CHECK(ui.BadReleases() == 0, "a drawing object was released twice or never made");
    FUZZ_CHECK(ui.SourceChanges() == 0, "an image's pixels changed before its release");
}

bool DocumentedRenderCode(PF_Err err)
{
    return err == PF_Err_NONE || err == PF_Err_OUT_OF_MEMORY || err == PF_Err_INTERNAL_STRUCT_DAMAGED ||
           err == PF_Err_UNRECOGNIZED_PARAM_TYPE || err == PF_Err_INVALID_CALLBACK || err == PF_Interrupt_CANCEL;
}

// Pixels of the layer the effect is applied to (the cost of one frame), at least 1.
std::int64_t InputPixels(HostSim& host)
{
    const int input = host.params().LayerOf(PARAM_INPUT);
    if (input == NO_LAYER) {
        return 1;
    }
    const PixelBuffer& layer = host.layers().At(input);
    return std::max<std::int64_t>(1, std::int64_t{layer.width()} * layer.height());
}

// ---- the steps ----

void StepRender(HostSim& host, Bytes& in, const Hostility& hostility)
{
    RenderRequest request;
    if (in.Bool()) {
        request.rect = Rect(in);
    }
    request.depth = Depth(in);
    request.output_row_padding = in.Bool() ? in.Range(0, 67) : 0;
    static const PF_GPU_Framework FRAMEWORKS[] = {PF_GPU_Framework_NONE, PF_GPU_Framework_OPENCL,
                                                  PF_GPU_Framework_METAL, PF_GPU_Framework_CUDA};
    request.what_gpu = in.Pick(FRAMEWORKS);
    const std::uint8_t mode = in.U8();
#ifdef QF_FAKE_CUDA
    // The stand-in CUDA driver runs GPU frames in host memory, where AddressSanitizer watches them.
    if ((mode & 0x20) != 0) {
        request.renderer = Renderer::Cuda;
        request.gpu_row_padding = 16 * (in.U8() % 4);
    }
#endif
    request.render = (mode & 1) == 0;
    request.renders = InputPixels(host) > PIXEL_BUDGET ? 1 : 1 + (mode >> 1) % 2;   // a long line renders once
    request.pass_pre_render_data = (mode & 0x40) == 0;
    if (mode & 0x80) {
        request.layer_width = in.Int32();
        request.layer_height = in.Int32();
    }
    RenderResult result;
    try {
        result = host.render().Frame(request);
    } catch (const std::runtime_error&) {
        g_trace += " render(the host's device refused)";   // the simulator's own GPU calls; no command sent
        return;
    }
    g_trace += request.renderer == Renderer::Cuda ? " render(cuda)" : request.rect ? " render(rect)" : " render";
    FUZZ_CHECK(DocumentedRenderCode(result.pre_render_error) || hostility.injected, "undocumented pre-render code");
    FUZZ_CHECK(DocumentedRenderCode(result.render_error) || hostility.injected, "undocumented render code");
    if (!hostility.injected) {
        FUZZ_CHECK(result.pre_render_error == PF_Err_NONE, "a clean pre-render failed");
        if (request.render) {
            FUZZ_CHECK(result.render_error ==
                           (request.pass_pre_render_data ? PF_Err_NONE : PF_Err_INTERNAL_STRUCT_DAMAGED),
                       "a clean render gave the wrong code");
        }
        FUZZ_CHECK(result.had_pre_render_data, "a clean pre-render left no record");
    }
}

void StepLegacy(HostSim& host, Bytes& in, const Hostility& hostility)
{
    LegacyRequest request;
    request.depth = in.Bool() ? PixelDepth::Bits16 : PixelDepth::Bits8;
    // Without a size of its own the output takes the input layer's, or without one the host settings'
    // layer size, which may be anything: the harness names a size then.
    if (in.Bool() || InputPixels(host) <= 1) {
        request.width = Side(in, PIXEL_BUDGET);
        request.height = static_cast<A_long>(1 + in.U32() % static_cast<std::uint32_t>(PIXEL_BUDGET / request.width));
    }
    request.output_row_padding = in.Bool() ? in.Range(0, 67) : 0;
    request.output_origin_x = in.Int32();
    request.output_origin_y = in.Int32();
    if (in.Bool()) {
        request.layer_width = in.Int32();
        request.layer_height = in.Int32();
    }
    // The legacy road knows no float worlds; the simulator refuses them before any command is sent.
    RenderResult result;
    try {
        result = host.render().Legacy(request);
    } catch (const std::invalid_argument&) {
        g_trace += " legacy(float refused)";
        return;
    }
    g_trace += " legacy";
    if (!hostility.injected) {
        FUZZ_CHECK(result.render_error == PF_Err_NONE, "a clean legacy render failed");
    }
}

// PF_Cmd_SMART_PRE_RENDER sent by hand; the record stays with the caller.
PF_Err PreRenderByHand(HostSim& host, const PF_LRect& rect, PF_PreRenderInput& input, PF_PreRenderOutput& output)
{
    host.render().state().BeginFrame();
    input = PF_PreRenderInput{};
    input.output_request.rect = rect;
    input.output_request.channel_mask = 0xF;
    input.output_request.preserve_rgb_of_zero_alpha = true;
    input.bitdepth = 8;
    output = PF_PreRenderOutput{};
    PF_PreRenderCallbacks callbacks = RenderRoads::PreRenderCallbacks();
    PF_PreRenderExtra extra{&input, &output, &callbacks};
    return host.module().SendCommand(PF_Cmd_SMART_PRE_RENDER, &extra);
}

// PF_Cmd_SMART_RENDER sent by hand with any record, into the output of the last pre-render's frame.
PF_Err RenderByHand(HostSim& host, const PF_PreRenderOutput& frame, void* record, PixelDepth depth)
{
    RenderState& state = host.render().state();
    state.output_rect = frame.result_rect;
    state.output_world = nullptr;
    state.output_depth = depth;
    PF_SmartRenderInput input{};
    input.bitdepth = static_cast<A_short>(depth);
    input.pre_render_data = record;
    PF_SmartRenderCallbacks callbacks = RenderRoads::SmartRenderCallbacks();
    PF_SmartRenderExtra extra{&input, &callbacks};
    return host.module().SendCommand(PF_Cmd_SMART_RENDER, &extra);
}

void FreeRecord(const PF_PreRenderOutput& output)
{
    if (output.pre_render_data && output.delete_pre_render_data_func) {
        output.delete_pre_render_data_func(output.pre_render_data);
    }
}

// A host that mixes up its frames: the record of one pre-render comes back with the render of another
// (after the controls or the request changed in between), still alive, as a host's reused record would.
void StepStaleRecord(HostSim& host, Bytes& in, const Hostility& hostility)
{
    PF_PreRenderInput input_a{}, input_b{};
    PF_PreRenderOutput first{}, second{};
    const PF_Err err_a = PreRenderByHand(host, Rect(in), input_a, first);
    if (in.Bool()) {
        SetHostileParam(host, in);
    }
    const PF_Err err_b = PreRenderByHand(host, in.Bool() ? Rect(in) : first.result_rect, input_b, second);
    g_trace += " stale";
    if (err_a == PF_Err_NONE && err_b == PF_Err_NONE) {
        const PF_Err err = RenderByHand(host, second, first.pre_render_data, Depth(in));
        if (!hostility.injected) {
            FUZZ_CHECK(err == PF_Err_NONE, "a render with another frame's record failed");
        }
    }
    FreeRecord(first);
    FreeRecord(second);
}

// A record whose every field was overwritten by a misbehaving host: the render must sanitise what it
// reads instead of trusting the pre-render's ranges.
void StepForgedRecord(HostSim& host, Bytes& in, const Hostility& hostility)
{
    PF_PreRenderInput input{};
    PF_PreRenderOutput frame{};
    const PF_Err err = PreRenderByHand(host, Rect(in), input, frame);
    PreRenderData forged;
    WarpSettings& s = forged.settings;
    for (double* field : {&s.amount, &s.wave_size, &s.strength, &s.fold, &s.drip, &s.direction, &s.size_variation,
                          &s.strength_variation, &s.direction_spread, &s.scale, &s.evolution, &s.evolution_speed,
                          &s.offset_x, &s.offset_y, &s.drift_x, &s.drift_y, &s.loop_duration, &s.color_split,
                          &s.mix}) {
        *field = in.Double();
    }
    for (std::int32_t* field : {&s.wave_count, &s.waveform, &s.iterations, &s.seed, &s.map_channel, &s.edge_mode,
                                &s.antialiasing}) {
        *field = in.Int32();
    }
    s.loop = in.Bool();
    s.invert_map = in.Bool();
    s.bicubic = in.Bool();
    forged.time = in.Double();
    forged.dsx = in.Float();
    forged.dsy = in.Float();
    forged.input_rect = Rect(in);
    forged.input_max_rect = in.Bool() ? Rect(in) : forged.input_rect;
    forged.output_rect = in.Bool() ? Rect(in) : frame.result_rect;
    forged.has_map = in.Bool();
    forged.map_rect = Rect(in);
    forged.map_max_rect = in.Bool() ? Rect(in) : forged.map_rect;
    g_trace += " forged";
    if (err == PF_Err_NONE) {
        const PF_Err render_err = RenderByHand(host, frame, &forged, Depth(in));
        if (!hostility.injected) {
            FUZZ_CHECK(render_err == PF_Err_NONE, "a render with a forged record failed");
        }
    }
    FreeRecord(frame);
}

// ---- worlds of the harness's own ----

// A host world whose memory the harness owns: any row stride (padded to an odd length, negative for a
// bottom-up world, 0 for one row shown over and over), any origin, no data at all. The memory always
// covers what the stride and the size promise, so anything the plug-in touches outside it is its fault.
struct ForgedWorld {
    std::vector<unsigned char> bytes;
    PF_EffectWorld world{};
    PF_PixelFormat format = PF_PixelFormat_ARGB32;
};

void Forge(Bytes& in, ForgedWorld& forged)
{
    A_long width = 0;
    A_long height = 0;
    LayerSize(in, width, height);
    const PixelDepth depth = Depth(in);
    const std::int64_t pixel_row = std::int64_t{width} * static_cast<std::int64_t>(BytesPerPixel(depth));
    std::int64_t stride = pixel_row;
    const std::uint8_t mode = in.U8() % 5;
    if (mode == 1) {
        stride += 1 + in.U8() % 67;
    } else if (mode == 2) {
        stride = -(pixel_row + in.U8() % 16);
    } else if (mode == 3) {
        stride = 0;
    }
    const std::int64_t span = height > 0 ? std::abs(stride) * (height - 1) + pixel_row : 0;
    forged.bytes.assign(static_cast<std::size_t>(std::max<std::int64_t>(span, 1)), in.U8());
    PF_EffectWorld& w = forged.world;
    w = PF_EffectWorld{};
    w.width = width;
    w.height = height;
    w.rowbytes = static_cast<A_long>(stride);
    // A bottom-up world's data points at its first row, the last in memory.
    w.data = reinterpret_cast<PF_PixelPtr>(forged.bytes.data() + (stride < 0 ? span - pixel_row : 0));
    if (mode == 4) {
        w.data = nullptr;
    }
    if (in.Bool()) {
        w.origin_x = in.Int32();
        w.origin_y = in.Int32();
    }
    w.world_flags = depth == PixelDepth::Bits16 ? PF_WorldFlag_DEEP : 0;
    forged.format = FormatOf(depth);
}

// The worlds the harness's own checkout callbacks hand out, for the command in flight on this thread.
struct ForgedFrame {
    ForgedWorld input, output, map;
    PF_EffectWorld* handed[3] = {};   // as kept by the host simulator, whose world suite reports formats
    bool has_map = false;
};
thread_local ForgedFrame* t_forged = nullptr;

PF_Err ForgedLayerPixels(PF_ProgPtr, A_long checkout_id, PF_EffectWorld** pixels)
{
    if (!pixels || !t_forged || checkout_id < 0 || checkout_id > 1 || (checkout_id == 1 && !t_forged->has_map)) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    *pixels = t_forged->handed[checkout_id == 0 ? 0 : 2];
    return PF_Err_NONE;
}

PF_Err ForgedOutput(PF_ProgPtr, PF_EffectWorld** output)
{
    if (!output || !t_forged) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    *output = t_forged->handed[1];
    return PF_Err_NONE;
}

// A smart render, or a legacy render, into worlds of the harness's own.
void StepForgedWorlds(HostSim& host, Bytes& in, const Hostility& hostility)
{
    ForgedFrame frame;
    Forge(in, frame.input);
    Forge(in, frame.output);
    frame.has_map = in.Bool();
    if (frame.has_map) {
        Forge(in, frame.map);
    }
    const bool legacy = in.Bool();
    PF_Err err = PF_Err_NONE;
    if (legacy) {
        // PF_Cmd_RENDER: the layers travel in the parameter array, the output as the command's world.
        std::vector<PF_ParamDef> defs;
        std::vector<PF_ParamDef*> list;
        defs.reserve(PARAM_COUNT);
        for (int i = 0; i < host.params().Count(); ++i) {
            defs.push_back(host.params().At(i, host.settings().current_time));
            list.push_back(&defs.back());
        }
        if (host.params().Count() != PARAM_COUNT) {
            return;
        }
        defs[PARAM_INPUT].u.ld = frame.input.world;
        defs[PARAM_MAP_LAYER].u.ld = frame.has_map ? frame.map.world : PF_LayerDef{};
        PF_InData in_data = host.module().MakeInData();
        in_data.output_origin_x = in.Int32();
        in_data.output_origin_y = in.Int32();
        g_trace += " forged-worlds(legacy)";
        err = host.module().CallEffectMain(PF_Cmd_RENDER, &in_data, &host.module().out_data(), list.data(), &frame.output.world, nullptr);
    } else {
        PF_PreRenderInput input{};
        PF_PreRenderOutput pre{};
        if (PreRenderByHand(host, Rect(in), input, pre) != PF_Err_NONE) {
            FreeRecord(pre);
            return;
        }
        RenderState& state = host.render().state();
        frame.handed[0] = state.HandOut(frame.input.world, frame.input.format);
        frame.handed[1] = state.HandOut(frame.output.world, frame.output.format);
        frame.handed[2] = state.HandOut(frame.map.world, frame.map.format);
        PF_SmartRenderInput render_input{};
        render_input.pre_render_data = pre.pre_render_data;
        PF_SmartRenderCallbacks callbacks{};
        callbacks.checkout_layer_pixels = ForgedLayerPixels;
        callbacks.checkout_output = ForgedOutput;
        PF_SmartRenderExtra extra{&render_input, &callbacks};
        g_trace += " forged-worlds";
        t_forged = &frame;
        err = host.module().SendCommand(PF_Cmd_SMART_RENDER, &extra);
        t_forged = nullptr;
        FreeRecord(pre);
    }
    if (!hostility.injected) {
        FUZZ_CHECK(err == PF_Err_NONE, "a render into the harness's worlds failed");
    }
}

// Commands in the host's table and past it, without their extra records: a handler that needs one must
// refuse, not crash.
void StepBareCommand(HostSim& host, Bytes& in)
{
    static const A_long COMMANDS[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16, 17,
                                      18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35,
                                      64, 1000, -1, std::numeric_limits<A_long>::min(),
                                      std::numeric_limits<A_long>::max()};
    const A_long cmd = in.Pick(COMMANDS);
    g_trace += " cmd" + std::to_string(cmd);
    if (cmd == PF_Cmd_USER_CHANGED_PARAM) {
        host.module().SendUserChangedParam(in.Int32() % 64);
        return;
    }
    host.module().SendCommand(static_cast<PF_Cmd>(cmd));
}

void StepChangeParam(HostSim& host, Bytes& in)
{
    const int index = in.Range(1, PARAM_COUNT - 1);
    if (index == PARAM_MAP_LAYER || index >= host.params().Count()) {
        return;
    }
    g_trace += " change" + std::to_string(index);
    host.ChangeParam(index, in.Double());
}

void StepInject(HostSim& host, Bytes& in, Hostility& hostility)
{
    static const HostCall CALLS[] = {
        HostCall::CheckoutParam,     HostCall::CheckinParam,  HostCall::Abort,          HostCall::AcquireSuite,
        HostCall::ReleaseSuite,      HostCall::UpdateParamUI, HostCall::CheckoutLayer,  HostCall::CheckoutLayerPixels,
        HostCall::CheckoutOutput,    HostCall::GetPixelFormat, HostCall::RegisterUi,    HostCall::AddParam,
        HostCall::GetDrawingReference, HostCall::GetSupplier, HostCall::GetSurface,     HostCall::NewImageFromBuffer,
        HostCall::PushStateStack,    HostCall::Transform,     HostCall::DrawImage,      HostCall::GetTransformToScreenScale,
        HostCall::AppGetBgColor,     HostCall::AppGetColor,   HostCall::PopStateStack,  HostCall::ReleaseObject,
    };
    static const PF_Err ERRORS[] = {PF_Err_NONE, PF_Err_OUT_OF_MEMORY, PF_Err_INTERNAL_STRUCT_DAMAGED,
                                    PF_Err_BAD_CALLBACK_PARAM, PF_Interrupt_CANCEL, -1, 0x7FFFFFFF};
    Injection injection;
    injection.call = in.Pick(CALLS);
    injection.error = in.Pick(ERRORS);
    injection.skip = in.Range(0, 40);
    injection.times = in.Bool() ? 1 : -1;
    if (injection.call == HostCall::CheckoutParam || injection.call == HostCall::CheckoutLayer ||
        injection.call == HostCall::CheckoutLayerPixels) {
        injection.param_index = in.Bool() ? in.Range(0, PARAM_COUNT - 1) : -1;
    }
    if (injection.call == HostCall::AcquireSuite) {
        injection.null_suite = in.Bool();
    }
    // Throwing stands for a host whose allocation fails inside a call. Calls made while the plug-in lets go
    // of something (check-ins, releases, pops) run in destructors, where nothing may throw.
    const bool may_throw = injection.call != HostCall::CheckinParam && injection.call != HostCall::ReleaseSuite &&
                           injection.call != HostCall::PopStateStack && injection.call != HostCall::ReleaseObject;
    const std::uint8_t throws = in.U8() % 8;
    if (may_throw && throws == 1) {
        injection.throws = InjectedThrow::BadAlloc;
    } else if (may_throw && throws == 2) {
        injection.throws = InjectedThrow::RuntimeError;
    }
    if (injection.call == HostCall::AcquireSuite && injection.error == PF_Err_NONE && !injection.null_suite &&
        injection.throws == InjectedThrow::None) {
        hostility.suite_lies = true;
    }
    if ((injection.call == HostCall::CheckoutParam && injection.error == PF_Err_NONE &&
         injection.throws == InjectedThrow::None) ||
        injection.call == HostCall::CheckinParam) {
        hostility.checkout_lies = true;
    }
    hostility.injected = true;
    g_trace += " inject" + std::to_string(static_cast<int>(injection.call));
    host.faults().Inject(injection);
}

void StepHeaderEvent(HostSim& host, Bytes& in)
{
    DrawingHost& ui = host.drawing();
    DrawingSettings& s = ui.settings();
    s.screen_scale = in.Float();
    s.prefers_bgra = in.Bool();
    s.supports_bgra = in.Bool();
    s.supports_argb = in.Bool();
    if (in.Bool()) {
        s.text = PF_App_Color{static_cast<A_u_short>(in.U32()), static_cast<A_u_short>(in.U32()),
                              static_cast<A_u_short>(in.U32())};
    }
    // The frame lies anywhere, mostly within a panel of sensible size (the simulator paints a surface
    // reaching to the frame's far corner); points fall mostly on or near the header.
    const bool far = in.U8() < 32;
    const A_long left = far ? in.Range(-100000, 100000) : in.Range(-20, 400);
    const A_long top = far ? in.Range(-100000, 100000) : in.Range(-20, 200);
    s.frame = PF_LRect{left, top, left + in.Range(-10, 400), top + in.Range(-10, 120)};
    const auto h = [&] { return in.Bool() ? in.Int32() : left + in.Range(-10, 310); };
    const auto v = [&] { return in.Bool() ? in.Int32() : top + in.Range(-10, 130); };
    switch (in.U8() % 4) {
    case 0: {
        // The surface covers the panel up to the frame's far corner at the screen scale; keep it small.
        if (!(s.screen_scale >= 0.0f && s.screen_scale <= 4.0f)) {
            static const float SCALES[] = {1.5f, 1.5001f, 0.5f};
            s.screen_scale = in.Pick(SCALES);
        }
        if (s.frame.right > 0 && s.frame.right <= 800 && s.frame.bottom > 0 && s.frame.bottom <= 300) {
            g_trace += " draw";
            ui.SendDraw();
        }
        break;
    }
    case 1: {
        // One read after another: the order in which arguments are evaluated is the compiler's.
        const A_long x = h();
        const A_long y = v();
        const A_long clicks = in.Bool() ? 1 : in.Int32();
        g_trace += " click";
        ui.SendClick(x, y, clicks);
        break;
    }
    case 2: {
        const A_long x = h();
        const A_long y = v();
        g_trace += " cursor";
        ui.SendCursor(x, y);
        break;
    }
    default: {
        PF_EventExtra event = ui.MakeEvent(static_cast<PF_EventType>(in.Int32()));
        event.effect_win.index = in.Range(-1, 3);
        g_trace += " event";
        // Drawing through a foreign event type would paint a surface of the frame's size.
        if (event.e_type != PF_Event_DRAW) {
            ui.SendEvent(event);
        }
        break;
    }
    }
    ui.ClearLogs();
}

void StepLayers(HostSim& host, Bytes& in)
{
    switch (in.U8() % 4) {
    case 0:
        host.params().SetInputLayer(AddLayer(host, in));
        g_trace += " input";
        break;
    case 1:
        host.params().SetMapLayer(AddLayer(host, in));
        g_trace += " map";
        break;
    case 2:
        host.params().SetMapLayer(NO_LAYER);
        g_trace += " nomap";
        break;
    default:
        host.params().SetInputLayer(NO_LAYER);
        g_trace += " noinput";
        break;
    }
}

// Devices of frameworks the effect does not drive, and set-downs of whatever is there.
void StepGpuDevice(HostSim& host, Bytes& in)
{
    static const PF_GPU_Framework FRAMEWORKS[] = {PF_GPU_Framework_NONE, PF_GPU_Framework_METAL,
                                                  PF_GPU_Framework_DIRECTX};
    if (in.Bool()) {
        g_trace += " gpu-setup";
        host.gpu().SetUp(in.Pick(FRAMEWORKS));
    } else {
        g_trace += " gpu-setdown";
        host.gpu().SetDown();
    }
}

void Play(Bytes& in)
{
    HostSim host(QF_MODULE_PATH);
    if (host.Start() != PF_Err_NONE) {
        Fail("start-up failed");
    }
    Hostility hostility;
    host.params().SetInputLayer(AddLayer(host, in));
    if (in.Bool()) {
        host.params().SetMapLayer(AddLayer(host, in));
    }
    const int values = in.Range(0, 12);
    for (int i = 0; i < values; ++i) {
        SetHostileParam(host, in);
    }
    int frames = 0;
    std::int64_t pixels_left = FRAME_PIXEL_BUDGET;
    for (int step = 0; step < MAX_STEPS && !in.Empty(); ++step) {
        std::uint8_t op = in.U8() % 16;
        if (op <= 5) {
            const std::int64_t cost = op == 3 ? std::max(InputPixels(host), PIXEL_BUDGET) : InputPixels(host);
            if (++frames > MAX_FRAMES || cost > pixels_left) {
                op = 13;   // enough frames for one input: change a host setting instead
            } else {
                pixels_left -= cost;
            }
        }
        switch (op) {
        case 0:
        case 1:
        case 2:
            StepRender(host, in, hostility);
            break;
        case 3:
            StepLegacy(host, in, hostility);
            break;
        case 4:
            StepStaleRecord(host, in, hostility);
            break;
        case 5:
            if (in.Bool()) {
                StepForgedRecord(host, in, hostility);
            } else {
                StepForgedWorlds(host, in, hostility);
            }
            break;
        case 6:
            StepBareCommand(host, in);
            break;
        case 7:
            StepChangeParam(host, in);
            break;
        case 8:
            SetHostileParam(host, in);
            break;
        case 9:
            SetHostileKeyframes(host, in);
            break;
        case 10:
            StepInject(host, in, hostility);
            break;
        case 11:
            g_trace += " abort";
            host.faults().AbortAfter(in.Range(0, 20));
            hostility.injected = true;
            break;
        case 12:
            StepHeaderEvent(host, in);
            break;
        case 13:
            SetHostSettings(host, in);
            break;
        case 14:
            StepLayers(host, in);
            break;
        default:
            if (in.Bool()) {
                StepGpuDevice(host, in);
            } else {
                g_trace += " calm";
                host.faults().Clear();
                hostility.injected = false;   // a count that went astray stays astray
            }
            break;
        }
        CheckReleased(host, hostility);
        if (!hostility.checkout_lies && host.params().OutstandingCheckouts() != 0) {
            Fail("a parameter was not checked in");
        }
    }
}

}   // namespace

void FuzzSetUp()
{
    if (g_reference) {
        return;
    }
    // A click on the header's link starts "xdg-open" from PATH; a fuzzer must not launch browsers.
    setenv("PATH", "/nonexistent/qf-fuzz", 1);
#ifdef QF_FAKE_CUDA
    LoadStandInRuntime(GpuKind::Cuda, QF_FAKE_CUDA);
    setenv("TMPDIR", "/tmp", 1);   // the log of failed GPU frames
#endif
    auto reference = std::make_unique<Reference>();
    reference->host = std::make_unique<HostSim>(QF_MODULE_PATH);
    if (reference->host->Start() != PF_Err_NONE) {
        Fail("start-up failed");
    }
    reference->host->params().SetInputLayer(reference->host->layers().Add(ReferencePicture(), PixelDepth::Float));
    reference->image = RenderReference(*reference->host);
    g_reference = reference.release();   // lives as long as the process: the module stays loaded
}

int FuzzOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzSetUp();
    g_trace.clear();
    Bytes in(data, size);
    Play(in);
    // Whatever happened, the process renders a plain frame as it did before.
    const FloatImage again = RenderReference(*g_reference->host);
    if (again.pixels.size() != g_reference->image.pixels.size() ||
        std::memcmp(again.pixels.data(), g_reference->image.pixels.data(), again.pixels.size() * sizeof(float)) != 0) {
        Fail("a plain frame renders differently after this input");
    }
    FUZZ_CHECK(g_reference->host->suites().Outstanding() == 0, "the reference host holds a suite");
    return 0;
}

const std::string& FuzzTrace()
{
    return g_trace;
}
