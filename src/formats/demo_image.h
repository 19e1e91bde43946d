// The bundled sample image: a synthetic RGB star field with a faint nebula.
#pragma once

#include "core/image.h"

#include <cstdint>

namespace quillon {

inline constexpr int kDemoWidth = 1200;
inline constexpr int kDemoHeight = 900;

// Fills an empty Image with a realistic synthetic exposure: sky background with a gradient,
// a faint emission nebula, stars of many brightnesses and colours with Gaussian profiles
// (the brightest saturated), seeded noise, a few hot pixels, acquisition metadata, a
// comment line and stored display values. The same seed always gives the same samples.
// Throws Error("Nicht genügend Speicherplatz vorhanden!") when the planes cannot be had.
void makeDemoImage(Image& image, std::uint32_t seed = 42);

} // namespace quillon
