// Frames through the OpenFX bundle against the compositing host's road (the host simulator) for the same
// controls and time: 8 and 32 bits bit for bit, 16 bits after the two hosts' scales; tiles, render scale,
// the strength map clip, premultiplied input.
#include "OfxTestSupport.h"

#include <cmath>

namespace {

const int WIDTH = 48;
const int HEIGHT = 32;

// A warp that moves pixels by several pixels on a small picture, animated by both speeds, at frame 7 of
// a 24 fps timeline (the compositing host's time 7 / 24).
const std::initializer_list<Control> LOOK = {
    {PARAM_SCALE_WITH_LAYER, 0, "scaleWithLayer", 0},
    {PARAM_WAVE_SIZE, 16, "waveSize", 16},
    {PARAM_STRENGTH, 1.5, "strength", 1.5},
    {PARAM_AMOUNT, 120, "amount", 1.2},
    {PARAM_DIRECTION, 30, "direction", 30},
    {PARAM_ITERATIONS, 2, "iterations", 2},
    {PARAM_COLOR_SPLIT, 10, "colorSplit", 0.1},
    {PARAM_EVOLUTION_SPEED, 0.25, "evolutionSpeed", 0.25},
    {PARAM_DRIFT_SPEED_X, 12, "driftSpeedX", 12},
};
const double FRAME = 7;
const double FPS = 24;

class OfxFrames : public ::testing::Test {
protected:
    void Start(const char* context = kOfxImageEffectContextFilter)
    {
        ASSERT_EQ(ae.Start(), PF_Err_NONE);
        ASSERT_EQ(ofx.Start(context), kOfxStatOK);
        ae.settings().current_time = static_cast<A_long>(FRAME);
        ae.settings().time_scale = static_cast<A_u_long>(FPS);
        ofx.frame_rate = FPS;
        SetControls(ae, ofx, LOOK);
    }

    // The picture as the input layer of the compositing host in `depth`; returns the pixels as stored.
    Picture AeInput(const Picture& picture, PixelDepth depth)
    {
        const int layer = ae.layers().Add(ToFloatImage(picture), depth);
        ae.params().SetInputLayer(layer);
        return ToPicture(ae.layers().Pixels(layer));
    }

    Picture AeFrame(PixelDepth depth)
    {
        RenderRequest request;
        request.depth = depth;
        const RenderResult result = ae.render().Frame(request);
        EXPECT_EQ(result.error, PF_Err_NONE);
        return ToPicture(result.image);
    }

    OfxFrame OfxRender(const char* depth, double scale = 1.0, std::vector<OfxRectI> windows = {})
    {
        OfxRenderRequest request;
        request.time = FRAME;
        request.depth = depth;
        request.scale = scale;
        request.windows = std::move(windows);
        OfxFrame frame = ofx.Render(request);
        EXPECT_EQ(frame.status, kOfxStatOK);
        EXPECT_EQ(ofx.OutstandingImages(), 0) << "every image fetched is released";
        return frame;
    }

