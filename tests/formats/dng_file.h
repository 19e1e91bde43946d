// A small synthetic DNG (uncompressed 16-bit Bayer data, RGGB) for the camera RAW tests.
#pragma once

#include "formats/bytes.h"

#include <string>
#include <vector>

namespace qtest {

// `value(x, y)` gives the sensor value at column x, row y; orientation is the TIFF value.
template <class Fn>
Bytes makeDng(int w, int h, int orientation, Fn value) {
    struct Entry {
        unsigned tag, type;
        std::uint32_t count;
        Bytes data;
    };
    auto shorts = [](std::initializer_list<unsigned> v) {
        Bytes b;
        for (auto x : v) le16(b, x);
        return b;
    };
    auto longs = [](std::initializer_list<std::uint32_t> v) {
        Bytes b;
        for (auto x : v) le32(b, x);
        return b;
    };
    auto ascii = [](const std::string& s) {
        Bytes b(s.begin(), s.end());
        b.push_back(0);
        return b;
    };
    const std::uint32_t dataSize = static_cast<std::uint32_t>(w) * h * 2;
    std::vector<Entry> e{
        {254, 4, 1, longs({0})},
        {256, 4, 1, longs({static_cast<std::uint32_t>(w)})},
        {257, 4, 1, longs({static_cast<std::uint32_t>(h)})},
        {258, 3, 1, shorts({16})},
        {259, 3, 1, shorts({1})},
        {262, 3, 1, shorts({32803})},
        {271, 2, 8, ascii("Quillon")},
        {272, 2, 11, ascii("Testkamera")},
        {273, 4, 1, longs({0})}, // patched below
        {274, 3, 1, shorts({static_cast<unsigned>(orientation)})},
        {277, 3, 1, shorts({1})},
        {278, 4, 1, longs({static_cast<std::uint32_t>(h)})},
        {279, 4, 1, longs({dataSize})},
        {284, 3, 1, shorts({1})},
        {33421, 3, 2, shorts({2, 2})},
        {33422, 1, 4, Bytes{0, 1, 1, 2}},
        {50706, 1, 4, Bytes{1, 4, 0, 0}},
        {50708, 2, 19, ascii("Quillon Testkamera")},
        {50717, 4, 1, longs({65535})},
        {50721, 10, 9, longs({1, 1, 0, 1, 0, 1, 0, 1, 1, 1, 0, 1, 0, 1, 0, 1, 1, 1})},
        {50728, 5, 3, longs({1, 1, 1, 1, 1, 1})},
        {50778, 3, 1, shorts({21})},
    };
    const std::uint32_t ifdSize = 2 + static_cast<std::uint32_t>(e.size()) * 12 + 4;
    std::uint32_t extra = 8 + ifdSize;
    Bytes extraData;
    for (auto& x : e)
        if (x.data.size() > 4) {
            extraData.insert(extraData.end(), x.data.begin(), x.data.end());
            if (extraData.size() & 1) extraData.push_back(0);
        }
    const std::uint32_t stripAt = extra + static_cast<std::uint32_t>(extraData.size());
    e[8].data = longs({stripAt});
    Bytes out{'I', 'I', 42, 0};
    le32(out, 8);
    le16(out, static_cast<unsigned>(e.size()));
    std::uint32_t at = extra;
    for (auto& x : e) {
        le16(out, x.tag), le16(out, x.type), le32(out, x.count);
        if (x.data.size() > 4) {
            le32(out, at);
            at += static_cast<std::uint32_t>((x.data.size() + 1) & ~std::size_t{1});
        } else {
            Bytes v = x.data;
            v.resize(4, 0);
            out.insert(out.end(), v.begin(), v.end());
        }
    }
    le32(out, 0);
    out.insert(out.end(), extraData.begin(), extraData.end());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) le16(out, value(x, y));
    return out;
}

} // namespace qtest
