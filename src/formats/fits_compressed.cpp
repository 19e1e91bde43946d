// Tile-compressed FITS images: the table header's cards, the checked walk over the tile
// table and its heap, the restoring of quantised floats, and the Rice writer.
#include "formats/fits_compressed.h"

#include "core/atomic_file.h"
#include "core/error.h"
#include "core/parallel.h"
#include "formats/fits_codecs.h"
#include "formats/fits_format.h"
#include "formats/fits_writer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <zlib.h>

namespace quillon::fits {

namespace {

[[noreturn]] void damaged() {
    throw Error(kMsgUnknownFormat);
}

// --- header ----------------------------------------------------------------------------------

struct FreeCard {
    std::string key;
    std::string value; // a string without its quotes, else the value's text
};

FreeCard parseCard(const char* card) {
    FreeCard c;
    c.key.assign(card, 8);
    while (!c.key.empty() && c.key.back() == ' ') c.key.pop_back();
    for (char& ch : c.key) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    if (card[8] != '=' || card[9] != ' ') return c;
    int i = 10;
    while (i < 80 && card[i] == ' ') ++i;
    if (i < 80 && card[i] == '\'') {
        for (++i; i < 80; ++i) {
            if (card[i] == '\'') {
                if (i + 1 < 80 && card[i + 1] == '\'') {
                    c.value += '\'';
                    ++i;
                    continue;
                }
                break;
            }
            c.value += card[i];
        }
        while (!c.value.empty() && c.value.back() == ' ') c.value.pop_back();
    } else {
        while (i < 80 && card[i] != '/') c.value += card[i++];
        while (!c.value.empty() && c.value.back() == ' ') c.value.pop_back();
    }
    return c;
}

// The number after a keyword stem ("ZNAXIS12" → 12), 0 when there is none.
int indexAfter(const std::string& key, std::string_view stem) {
    if (key.size() <= stem.size() || key.compare(0, stem.size(), stem) != 0) return 0;
    int n = 0;
    for (std::size_t i = stem.size(); i < key.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(key[i]))) return 0;
        n = n * 10 + (key[i] - '0');
    }
    return n <= 999 ? n : 0;
}

std::size_t typeSize(char t) {
    switch (t) {
    case 'L':
    case 'B':
    case 'A': return 1;
    case 'I': return 2;
    case 'J':
    case 'E': return 4;
    case 'K':
    case 'D':
    case 'C': return 8;
    case 'M': return 16;
    default: return 0;
    }
}

// Width in bytes of a TFORM, and the column it describes; 0 for a form not understood.
std::size_t parseForm(const std::string& form, TableColumn& col) {
    std::size_t i = 0;
    long long repeat = 0;
    bool digits = false;
    while (i < form.size() && std::isdigit(static_cast<unsigned char>(form[i]))) {
        repeat = std::min<long long>(repeat * 10 + (form[i++] - '0'), 1LL << 40);
        digits = true;
    }
    if (!digits) repeat = 1;
    if (i >= form.size()) return 0;
    const char t = static_cast<char>(std::toupper(static_cast<unsigned char>(form[i])));
    col.type = t;
    if (t == 'P' || t == 'Q') {
        col.pointer = true;
        col.wide = t == 'Q';
        col.type = i + 1 < form.size()
                       ? static_cast<char>(std::toupper(static_cast<unsigned char>(form[i + 1])))
                       : 0;
        return static_cast<std::size_t>(repeat) * (col.wide ? 16 : 8);
    }
    if (t == 'X') return static_cast<std::size_t>((repeat + 7) / 8);
    return static_cast<std::size_t>(repeat) * typeSize(t);
}

} // namespace

