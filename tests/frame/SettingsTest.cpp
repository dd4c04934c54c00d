// Reading the controls into WarpSettings and sanitising them.
#include "FrameTestUtil.h"
#include "LayerScale.h"
#include "WarpTypes.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();

// Field by field, doubles by their bits (so -0 and 0 differ).
void ExpectSameSettings(const WarpSettings& a, const WarpSettings& b)
{
    const auto bits = [](double v) { return std::bit_cast<std::uint64_t>(v); };
#define QF_SAME_DOUBLE(f) EXPECT_EQ(bits(a.f), bits(b.f)) << #f
#define QF_SAME(f) EXPECT_EQ(a.f, b.f) << #f
    QF_SAME_DOUBLE(amount);
    QF_SAME_DOUBLE(wave_size);
    QF_SAME_DOUBLE(strength);
    QF_SAME_DOUBLE(fold);
    QF_SAME_DOUBLE(drip);
    QF_SAME_DOUBLE(direction);
    QF_SAME(wave_count);
    QF_SAME(waveform);
    QF_SAME_DOUBLE(size_variation);
    QF_SAME_DOUBLE(strength_variation);
    QF_SAME_DOUBLE(direction_spread);
    QF_SAME(iterations);
    QF_SAME(seed);
    QF_SAME_DOUBLE(scale);
    QF_SAME_DOUBLE(evolution);
    QF_SAME_DOUBLE(evolution_speed);
    QF_SAME_DOUBLE(offset_x);
    QF_SAME_DOUBLE(offset_y);
    QF_SAME_DOUBLE(drift_x);
    QF_SAME_DOUBLE(drift_y);
    QF_SAME(loop);
    QF_SAME_DOUBLE(loop_duration);
    QF_SAME(map_channel);
    QF_SAME(invert_map);
    QF_SAME_DOUBLE(color_split);
    QF_SAME(edge_mode);
    QF_SAME(antialiasing);
    QF_SAME(bicubic);
    QF_SAME_DOUBLE(mix);
#undef QF_SAME
#undef QF_SAME_DOUBLE
}

}   // namespace

TEST(Settings, DefaultControlsReadAsTheirEngineeringValues)
{
    const WarpSettings s = Controls().Read(1.5);
    EXPECT_EQ(s.amount, 1.0);
    EXPECT_EQ(s.wave_size, 440.0);
    EXPECT_EQ(s.strength, 2.0);
    EXPECT_EQ(s.fold, 1.0);
    EXPECT_EQ(s.drip, 0.5);
    EXPECT_EQ(s.direction, 0.0);
    EXPECT_EQ(s.wave_count, 5);
    EXPECT_EQ(s.waveform, QF_WAVE_SINE);
    EXPECT_EQ(s.size_variation, 0.8);
    EXPECT_EQ(s.strength_variation, 0.6);
    EXPECT_EQ(s.direction_spread, 20.0);
    EXPECT_EQ(s.iterations, 1);
    EXPECT_EQ(s.seed, 2);
    EXPECT_EQ(s.scale, 1.5);   // Scale With Layer is on by default
    EXPECT_EQ(s.evolution, 0.0);
    EXPECT_FALSE(s.loop);
    EXPECT_EQ(s.loop_duration, 4.0);
    EXPECT_EQ(s.map_channel, QF_MAP_LUMA);
    EXPECT_FALSE(s.invert_map);
    EXPECT_EQ(s.color_split, 0.0);
    EXPECT_EQ(s.edge_mode, QF_EDGE_REPEAT);
    EXPECT_EQ(s.antialiasing, 2);   // "High"
    EXPECT_TRUE(s.bicubic);
    EXPECT_EQ(s.mix, 1.0);
}

TEST(Settings, ConversionsAreExact)
{
    // 35 / 100 and 35 * 0.01 are different doubles: percents are divided.
    const WarpSettings s = Controls()
                               .Float(PARAM_STRENGTH_VARIATION, 35)
                               .Float(PARAM_MIX, 57)
                               .Angle(PARAM_EVOLUTION, 810)
                               .Angle(PARAM_DIRECTION, 12.5)
                               .Read();
    EXPECT_EQ(s.strength_variation, 35.0 / 100.0);
    EXPECT_EQ(s.mix, 57.0 / 100.0);
    EXPECT_EQ(s.evolution, 2.25);
    EXPECT_EQ(s.direction, 12.5);
}

