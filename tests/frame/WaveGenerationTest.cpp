// The random stream, the wave drafts, the time model and the render switches.
#include "FrameTestUtil.h"
#include "WaveGeneration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

QF_Frame Build(const WarpSettings& s, double time)
{
    QF_Frame frame;
    std::memset(&frame, 0, sizeof frame);
    BuildFrame(Sane(s), time, frame);
    return frame;
}

bool SameBytes(const void* a, const void* b, std::size_t n)
{
    return std::memcmp(a, b, n) == 0;
}

bool SameFrame(const QF_Frame& a, const QF_Frame& b)
{
    return SameBytes(&a, &b, sizeof a);
}

// Seed 2 with the default controls on a 1920 x 1080 layer.
WarpSettings Defaults()
{
    return Controls().Read(1.0);
}

// The animated case: Evolution 90 degrees at 0.5 turns per second, drift (100, 0), offset (10, -20).
WarpSettings Animated()
{
    return Controls()
        .Angle(PARAM_EVOLUTION, 90)
        .Float(PARAM_EVOLUTION_SPEED, 0.5)
        .Float(PARAM_DRIFT_SPEED_X, 100)
        .Float(PARAM_OFFSET_X, 10)
        .Float(PARAM_OFFSET_Y, -20)
        .Read(1.0);
}

}   // namespace

TEST(RandomStream, SeedZeroGivesTheKnownSequence)
{
    RandomStream stream(0);
    EXPECT_EQ(stream.State(), 0xE220A8397B1DCDAFull);
    const std::uint64_t d1 = stream.Next();
    const std::uint64_t d2 = stream.Next();
    EXPECT_EQ(d1, 0xA706DD2F4D197E6Full);
    EXPECT_EQ(d2, 0x238275BC38FCBE91ull);
    EXPECT_EQ(stream.State(), d2);   // each output is the next state
    EXPECT_NEAR(static_cast<double>(d1 >> 11) * INV_2_POW_53, 0.652448486374, 5e-13);

    RandomStream again(0);
    again.Next();
    EXPECT_EQ(again.Uniform(), static_cast<double>(d2 >> 11) * INV_2_POW_53);
}

TEST(WaveGeneration, DefaultControlsGiveTheKnownFirstWaves)
{
    const std::vector<WaveDraft> drafts = GenerateWaves(Sane(Defaults()), 2);
    ASSERT_EQ(drafts.size(), 2u);
    EXPECT_NEAR(drafts[0].wavelength, 390.4262, 5e-5);
    EXPECT_NEAR(std::atan2(drafts[0].sin_dir, drafts[0].cos_dir) * 180.0 / PI, 1.30060, 5e-6);
    EXPECT_EQ(drafts[0].evo_mult, -2);
    EXPECT_EQ(drafts[0].wave_number, TWO_PI / drafts[0].wavelength);
    EXPECT_EQ(drafts[1].evo_mult, -1);
    EXPECT_NEAR(drafts[1].wavelength, 552.5509, 5e-5);

    const QF_Wave w = Build(Defaults(), 0.0).waves[0];
    EXPECT_NEAR(w.kx, 0.016089, 5e-7);
    EXPECT_NEAR(w.ky, 0.00036528, 5e-9);
    EXPECT_NEAR(w.phf, 3.039359, 5e-6);
    EXPECT_NEAR(w.phd, -2.393983, 5e-6);
    EXPECT_NEAR(w.fx, 64.4555, 5e-4);
    EXPECT_NEAR(w.fy, 1.46337, 5e-5);
    EXPECT_NEAR(w.dx, -0.731685, 5e-6);
    EXPECT_NEAR(w.dy, 32.2277, 5e-4);
}

TEST(WaveGeneration, EvolutionDriftAndOffsetShiftThePhases)
{
    const QF_Wave w = Build(Animated(), 1.5).waves[0];
    EXPECT_NEAR(w.phf, 0.472425, 5e-6);
    EXPECT_NEAR(w.phd, 1.322268, 5e-6);

    WarpSettings looped = Animated();
    looped.loop = true;   // Loop Duration stays at its default of 4 seconds
    const QF_Wave l = Build(looped, 1.5).waves[0];
    EXPECT_NEAR(l.phf, 0.529580, 5e-6);
    EXPECT_NEAR(l.phd, 1.379424, 5e-6);

    // Neither changes the wave vector or the displacement vectors.
    const QF_Wave still = Build(Defaults(), 0.0).waves[0];
    EXPECT_EQ(w.kx, still.kx);
    EXPECT_EQ(w.fx, still.fx);
    EXPECT_EQ(w.dy, still.dy);
}

