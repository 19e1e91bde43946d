// Reads a PNG the command line wrote, as 8-bit RGB, for tests that check written pictures.
#pragma once

#include "core/picture.h"

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quillon::testkit {

struct RgbPicture {
    int width = 0, height = 0;
    std::vector<std::uint8_t> px; // r, g, b per pixel, rows top down
    std::uint32_t at(int x, int y) const {
        const std::uint8_t* p = &px[(static_cast<std::size_t>(y) * width + x) * 3];
        return makeRgb(p[0], p[1], p[2]);
    }
};

// Empty (width 0) when the file cannot be read as PNG.
inline RgbPicture readPng(const std::string& path) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    RgbPicture r;
    if (!png_image_begin_read_from_file(&img, path.c_str())) return r;
    img.format = PNG_FORMAT_RGB;
    r.px.resize(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, r.px.data(), 0, nullptr)) return {};
    r.width = static_cast<int>(img.width);
    r.height = static_cast<int>(img.height);
    return r;
}

} // namespace quillon::testkit