bool scanCompressed(const ByteSource& src, std::uint64_t headerStart, TileCompression& t) {
    bool binTable = false, zimage = false, end = false;
    long long fields = 0;
    std::vector<std::string> types(1000), forms(1000);
    std::array<std::string, 1000> znames{}, zvals{};
    char block[kBlockSize];
    std::uint64_t pos = headerStart;
    for (int b = 0; b < kMaxHeaderBlocks && !end; ++b, pos += kBlockSize) {
        if (!src.readExactAt(pos, block, sizeof block)) break;
        for (std::size_t k = 0; k < kCardsPerBlock && !end; ++k) {
            const FreeCard c = parseCard(block + k * kCardSize);
            const std::string& v = c.value;
            auto integer = [&] { return parseInteger(v); };
            if (c.key == "END")
                end = true;
            else if (c.key == "XTENSION")
                binTable = v == "BINTABLE" || v == "A3DTABLE";
            else if (c.key == "ZIMAGE")
                zimage = !v.empty() && (v[0] == 'T' || v[0] == 't');
            else if (c.key == "NAXIS1")
                t.rowBytes = integer();
            else if (c.key == "NAXIS2")
                t.rows = integer();
            else if (c.key == "PCOUNT")
                t.pcount = integer();
            else if (c.key == "THEAP")
                t.heap = integer();
            else if (c.key == "TFIELDS")
                fields = integer();
            else if (c.key == "ZCMPTYPE")
                t.method = v;
            else if (c.key == "ZBITPIX")
                t.bitpix = integer();
            else if (c.key == "ZNAXIS") {
                const long long n = integer();
                if (n < 0 || n > 999) return false;
                t.axes.resize(static_cast<std::size_t>(n), 0);
            } else if (c.key == "ZQUANTIZ")
                t.quantize = v;
            else if (c.key == "ZDITHER0")
                t.dither0 = integer();
            else if (c.key == "ZSCALE")
                t.hasScale = true, t.scale = parseReal(v);
            else if (c.key == "ZZERO")
                t.hasZero = true, t.zero = parseReal(v);
            else if (c.key == "ZBLANK")
                t.hasBlank = true, t.blank = integer();
            else if (int n = indexAfter(c.key, "ZNAXIS")) {
                if (static_cast<std::size_t>(n) <= t.axes.size()) t.axes[n - 1] = integer();
            } else if (int n2 = indexAfter(c.key, "ZTILE")) {
                if (t.tiles.size() < static_cast<std::size_t>(n2))
                    t.tiles.resize(static_cast<std::size_t>(n2), 0);
                t.tiles[n2 - 1] = integer();
            } else if (int n3 = indexAfter(c.key, "TTYPE"))
                types[n3] = v;
            else if (int n4 = indexAfter(c.key, "TFORM"))
                forms[n4] = v;
            else if (int n5 = indexAfter(c.key, "ZNAME"))
                znames[n5] = v;
            else if (int n6 = indexAfter(c.key, "ZVAL"))
                zvals[n6] = v;
        }
    }
    if (!end || !binTable || !zimage) return false;
    for (std::size_t i = 1; i < znames.size(); ++i) {
        std::string name = znames[i];
        for (char& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        const long long v = parseInteger(zvals[i]);
        if (name == "BLOCKSIZE")
            t.blockSize = v;
        else if (name == "BYTEPIX")
            t.bytePix = v;
        else if (name == "SCALE")
            t.hcScale = v;
        else if (name == "SMOOTH")
            t.hcSmooth = v;
    }
    bool bytePixGiven = false;
    for (const auto& n : znames) bytePixGiven = bytePixGiven || n == "BYTEPIX";
    if (!bytePixGiven) t.bytePix = t.bitpix == 8 ? 1 : (t.bitpix == 16 ? 2 : 4);
    // Tiles: the first axis whole and one unit of every other axis, unless given.
    t.tiles.resize(t.axes.size(), 0);
    for (std::size_t i = 0; i < t.axes.size(); ++i)
        if (t.tiles[i] <= 0) t.tiles[i] = i == 0 ? t.axes[0] : 1;
    // Columns: their offsets follow from every form before them.
    std::size_t offset = 0;
    bool understood = fields >= 1 && fields <= 999;
    for (long long n = 1; understood && n <= fields; ++n) {
        TableColumn col;
        const std::size_t width = parseForm(forms[static_cast<std::size_t>(n)], col);
        col.offset = offset;
        col.present = true;
        offset += width;
        std::string name = types[static_cast<std::size_t>(n)];
        for (char& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        if (name == "COMPRESSED_DATA")
            t.data = col;
        else if (name == "GZIP_COMPRESSED_DATA")
            t.gzipData = col;
        else if (name == "UNCOMPRESSED_DATA")
            t.rawData = col;
        else if (name == "ZSCALE")
            t.scaleColumn = col;
        else if (name == "ZZERO")
            t.zeroColumn = col;
        else if (name == "ZBLANK")
            t.blankColumn = col;
    }
    if (!understood || static_cast<long long>(offset) != t.rowBytes) t.data.present = false;
    return true;
}

namespace {

// --- decoding --------------------------------------------------------------------------------

// Inflates a gzip or zlib stream to exactly `expected` bytes.
void inflateExact(const std::vector<std::uint8_t>& in, std::uint8_t* out, std::size_t expected) {
    z_stream z{};
    if (inflateInit2(&z, 15 + 32) != Z_OK) throw std::bad_alloc();
    std::uint8_t spare[1];
    z.next_in = const_cast<std::uint8_t*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out;
    z.avail_out = static_cast<uInt>(expected);
    int rc = inflate(&z, Z_FINISH);
    if (rc != Z_STREAM_END && z.avail_out == 0) { // more than stated?
        z.next_out = spare;
        z.avail_out = 1;
        rc = inflate(&z, Z_FINISH);
        if (z.avail_out == 0) rc = Z_DATA_ERROR;
    }
    const std::size_t got = expected - z.avail_out;
    inflateEnd(&z);
    if (rc != Z_STREAM_END || got != expected) damaged();
}

void unshuffle(std::vector<std::uint8_t>& bytes, std::size_t n, std::size_t size) {
    std::vector<std::uint8_t> tmp(bytes.size());
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t b = 0; b < size; ++b) tmp[i * size + b] = bytes[b * n + i];
    bytes.swap(tmp);
}

void putBE(std::uint8_t* p, std::uint64_t v, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * (size - 1 - i)));
}

