// The same frame through every road the host can take: each depth, smart and legacy render, whole and in
// parts, once and again, with and without a map, and against a plain loop over the kernel.
#include "RenderTestSupport.h"

#include "FrameBuilder.h"
#include "LayerScale.h"
#include "ParamTable.h"
#include "WarpKernel.h"

#include <array>

namespace {

using RenderAgreement = RenderHost;

RenderRequest AtDepth(PixelDepth depth)
{
    RenderRequest request;
    request.depth = depth;
    return request;
}

// Controls that exercise more of the kernel than the defaults: animation, iterations, colour split,
// the best anti-aliasing and bicubic sampling.
void BusyControls(HostSim& host)
{
    host.params().Set(PARAM_ITERATIONS, 2);
    host.params().Set(PARAM_COLOR_SPLIT, 30.0);
    host.params().Set(PARAM_ANTIALIASING, 4);
    host.params().Set(PARAM_INTERPOLATION, 2);
    host.params().Set(PARAM_EVOLUTION_SPEED, 0.3);
    host.params().Set(PARAM_DRIFT_SPEED_X, 12.0);
    host.settings().current_time = 45;   // 1.5 s
}

TEST_F(RenderAgreement, EachDepthAgreesWithinItsQuantisation)
{
    const FloatImage picture = Pattern(48, 40);
    const auto render = [&](PixelDepth depth) {
        host.params().SetInputLayer(host.layers().Add(picture, depth));
        const RenderResult result = host.render().Frame(AtDepth(depth));
        EXPECT_EQ(result.error, PF_Err_NONE);
        return result.image;
    };
    const FloatImage exact = render(PixelDepth::Float);
    // The warp must move something, or agreement would say nothing.
    EXPECT_FALSE(ImagesNear(exact, picture, 0.02f, 0.0, 1.0f));
    // An input level off by half a step, un-premultiplied by alpha >= 0.5, then the output's own rounding.
    EXPECT_TRUE(ImagesNear(render(PixelDepth::Bits16), exact, 2.5f / 32768, 0.0, 2.5f / 32768));
    EXPECT_TRUE(ImagesNear(render(PixelDepth::Bits8), exact, 2.5f / 255, 0.0, 2.5f / 255));
}

TEST_F(RenderAgreement, SmartAndLegacyRenderTheSamePicture)
{
    const int map = host.layers().Add(Pattern(20, 16, 0.0f), PixelDepth::Bits8);
    for (const PixelDepth depth : {PixelDepth::Bits8, PixelDepth::Bits16}) {
        for (const int map_layer : {NO_LAYER, map}) {
            UseInput(40, 30, depth, 12);   // padded rows
            host.params().SetMapLayer(map_layer);
            RenderRequest smart = AtDepth(depth);
            smart.output_row_padding = 8;
            const RenderResult a = host.render().Frame(smart);
            LegacyRequest legacy;
            legacy.depth = depth;
            const RenderResult b = host.render().Legacy(legacy);
            ASSERT_EQ(a.error, PF_Err_NONE);
            ASSERT_EQ(b.error, PF_Err_NONE);
            EXPECT_TRUE(SameImage(b.image, a.image)) << static_cast<int>(depth) << " bits, map " << map_layer;
        }
    }
}

TEST_F(RenderAgreement, RenderingAFrameTwiceGivesTheSameOutput)
{
    UseInput(40, 30, PixelDepth::Float);
    BusyControls(host);
    RenderRequest twice = AtDepth(PixelDepth::Float);
    twice.renders = 2;   // the same pre-render record
    const RenderResult result = host.render().Frame(twice);
    ASSERT_EQ(result.error, PF_Err_NONE);
    ASSERT_EQ(result.images.size(), 2u);
    EXPECT_TRUE(SameImage(result.images[1], result.images[0]));
    EXPECT_TRUE(SameImage(host.render().Frame(AtDepth(PixelDepth::Float)).image, result.image));
}

TEST_F(RenderAgreement, FrameInTwoHalvesEqualsTheWholeFrame)
{
    // Small waves so the grown requests stay inside the layer and each half gets its own input.
    UseInput(160, 120, PixelDepth::Float);
    host.params().Set(PARAM_SCALE_WITH_LAYER, 0);
    host.params().Set(PARAM_WAVE_SIZE, 12.0);   // margin 44
    host.params().Set(PARAM_ANTIALIASING, 3);
    const FloatImage whole = host.render().Frame(AtDepth(PixelDepth::Float)).image;
    for (const PF_LRect half : {PF_LRect{0, 0, 160, 60}, PF_LRect{0, 60, 160, 120}, PF_LRect{0, 0, 80, 120},
                                PF_LRect{80, 0, 160, 120}}) {
        RenderRequest request = AtDepth(PixelDepth::Float);
        request.rect = half;
        const RenderResult part = host.render().Frame(request);
        ASSERT_EQ(part.error, PF_Err_NONE);
        const PF_LRect& input = host.render().layer_checkouts()[0].result.result_rect;
        EXPECT_TRUE(input.left > 0 || input.top > 0 || input.right < 160 || input.bottom < 120);
        EXPECT_TRUE(SameImage(part.image, whole.Crop(half.left, half.top, half.right - half.left,
                                                     half.bottom - half.top)))
            << half.left << ", " << half.top;
    }
}

TEST_F(RenderAgreement, FailedMapCheckoutRendersWithoutTheMap)
{
    UseInput(40, 30);
    const FloatImage plain = host.render().Frame().image;
    // A map whose left half is black holds the warp back there.
    FloatImage half_black = Pattern(40, 30, 1.0f);
    for (A_long y = 0; y < 30; ++y) {
        for (A_long x = 0; x < 20; ++x) {
            half_black.Set(x, y, 0.0f, 0.0f, 0.0f, 1.0f);
        }
    }
    host.params().SetMapLayer(host.layers().Add(half_black, PixelDepth::Bits8));
    EXPECT_FALSE(SameImage(host.render().Frame().image, plain));

    for (const HostCall call : {HostCall::CheckoutLayer, HostCall::CheckoutLayerPixels}) {
        host.faults().Clear();
        Injection fail;
        fail.call = call;
        fail.param_index = PARAM_MAP_LAYER;
        fail.error = PF_Err_OUT_OF_MEMORY;
        fail.times = -1;
        host.faults().Inject(fail);
        const RenderResult result = host.render().Frame();
        EXPECT_EQ(result.error, PF_Err_NONE);
        EXPECT_TRUE(SameImage(result.image, plain)) << static_cast<int>(call);
    }
    host.faults().Clear();
    host.params().SetMapLayer(NO_LAYER);
    EXPECT_TRUE(SameImage(host.render().Frame().image, plain));
}

// The frame as this test builds it from the host's control values, shaded by a plain loop over qf_shade.
FloatImage IndependentRender(HostSim& host, const FloatImage& input, const FloatImage* map)
{
    // The values as the host holds them, in the table's encodings.
    ParamValues values{};
    for (int i = 0; i < PARAM_COUNT; ++i) {
        if (!IsRenderParam(i)) {
            continue;
        }
        const PF_ParamDef def = host.params().At(i, host.settings().current_time);
        switch (PARAM_TABLE[i].kind) {
        case ParamKind::FloatSlider:
            values[i] = ParamValue::Number(def.u.fs_d.value);
            break;
        case ParamKind::Angle:
            values[i] = ParamValue::Integer(def.u.ad.value);
            break;
        case ParamKind::Slider:
            values[i] = ParamValue::Integer(def.u.sd.value);
            break;
        case ParamKind::Popup:
            values[i] = ParamValue::Integer(def.u.pd.value);
            break;
        case ParamKind::Checkbox:
            values[i] = ParamValue::Integer(def.u.bd.value);
            break;
        default:
            break;
        }
    }
    const SanitizedSettings settings = ReadSettings(values, LayerScaleFactor(input.width, input.height));
    const double time = static_cast<double>(host.settings().current_time) / host.settings().time_scale;
    FrameLayout layout;
    layout.input = layout.output = BufferPlacement{0, 0, input.width, input.height, input.width};
    layout.layer = PixelRect{0, 0, input.width, input.height};
    if (map) {
        layout.map = BufferPlacement{0, 0, map->width, map->height, map->width};
        layout.map_layer = PixelRect{0, 0, map->width, map->height};
    }
    const QF_Frame frame = MakeFrame(settings, time, 1.0f, 1.0f, layout);

    FloatImage image(input.width, input.height);
    for (A_long y = 0; y < image.height; ++y) {
        for (A_long x = 0; x < image.width; ++x) {
            const qf4 v = qf_shade(&frame, input.pixels.data(), map ? map->pixels.data() : nullptr, x, y);
            image.Set(x, y, v.x, v.y, v.z, v.w);
        }
    }
    return image;
}

TEST_F(RenderAgreement, ModuleMatchesAPlainKernelLoop)
{
    const FloatImage input = Pattern(36, 28);
    const FloatImage map = Pattern(18, 14, 0.0f);
    host.params().SetInputLayer(host.layers().Add(input, PixelDepth::Float));
    EXPECT_TRUE(SameImage(host.render().Frame(AtDepth(PixelDepth::Float)).image, IndependentRender(host, input, nullptr)));

    BusyControls(host);
    host.params().Set(PARAM_MAP_CHANNEL, 2);   // alpha
    host.params().SetMapLayer(host.layers().Add(map, PixelDepth::Float));
    EXPECT_TRUE(SameImage(host.render().Frame(AtDepth(PixelDepth::Float)).image, IndependentRender(host, input, &map)));
}

}   // namespace
