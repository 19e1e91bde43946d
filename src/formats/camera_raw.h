// Camera RAW import through LibRaw: VNG demosaicing, camera orientation, 16-bit linear RGB in
// memory, the demosaicing border removed and the halving rule applied.
#pragma once

#include "core/error.h"
#include "core/image.h"
#include "core/progress.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace quillon {

namespace cameraRaw {
inline constexpr const char* kReadFailed = "Fehler beim Lesen des RAW-Formats";
inline constexpr const char* kAnalyse = "RAW-Datei analysieren";
inline constexpr const char* kConvert = "Umwandlung in RGB";
inline constexpr const char* kBuild = "Erzeuge Quillon-Dokument";
} // namespace cameraRaw

// The failure of a file LibRaw does not take for a camera file at all (it cannot open it or
// recognises no camera), as opposed to a camera file it cannot decode. Same message; the open
// step may then try the file as a raster picture.
class NotACameraFile : public Error {
public:
    NotACameraFile() : Error(cameraRaw::kReadFailed) {}
};

// The camera RAW import of a file (throws Error; NotACameraFile when LibRaw refuses the file).
void readCameraRaw(const std::string& path, Image& image, Progress& progress);
// The same from a memory block (fuzzing, tests).
void readCameraRawMemory(const std::uint8_t* data, std::size_t size, Image& image,
                         Progress& progress);

// Builds the Image from the decoder's result: `rgb` holds width × height pixels of three
// unsigned 16-bit values; `border` pixels are dropped on every side. Values are multiplied by
// the brightness, truncated and limited to 65535; when more than 0.5 % of them exceed 32767
// every value is halved, otherwise values above 32767 become 32767.
void importRawRgb(const std::uint16_t* rgb, int width, int height, int border, float brightness,
                  Image& image, Progress& progress);

} // namespace quillon