TEST(WaveGeneration, AddingAWaveKeepsTheOthers)
{
    WarpSettings five = Animated();
    WarpSettings six = five;
    six.wave_count = 6;
    const QF_Frame a = Build(five, 2.25);
    const QF_Frame b = Build(six, 2.25);
    EXPECT_TRUE(SameBytes(a.waves, b.waves, 5 * sizeof(QF_Wave)));
    EXPECT_NE(b.waves[5].kx, 0.0f);
    EXPECT_EQ(b.num_waves, 6);

    // Records past wave_count are zero, even over a dirty record.
    QF_Frame dirty;
    std::memset(&dirty, 0x7f, sizeof dirty);
    BuildFrame(Sane(five), 2.25, dirty);
    const QF_Wave zero{};
    for (int i = 5; i < QF_MAX_WAVES; ++i) {
        EXPECT_TRUE(SameBytes(&dirty.waves[i], &zero, sizeof zero)) << "wave " << i;
    }
}

TEST(WaveGeneration, VariationsOfZeroMakeUniformWaves)
{
    WarpSettings s = Defaults();
    s.size_variation = 0;
    s.direction_spread = 0;
    s.strength_variation = 0;
    s.direction = 30;
    s.wave_count = 8;
    const std::vector<WaveDraft> drafts = GenerateWaves(Sane(s), s.wave_count);
    for (const WaveDraft& w : drafts) {
        EXPECT_EQ(w.wavelength, 440.0);
        EXPECT_EQ(w.cos_dir, drafts[0].cos_dir);
        EXPECT_NEAR(std::atan2(w.sin_dir, w.cos_dir) * 180.0 / PI, 30.0, 1e-12);
        EXPECT_EQ(w.amplitude / w.wavelength, drafts[0].amplitude / drafts[0].wavelength);
    }
}

TEST(WaveGeneration, LoopedFramesRepeatAfterTheLoopDuration)
{
    WarpSettings s = Animated();
    s.drift_y = -37.5;
    s.loop = true;
    EXPECT_TRUE(SameFrame(Build(s, 1.0), Build(s, 5.0)));
    EXPECT_TRUE(SameFrame(Build(s, 0.0), Build(s, 8.0)));

    s.loop = false;
    EXPECT_FALSE(SameFrame(Build(s, 1.0), Build(s, 5.0)));
}

TEST(WaveGeneration, EvolutionSpeedIsQuantisedToWholeTurnsPerLoop)
{
    // Loop Duration 4: 0.1 and 0.3 become 0.25 turns per second, 0.4 becomes 0.5, -0.1 becomes -0.25.
    const auto frame_at_speed = [](double speed) {
        WarpSettings s = Defaults();
        s.loop = true;
        s.evolution_speed = speed;
        return Build(s, 1.3);
    };
    EXPECT_TRUE(SameFrame(frame_at_speed(0.1), frame_at_speed(0.25)));
    EXPECT_TRUE(SameFrame(frame_at_speed(0.3), frame_at_speed(0.25)));
    EXPECT_TRUE(SameFrame(frame_at_speed(0.4), frame_at_speed(0.5)));
    EXPECT_TRUE(SameFrame(frame_at_speed(-0.1), frame_at_speed(-0.25)));
    EXPECT_FALSE(SameFrame(frame_at_speed(0.25), frame_at_speed(0.5)));
    EXPECT_FALSE(SameFrame(frame_at_speed(0.25), frame_at_speed(-0.25)));
}

TEST(WaveGeneration, AFullTurnOfEvolutionChangesNothing)
{
    WarpSettings zero = Defaults();
    WarpSettings turn = zero;
    turn.evolution = 1.0;   // Evolution 360 degrees
    EXPECT_TRUE(SameFrame(Build(zero, 3.7), Build(turn, 3.7)));

    zero.evolution_speed = 0.3;
    turn.evolution_speed = 0.3;
    const QF_Frame a = Build(zero, 3.7);
    const QF_Frame b = Build(turn, 3.7);
    for (int i = 0; i < zero.wave_count; ++i) {
        EXPECT_NEAR(a.waves[i].phf, b.waves[i].phf, 1e-5);
        EXPECT_NEAR(a.waves[i].phd, b.waves[i].phd, 1e-5);
    }
}