std::uint64_t getBE(const std::uint8_t* p, std::size_t size) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < size; ++i) v = (v << 8) | p[i];
    return v;
}

void putReal(std::uint8_t* p, double v, long long bitpix) {
    if (bitpix == -32) {
        // Beyond the float range a value becomes infinite (a plain conversion would be
        // undefined).
        const float f = std::fabs(v) > std::numeric_limits<float>::max()
                            ? (v > 0 ? 1.0f : -1.0f) * std::numeric_limits<float>::infinity()
                            : static_cast<float>(v);
        std::uint32_t u;
        std::memcpy(&u, &f, 4);
        putBE(p, u, 4);
    } else {
        std::uint64_t u;
        std::memcpy(&u, &v, 8);
        putBE(p, u, 8);
    }
}

// A heap element of type `t` as a double (integers exactly).
double elementValue(const std::uint8_t* p, char t) {
    switch (t) {
    case 'B': return p[0];
    case 'I': return static_cast<std::int16_t>(getBE(p, 2));
    case 'J': return static_cast<std::int32_t>(getBE(p, 4));
    case 'K': return static_cast<double>(static_cast<std::int64_t>(getBE(p, 8)));
    case 'E': {
        const auto u = static_cast<std::uint32_t>(getBE(p, 4));
        float f;
        std::memcpy(&f, &u, 4);
        return f;
    }
    case 'D': {
        const std::uint64_t u = getBE(p, 8);
        double d;
        std::memcpy(&d, &u, 8);
        return d;
    }
    default: damaged();
    }
}

// The random offsets of subtractive dithering: 10000 values of the Park-Miller generator
// (multiplier 16807, modulus 2^31 - 1) from seed 1.
const std::array<float, 10000>& ditherTable() {
    static const std::array<float, 10000> table = [] {
        std::array<float, 10000> r{};
        double seed = 1;
        const double a = 16807.0, m = 2147483647.0;
        for (float& v : r) {
            const double t = a * seed;
            seed = t - m * static_cast<double>(static_cast<long long>(t / m));
            v = static_cast<float>(seed / m);
        }
        return r;
    }();
    return table;
}

constexpr long long kNullValue = -2147483647;
constexpr long long kZeroValue = -2147483646;

