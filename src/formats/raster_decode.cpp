// Recognition of raster files by the format table's probes and the dispatch to its decoders.
#include "core/error.h"
#include "core/memory.h"
#include "formats/byte_source.h"
#include "formats/codecs.h"
#include "formats/format_table.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <new>
#include <optional>

namespace quillon {

namespace {

[[noreturn]] void decoderError(const std::string& text) {
    throw Error("Decoder error: " + text + "\n");
}

} // namespace

const FileFormat* detectRasterFormat(const std::string& name, const std::uint8_t* d,
                                     std::size_t size) {
    std::string upper = name;
    for (auto& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    // The first bytes; bytes past the end of a short file count as 0.
    std::uint8_t b[kProbeHeadSize] = {};
    std::copy(d, d + std::min<std::size_t>(size, sizeof b), b);
    const ProbeInput in{upper, b, size};
    for (const FileFormat* f : probeOrder())
        if (f->probe(in)) return f;
    return nullptr;
}

void decodeMemory(const std::uint8_t* data, std::size_t size, Bitmap& out,
                  const std::string& name) {
    out.clear();
    try {
        const FileFormat* format = detectRasterFormat(name, data, size);
        if (!format || !format->decode) throw Error("Unknown file type.");
        format->decode(data, size, out);
    } catch (const Error& e) {
        out.clear();
        decoderError(e.what());
    } catch (const std::bad_alloc&) {
        out.clear();
        decoderError(kBitmapOutOfMemory);
    }
}

const FileFormat* detectRasterFileContent(const std::string& path) {
    try {
        const FileSource src(path, path);
        // 541 bytes are enough: the tests look at the first 526 bytes and, for PICT, whether
        // the file is longer than 540.
        std::uint8_t head[541];
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(src.size(), sizeof head));
        if (!src.readExactAt(0, head, n)) return nullptr;
        return detectRasterFormat({}, head, n);
    } catch (const Error&) {
        return nullptr;
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
