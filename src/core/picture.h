// Picture buffers that rendering fills and export encodes: 32-bit colour or 8-bit grey, rows
// from the top.
//
// A Rgb32 picture stores each pixel as one uint32 0xFFRRGGBB (alpha always 0xFF), rows of
// width pixels one after another, so QImage(bits, w, h, bytesPerLine, Format_RGB32 or
// Format_ARGB32) wraps it without copying. A Grey8 picture stores one byte per pixel with a
// linear grey palette (value i shows red = green = blue = i); its rows are padded to a
// multiple of 4 bytes, as QImage::Format_Grayscale8 and device-independent bitmaps expect.
#pragma once

#include "core/memory.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace quillon {

// Text shown when the memory of a picture buffer cannot be obtained.
inline constexpr const char* kOutOfMemoryBitmap = "Out of memory creating bitmap.";

enum class PictureFormat { Rgb32, Grey8 };

// 0x00RRGGBB display colour → the stored 32-bit pixel.
inline constexpr std::uint32_t opaque(std::uint32_t rgb) {
    return rgb | 0xFF000000u;
}
inline constexpr int redOf(std::uint32_t c) {
    return static_cast<int>((c >> 16) & 0xFF);
}
inline constexpr int greenOf(std::uint32_t c) {
    return static_cast<int>((c >> 8) & 0xFF);
}
inline constexpr int blueOf(std::uint32_t c) {
    return static_cast<int>(c & 0xFF);
}
inline constexpr std::uint32_t makeRgb(int r, int g, int b) {
    return (static_cast<std::uint32_t>(r) << 16) | (static_cast<std::uint32_t>(g) << 8) |
           static_cast<std::uint32_t>(b);
}
// The grey value of a colour used for grey pictures and monochrome output.
inline constexpr int greyOf(std::uint32_t c) {
    return (redOf(c) * 30 + greenOf(c) * 59 + blueOf(c) * 11 + 50) / 100;
}

class Picture {
public:
    Picture() = default;
    Picture(Picture&&) noexcept = default;
    Picture& operator=(Picture&&) noexcept = default;
    Picture(const Picture&) = delete;
    Picture& operator=(const Picture&) = delete;

    // Sizes the picture; keeps the memory when size and format do not change. Throws
    // std::bad_alloc when the memory cannot be obtained (the picture is then empty).
    // Negative sizes count as 0.
    void resize(int width, int height, PictureFormat format = PictureFormat::Rgb32) {
        if (width < 0) width = 0;
        if (height < 0) height = 0;
        if (width > (1 << 28)) throw std::bad_alloc(); // rows beyond 1 GiB: never a real picture
        int bpl = format == PictureFormat::Rgb32 ? width * 4 : (width + 3) & ~3;
        if (width == width_ && height == height_ && format == format_ && !data_.empty()) return;
        width_ = height_ = bytesPerLine_ = 0;
        data_.reset();
        std::size_t bytes = static_cast<std::size_t>(bpl) * static_cast<std::size_t>(height);
        if (bytes > 0) data_.allocate(bytes, false);
        width_ = width;
        height_ = height;
        bytesPerLine_ = bpl;
        format_ = format;
    }
    // Copies size, format and pixels of another picture.
    void copyFrom(const Picture& o) {
        resize(o.width_, o.height_, o.format_);
        if (!data_.empty()) std::memcpy(data_.data(), o.data_.data(), data_.size());
    }
    void clear() {
        data_.reset();
        width_ = height_ = bytesPerLine_ = 0;
    }

    int width() const { return width_; }
    int height() const { return height_; }
    PictureFormat format() const { return format_; }
    int bytesPerLine() const { return bytesPerLine_; }
    bool empty() const { return width_ == 0 || height_ == 0; }
    std::uint8_t* bits() { return data_.data(); }
    const std::uint8_t* bits() const { return data_.data(); }

    std::uint32_t* rgbRow(int y) {
        return reinterpret_cast<std::uint32_t*>(data_.data() +
                                                static_cast<std::size_t>(y) * bytesPerLine_);
    }
    const std::uint32_t* rgbRow(int y) const {
        return reinterpret_cast<const std::uint32_t*>(data_.data() +
                                                      static_cast<std::size_t>(y) * bytesPerLine_);
    }
    std::uint8_t* greyRow(int y) {
        return data_.data() + static_cast<std::size_t>(y) * bytesPerLine_;
    }
    const std::uint8_t* greyRow(int y) const {
        return data_.data() + static_cast<std::size_t>(y) * bytesPerLine_;
    }
    // The colour 0x00RRGGBB of a pixel in either format.
    std::uint32_t rgbAt(int x, int y) const {
        if (format_ == PictureFormat::Rgb32) return rgbRow(y)[x] & 0xFFFFFFu;
        std::uint32_t g = greyRow(y)[x];
        return g * 0x010101u;
    }

private:
    memory::Buffer<std::uint8_t> data_;
    int width_ = 0;
    int height_ = 0;
    int bytesPerLine_ = 0;
    PictureFormat format_ = PictureFormat::Rgb32;
};

} // namespace quillon
