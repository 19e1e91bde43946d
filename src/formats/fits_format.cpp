// Number conversion and hexadecimal encoding shared by the FITS reader and writer.
#include "formats/fits_format.h"

#include <charconv>
#include <cstring>

namespace quillon::fits {

namespace {
bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}
} // namespace

long long parseInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    constexpr long long kLimit = 1LL << 62;
    long long v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        // Saturate before the value could overflow; no real header needs more.
        v = v >= kLimit / 10 ? kLimit : v * 10 + (text[i] - '0');
    }
    return negative ? -v : v;
}

double parseReal(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    double v = 0;
    const char* first = text.data() + i;
    const char* last = text.data() + text.size();
    // A second sign ("+-1") is no number, as with atof.
    if (first < last && (*first == '+' || *first == '-')) return 0;
    auto r = std::from_chars(first, last, v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        // from_chars leaves v unchanged here; atof gives ±HUGE_VAL or 0. Decide by the exponent.
        const char* e = first;
        while (e < r.ptr && *e != 'e' && *e != 'E') ++e;
        bool tiny = e + 1 < r.ptr && e[1] == '-';
        v = tiny ? 0.0 : __builtin_huge_val();
    } else if (r.ec != std::errc()) {
        v = 0;
    }
    return negative ? -v : v;
}

std::string formatFixed(double value, int width, int precision) {
    char buf[400];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, precision);
    std::string s = r.ec == std::errc() ? std::string(buf, r.ptr) : std::string("0");
    if (static_cast<int>(s.size()) < width)
        s.insert(0, static_cast<std::size_t>(width) - s.size(), ' ');
    return s;
}

std::string hexLittleEndian(std::uint32_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string s(8, '0');
    for (int b = 0; b < 4; ++b) {
        unsigned byte = (value >> (8 * b)) & 0xFFu;
        s[static_cast<std::size_t>(2 * b)] = kDigits[byte >> 4];
        s[static_cast<std::size_t>(2 * b + 1)] = kDigits[byte & 0xF];
    }
    return s;
}

std::string hexLittleEndian(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return hexLittleEndian(bits);
}

std::uint32_t parseHexLittleEndian(std::string_view text) {
    std::uint32_t v = 0;
    for (int b = 0; b < 4; ++b) {
        std::size_t i = static_cast<std::size_t>(2 * b);
        int hi = i < text.size() ? hexDigit(text[i]) : 0;
        int lo = i + 1 < text.size() ? hexDigit(text[i + 1]) : 0;
        v |= static_cast<std::uint32_t>(hi * 16 + lo) << (8 * b);
    }
    return v;
}

float parseHexLittleEndianFloat(std::string_view text) {
    std::uint32_t bits = parseHexLittleEndian(text);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

} // namespace quillon::fits
