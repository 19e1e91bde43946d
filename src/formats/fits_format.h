// Shared pieces of the FITS dialect: block geometry, messages, locale-independent number
// conversion and the little-endian hexadecimal encoding of the compatibility cards.
#pragma once

#include "core/simd.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
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

// Byte order of whole arrays (big-endian file ↔ host), eight or four values per step with
// the lane byte swaps of core/simd.h; dst may equal src.
inline void swap16(std::uint16_t* dst, const std::uint16_t* src, std::size_t n) {
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        simd::U16x8 a, b;
        simd::load(a, src + i);
        simd::load(b, src + i + 8);
        simd::store(dst + i, simd::byteSwap(a));
        simd::store(dst + i + 8, simd::byteSwap(b));
    }
    for (; i < n; ++i) dst[i] = __builtin_bswap16(src[i]);
}

// As swap16 into memory that is not read again soon (a freshly read plane): the aligned
// middle is written with streaming stores, which skip loading every destination cache line
// first. Call swapStreamFence() before the data are used by another thread.
inline void swap16Stream(std::uint16_t* dst, const std::uint16_t* src, std::size_t n) {
    if (!simd::kHasStreamingStores) return swap16(dst, src, n);
    std::size_t i = 0;
    while (i < n && !simd::aligned16(dst + i)) {
        dst[i] = __builtin_bswap16(src[i]);
        ++i;
    }
    for (; i + 16 <= n; i += 16) {
        simd::U16x8 a, b;
        simd::load(a, src + i);
        simd::load(b, src + i + 8);
        simd::streamStore(dst + i, simd::byteSwap(a));
        simd::streamStore(dst + i + 8, simd::byteSwap(b));
    }
    swap16(dst + i, src + i, n - i);
}

inline void swapStreamFence() {
    simd::streamFence();
}

// Four-byte values (integers or floats, written through memcpy so any 4-byte type may be the
// destination).
inline void swap32(void* dst, const void* src, std::size_t n) {
    const auto* s = static_cast<const std::uint8_t*>(src);
    auto* d = static_cast<std::uint8_t*>(dst);
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        simd::U32x4 v;
        simd::load(v, s + 4 * i);
        simd::store(d + 4 * i, simd::byteSwap(v));
    }
    for (; i < n; ++i) {
        std::uint32_t u;
        std::memcpy(&u, s + 4 * i, 4);
        u = __builtin_bswap32(u);
        std::memcpy(d + 4 * i, &u, 4);
    }
}

} // namespace quillon::fits
