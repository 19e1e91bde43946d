// The in-memory bitmap between the raster codecs and the image: 8 bits per pixel with a
// 256-entry palette, or 32 bits per pixel in blue, green, red, alpha order, row 0 at the top.
// Decoders of 16-bit files may instead deliver 16-bit grey or 48-bit RGB rows (native
// unsigned 16-bit values), which the import keeps at full precision.
#pragma once

#include "core/memory.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace quillon {

inline constexpr const char* kBitmapOutOfMemory = "Out of memory creating bitmap.";

// The largest picture a decoder accepts: anything bigger could never become an Image, and
// refusing it before the allocation keeps a lying header from taking gigabytes.
inline constexpr std::uint64_t kMaxBitmapPixels = 14000ull * 14000ull;
inline constexpr int kMaxBitmapSide = 65535;

struct PaletteEntry {
    std::uint8_t blue = 0, green = 0, red = 0, reserved = 0;
};

class Bitmap {
public:
    // bitCount: 8 (palette), 32 (BGRA), 16 (grey, 16-bit) or 48 (RGB, 16-bit per channel).
    // Throws Error("Out of memory creating bitmap.") when the rows cannot be allocated and
    // Error with a size text when the dimensions are out of range. Rows start zeroed.
    void create(int width, int height, int bitCount);
    void clear();

    int width() const { return width_; }
    int height() const { return height_; }
    int bitCount() const { return bitCount_; }
    bool deep() const { return bitCount_ == 16 || bitCount_ == 48; }
    std::size_t stride() const { return stride_; }
    std::uint8_t* row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * stride_; }
    const std::uint8_t* row(int y) const {
        return pixels_.data() + static_cast<std::size_t>(y) * stride_;
    }
    std::uint16_t* row16(int y) { return reinterpret_cast<std::uint16_t*>(row(y)); }
    const std::uint16_t* row16(int y) const {
        return reinterpret_cast<const std::uint16_t*>(row(y));
    }

    std::array<PaletteEntry, 256>& palette() { return palette_; }
    const std::array<PaletteEntry, 256>& palette() const { return palette_; }
    void setGreyPalette();

    // 32-bit pixel access.
    void setRgb(int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
        std::uint8_t* p = row(y) + 4 * static_cast<std::size_t>(x);
        p[0] = b, p[1] = g, p[2] = r, p[3] = 255;
    }

private:
    int width_ = 0;
    int height_ = 0;
    int bitCount_ = 0;
    std::size_t stride_ = 0;
    memory::Buffer<std::uint8_t> pixels_;
    std::array<PaletteEntry, 256> palette_{};
};

// Throws the codec's own error text if width × height is not a picture a decoder may create.
void checkBitmapSize(long long width, long long height);

} // namespace quillon
