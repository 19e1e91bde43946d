// Reader for SBIG camera files: the fixed ".ST4" layout and the text-header layout of the
// later cameras, uncompressed or row-compressed, into a grey Image.
#pragma once

#include "core/image.h"
#include "core/progress.h"
#include "formats/byte_source.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace quillon {

namespace sbig {
inline constexpr const char* kOpenFailed = "Datei konnte nicht geöffnet werden!";
inline constexpr const char* kNotSbig = "Kein gültiges SBIG-Format";
inline constexpr const char* kDamaged = "SBIG-Datei Fehlerhaft oder unvollständig";
inline constexpr const char* kUnreadable = "Datei nicht lesbar";
inline constexpr const char* kProgressTitle = "SBIG-Datei öffnen";
} // namespace sbig

// True when the path (trailing blanks removed) ends in ".ST4" in any case.
bool isSt4Path(const std::string& path);

// The registered reader: chooses the layout by the path and reads the file.
void readSbig(const std::string& path, Image& image, Progress& progress);

// Reads from any byte source; st4 selects the fixed ".ST4" layout. Fills an empty Image or
// throws Error with the user's text.
void readSbig(ByteSource& src, bool st4, Image& image, Progress& progress);

} // namespace quillon