class TileDecoder {
public:
    TileDecoder(const ByteSource& src, std::uint64_t dataStart, const TileCompression& t,
                const std::vector<std::uint8_t>& table)
        : src_(src), t_(t), table_(table), dataStart_(dataStart) {}

    std::uint64_t heapStart = 0, heapSize = 0;
    bool quantized = false;
    int dither = 0; // 0 none, 1 or 2
    std::size_t outSize = 0;

    // Decodes tile `row` of n values into `out` (n × outSize big-endian bytes).
    void decode(long long row, std::size_t n, long long rows, long long columns,
                std::uint8_t* out) {
        if (fetch(row, t_.data, bytes_)) {
            decodeData(row, n, rows, columns, out);
        } else if (fetch(row, t_.gzipData, bytes_)) {
            inflateRaw(n, out, t_.bitpix);
        } else if (fetch(row, t_.rawData, bytes_)) {
            const std::size_t es = typeSize(t_.rawData.type);
            if (es == 0 || bytes_.size() != n * es) damaged();
            for (std::size_t i = 0; i < n; ++i)
                putValue(out + i * outSize, elementValue(bytes_.data() + i * es, t_.rawData.type));
        } else {
            damaged();
        }
    }

private:
    // The heap bytes of one cell; false when the column is absent or the cell empty.
    bool fetch(long long row, const TableColumn& col, std::vector<std::uint8_t>& bytes) {
        if (!col.present || !col.pointer) return false;
        const std::uint8_t* cell =
            table_.data() + static_cast<std::size_t>(row) * t_.rowBytes + col.offset;
        const std::uint64_t count = col.wide ? getBE(cell, 8) : getBE(cell, 4);
        const std::uint64_t offset = col.wide ? getBE(cell + 8, 8) : getBE(cell + 4, 4);
        if (count == 0) return false;
        const std::size_t es = typeSize(col.type);
        if (es == 0 || count > heapSize / es || offset > heapSize - count * es) damaged();
        bytes.resize(static_cast<std::size_t>(count * es));
        if (!src_.readExactAt(dataStart_ + heapStart + offset, bytes.data(), bytes.size()))
            damaged();
        return true;
    }

    double cellReal(long long row, const TableColumn& col, double fallback) {
        if (!col.present || col.pointer) return fallback;
        return elementValue(
            table_.data() + static_cast<std::size_t>(row) * t_.rowBytes + col.offset, col.type);
    }

    void putValue(std::uint8_t* p, double v) {
        if (t_.bitpix < 0)
            putReal(p, v, t_.bitpix);
        else if (std::fabs(v) < 9.2e18) // NaN and values beyond 64 bits: 0
            putBE(p, static_cast<std::uint64_t>(static_cast<std::int64_t>(v)), outSize);
        else
            putBE(p, 0, outSize);
    }

    void inflateRaw(std::size_t n, std::uint8_t* out, long long bitpix) {
        const std::size_t es = static_cast<std::size_t>(bitpix < 0 ? -bitpix : bitpix) / 8;
        raw_.resize(n * es);
        inflateExact(bytes_, raw_.data(), raw_.size());
        if (t_.method == "GZIP_2") unshuffle(raw_, n, es);
        std::memcpy(out, raw_.data(), raw_.size());
    }

