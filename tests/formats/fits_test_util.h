// Helpers of the FITS tests: crafted headers, big-endian data, a temporary folder.
#pragma once

#include "support/temp_dir.h"
#include "support/test_images.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace fitstest {

inline std::string card(std::string s) {
    s.resize(80, ' ');
    return s;
}

// A FITS file assembled card by card; data appended raw.
struct Crafted {
    std::vector<std::string> cards;
    std::string data;
    bool end = true;

    Crafted& add(const std::string& c) {
        cards.push_back(card(c));
        return *this;
    }
    // The usual structure cards of a 16-bit image.
    static Crafted image(int bitpix, int naxis, int w, int h, int planes = 0) {
        Crafted f;
        f.add("SIMPLE  =                    T");
        f.add("BITPIX  = " + pad(bitpix));
        f.add("NAXIS   = " + pad(naxis));
        f.add("NAXIS1  = " + pad(w));
        f.add("NAXIS2  = " + pad(h));
        if (planes > 0) f.add("NAXIS3  = " + pad(planes));
        return f;
    }
    static std::string pad(long long v) {
        std::string s = std::to_string(v);
        return std::string(20 - s.size(), ' ') + s;
    }
    void be16(int v) {
        data.push_back(static_cast<char>((v >> 8) & 0xFF));
        data.push_back(static_cast<char>(v & 0xFF));
    }
    void be32(std::uint32_t v) {
        for (int s = 24; s >= 0; s -= 8) data.push_back(static_cast<char>((v >> s) & 0xFF));
    }
    void beFloat(float f) {
        std::uint32_t u;
        std::memcpy(&u, &f, 4);
        be32(u);
    }
    void beDouble(double d) {
        std::uint64_t u;
        std::memcpy(&u, &d, 8);
        be32(static_cast<std::uint32_t>(u >> 32));
        be32(static_cast<std::uint32_t>(u));
    }
    std::string header() const {
        std::string h;
        for (const auto& c : cards) h += c;
        if (end) h += card("END");
        while (h.size() % 2880) h += ' ';
        return h;
    }
    std::string bytes() const { return header() + data; }
};

using quillon::testkit::TempDir;

// Fills every plane with a pattern that differs per plane, row and column and uses the
// whole signed range.
inline void fillPattern(quillon::Image& img) {
    quillon::testkit::fill(img, [](int p, int x, int y) {
        return (x * 7919 + y * 104729 + p * 1299709) % 65536 - 32768;
    });
}

} // namespace fitstest