    HostSim ae{QF_MODULE_PATH};
    OfxHostSim ofx{QF_OFX_BUNDLE};
};

TEST_F(OfxFrames, EightAndThirtyTwoBitFramesEqualTheCompositingHosts)
{
    Start();
    for (const auto& [ae_depth, ofx_depth] : {std::pair{PixelDepth::Bits8, kOfxBitDepthByte},
                                              std::pair{PixelDepth::Float, kOfxBitDepthFloat}}) {
        SCOPED_TRACE(ofx_depth);
        ClipInput source;
        source.picture = AeInput(TestPicture(WIDTH, HEIGHT), ae_depth);
        source.depth = ofx_depth;
        source.rows_down = true;   // rows stored top-down, as some hosts hand them
        source.row_padding = 12;
        ofx.Connect(kOfxImageEffectSimpleSourceClipName, source);
        const Picture expected = AeFrame(ae_depth);
        EXPECT_TRUE(PicturesMatch(OfxRender(ofx_depth).picture, expected));
        EXPECT_FALSE(PicturesMatch(source.picture, expected)) << "the look must move pixels";
    }
}

// 16 bits: OpenFX's levels have full scale 65535, the compositing host's 32768. Each road quantises its
// input and output to its own levels, half a level each way at most: together within two levels of the
// coarser scale.
TEST_F(OfxFrames, SixteenBitFramesAgreeWithinTheTwoHostsLevels)
{
    Start();
    const Picture picture = TestPicture(WIDTH, HEIGHT);
    AeInput(picture, PixelDepth::Bits16);
    ClipInput source;
    source.picture = picture;
    source.depth = kOfxBitDepthShort;
    ofx.Connect(kOfxImageEffectSimpleSourceClipName, source);
    const Picture expected = AeFrame(PixelDepth::Bits16);
    const Picture actual = OfxRender(kOfxBitDepthShort).picture;
    EXPECT_TRUE(PicturesMatch(actual, expected, 2.0f / 32768));
    EXPECT_FALSE(PicturesMatch(actual, expected, 0.5f / 65535)) << "the two scales do differ";
}

TEST_F(OfxFrames, FourTilesEqualTheWholeFrameAndReadOnlyWhatTheyNeed)
{
    Start();
    // A gentler warp on a bigger picture, so that a tile's region of interest is less than the layer.
    ASSERT_EQ(ofx.SetParam("waveSize", 40.0), kOfxStatOK);
    ASSERT_EQ(ofx.SetParam("strength", 0.3), kOfxStatOK);
    ClipInput source;
    source.picture = TestPicture(96, 64);
    ofx.Connect(kOfxImageEffectSimpleSourceClipName, source);
    for (const char* edges : {"repeat", "mirror"}) {
        SCOPED_TRACE(edges);
        ASSERT_EQ(ofx.SetParam("edges", std::string(edges) == "mirror" ? 2 : 0), kOfxStatOK);
        const OfxFrame whole = OfxRender(kOfxBitDepthByte);
        const OfxFrame tiles =
            OfxRender(kOfxBitDepthByte, 1.0, {{0, 0, 37, 23}, {37, 0, 96, 23}, {0, 23, 37, 64}, {37, 23, 96, 64}});
        EXPECT_TRUE(PicturesMatch(tiles.picture, whole.picture));
        ASSERT_EQ(tiles.source_bounds.size(), 4u);
        const OfxRectI first = tiles.source_bounds[0];
        if (std::string(edges) == "mirror") {
            // Mirror reads anywhere in the layer: every tile asks for all of it.
            for (const OfxRectD& roi : tiles.source_rois) {
                EXPECT_EQ(roi.x1, 0);
                EXPECT_EQ(roi.y1, 0);
                EXPECT_EQ(roi.x2, 96);
                EXPECT_EQ(roi.y2, 64);
            }
        } else {
            // The bottom-left tile grown by the margin, inside the layer.
            EXPECT_EQ(first.x1, 0);
            EXPECT_EQ(first.y1, 0);
            EXPECT_GT(first.x2, 37);
            EXPECT_LT(first.x2, 96);
            EXPECT_GT(first.y2, 23);
            EXPECT_LT(first.y2, 64);
        }
    }
}

TEST_F(OfxFrames, HalfRenderScaleEqualsDownsampleTwo)
{
    Start();
    ae.settings().downsample_x = PF_RationalScale{1, 2};
    ae.settings().downsample_y = PF_RationalScale{1, 2};
    ClipInput source;
    source.picture = AeInput(TestPicture(WIDTH / 2, HEIGHT / 2), PixelDepth::Bits8);   // pixels at half size
    source.scale = 0.5;
    ofx.Connect(kOfxImageEffectSimpleSourceClipName, source);
    const Picture expected = AeFrame(PixelDepth::Bits8);
    EXPECT_EQ(expected.width, WIDTH / 2);
    EXPECT_TRUE(PicturesMatch(OfxRender(kOfxBitDepthByte, 0.5).picture, expected));
}

TEST_F(OfxFrames, StrengthMapClipActsAsTheMapLayer)
{
    Start(kOfxImageEffectContextGeneral);
    SetControls(ae, ofx, {{PARAM_MAP_CHANNEL, 3, "mapChannel", 2}, {PARAM_INVERT_MAP, 1, "invertMap", 1}});
    ClipInput source;
    source.picture = AeInput(TestPicture(WIDTH, HEIGHT), PixelDepth::Bits8);
    ofx.Connect(kOfxImageEffectSimpleSourceClipName, source);
    const Picture no_map = OfxRender(kOfxBitDepthByte).picture;

    // A map of another size, stretched over the layer in both hosts.
    ClipInput map;
    const int map_layer = ae.layers().Add(ToFloatImage(TestPicture(20, 12, 2.0f)), PixelDepth::Bits8);
    ae.params().SetMapLayer(map_layer);
    map.picture = ToPicture(ae.layers().Pixels(map_layer));
    ofx.Connect("StrengthMap", map);
    const Picture expected = AeFrame(PixelDepth::Bits8);
    const Picture actual = OfxRender(kOfxBitDepthByte).picture;
    EXPECT_TRUE(PicturesMatch(actual, expected));
    EXPECT_FALSE(PicturesMatch(actual, no_map)) << "the map must change the frame";
}

// A premultiplied source is warped as straight colour and premultiplied again: the compositing host's
// frame of the straight picture, premultiplied. Floats, within the rounding of one division and one
// multiplication per value.
TEST_F(OfxFrames, PremultipliedSourceIsWarpedAsStraightColour)
{
    Start();
    const Picture straight = TestPicture(WIDTH, HEIGHT);
    AeInput(straight, PixelDepth::Float);
    Picture premultiplied = straight;
    for (size_t i = 0; i < premultiplied.rgba.size(); i += 4) {
        for (int c = 0; c < 3; ++c) {
            premultiplied.rgba[i + c] *= premultiplied.rgba[i + 3];
        }
    }
    ClipInput source;
    source.picture = premultiplied;
    source.depth = kOfxBitDepthFloat;
    source.premultiplication = kOfxImagePreMultiplied;
    ofx.Connect(kOfxImageEffectSimpleSourceClipName, source);
    EXPECT_EQ(ofx.clip_preferences.String(kOfxImageEffectPropPreMultiplication), kOfxImagePreMultiplied);

    Picture expected = AeFrame(PixelDepth::Float);
    for (size_t i = 0; i < expected.rgba.size(); i += 4) {
        for (int c = 0; c < 3; ++c) {
            expected.rgba[i + c] *= expected.rgba[i + 3];
        }
    }
    EXPECT_TRUE(PicturesMatch(OfxRender(kOfxBitDepthFloat).picture, expected, 1e-6f));
}

}   // namespace
