// The random stream, the wave drafts and the time model.
#include "WaveGeneration.h"

#include <cmath>

RandomStream::RandomStream(std::uint32_t seed) : state_(seed)
{
    Next();
}

std::uint64_t RandomStream::Next()
{
    std::uint64_t z = state_ + 0x9E3779B97F4A7C15ull;
    z ^= z >> 30;
    z *= 0xBF58476D1CE4E5B9ull;
    z ^= z >> 27;
    z *= 0x94D049BB133111EBull;
    z ^= z >> 31;
    state_ = z;
    return z;
}

double RandomStream::Uniform()
{
    return static_cast<double>(Next() >> 11) * INV_2_POW_53;
}

namespace {

constexpr int DRAWS_PER_WAVE = 8;   // six used, two reserved so the stream layout per wave never shifts

WaveDraft DraftWave(const WarpSettings& s, RandomStream& stream)
{
    double u[DRAWS_PER_WAVE];
    for (double& draw : u) {
        draw = stream.Uniform();
    }
    WaveDraft w;
    w.wavelength = std::exp((u[0] - 0.5) * (s.size_variation * LN_4)) * (s.wave_size * s.scale);
    w.wave_number = TWO_PI / w.wavelength;
    w.amplitude = ((u[1] - 0.5) * (2.0 * s.strength_variation) + 1.0) * s.strength / w.wave_number * s.amount;
    const double theta = ((u[2] - 0.5) * s.direction_spread + s.direction) * PI / 180.0;
    w.cos_dir = std::cos(theta);
    w.sin_dir = std::sin(theta);
    w.fold_draw = u[3];
    w.drip_draw = u[4];
    int j = static_cast<int>(u[5] * 4.0);
    j = j > 3 ? 3 : j;
    w.evo_mult = EVOLUTION_MULTIPLIERS[j];
    return w;
}

// The fractional part of a number of turns, as radians in [0, 2 pi).
double TurnPhase(double turns)
{
    return (turns - std::floor(turns)) * TWO_PI;
}

// A phase brought to [-pi, pi); a non-finite phase becomes 0.
double Wrap(double p)
{
    if (!std::isfinite(p)) {
        return 0.0;
    }
    const double x = p / TWO_PI;
    const double y = x - std::floor(x + 0.5);
    return (y + y) * PI;
}

}   // namespace

std::vector<WaveDraft> GenerateWaves(const SanitizedSettings& settings, int count)
{
    std::vector<WaveDraft> waves;
    if (count <= 0) {
        return waves;
    }
    waves.reserve(static_cast<std::size_t>(count));
    RandomStream stream(static_cast<std::uint32_t>(settings->seed));
    for (int i = 0; i < count; ++i) {
        waves.push_back(DraftWave(settings.values(), stream));
    }
    return waves;
}

void BuildFrame(const SanitizedSettings& settings, double time, QF_Frame& frame)
{
    const WarpSettings& s = settings.values();
    const double t = std::isfinite(time) ? time : 0.0;

    // Evolution position e in turns, and with Loop the fraction r of the loop that has passed.
    double e = 0.0;
    double r = 0.0;
    const double d = s.loop_duration;
    if (!s.loop) {
        e = s.evolution_speed * t + s.evolution;
    } else {
        const double tl = t - std::floor(t / d) * d;
        double v = s.evolution_speed;
        if (v != 0.0) {
            // A whole number of turns per loop, and never a standstill.
            double q = std::floor(v * d + 0.5);
            if (q == 0.0) {
                q = v > 0.0 ? 1.0 : -1.0;
            }
            v = q / d;
        }
        e = v * tl + s.evolution;
        r = tl / d;
    }

    const std::vector<WaveDraft> drafts = GenerateWaves(settings, s.wave_count);
    for (int i = 0; i < QF_MAX_WAVES; ++i) {
        frame.waves[i] = QF_Wave{};
    }
    for (std::size_t i = 0; i < drafts.size(); ++i) {
        const WaveDraft& w = drafts[i];
        const double c = w.cos_dir;
        const double sn = w.sin_dir;
        const double k = w.wave_number;
        const double a = w.amplitude;

        const double fold_start = TWO_PI * w.fold_draw;
        const double drip_start = TWO_PI * w.drip_draw;
        const double evolution_phase = TurnPhase(static_cast<double>(w.evo_mult) * e);
        const double drift_rate = (c * s.drift_x + sn * s.drift_y) * (k * s.scale);
        double drift_phase = 0.0;
        if (!s.loop) {
            drift_phase = TurnPhase(drift_rate * t / TWO_PI);
        } else {
            // Whole cycles per loop; a slow drift may round to none.
            drift_phase = std::floor(drift_rate * d / TWO_PI + 0.5) * TWO_PI * r;
        }
        const double offset_phase = (k * s.scale) * (c * s.offset_x + sn * s.offset_y);
        const double common = evolution_phase - offset_phase - drift_phase;

        QF_Wave& out = frame.waves[i];
        out.kx = static_cast<float>(k * c);
        out.ky = static_cast<float>(k * sn);
        out.phf = static_cast<float>(Wrap(fold_start + common));
        out.phd = static_cast<float>(Wrap(drip_start + common));
        out.fx = static_cast<float>(a * s.fold * c);
        out.fy = static_cast<float>(a * s.fold * sn);
        out.dx = static_cast<float>(-sn * a * s.drip);
        out.dy = static_cast<float>(c * a * s.drip);
    }

    const bool displaces = s.amount > 0.0 && s.strength > 0.0 && (s.fold > 0.0 || s.drip > 0.0);
    frame.num_waves = displaces ? s.wave_count : 0;
    frame.waveform = s.waveform;
    frame.iterations = s.iterations;
    frame.edge_mode = s.edge_mode;
    frame.aa_cap = AA_CAP_BY_LEVEL[s.antialiasing];
    frame.bicubic = s.bicubic ? 1 : 0;
    frame.split = static_cast<float>(s.color_split);
    frame.mix = static_cast<float>(s.mix);
    frame.map_channel = s.map_channel;
    frame.map_invert = s.invert_map ? 1 : 0;
}
