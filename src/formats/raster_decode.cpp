// Recognition of raster files by content and the dispatch to the format decoders.
#include "core/error.h"
#include "core/memory.h"
#include "formats/byte_source.h"
#include "formats/codecs.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <new>
#include <optional>

namespace quillon {

namespace {

bool in(int v, std::initializer_list<int> set) {
    return std::find(set.begin(), set.end(), v) != set.end();
}

[[noreturn]] void decoderError(const std::string& text) {
    throw Error("Decoder error: " + text + "\n");
}

} // namespace

RasterFormat detectRasterFormat(const std::string& name, const std::uint8_t* d, std::size_t size) {
    std::string upper = name;
    for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper.find(".WMF") != std::string::npos) return RasterFormat::Wmf;
    if (upper.find(".EMF") != std::string::npos) return RasterFormat::Emf;
    // The first 512 bytes; bytes past the end of a short file count as 0.
    std::uint8_t b[526] = {};
    std::copy(d, d + std::min<std::size_t>(size, sizeof b), b);
    if (b[0] == 'B' && b[1] == 'M') return RasterFormat::Bmp;
    if (b[1] < 2 && (b[2] <= 3 || (b[2] >= 9 && b[2] <= 11)) && in(b[7], {0, 8, 15, 16, 24, 32}) &&
        in(b[16], {8, 15, 16, 24, 32}))
        return RasterFormat::Tga;
    if (b[0] == 'G' && b[1] == 'I' && b[2] == 'F' && b[3] == '8') return RasterFormat::Gif;
    if ((b[0] == 0x49 && b[1] == 0x49 && b[2] == 0x2A && b[3] == 0) ||
        (b[0] == 0x4D && b[1] == 0x4D && b[2] == 0 && b[3] == 0x2A))
        return RasterFormat::Tiff;
    if (size > 540 && ((b[522] == 0 && b[523] == 0x11 && b[524] == 2 && b[525] == 0xFF) ||
                       (b[522] == 0 && b[523] == 0x11 && b[524] == 1) ||
                       (b[522] == 0x11 && b[523] == 1 && b[524] == 1 && b[525] == 0)))
        return RasterFormat::Pict;
    if (b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return RasterFormat::Jpeg;
    if (b[0] == 0x89 && b[1] == 0x50 && b[2] == 0x4E && b[3] == 0x47) return RasterFormat::Png;
    if (((b[0] == 0xC5 && b[1] == 0xD0 && b[2] == 0xD3 && b[3] == 0xC6) ||
         (b[0] == 0xC6 && b[1] == 0xD3 && b[2] == 0xD0 && b[3] == 0xC5)) &&
        le32(b + 20) != 0 && le32(b + 24) != 0)
        return RasterFormat::EpsTiff;
    if (b[0] == 10 && b[2] == 1) return RasterFormat::Pcx;
    if (b[0] == 'P' && (b[1] == '2' || b[1] == '5')) return RasterFormat::Pgm;
    return RasterFormat::Unknown;
}

void decodeMemory(const std::uint8_t* data, std::size_t size, Bitmap& out,
                  const std::string& name) {
    out.clear();
    try {
        switch (detectRasterFormat(name, data, size)) {
        case RasterFormat::Bmp: decodeBmp(data, size, out); break;
        case RasterFormat::Tga: decodeTga(data, size, out); break;
        case RasterFormat::Gif: throw Error("Library not compiled for this file type.");
        case RasterFormat::Tiff: decodeTiff(data, size, out); break;
        case RasterFormat::Pict: decodePict(data, size, out); break;
        case RasterFormat::Jpeg: decodeJpeg(data, size, out); break;
        case RasterFormat::Png: decodePng(data, size, out); break;
        case RasterFormat::EpsTiff: {
            // The TIFF preview: offset at byte 20, length at byte 24 (both little-endian).
            if (size < 28) throw Error("EPS: header incomplete.");
            std::uint64_t offset = le32(data + 20), length = le32(data + 24);
            if (offset >= size) throw Error("EPS: the TIFF preview lies outside the file.");
            if (length > size - offset) length = size - offset;
            decodeTiff(data + offset, static_cast<std::size_t>(length), out);
            break;
        }
        case RasterFormat::Pcx: decodePcx(data, size, out); break;
        case RasterFormat::Pgm: decodePgm(data, size, out); break;
        case RasterFormat::Wmf: decodeWmf(data, size, out); break;
        case RasterFormat::Emf:
            throw Error("Enhanced metafiles (EMF) cannot be rendered on this system.");
        case RasterFormat::Unknown: throw Error("Unknown file type.");
        }
    } catch (const Error& e) {
        out.clear();
        decoderError(e.what());
    } catch (const std::bad_alloc&) {
        out.clear();
        decoderError(kBitmapOutOfMemory);
    }
}

RasterFormat detectRasterFileContent(const std::string& path) {
    try {
        const FileSource src(path, path);
        // 541 bytes are enough: the tests look at the first 526 bytes and, for PICT, whether
        // the file is longer than 540.
        std::uint8_t head[541];
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(src.size(), sizeof head));
        if (!src.readExactAt(0, head, n)) return RasterFormat::Unknown;
        return detectRasterFormat({}, head, n);
    } catch (const Error&) {
        return RasterFormat::Unknown;
    }
}

void decodeFile(const std::string& path, Bitmap& out, Recognition how) {
    memory::Buffer<std::uint8_t> bytes;
    {
        const std::string failure = "Opening " + path + " failed";
        std::optional<FileSource> src;
        try {
            src.emplace(path, failure);
        } catch (const Error&) {
            decoderError(failure);
        }
        const std::uint64_t size = src->size();
        try {
            if (size > 0) bytes.allocate(static_cast<std::size_t>(size), false);
        } catch (const std::bad_alloc&) {
            decoderError(kBitmapOutOfMemory);
        }
        if (size > 0 && !src->readExactAt(0, bytes.data(), bytes.size())) decoderError(failure);
    }
    static const std::uint8_t empty = 0;
    decodeMemory(bytes.empty() ? &empty : bytes.data(), bytes.size(), out,
                 how == Recognition::NameAndContent ? path : std::string());
}

} // namespace quillon