    void decodeData(long long row, std::size_t n, long long rows, long long columns,
                    std::uint8_t* out) {
        const std::string& m = t_.method;
        ints_.resize(n);
        if (m == "RICE_1" || m == "RICE_ONE") {
            if (t_.blockSize <= 0 || t_.blockSize > (1 << 20)) damaged();
            if (t_.bitpix == 16 && t_.bytePix == 2 && !quantized)
                return riceDecode16BigEndian(bytes_.data(), bytes_.size(), out, n,
                                             static_cast<int>(t_.blockSize));
            riceDecode(bytes_.data(), bytes_.size(), ints_.data(), n,
                       static_cast<int>(t_.blockSize), static_cast<int>(t_.bytePix));
        } else if (m == "PLIO_1") {
            if (t_.data.type != 'I' && t_.data.type != 'B') damaged();
            plioDecode(bytes_.data(), bytes_.size(), ints_.data(), n);
        } else if (m == "HCOMPRESS_1") {
            if (t_.hcSmooth != 0 && t_.hcScale > 1) throw Error(kMsgNotSupported);
            wide_.resize(n);
            hcompressDecode(bytes_.data(), bytes_.size(), wide_.data(), rows, columns);
            return restore(row, n, out, [&](std::size_t i) { return wide_[i]; });
        } else if (m == "GZIP_1" || m == "GZIP_2" || m == "NOCOMPRESS") {
            const std::size_t es = quantized ? 4 : outSize;
            raw_.resize(n * es);
            if (m == "NOCOMPRESS") {
                if (bytes_.size() != raw_.size()) damaged();
                raw_ = bytes_;
            } else {
                inflateExact(bytes_, raw_.data(), raw_.size());
                if (m == "GZIP_2") unshuffle(raw_, n, es);
            }
            if (!quantized) return (void)std::memcpy(out, raw_.data(), raw_.size());
            for (std::size_t i = 0; i < n; ++i)
                ints_[i] = static_cast<std::int32_t>(getBE(raw_.data() + 4 * i, 4));
        } else {
            throw Error(kMsgNotSupported);
        }
        restore(row, n, out, [&](std::size_t i) { return static_cast<std::int64_t>(ints_[i]); });
    }

    template <class Get>
    void restore(long long row, std::size_t n, std::uint8_t* out, Get get) {
        if (!quantized) {
            if (outSize == 2)
                for (std::size_t i = 0; i < n; ++i)
                    putBE(out + 2 * i, static_cast<std::uint16_t>(get(i)), 2);
            else
                for (std::size_t i = 0; i < n; ++i)
                    putValue(out + i * outSize, static_cast<double>(get(i)));
            return;
        }
        const double scale = cellReal(row, t_.scaleColumn, t_.scale);
        const double zero = cellReal(row, t_.zeroColumn, t_.zero);
        const bool hasBlank = t_.blankColumn.present || t_.hasBlank;
        const auto blank =
            static_cast<long long>(cellReal(row, t_.blankColumn, static_cast<double>(t_.blank)));
        const double nan = std::numeric_limits<double>::quiet_NaN();
        if (dither == 0) {
            for (std::size_t i = 0; i < n; ++i) {
                const std::int64_t v = get(i);
                putReal(out + i * outSize,
                        hasBlank && v == blank ? nan : static_cast<double>(v) * scale + zero,
                        t_.bitpix);
            }
            return;
        }
        const auto& r = ditherTable();
        long long seed = ((row + t_.dither0 - 1) % 10000 + 10000) % 10000;
        auto next = static_cast<int>(r[static_cast<std::size_t>(seed)] * 500.0f);
        for (std::size_t i = 0; i < n; ++i) {
            const std::int64_t v = get(i);
            double value;
            if (hasBlank && v == blank)
                value = nan;
            else if (dither == 2 && v == kZeroValue)
                value = 0.0;
            else
                value = (static_cast<double>(v) -
                         static_cast<double>(r[static_cast<std::size_t>(next)]) + 0.5) *
                            scale +
                        zero;
            putReal(out + i * outSize, value, t_.bitpix);
            if (++next == 10000) {
                if (++seed == 10000) seed = 0;
                next = static_cast<int>(r[static_cast<std::size_t>(seed)] * 500.0f);
            }
        }
    }

    const ByteSource& src_;
    const TileCompression& t_;
    const std::vector<std::uint8_t>& table_;
    std::uint64_t dataStart_;
    std::vector<std::uint8_t> bytes_, raw_;
    std::vector<std::int32_t> ints_;
    std::vector<std::int64_t> wide_;
};

} // namespace

