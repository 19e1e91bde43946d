// The histogram counts of one image, shared by all renderers (views) of that image.
#pragma once

#include "core/image.h"
#include "core/memory.h"

#include <array>
#include <cstdint>
#include <memory>

namespace quillon {

// Three tables of 65536 counters indexed by composed value + 32768.
struct HistogramCache {
    bool valid = false;
    // Which renderer the counts belong to (LRGB and user images compose per renderer), by
    // ImageRenderer::id(); 0: none.
    std::uint64_t rendererId = 0;
    // The Image::sampleGeneration the counts were taken from; counts of other samples are
    // stale.
    std::uint64_t sampleGeneration = 0;
    // A number unique in the process for every completed counting, so that pictures drawn
    // from the counts can tell whether they are still current; 0: never counted.
    std::uint64_t generation = 0;
    std::array<memory::Buffer<std::uint16_t>, 3> tables;
    std::uint16_t maxCount = 0; // the largest counter of the three channels

    bool allocated() const { return !tables[0].empty(); }
    // Allocates the tables when needed, zeroes them and marks the counts invalid and owned
    // by no renderer. Returns 0, or 200 (tables released) when memory cannot be had.
    int reset();
};

// The cache of `image`: one per image for as long as a renderer of it holds it.
std::shared_ptr<HistogramCache> sharedHistogramCache(const Image& image);

} // namespace quillon
