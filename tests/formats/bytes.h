// Helpers for the format tests: building files byte by byte and writing them to a temp folder.
#pragma once

#include "core/error.h"
#include "core/image.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace qtest {

using Bytes = std::vector<std::uint8_t>;

inline void put8(Bytes& b, unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v));
}
inline void le16(Bytes& b, unsigned v) {
    put8(b, v & 0xFF);
    put8(b, (v >> 8) & 0xFF);
}
inline void le32(Bytes& b, std::uint32_t v) {
    le16(b, v & 0xFFFF);
    le16(b, v >> 16);
}
inline void be16(Bytes& b, unsigned v) {
    put8(b, (v >> 8) & 0xFF);
    put8(b, v & 0xFF);
}
inline void be32(Bytes& b, std::uint32_t v) {
    be16(b, v >> 16);
    be16(b, v & 0xFFFF);
}
inline void leF(Bytes& b, float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    le32(b, u);
}
inline void text(Bytes& b, const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
}
inline void setLe32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void setLeF(Bytes& b, std::size_t at, float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    setLe32(b, at, u);
}

using quillon::testkit::TempDir;

inline Bytes readAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// The message of the Error thrown by fn, or "" when none was thrown.
inline std::string errorOf(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const quillon::Error& e) {
        return e.what();
    }
    return "";
}

inline std::vector<std::string> comments(const quillon::Image& img) {
    std::vector<std::string> out;
    for (const auto& c : img.info().comments) out.emplace_back(quillon::textOf(c));
    return out;
}

} // namespace qtest