memory::Buffer<std::uint8_t> decodeTiles(const ByteSource& src, std::uint64_t dataStart,
                                         const TileCompression& t, long long planes) {
    if (!t.data.present || !t.data.pointer) damaged();
    if (t.bitpix != 8 && t.bitpix != 16 && t.bitpix != 32 && t.bitpix != -32 && t.bitpix != -64)
        throw Error(kMsgNotSupported);
    const std::size_t dims = t.axes.size();
    if (dims < 1 || dims > 3) throw Error(kMsgNotSupported);
    std::array<long long, 3> axis{1, 1, 1}, tile{1, 1, 1}, count{1, 1, 1};
    long long tiles = 1;
    for (std::size_t i = 0; i < dims; ++i) {
        if (t.axes[i] < 1 || t.axes[i] > std::numeric_limits<std::int32_t>::max()) damaged();
        axis[i] = t.axes[i];
        tile[i] = std::min(t.tiles[i], axis[i]);
        count[i] = (axis[i] + tile[i] - 1) / tile[i];
        tiles *= count[i];
        if (tiles > std::numeric_limits<int>::max()) damaged();
    }
    if (t.rows != tiles || t.rows > std::numeric_limits<int>::max() || t.rowBytes <= 0 ||
        t.pcount < 0)
        damaged();
    const std::uint64_t tableBytes = static_cast<std::uint64_t>(t.rowBytes) * t.rows;
    const std::uint64_t available = src.size() > dataStart ? src.size() - dataStart : 0;
    if (tableBytes > available || static_cast<std::uint64_t>(t.pcount) > available - tableBytes)
        damaged();
    const std::uint64_t heapStart = t.heap >= 0 ? static_cast<std::uint64_t>(t.heap) : tableBytes;
    if (heapStart < tableBytes || heapStart > tableBytes + t.pcount) damaged();
    std::vector<std::uint8_t> table(static_cast<std::size_t>(tableBytes));
    if (!src.readExactAt(dataStart, table.data(), table.size())) damaged();

    const std::size_t outSize = static_cast<std::size_t>(t.bitpix < 0 ? -t.bitpix : t.bitpix) / 8;
    const long long width = axis[0], height = axis[1];
    const long long depth = std::min(axis[2], std::max(planes, 1LL));
    memory::Buffer<std::uint8_t> out(static_cast<std::size_t>(width * height * depth) * outSize,
                                     false);
    const bool quantized = t.bitpix < 0 && (t.scaleColumn.present || t.hasScale) &&
                           t.quantize != "NONE" && t.method != "NOCOMPRESS";
    int dither = 0;
    if (quantized && t.quantize == "SUBTRACTIVE_DITHER_1") dither = 1;
    if (quantized && t.quantize == "SUBTRACTIVE_DITHER_2") dither = 2;
    if (t.method == "HCOMPRESS_1" && tile[2] != 1) damaged();

    parallelRows(static_cast<int>(tiles), 8, [&](int first, int last) {
        TileDecoder dec(src, dataStart, t, table);
        dec.heapStart = heapStart;
        dec.heapSize = tableBytes + t.pcount - heapStart;
        dec.quantized = quantized;
        dec.dither = dither;
        dec.outSize = outSize;
        std::vector<std::uint8_t> buf;
        for (long long r = first; r < last; ++r) {
            const long long tx = r % count[0], ty = (r / count[0]) % count[1],
                            tz = r / (count[0] * count[1]);
            const long long x0 = tx * tile[0], y0 = ty * tile[1], z0 = tz * tile[2];
            if (z0 >= depth) continue;
            const long long w = std::min(tile[0], width - x0), h = std::min(tile[1], height - y0),
                            d = std::min(tile[2], axis[2] - z0);
            const auto n = static_cast<std::size_t>(w * h * d);
            std::uint8_t* at =
                out.data() + static_cast<std::size_t>((z0 * height + y0) * width + x0) * outSize;
            if (w == width && (h == height || d == 1) && z0 + d <= depth) {
                dec.decode(r, n, h, w, at); // whole rows: the tile's place is one block
                continue;
            }
            buf.resize(n * outSize);
            dec.decode(r, n, h, w, buf.data());
            for (long long z = 0; z < d && z0 + z < depth; ++z)
                for (long long y = 0; y < h; ++y)
                    std::memcpy(out.data() + static_cast<std::size_t>(
                                                 ((z0 + z) * height + y0 + y) * width + x0) *
                                                 outSize,
                                buf.data() + static_cast<std::size_t>((z * h + y) * w) * outSize,
                                static_cast<std::size_t>(w) * outSize);
        }
    });
    return out;
}

} // namespace quillon::fits

