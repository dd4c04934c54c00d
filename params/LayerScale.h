// The layer scale factor: how much bigger than 1920 x 1080 the layer is, as a length ratio. Sizes that
// are meant "for a 1080p layer" are multiplied by it.
#pragma once

// sqrt(width * height) / 1440 (1440 = sqrt(1920 * 1080)), limited to at most 20, then to at least 0.05.
// 1 when either side is not above 0.
double LayerScaleFactor(double width, double height);
