// Helpers for the format tests: building files byte by byte and writing them to a temp folder.
#pragma once

#include "core/error.h"
#include "core/image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
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

// A fresh folder under the system temp folder named after the test, removed at the end of the
// test even when the test took away its permissions.
class TempDir {
public:
    TempDir() {
        auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("quillon-") + (info ? info->test_suite_name() : "t") + "-" +
                           (info ? info->name() : "x") + "-XXXXXX";
        for (auto& c : name)
            if (c == '/') c = '_';
        std::string t = (std::filesystem::temp_directory_path() / name).string();
        path_ = ::mkdtemp(t.data());
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    std::string write(const std::string& name, const Bytes& data) const {
        std::string p = file(name);
        std::ofstream f(p, std::ios::binary);
        f.write(reinterpret_cast<const char*>(data.data()),
                static_cast<std::streamsize>(data.size()));
        return p;
    }

private:
    std::filesystem::path path_;
};

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
