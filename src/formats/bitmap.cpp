// Bitmap allocation and palettes.
#include "formats/bitmap.h"

#include "core/error.h"

#include <new>

namespace quillon {

void checkBitmapSize(long long width, long long height) {
    if (width <= 0 || height <= 0) throw Error("Invalid image dimensions.");
    if (width > kMaxBitmapSide || height > kMaxBitmapSide ||
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kMaxBitmapPixels)
        throw Error("Image dimensions too large.");
}

void Bitmap::create(int width, int height, int bitCount) {
    clear();
    checkBitmapSize(width, height);
    std::size_t bytesPerPixel = static_cast<std::size_t>(bitCount) / 8;
    std::size_t stride = (static_cast<std::size_t>(width) * bytesPerPixel + 3) & ~std::size_t{3};
    try {
        pixels_.allocate(stride * static_cast<std::size_t>(height), true);
    } catch (const std::bad_alloc&) {
        throw Error(kBitmapOutOfMemory);
    }
    width_ = width;
    height_ = height;
    bitCount_ = bitCount;
    stride_ = stride;
}

void Bitmap::clear() {
    pixels_.reset();
    width_ = height_ = bitCount_ = 0;
    stride_ = 0;
    palette_.fill(PaletteEntry{});
}

void Bitmap::setGreyPalette() {
    for (int i = 0; i < 256; ++i) {
        auto v = static_cast<std::uint8_t>(i);
        palette_[static_cast<std::size_t>(i)] = PaletteEntry{v, v, v, 0};
    }
}

} // namespace quillon