TEST(Settings, ValuesAreClampedToTheirRanges)
{
    EXPECT_EQ(Controls().Float(PARAM_AMOUNT, 1000).Read().amount, 10.0);
    EXPECT_EQ(Controls().Float(PARAM_AMOUNT, -5).Read().amount, 0.0);
    EXPECT_EQ(Controls().Float(PARAM_LOOP_DURATION, 0).Read().loop_duration, 0.01);
    EXPECT_EQ(Controls().Float(PARAM_SIZE_VARIATION, 150).Read().size_variation, 1.0);
    EXPECT_EQ(Controls().Float(PARAM_COLOR_SPLIT, -250).Read().color_split, -1.0);
    EXPECT_EQ(Controls().Float(PARAM_WAVE_SIZE, 1).Read().wave_size, 2.0);
    EXPECT_EQ(Controls().Float(PARAM_OFFSET_X, -2e7).Read().offset_x, -1e7);
    EXPECT_EQ(Controls().Int(PARAM_WAVES, 40).Read().wave_count, 32);
    EXPECT_EQ(Controls().Int(PARAM_WAVES, -3).Read().wave_count, 1);
    EXPECT_EQ(Controls().Int(PARAM_ITERATIONS, 9).Read().iterations, 4);
    EXPECT_EQ(Controls().Int(PARAM_ITERATIONS, 0).Read().iterations, 1);
    EXPECT_EQ(Controls().Int(PARAM_RANDOM_SEED, -7).Read().seed, 0);
    EXPECT_EQ(Controls().Int(PARAM_RANDOM_SEED, 2147483647).Read().seed, 2147483647);
}

TEST(Settings, DirectionKeepsTheRemainderAfter360)
{
    EXPECT_EQ(Controls().Angle(PARAM_DIRECTION, 450).Read().direction, 90.0);
    EXPECT_EQ(Controls().Angle(PARAM_DIRECTION, -450).Read().direction, -90.0);
    EXPECT_EQ(Controls().Angle(PARAM_DIRECTION, 370).Read().direction, 10.0);
    EXPECT_EQ(Controls().Angle(PARAM_DIRECTION, -30).Read().direction, -30.0);
    const double d = Controls().Angle(PARAM_DIRECTION, -720).Read().direction;
    EXPECT_EQ(d, 0.0);
    EXPECT_TRUE(std::signbit(d));
}

TEST(Settings, CodesOutOfRangeBecomeTheFirstButAntialiasingIsClamped)
{
    constexpr std::int32_t lowest = std::numeric_limits<std::int32_t>::min();
    EXPECT_EQ(Controls().Int(PARAM_WAVEFORM, 7).Read().waveform, QF_WAVE_SINE);
    EXPECT_EQ(Controls().Int(PARAM_WAVEFORM, 0).Read().waveform, QF_WAVE_SINE);
    EXPECT_EQ(Controls().Int(PARAM_WAVEFORM, 6).Read().waveform, QF_WAVE_SAWTOOTH);
    EXPECT_EQ(Controls().Int(PARAM_WAVEFORM, lowest).Read().waveform, QF_WAVE_SINE);
    EXPECT_EQ(Controls().Int(PARAM_MAP_CHANNEL, 6).Read().map_channel, QF_MAP_LUMA);
    EXPECT_EQ(Controls().Int(PARAM_MAP_CHANNEL, 5).Read().map_channel, QF_MAP_BLUE);
    EXPECT_EQ(Controls().Int(PARAM_EDGES, 5).Read().edge_mode, QF_EDGE_REPEAT);
    EXPECT_EQ(Controls().Int(PARAM_EDGES, -1).Read().edge_mode, QF_EDGE_REPEAT);
    EXPECT_EQ(Controls().Int(PARAM_EDGES, 4).Read().edge_mode, QF_EDGE_TRANSPARENT);
    EXPECT_EQ(Controls().Int(PARAM_ANTIALIASING, 6).Read().antialiasing, 3);
    EXPECT_EQ(Controls().Int(PARAM_ANTIALIASING, 0).Read().antialiasing, 0);
    EXPECT_EQ(Controls().Int(PARAM_ANTIALIASING, lowest).Read().antialiasing, 0);
    EXPECT_TRUE(Controls().Int(PARAM_INTERPOLATION, 2).Read().bicubic);
    EXPECT_FALSE(Controls().Int(PARAM_INTERPOLATION, 1).Read().bicubic);
    EXPECT_FALSE(Controls().Int(PARAM_INTERPOLATION, 3).Read().bicubic);
}