namespace quillon {

namespace {

std::string intCard(const char* key, long long v) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%-8s= %20lld", key, v);
    return buf;
}

std::string textCard(const char* key, const std::string& v) {
    std::string q = "'" + v;
    if (q.size() < 9) q.resize(9, ' ');
    return std::string(key) + std::string(8 - std::strlen(key), ' ') + "= " + q + "'";
}

void addCard(std::string& h, std::string c) {
    c.resize(fits::kCardSize, ' ');
    h += c;
}

void finishHeader(std::string& h) {
    addCard(h, "END");
    while (h.size() % fits::kBlockSize != 0) h += ' ';
}

// A card "KEYWORD = 'value'" with the value padded to at least eight characters.
std::string quotedCard(const std::string& card, std::string value) {
    while (value.size() < 8) value += ' ';
    return card.substr(0, 10) + "'" + value + "'";
}

// A card of the dialect in the form the FITS standard wants, for a file no older reader of the
// dialect reads: the type and overlay values quoted, the date as 'YYYY-MM-DD' (the card left
// out when the text is no day/month/year), the matrix numbers quoted in their columns. The
// reader takes both forms. Empty when the card is left out.
std::string standardCard(std::string card) {
    auto isKey = [&](const char* k) { return card.compare(0, 8, k) == 0; };
    auto value = [&](std::size_t from) {
        std::string v = card.substr(from);
        while (!v.empty() && v.back() == ' ') v.pop_back();
        return v;
    };
    if (isKey("CIMGTYPE") || isKey("COVERLAY")) return quotedCard(card, value(10));
    if (isKey("DATE-OBS")) {
        int day = 0, month = 0, year = 0;
        char end = 0;
        if (std::sscanf(card.c_str() + 11, "%2d/%2d/%2d%c", &day, &month, &year, &end) != 4 ||
            end != '\'' || day < 1 || day > 31 || month < 1 || month > 12 || year < 0)
            return {};
        char buf[40];
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", year < 46 ? 2000 + year : 1900 + year,
                      month, day);
        return quotedCard(card, buf);
    }
    if (card.compare(0, 6, "MLAYER") == 0 && card.size() > 41) {
        card[11] = '\'';
        card[41] = '\'';
        return card;
    }
    // The prior versions' free-text cards repeat values written above in numbered cards.
    if (card.compare(0, 6, "PARAM0") == 0) return {};
    return card;
}

// The dialect's cards without the structure cards of an uncompressed image.
void addDialectCards(std::string& h, const std::string& dialect) {
    static constexpr const char* kSkip[] = {"SIMPLE  ", "BITPIX  ", "NAXIS   ",
                                            "NAXIS1  ", "NAXIS2  ", "NAXIS3  ",
                                            "BZERO   ", "BSCALE  ", "END     "};
    for (std::size_t at = 0; at + fits::kCardSize <= dialect.size(); at += fits::kCardSize) {
        const std::string card = dialect.substr(at, fits::kCardSize);
        if (card.find_first_not_of(' ') == std::string::npos) continue;
        bool skip = false;
        for (const char* k : kSkip) skip = skip || card.compare(0, 8, k) == 0;
        if (skip) continue;
        std::string standard = standardCard(card);
        if (standard.empty()) continue;
        standard.resize(fits::kCardSize, ' ');
        h += standard;
    }
}

} // namespace

bool isCompressedFitsName(std::string_view path) {
    while (!path.empty() && path.back() == ' ') path.remove_suffix(1);
    return path.size() >= 3 && path[path.size() - 3] == '.' &&
           std::tolower(static_cast<unsigned char>(path[path.size() - 2])) == 'f' &&
           std::tolower(static_cast<unsigned char>(path[path.size() - 1])) == 'z';
}

