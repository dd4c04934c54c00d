// The layer scale factor shared by the presets and the settings snapshot.
#include "LayerScale.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double REFERENCE_SIDE = 1440.0;   // geometric mean of 1920 and 1080
constexpr double MAX_LAYER_SCALE = 20.0;
constexpr double MIN_LAYER_SCALE = 0.05;
}   // namespace

double LayerScaleFactor(double width, double height)
{
    if (!(width > 0.0) || !(height > 0.0)) {
        return 1.0;
    }
    const double factor = std::sqrt(width * height) / REFERENCE_SIDE;
    return std::max(std::min(factor, MAX_LAYER_SCALE), MIN_LAYER_SCALE);
}
