// The host command layer's translations between the host's records and the core's plain values: frame
// time, downsample and layer scale from in_data, control values from parameter definitions and back, the
// parameter definitions built from the table, worlds and their positions, and the pre-render record.
#include "HostValues.h"
#include "ParamDefs.h"
#include "PreRenderData.h"
#include "WarpSettings.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>

namespace {

void ExpectRect(const PF_LRect& r, A_long left, A_long top, A_long right, A_long bottom)
{
    EXPECT_EQ(r.left, left);
    EXPECT_EQ(r.top, top);
    EXPECT_EQ(r.right, right);
    EXPECT_EQ(r.bottom, bottom);
}

PF_EffectWorld World(int width, int height, int origin_x = 0, int origin_y = 0)
{
    PF_EffectWorld w{};
    w.width = width;
    w.height = height;
    w.origin_x = origin_x;
    w.origin_y = origin_y;
    return w;
}

TEST(HostTime, IsCurrentTimeOverTimeScale)
{
    PF_InData in{};
    in.current_time = -3003;
    in.time_scale = 1000;
    EXPECT_EQ(FrameTimeSeconds(&in), -3.003);
    in.time_scale = 0;
    EXPECT_EQ(FrameTimeSeconds(&in), 0.0);
    EXPECT_EQ(FrameTimeSeconds(nullptr), 0.0);
    in.current_time = 2147483647;
    in.time_scale = 4294967295u;   // unsigned: not -1
    EXPECT_GT(FrameTimeSeconds(&in), 0.0);

    EXPECT_EQ(DownsampleFactor(PF_RationalScale{1, 2}), 0.5f);
    EXPECT_EQ(DownsampleFactor(PF_RationalScale{2000, 1}), 1.0f);
}

TEST(HostLayerScale, IsTheLayersFactorOrOne)
{
    EXPECT_EQ(LayerScaleFactor(nullptr), 1.0);
    PF_InData in_data{};
    in_data.width = 3840;
    in_data.height = 2160;
    EXPECT_EQ(LayerScaleFactor(&in_data), 2.0);
    in_data.width = 0;
    EXPECT_EQ(LayerScaleFactor(&in_data), 1.0);
}

TEST(HostValues, EachKindIsReadFromItsOwnMemberAndStoredBack)
{
    PF_ParamDef def{};
    def.u.fs_d.value = 37.25;
    EXPECT_EQ(ValueOf(PARAM_AMOUNT, def).number, 37.25);
    def = PF_ParamDef{};
    def.u.ad.value = -5898240;   // -90 degrees
    EXPECT_EQ(ValueOf(PARAM_DIRECTION, def).integer, -5898240);
    def = PF_ParamDef{};
    def.u.pd.value = 4;
    EXPECT_EQ(ValueOf(PARAM_EDGES, def).integer, 4);
    def = PF_ParamDef{};
    def.u.bd.value = 1;
    EXPECT_EQ(ValueOf(PARAM_LOOP, def).integer, 1);
    def = PF_ParamDef{};
    def.u.sd.value = 17;
    EXPECT_EQ(ValueOf(PARAM_RANDOM_SEED, def).integer, 17);
    // A layer or a group holds no value of the effect's.
    def.u.ld.width = 99;
    EXPECT_EQ(ValueOf(PARAM_MAP_LAYER, def).integer, 0);
    EXPECT_EQ(ValueOf(PARAM_WAVES_GROUP, def).number, 0.0);

    PF_ParamDef stored{};
    StoreValue(PARAM_WAVE_SIZE, ParamValue::Number(90.0), stored);
    EXPECT_EQ(stored.u.fs_d.value, 90.0);
    EXPECT_EQ(stored.uu.change_flags, PF_ChangeFlag_CHANGED_VALUE);
    stored = PF_ParamDef{};
    StoreValue(PARAM_WAVEFORM, ParamValue::Integer(4), stored);
    EXPECT_EQ(stored.u.pd.value, 4);
    EXPECT_EQ(stored.uu.change_flags, PF_ChangeFlag_CHANGED_VALUE);
    stored = PF_ParamDef{};
    StoreValue(PARAM_INPUT, ParamValue::Integer(4), stored);   // no value: nothing written, nothing flagged
    EXPECT_EQ(stored.uu.change_flags, 0);
}

TEST(HostValues, OnlyRenderParametersAreTakenFromTheHostsArray)
{
    // A host array: every entry present and non-zero; the layers, header and groups read as zeros.
    std::array<PF_ParamDef, PARAM_COUNT> defs{};
    std::array<PF_ParamDef*, PARAM_COUNT> params{};
    for (int i = 0; i < PARAM_COUNT; ++i) {
        defs[i].u.fs_d.value = 1.5;
        defs[i].u.sd.value = 3;
        params[i] = &defs[i];
    }
    const ParamValues values = RenderValuesOf(params.data());
    for (int i = 0; i < PARAM_COUNT; ++i) {
        const bool read = values[i].number != 0.0 || values[i].integer != 0;
        EXPECT_EQ(read, IsRenderParam(i)) << "index " << i;
    }
    params[PARAM_AMOUNT] = nullptr;
    EXPECT_EQ(RenderValuesOf(params.data())[PARAM_AMOUNT].number, 0.0);
    EXPECT_EQ(RenderValuesOf(nullptr)[PARAM_MIX].number, 0.0);
}

TEST(ParamSetup, LongNamesAreCutToThirtyOneCharacters)
{
    ParamSpec row = PARAM_TABLE[PARAM_AMOUNT];
    const std::string long_name(40, 'n');
    row.name = long_name.c_str();
    PF_ParamDef def;
    std::memset(&def, 0x7F, sizeof def);
    FillParamDef(row, def);
    EXPECT_EQ(std::strlen(def.name), 31u);
    EXPECT_EQ(def.u.fs_d.phase, 0.0);   // everything not set is cleared
    EXPECT_EQ(def.unused, 0);
}

TEST(ParamSetup, AnglesStoreSixteenDotSixteenDegrees)
{
    ParamSpec row = PARAM_TABLE[PARAM_DIRECTION];
    row.dephault = -22.5;
    PF_ParamDef def;
    FillParamDef(row, def);
    EXPECT_EQ(def.u.ad.value, -22.5 * 65536);
    EXPECT_EQ(def.u.ad.dephault, def.u.ad.value);
}

TEST(ParamSetup, NoHostMeansNoParameters)
{
    EXPECT_EQ(AddParams(nullptr), PF_Err_INVALID_CALLBACK);
    PF_InData in_data{};
    EXPECT_EQ(AddParams(&in_data), PF_Err_INVALID_CALLBACK);
}

TEST(HostWorlds, OriginsComeFromTheWorldOrTheResultRectangle)
{
    const PF_LRect rect{100, 50, 600, 450};
    PF_EffectWorld world = World(500, 400);
    WorldView view = ViewOf(&world, PF_PixelFormat_ARGB32, rect);
    EXPECT_EQ(view.origin_x, 100);
    EXPECT_EQ(view.origin_y, 50);
    EXPECT_EQ(view.width, 500);
    EXPECT_EQ(view.height, 400);

    // Either coordinate of the origin being set makes the world's own origin count, both axes.
    world = World(1920, 1080, 3, 0);
    view = ViewOf(&world, PF_PixelFormat_ARGB32, rect);
    EXPECT_EQ(view.origin_x, 3);
    EXPECT_EQ(view.origin_y, 0);
    world = World(500, 400, 0, -7);
    std::int32_t x0 = 1;
    std::int32_t y0 = 1;
    WorldPosition(&world, rect, x0, y0);
    EXPECT_EQ(x0, 0);
    EXPECT_EQ(y0, -7);

    // No world: the rectangle places nothing with no pixels.
    view = ViewOf(nullptr, PF_PixelFormat_ARGB128, rect);
    EXPECT_FALSE(HasPixels(view));
    EXPECT_EQ(view.origin_x, 100);
}

TEST(HostWorlds, UnknownFormatCodesAreEightBit)
{
    EXPECT_EQ(DepthOf(PF_PixelFormat_ARGB128), WorldDepth::Float);
    EXPECT_EQ(DepthOf(PF_PixelFormat_ARGB64), WorldDepth::Bits16);
    EXPECT_EQ(DepthOf(PF_PixelFormat_ARGB32), WorldDepth::Bits8);
    for (PF_PixelFormat code : {PF_PixelFormat(0), PF_PixelFormat(PF_PixelFormat_INVALID),
                                PF_PixelFormat(PF_PixelFormat_GPU_BGRA128)}) {
        EXPECT_EQ(DepthOf(code), WorldDepth::Bits8) << std::hex << code;
    }
}

TEST(ResultRect, IsTheRequestClippedToTheLayer)
{
    PreRenderData d;
    PF_CheckoutResult input{};
    input.result_rect = PF_LRect{-1226, -1276, 2600, 2026};
    input.max_result_rect = PF_LRect{0, 0, 1920, 1080};
    SetInputCheckout(d, PF_LRect{100, 50, 2100, 700}, input);
    ExpectRect(d.input_rect, -1226, -1276, 2600, 2026);
    ExpectRect(d.input_max_rect, 0, 0, 1920, 1080);
    ExpectRect(d.output_rect, 100, 50, 1920, 700);

    SetInputCheckout(d, PF_LRect{1920, 50, 2100, 700}, input);   // beside the layer
    ExpectRect(d.output_rect, 0, 0, 0, 0);
}

TEST(ResultRect, AMapNeedsBothRectanglesNonEmpty)
{
    PreRenderData d;
    PF_CheckoutResult map{};
    map.max_result_rect = PF_LRect{0, 0, 960, 540};
    SetMapCheckout(d, map);   // an empty result rectangle: no map
    EXPECT_FALSE(d.has_map);
    map.result_rect = PF_LRect{0, 0, 960, 540};
    SetMapCheckout(d, map);
    EXPECT_TRUE(d.has_map);
    ExpectRect(d.map_max_rect, 0, 0, 960, 540);
}

TEST(PreRender, RecordStartsWithItsInitialValues)
{
    const PreRenderData d;
    EXPECT_EQ(d.time, 0.0);
    EXPECT_EQ(d.dsx, 1.0f);
    EXPECT_EQ(d.dsy, 1.0f);
    EXPECT_FALSE(d.has_map);
    ExpectRect(d.output_rect, 0, 0, 0, 0);
    ExpectRect(d.map_max_rect, 0, 0, 0, 0);
}

}   // namespace
