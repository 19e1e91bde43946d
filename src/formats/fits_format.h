// Shared pieces of the FITS dialect: block geometry, messages, locale-independent number
// conversion and the little-endian hexadecimal encoding of the compatibility cards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillon::fits {

inline constexpr std::size_t kBlockSize = 2880;
inline constexpr std::size_t kCardSize = 80;
inline constexpr std::size_t kCardsPerBlock = kBlockSize / kCardSize;
inline constexpr int kMaxHeaderBlocks = 32;

inline constexpr const char* kMsgCannotOpen = "Datei konnte nicht geöffnet werden!";
inline constexpr const char* kMsgNotSupported = "Kein unterstützter FITS-Standard !";
inline constexpr const char* kMsgUnknownFormat = "Unbekanntes oder Falsches Dateiformat !";
inline constexpr const char* kMsgSaveFailed = "Fehler beim Speichern des Dokuments.";
inline constexpr const char* kMsgNotFitsName =
    "Zum Speichen in nicht Fits-Formaten benutzen Sie bitte Datei-Exportieren, achten Sie "
    "dabei auch auf die Dateiendung.";

// Integer conversion as atoi does it (leading white space, optional sign, digits, stop at the
// first other character), saturating instead of overflowing. Never reads past `text`.
long long parseInteger(std::string_view text);

// Real conversion as atof does it, but independent of the C locale (a German LC_NUMERIC
// must not turn "1.50" into 1). Text that holds no number gives 0.
double parseReal(std::string_view text);

// Fixed-point text like printf("%*.*f") in the C locale, right-aligned in `width`.
std::string formatFixed(double value, int width, int precision);

// Four bytes of a 32-bit value, lowest first, each as two upper-case hexadecimal digits.
std::string hexLittleEndian(std::uint32_t value);
std::string hexLittleEndian(float value);

// Reads eight hexadecimal digits written as above; a character that is no hexadecimal digit
// counts as 0. `text` shorter than eight characters is read as if padded with zeros.
std::uint32_t parseHexLittleEndian(std::string_view text);
float parseHexLittleEndianFloat(std::string_view text);

} // namespace quillon::fits