TEST(WaveGeneration, PhasesStayWithinOneTurnAndNonFiniteTimeIsZero)
{
    WarpSettings s = Animated();
    s.drift_x = 1e6;
    s.offset_y = 1e7;
    s.evolution_speed = 1000;
    for (double t : {0.0, 1e6, -3.25e4, 2147483.647}) {
        const QF_Frame f = Build(s, t);
        for (int i = 0; i < s.wave_count; ++i) {
            EXPECT_GE(f.waves[i].phf, -static_cast<float>(PI));
            EXPECT_LE(f.waves[i].phf, static_cast<float>(PI));
            EXPECT_GE(f.waves[i].phd, -static_cast<float>(PI));
            EXPECT_LE(f.waves[i].phd, static_cast<float>(PI));
        }
    }
    const QF_Frame at_zero = Build(s, 0.0);
    EXPECT_TRUE(SameFrame(Build(s, std::numeric_limits<double>::quiet_NaN()), at_zero));
    EXPECT_TRUE(SameFrame(Build(s, std::numeric_limits<double>::infinity()), at_zero));
    // A time so large the phase overflows is stored as phase 0, never as NaN.
    const QF_Frame huge = Build(s, 1e305);
    for (int i = 0; i < s.wave_count; ++i) {
        EXPECT_FALSE(std::isnan(huge.waves[i].phf));
        EXPECT_FALSE(std::isnan(huge.waves[i].phd));
    }
}

TEST(RenderSwitches, NoDisplacementMeansNoWavesInUse)
{
    const auto num_waves = [](void (*change)(WarpSettings&)) {
        WarpSettings s = Defaults();
        change(s);
        const QF_Frame f = Build(s, 0.0);
        EXPECT_NE(f.waves[0].kx, 0.0f);   // the records are written all the same
        return f.num_waves;
    };
    EXPECT_EQ(num_waves([](WarpSettings&) {}), 5);
    EXPECT_EQ(num_waves([](WarpSettings& s) { s.amount = 0; }), 0);
    EXPECT_EQ(num_waves([](WarpSettings& s) { s.strength = 0; }), 0);
    EXPECT_EQ(num_waves([](WarpSettings& s) { s.fold = 0, s.drip = 0; }), 0);
    EXPECT_EQ(num_waves([](WarpSettings& s) { s.fold = 0; }), 5);
    EXPECT_EQ(num_waves([](WarpSettings& s) { s.drip = 0; }), 5);
}

TEST(RenderSwitches, ControlsReachTheFrame)
{
    const int caps[4] = {1, 2, 4, 8};
    for (int level = 0; level < 4; ++level) {
        WarpSettings s = Defaults();
        s.antialiasing = level;
        EXPECT_EQ(Build(s, 0.0).aa_cap, caps[level]);
    }

    WarpSettings s = Defaults();
    s.waveform = QF_WAVE_SQUARE;
    s.iterations = 3;
    s.edge_mode = QF_EDGE_MIRROR;
    s.bicubic = false;
    s.color_split = -0.35;
    s.mix = 0.57;
    s.map_channel = QF_MAP_GREEN;
    s.invert_map = true;
    s.antialiasing = 9;   // unsanitised: clamped to "Best"
    const QF_Frame f = Build(s, 0.0);
    EXPECT_EQ(f.waveform, QF_WAVE_SQUARE);
    EXPECT_EQ(f.iterations, 3);
    EXPECT_EQ(f.edge_mode, QF_EDGE_MIRROR);
    EXPECT_EQ(f.bicubic, 0);
    EXPECT_EQ(f.split, static_cast<float>(-0.35));
    EXPECT_EQ(f.mix, static_cast<float>(0.57));
    EXPECT_EQ(f.map_channel, QF_MAP_GREEN);
    EXPECT_EQ(f.map_invert, 1);
    EXPECT_EQ(f.aa_cap, 8);
    // The geometric half and the reserved words are left to the caller's zeroes.
    EXPECT_EQ(f.out_w, 0);
    EXPECT_EQ(f.pad0, 0);
    EXPECT_EQ(f.dsx, 0.0f);
}
