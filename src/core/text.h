// Fixed-size text buffers as the image record keeps them (NUL-terminated, cut to fit).
//
// Texts are UTF-8. Limits the user sees (71 characters of a comment line, 8 of a date) count
// characters, so those buffers are CharText: room for that many characters of up to four
// bytes each, cut at a character boundary.
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace quillon {

template <std::size_t N>
using TextBuffer = std::array<char, N>;

// Bytes of the character starting at text[i]: 1 for ASCII and for a byte that does not start
// a well-formed UTF-8 sequence, else the sequence's length.
inline std::size_t utf8SequenceLength(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t n = lead >= 0xF0 && lead < 0xF5   ? 4
                          : lead >= 0xE0 && lead < 0xF0 ? 3
                          : lead >= 0xC2 && lead < 0xE0 ? 2
                                                        : 1;
    if (n == 1 || i + n > text.size()) return 1;
    for (std::size_t k = 1; k < n; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 1;
    return n;
}

// Copies text into a buffer of N bytes, keeping at most N-1 characters and terminating.
template <std::size_t N>
void setText(TextBuffer<N>& dst, std::string_view text) {
    std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    if (n > 0) std::memcpy(dst.data(), text.data(), n); // an empty view may have no data
    dst[n] = '\0';
    for (std::size_t i = n + 1; i < N; ++i) dst[i] = '\0';
}

// Length in bytes of the first `chars` characters of UTF-8 text. A byte that does not start a
// well-formed sequence counts as one character (old files may hold other encodings).
inline std::size_t utf8Prefix(std::string_view text, std::size_t chars) {
    std::size_t i = 0;
    for (; chars > 0 && i < text.size(); --chars) i += utf8SequenceLength(text, i);
    return i;
}

// Characters of UTF-8 text, by the rule of utf8Prefix.
inline std::size_t utf8Length(std::string_view text) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size(); ++n) i += utf8SequenceLength(text, i);
    return n;
}

// A buffer for at most Chars characters of UTF-8.
template <std::size_t Chars>
struct CharText : TextBuffer<Chars * 4 + 1> {
    static constexpr std::size_t kChars = Chars;
};

// Copies at most Chars characters, cut at a character boundary, and terminates.
template <std::size_t Chars>
void setText(CharText<Chars>& dst, std::string_view text) {
    setText(static_cast<TextBuffer<Chars * 4 + 1>&>(dst), text.substr(0, utf8Prefix(text, Chars)));
}

template <std::size_t N>
std::string_view textOf(const TextBuffer<N>& b) {
    return std::string_view(b.data(), strnlen(b.data(), N));
}

template <std::size_t N>
void clearText(TextBuffer<N>& b) {
    b.fill('\0');
}

} // namespace quillon
