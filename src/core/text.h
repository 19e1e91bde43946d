// Fixed-size text buffers as the image record keeps them (NUL-terminated, cut to fit).
#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace quillon {

template <std::size_t N>
using TextBuffer = std::array<char, N>;

// Copies text into a buffer of N bytes, keeping at most N-1 characters and terminating.
template <std::size_t N>
void setText(TextBuffer<N>& dst, std::string_view text) {
    std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    std::memcpy(dst.data(), text.data(), n);
    dst[n] = '\0';
    for (std::size_t i = n + 1; i < N; ++i) dst[i] = '\0';
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
