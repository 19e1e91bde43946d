// PNG encoding of pictures through libpng: 8-bit RGB from 32-bit pictures, 8-bit grey from
// grey pictures. Files are written through AtomicFile, so a failed write leaves any previous
// file untouched.
#pragma once

#include "core/picture.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

struct PngOptions {
    int compressionLevel = 6; // zlib level 0..9
    // Write a 32-bit picture as grey when all its pixels have red = green = blue.
    bool greyWhenNeutral = false;
};

// Encodes the picture into PNG bytes. Throws Error(failureMessage) when the picture is empty
// or libpng reports an error, std::bad_alloc when memory runs out.
std::vector<std::uint8_t>
encodePng(const Picture& picture, const PngOptions& options = {},
          const std::string& failureMessage = "Unerwarteter Fehler: Code 00051");

// Encodes and writes to `path`. Throws Error(failureMessage) when the file cannot be written.
void writePng(const std::string& path, const Picture& picture, const PngOptions& options = {},
              const std::string& failureMessage = "Unerwarteter Fehler: Code 00051");

} // namespace quillon