TEST(Settings, NonFiniteHostValuesTakeTheirFallbacks)
{
    const WarpSettings s = Controls()
                               .Float(PARAM_AMOUNT, NaN)
                               .Float(PARAM_WAVE_SIZE, INF)
                               .Float(PARAM_STRENGTH, -INF)
                               .Float(PARAM_FOLD, NaN)
                               .Float(PARAM_DRIP, INF)
                               .Float(PARAM_SIZE_VARIATION, NaN)
                               .Float(PARAM_DIRECTION_SPREAD, INF)
                               .Float(PARAM_EVOLUTION_SPEED, NaN)
                               .Float(PARAM_OFFSET_Y, -INF)
                               .Float(PARAM_DRIFT_SPEED_X, NaN)
                               .Float(PARAM_LOOP_DURATION, -INF)
                               .Float(PARAM_COLOR_SPLIT, NaN)
                               .Float(PARAM_MIX, -INF)
                               .Read(NaN);
    EXPECT_EQ(s.amount, 1.0);
    EXPECT_EQ(s.wave_size, 440.0);
    EXPECT_EQ(s.strength, 2.0);
    EXPECT_EQ(s.fold, 1.0);
    EXPECT_EQ(s.drip, 0.5);
    EXPECT_EQ(s.size_variation, 0.0);
    EXPECT_EQ(s.direction_spread, 0.0);
    EXPECT_EQ(s.evolution_speed, 0.0);
    EXPECT_EQ(s.offset_y, 0.0);
    EXPECT_EQ(s.drift_x, 0.0);
    EXPECT_EQ(s.loop_duration, 4.0);
    EXPECT_EQ(s.color_split, 0.0);
    EXPECT_EQ(s.mix, 1.0);
    EXPECT_EQ(s.scale, 1.0);   // a non-finite layer scale

    WarpSettings raw;
    raw.direction = INF;
    EXPECT_EQ(SanitizeSettings(raw).direction, 0.0);
    raw.direction = NaN;
    EXPECT_EQ(SanitizeSettings(raw).direction, 0.0);
}

TEST(Settings, AbsentParametersReadAsZero)
{
    EXPECT_EQ(Controls().Absent(PARAM_WAVES).Read().wave_count, 1);
    EXPECT_EQ(Controls().Absent(PARAM_WAVE_SIZE).Read().wave_size, 2.0);
    EXPECT_EQ(Controls().Absent(PARAM_AMOUNT).Read().amount, 0.0);
    EXPECT_EQ(Controls().Absent(PARAM_ANTIALIASING).Read().antialiasing, 0);
    EXPECT_FALSE(Controls().Absent(PARAM_INTERPOLATION).Read().bicubic);
    // An absent Scale With Layer is off: the layer's factor is not used.
    EXPECT_EQ(Controls().Absent(PARAM_SCALE_WITH_LAYER).Read(3.0).scale, 1.0);

    const ParamValues empty{};
    const WarpSettings s = ReadSettings(empty, 3.0).values();
    EXPECT_EQ(s.scale, 1.0);
    EXPECT_EQ(s.mix, 0.0);
    EXPECT_EQ(s.loop_duration, 0.01);
    EXPECT_EQ(s.iterations, 1);
    EXPECT_EQ(s.seed, 0);
    EXPECT_FALSE(s.loop);
}

TEST(Settings, RenderParametersLeaveOutLayersHeaderAndGroups)
{
    int count = 0;
    for (int i = -1; i <= PARAM_COUNT; ++i) {
        count += IsRenderParam(i) ? 1 : 0;
    }
    EXPECT_EQ(count, 30);
    EXPECT_FALSE(IsRenderParam(PARAM_MAP_LAYER));
    EXPECT_FALSE(IsRenderParam(PARAM_RENDER_GROUP_END));
    EXPECT_TRUE(IsRenderParam(PARAM_PRESET));
    EXPECT_TRUE(IsRenderParam(PARAM_MIX));
}

TEST(Settings, LayerScaleFollowsTheLayerOnlyWhenScaleWithLayerIsOn)
{
    const auto scale_on = [](int w, int h) { return Controls().Read(LayerScaleFactor(w, h)).scale; };
    EXPECT_EQ(scale_on(1920, 1080), 1.0);
    EXPECT_EQ(scale_on(3840, 2160), 2.0);
    EXPECT_NEAR(scale_on(192, 108), 0.1, 1e-15);
    EXPECT_EQ(scale_on(20, 20), 0.05);
    EXPECT_EQ(scale_on(0, 1080), 1.0);
    EXPECT_EQ(scale_on(100000, 100000), 20.0);

    EXPECT_EQ(Controls().Int(PARAM_SCALE_WITH_LAYER, 0).Read(LayerScaleFactor(3840, 2160)).scale, 1.0);
}

TEST(Settings, SanitisingIsIdempotent)
{
    WarpSettings wild;
    wild.amount = 1e300;
    wild.wave_size = -INF;
    wild.strength = NaN;
    wild.direction = -720.0;
    wild.wave_count = 1000;
    wild.waveform = -4;
    wild.iterations = -2;
    wild.seed = -1;
    wild.scale = 1e-9;
    wild.evolution = -5e6;
    wild.offset_x = NaN;
    wild.loop_duration = 0;
    wild.map_channel = 99;
    wild.color_split = 7;
    wild.edge_mode = 3;
    wild.antialiasing = 17;
    wild.mix = -1;
    for (const WarpSettings& s : {wild, WarpSettings{}, Controls().Read(2.0)}) {
        const WarpSettings once = SanitizeSettings(s);
        ExpectSameSettings(SanitizeSettings(once), once);
    }
    ExpectSameSettings(SanitizeSettings(Controls().Read()), Controls().Read());
}