void writeFitsCompressed(Image& image, const std::string& path, Progress& progress,
                         const DisplayParams* display) {
    const DisplayParams stored = display ? DisplayParams{} : displayFromStored(image);
    const std::string dialect = fitsHeader(image, display ? *display : stored);
    const int width = image.width(), height = image.height(), planes = image.planeCount();
    const int rows = planes * height;
    saveImageFile(image, path, progress, [&] {
        // Every row is one tile, compressed in parallel in groups of rows.
        std::vector<std::vector<std::uint8_t>> codes(static_cast<std::size_t>(rows));
        progress.begin("FITS schreiben", rows, 1);
        constexpr int kGroup = 256;
        for (int r0 = 0; r0 < rows; r0 += kGroup) {
            const int n = std::min(kGroup, rows - r0);
            parallelRows(n, 16, [&](int a, int b) {
                for (int r = r0 + a; r < r0 + b; ++r) {
                    const Sample* row = image.row(r / height, r % height);
                    auto& code = codes[static_cast<std::size_t>(r)];
                    code.reserve(static_cast<std::size_t>(width) * 2 + 16);
                    fits::riceEncode16(row, static_cast<std::size_t>(width), 32, code);
                }
            });
            progress.step(n);
        }
        std::uint64_t heap = 0;
        std::size_t longest = 0;
        for (const auto& c : codes) heap += c.size(), longest = std::max(longest, c.size());
        if (heap > 0x7FFFFFFFu) throw Error(fits::kMsgSaveFailed);

        std::string h;
        addCard(h, "SIMPLE  =                    T");
        addCard(h, "BITPIX  =                   16");
        addCard(h, "NAXIS   =                    0");
        addCard(h, "EXTEND  =                    T");
        finishHeader(h);
        addCard(h, "XTENSION= 'BINTABLE'");
        addCard(h, intCard("BITPIX", 8));
        addCard(h, intCard("NAXIS", 2));
        addCard(h, intCard("NAXIS1", 8));
        addCard(h, intCard("NAXIS2", rows));
        addCard(h, intCard("PCOUNT", static_cast<long long>(heap)));
        addCard(h, intCard("GCOUNT", 1));
        addCard(h, intCard("TFIELDS", 1));
        addCard(h, textCard("TTYPE1", "COMPRESSED_DATA"));
        addCard(h, textCard("TFORM1", "1PB(" + std::to_string(longest) + ")"));
        addCard(h, "ZIMAGE  =                    T");
        addCard(h, intCard("ZBITPIX", 16));
        addCard(h, intCard("ZNAXIS", planes > 1 ? 3 : 2));
        addCard(h, intCard("ZNAXIS1", width));
        addCard(h, intCard("ZNAXIS2", height));
        if (planes > 1) addCard(h, intCard("ZNAXIS3", planes));
        addCard(h, intCard("ZTILE1", width));
        addCard(h, intCard("ZTILE2", 1));
        if (planes > 1) addCard(h, intCard("ZTILE3", 1));
        addCard(h, textCard("ZCMPTYPE", "RICE_1"));
        addCard(h, textCard("ZNAME1", "BLOCKSIZE"));
        addCard(h, intCard("ZVAL1", 32));
        addCard(h, textCard("ZNAME2", "BYTEPIX"));
        addCard(h, intCard("ZVAL2", 2));
        addDialectCards(h, dialect);
        finishHeader(h);

        AtomicFile file(path, fits::kMsgSaveFailed);
        file.write(h.data(), h.size());
        std::vector<std::uint8_t> table(static_cast<std::size_t>(rows) * 8);
        std::uint32_t offset = 0;
        for (std::size_t r = 0; r < codes.size(); ++r) {
            const auto count = static_cast<std::uint32_t>(codes[r].size());
            for (int b = 0; b < 4; ++b) {
                table[r * 8 + static_cast<std::size_t>(b)] =
                    static_cast<std::uint8_t>(count >> (24 - 8 * b));
                table[r * 8 + 4 + static_cast<std::size_t>(b)] =
                    static_cast<std::uint8_t>(offset >> (24 - 8 * b));
            }
            offset += count;
        }
        file.write(table.data(), table.size());
        for (const auto& c : codes) file.write(c.data(), c.size());
        const std::uint64_t data = table.size() + heap;
        const char zeros[fits::kBlockSize] = {};
        file.write(zeros, static_cast<std::size_t>((fits::kBlockSize - data % fits::kBlockSize) %
                                                   fits::kBlockSize));
        file.commit();
    });
}

} // namespace quillon
