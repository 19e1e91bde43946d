// LRGB bias: the background level of each layer of an LRGB image, at a point or over the image.
#pragma once

#include "core/operation.h"
#include "core/progress.h"

#include <array>
#include <cstdint>
#include <span>

namespace quillon {

class Image;

// The position that selects the whole-image method.
inline constexpr int kWholeImageBias = -100;
// Progress title of the whole-image method.
inline constexpr const char* kBiasProgressTitle = "Automatische LRGB-Bias ermittlung";
// The message for a chosen position outside the image (also the black and white point from
// the image, display/scaling.h).
inline constexpr const char* kOutsideImage =
    "Sie haben eine Position außerhalb des Bildes gewählt!";
// The refusal for an image that is not LRGB (the commands are disabled for those).
inline constexpr const char* kBiasNeedsLrgb = "Nur für LRGB-Bilder möglich.";

using LrgbBiasValues = std::array<std::int16_t, 4>; // L, R, G, B

// The record of the bias values a view is given ("LRGB Bias-Werte"): one field per layer,
// -32768 … 32767, labelled "L=" … "B=". Not stored in the settings: the bias belongs to the
// view (and its FITS file).
std::span<const ParamField<LrgbBiasValues>> lrgbBiasFields();

// The bias of layers 0..3 of an LRGB image.
// At a point (x, y): the mean (integer division) of each layer over the pixels of the disc of
// radius 5 around it that lie inside the image; Error(kOutsideImage) when there is none.
// With x = y = kWholeImageBias: the most frequent sample of each layer, the lowest one when
// several are equally frequent. Its counters never saturate, so a large smooth frame keeps
// its true mode. Progress: one step per row of each layer (4 × height), Cancelled propagates.
// Throws Error(kBiasNeedsLrgb) for other types and std::bad_alloc when the table of counters
// does not fit the memory budget.
LrgbBiasValues determineBias(const Image& image, int x, int y,
                             Progress& progress = Progress::none());

} // namespace quillon
