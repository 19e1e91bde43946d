// XISF reading and writing: the header's XML, the data block's codecs and checksum, and the
// hand-over to the FITS reader's mapping.
#include "formats/xisf.h"

#include "core/atomic_file.h"
#include "core/error.h"
#include "core/memory.h"
#include "formats/fits_format.h"
#include "formats/fits_reader.h"
#include "formats/fits_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <lz4.h>
#include <optional>
#include <zlib.h>
#include <zstd.h>

namespace quillon {

namespace xisf {

const std::string* XmlElement::attribute(std::string_view key) const {
    for (const auto& a : attributes)
        if (a.first == key) return &a.second;
    return nullptr;
}

namespace {

[[noreturn]] void damaged() {
    throw Error(kXisfDamaged);
}

bool isNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == ':' || c == '-' ||
           c == '.' || static_cast<unsigned char>(c) >= 0x80;
}

void appendUtf8(std::string& out, unsigned long cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) damaged();
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Text with its references resolved: the five predefined entities and character references.
// Any other entity is refused, so nothing is ever expanded beyond one character.
std::string unescape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '&') {
            out += s[i];
            continue;
        }
        const std::size_t semi = s.find(';', i);
        if (semi == std::string_view::npos || semi - i > 12) damaged();
        const std::string_view ref = s.substr(i + 1, semi - i - 1);
        if (ref == "lt")
            out += '<';
        else if (ref == "gt")
            out += '>';
        else if (ref == "amp")
            out += '&';
        else if (ref == "quot")
            out += '"';
        else if (ref == "apos")
            out += '\'';
        else if (ref.size() > 1 && ref[0] == '#') {
            const bool hex = ref[1] == 'x';
            const std::string digits(ref.substr(hex ? 2 : 1));
            if (digits.empty() || digits.find_first_not_of(hex ? "0123456789abcdefABCDEF"
                                                               : "0123456789") != std::string::npos)
                damaged();
            appendUtf8(out, std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10));
        } else {
            throw Error(kXisfEntities);
        }
        i = semi;
    }
    return out;
}

} // namespace

std::vector<XmlElement> parseXml(std::string_view x) {
    std::vector<XmlElement> out;
    std::vector<int> open;
    std::size_t i = 0;
    auto skipBlanks = [&] {
        while (i < x.size() && std::isspace(static_cast<unsigned char>(x[i]))) ++i;
    };
    auto skipPast = [&](std::string_view end) {
        const std::size_t at = x.find(end, i);
        if (at == std::string_view::npos) damaged();
        i = at + end.size();
    };
    auto name = [&] {
        const std::size_t from = i;
        while (i < x.size() && isNameChar(x[i])) ++i;
        if (i == from) damaged();
        return std::string(x.substr(from, i - from));
    };
    bool rootClosed = false;
    while (i < x.size()) {
        if (x[i] != '<') {
            const std::size_t lt = std::min(x.find('<', i), x.size());
            const std::string_view text = x.substr(i, lt - i);
            if (!open.empty())
                out[static_cast<std::size_t>(open.back())].text += unescape(text);
            else if (text.find_first_not_of(" \t\r\n") != std::string_view::npos &&
                     text.find_first_not_of(std::string_view("\0", 1)) != std::string_view::npos)
                damaged();
            i = lt;
            continue;
        }
        if (x.substr(i, 4) == "<!--") {
            skipPast("-->");
        } else if (x.substr(i, 9) == "<![CDATA[") {
            const std::size_t from = i + 9;
            skipPast("]]>");
            if (!open.empty())
                out[static_cast<std::size_t>(open.back())].text += x.substr(from, i - 3 - from);
        } else if (x.substr(i, 2) == "<!") {
            // DOCTYPE, ENTITY and every other declaration: refused, so no entity is ever
            // defined and nothing is fetched from outside.
            throw Error(kXisfEntities);
        } else if (x.substr(i, 2) == "<?") {
            skipPast("?>");
        } else if (x.substr(i, 2) == "</") {
            i += 2;
            const std::string n = name();
            skipBlanks();
            if (i >= x.size() || x[i] != '>' || open.empty() ||
                out[static_cast<std::size_t>(open.back())].name != n)
                damaged();
            ++i;
            open.pop_back();
            if (open.empty()) rootClosed = true;
        } else {
            ++i;
            if (rootClosed && open.empty()) damaged();
            if (open.size() >= 64 || out.size() >= 100000) damaged();
            XmlElement e;
            e.name = name();
            e.parent = open.empty() ? -1 : open.back();
            bool selfClosed = false;
            for (;;) {
                skipBlanks();
                if (i >= x.size()) damaged();
                if (x[i] == '>') {
                    ++i;
                    break;
                }
                if (x.substr(i, 2) == "/>") {
                    i += 2;
                    selfClosed = true;
                    break;
                }
                std::string key = name();
                skipBlanks();
                if (i >= x.size() || x[i] != '=') damaged();
                ++i;
                skipBlanks();
                if (i >= x.size() || (x[i] != '"' && x[i] != '\'')) damaged();
                const char quote = x[i++];
                const std::size_t end = x.find(quote, i);
                if (end == std::string_view::npos) damaged();
                const std::string_view raw = x.substr(i, end - i);
                if (raw.find('<') != std::string_view::npos) damaged();
                e.attributes.emplace_back(std::move(key), unescape(raw));
                i = end + 1;
            }
            out.push_back(std::move(e));
            if (!selfClosed)
                open.push_back(static_cast<int>(out.size() - 1));
            else if (open.empty())
                rootClosed = true;
        }
    }
    if (!open.empty() || out.empty()) damaged();
    return out;
}

// --- message digests ----------------------------------------------------------------------

namespace {

std::uint32_t rotl(std::uint32_t v, int n) {
    return (v << n) | (v >> (32 - n));
}
std::uint32_t rotr(std::uint32_t v, int n) {
    return (v >> n) | (v << (32 - n));
}

// The message padded to whole 64-byte blocks with its bit length, as both digests want it.
template <class Block>
void eachBlock(const std::uint8_t* data, std::size_t size, Block&& block) {
    std::size_t whole = size / 64 * 64;
    for (std::size_t at = 0; at < whole; at += 64) block(data + at);
    std::uint8_t tail[128] = {};
    const std::size_t rest = size - whole;
    if (rest) std::memcpy(tail, data + whole, rest);
    tail[rest] = 0x80;
    const std::size_t n = rest + 9 <= 64 ? 64 : 128;
    const std::uint64_t bits = static_cast<std::uint64_t>(size) * 8;
    for (int b = 0; b < 8; ++b)
        tail[n - 1 - static_cast<std::size_t>(b)] = static_cast<std::uint8_t>(bits >> (8 * b));
    block(tail);
    if (n == 128) block(tail + 64);
}

std::uint32_t be32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
           p[3];
}

} // namespace

std::array<std::uint8_t, 20> sha1(const std::uint8_t* data, std::size_t size) {
    std::uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    eachBlock(data, size, [&](const std::uint8_t* p) {
        std::uint32_t w[80];
        for (int t = 0; t < 16; ++t) w[t] = be32(p + 4 * t);
        for (int t = 16; t < 80; ++t) w[t] = rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
        std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int t = 0; t < 80; ++t) {
            std::uint32_t f, k;
            if (t < 20)
                f = (b & c) | (~b & d), k = 0x5A827999;
            else if (t < 40)
                f = b ^ c ^ d, k = 0x6ED9EBA1;
            else if (t < 60)
                f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDC;
            else
                f = b ^ c ^ d, k = 0xCA62C1D6;
            const std::uint32_t tmp = rotl(a, 5) + f + e + k + w[t];
            e = d, d = c, c = rotl(b, 30), b = a, a = tmp;
        }
        h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
    });
    std::array<std::uint8_t, 20> out{};
    for (int i = 0; i < 20; ++i)
        out[static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(h[i / 4] >> (24 - 8 * (i % 4)));
    return out;
}

std::array<std::uint8_t, 32> sha256(const std::uint8_t* data, std::size_t size) {
    static constexpr std::uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
        0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
        0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
        0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
        0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
        0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
        0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
        0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
        0xc67178f2};
    std::uint32_t h[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                          0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    eachBlock(data, size, [&](const std::uint8_t* p) {
        std::uint32_t w[64];
        for (int t = 0; t < 16; ++t) w[t] = be32(p + 4 * t);
        for (int t = 16; t < 64; ++t) {
            const std::uint32_t s0 = rotr(w[t - 15], 7) ^ rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
            const std::uint32_t s1 = rotr(w[t - 2], 17) ^ rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        std::uint32_t v[8];
        std::copy(h, h + 8, v);
        for (int t = 0; t < 64; ++t) {
            const std::uint32_t s1 = rotr(v[4], 6) ^ rotr(v[4], 11) ^ rotr(v[4], 25);
            const std::uint32_t ch = (v[4] & v[5]) ^ (~v[4] & v[6]);
            const std::uint32_t t1 = v[7] + s1 + ch + k[t] + w[t];
            const std::uint32_t s0 = rotr(v[0], 2) ^ rotr(v[0], 13) ^ rotr(v[0], 22);
            const std::uint32_t maj = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
            const std::uint32_t t2 = s0 + maj;
            std::copy_backward(v, v + 7, v + 8);
            v[4] += t1;
            v[0] = t1 + t2;
        }
        for (int j = 0; j < 8; ++j) h[j] += v[j];
    });
    std::array<std::uint8_t, 32> out{};
    for (int i = 0; i < 32; ++i)
        out[static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(h[i / 4] >> (24 - 8 * (i % 4)));
    return out;
}

} // namespace xisf

namespace {

using xisf::XmlElement;

[[noreturn]] void damaged() {
    throw Error(kXisfDamaged);
}
[[noreturn]] void unsupported() {
    throw Error(kXisfUnsupported);
}

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::size_t from = 0;
    for (;;) {
        const std::size_t at = s.find(sep, from);
        out.push_back(s.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos) return out;
        from = at + 1;
    }
}

std::uint64_t number(const std::string& s) {
    if (s.empty() || s.size() > 19 || s.find_first_not_of("0123456789") != std::string::npos)
        damaged();
    return std::stoull(s);
}

std::string lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string hexOf(const std::uint8_t* p, std::size_t n) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += kDigits[p[i] >> 4], s += kDigits[p[i] & 15];
    return s;
}

// The block's bytes checked against a "sha1:..." or "sha256:..." checksum.
void checkChecksum(const std::string& checksum, const std::uint8_t* p, std::size_t n) {
    const std::size_t colon = checksum.find(':');
    if (colon == std::string::npos) damaged();
    const std::string kind = lower(checksum.substr(0, colon));
    const std::string want = lower(checksum.substr(colon + 1));
    std::string got;
    if (kind == "sha1" || kind == "sha-1") {
        const auto d = xisf::sha1(p, n);
        got = hexOf(d.data(), d.size());
    } else if (kind == "sha256" || kind == "sha-256") {
        const auto d = xisf::sha256(p, n);
        got = hexOf(d.data(), d.size());
    } else {
        unsupported();
    }
    if (got != want) throw Error(kXisfChecksum);
}

// The hardest a codec can compress: a declared size beyond this many times the stored size
// cannot be true and is refused before anything is allocated.
std::uint64_t maximumRatio(const std::string& codec) {
    if (codec == "zlib") return 1040;
    if (codec == "lz4" || codec == "lz4hc") return 256;
    return 1u << 15; // zstd: a 128 KiB block of one repeated byte from four bytes
}

std::vector<std::uint8_t> decompress(const std::string& codec, const std::uint8_t* p, std::size_t n,
                                     std::size_t size) {
    std::vector<std::uint8_t> out(size);
    if (codec == "zlib") {
        z_stream z{};
        if (inflateInit(&z) != Z_OK) throw std::bad_alloc();
        z.next_in = const_cast<Bytef*>(p);
        z.avail_in = static_cast<uInt>(n);
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(size);
        const int r = inflate(&z, Z_FINISH);
        const bool ok = r == Z_STREAM_END && z.total_out == size;
        inflateEnd(&z);
        if (!ok) damaged();
    } else if (codec == "lz4" || codec == "lz4hc") {
        const int got = LZ4_decompress_safe(reinterpret_cast<const char*>(p),
                                            reinterpret_cast<char*>(out.data()),
                                            static_cast<int>(n), static_cast<int>(size));
        if (got < 0 || static_cast<std::size_t>(got) != size) damaged();
    } else if (codec == "zstd") {
        const std::size_t got = ZSTD_decompress(out.data(), size, p, n);
        if (ZSTD_isError(got) || got != size) damaged();
    } else {
        unsupported();
    }
    return out;
}

// Undoes the byte shuffling: byte j of every item was stored in the j-th run of items.
std::vector<std::uint8_t> unshuffle(const std::vector<std::uint8_t>& in, std::size_t item) {
    if (item <= 1) return in;
    std::vector<std::uint8_t> out(in.size());
    const std::size_t items = in.size() / item;
    for (std::size_t j = 0; j < item; ++j)
        for (std::size_t i = 0; i < items; ++i) out[i * item + j] = in[j * items + i];
    std::copy(in.begin() + static_cast<std::ptrdiff_t>(items * item), in.end(),
              out.begin() + static_cast<std::ptrdiff_t>(items * item));
    return out;
}

// Large buffers are taken against the program's memory budget, so that a file claiming more
// than the machine holds is refused before the allocation.
struct Reserved {
    std::size_t bytes;
    explicit Reserved(std::size_t n) : bytes(n) { memory::reserve(n); }
    ~Reserved() { memory::release(bytes); }
    Reserved(const Reserved&) = delete;
    Reserved& operator=(const Reserved&) = delete;
};

struct SampleFormat {
    const char* name;
    int bytes;
    int bitpix;
};
constexpr SampleFormat kFormats[] = {{"UInt8", 1, 8},
                                     {"UInt16", 2, 16},
                                     {"UInt32", 4, 32},
                                     {"Float32", 4, -32},
                                     {"Float64", 8, -64}};

// An 80-column card.
std::string card(std::string text) {
    text.resize(80, ' ');
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) c = ' ';
    return text;
}

bool isNumber(const std::string& v) {
    if (v.empty() || v == "T" || v == "F") return !v.empty();
    char* end = nullptr;
    std::strtod(v.c_str(), &end);
    return end && *end == '\0';
}

// A FITS keyword element as the FITS reader's card: a quoted text at column 10, a number or
// logical right-aligned to column 29 (the fixed format), any other text as it was stored.
std::string keywordCard(const XmlElement& e) {
    const std::string* n = e.attribute("name");
    const std::string* v = e.attribute("value");
    const std::string* c = e.attribute("comment");
    if (!n || n->empty() || n->size() > 8) return {};
    std::string name = *n;
    name.resize(8, ' ');
    const std::string value = v ? *v : std::string();
    const std::string upper = [&] {
        std::string u = name;
        for (char& ch : u) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        return u;
    }();
    if (upper == "COMMENT " || upper == "HISTORY " || upper == "        " || value.empty())
        return card(name + (value.empty() && c ? *c : value));
    std::string trimmed = value;
    while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
    const std::size_t first = trimmed.find_first_not_of(' ');
    const std::string core = first == std::string::npos ? std::string() : trimmed.substr(first);
    std::string text;
    if (!core.empty() && core[0] == '\'')
        text = name + "= " + core;
    else if (isNumber(core) && core.size() <= 20)
        text = name + "= " + std::string(20 - core.size(), ' ') + core;
    else
        text = name + "= " + trimmed;
    if (c && !c->empty() && text.size() < 77) text += " / " + *c;
    return card(text);
}

// The structure of the synthetic FITS header is the reader's own; these cards from the file
// are left out.
bool structural(const std::string& c) {
    static constexpr const char* kSkip[] = {"SIMPLE  ", "BITPIX  ", "NAXIS",    "BZERO   ",
                                            "BSCALE  ", "END     ", "EXTEND  ", "XTENSION",
                                            "PCOUNT  ", "GCOUNT  "};
    for (const char* k : kSkip)
        if (c.compare(0, std::strlen(k), k) == 0) return true;
    return false;
}

// Known XISF properties as the cards the FITS reader fills the same values from.
void propertyCards(const XmlElement& e, std::vector<std::string>& cards) {
    const std::string* id = e.attribute("id");
    const std::string* v = e.attribute("value");
    const std::string value = v ? *v : e.text;
    if (!id) return;
    auto num = [&](const char* key) {
        char* end = nullptr;
        const double d = std::strtod(value.c_str(), &end);
        if (!end || end == value.c_str() || !std::isfinite(d)) return;
        char buf[48];
        std::snprintf(buf, sizeof buf, "%-8s= %20.6f", key, d);
        cards.push_back(card(buf));
    };
    if (*id == "Observation:Time:Start" && value.size() >= 10) {
        cards.push_back(card("DATE-OBS= '" + value.substr(0, 10) + "'"));
        if (value.size() >= 19 && value[10] == 'T')
            cards.push_back(card("TIME-OBS= '" + value.substr(11, 8) + "'"));
    } else if (*id == "Instrument:ExposureTime") {
        num("EXPTIME");
    } else if (*id == "Instrument:Sensor:Temperature") {
        num("CCD-TEMP");
    } else if (*id == "Instrument:Sensor:XPixelSize") {
        num("PIXWIDTH");
    } else if (*id == "Instrument:Sensor:YPixelSize") {
        num("PIXHEIGH");
    } else if (*id == "Observation:Location:Longitude") {
        num("LONGITUD");
    } else if (*id == "Observation:Location:Latitude") {
        num("LATITUDE");
    }
}

void putBigEndian(std::uint8_t* dst, const std::uint8_t* src, int bytes, bool bigSource) {
    for (int b = 0; b < bytes; ++b) dst[b] = src[bigSource ? b : bytes - 1 - b];
}

} // namespace

bool isXisfSignature(const std::uint8_t* data, std::size_t size) {
    return size >= 8 && std::memcmp(data, "XISF0100", 8) == 0;
}

bool isXisfName(std::string_view path) {
    while (!path.empty() && path.back() == ' ') path.remove_suffix(1);
    return path.size() >= 5 && lower(std::string(path.substr(path.size() - 5))) == ".xisf";
}

void readXisfMemory(const std::uint8_t* data, std::size_t size, Image& image, Progress& progress,
                    std::string_view sourcePath) {
    if (!isXisfSignature(data, size)) throw Error(fits::kMsgUnknownFormat);
    if (size < 16) damaged();
    const std::uint32_t headerLength = std::uint32_t{data[8]} | (std::uint32_t{data[9]} << 8) |
                                       (std::uint32_t{data[10]} << 16) |
                                       (std::uint32_t{data[11]} << 24);
    if (headerLength == 0 || headerLength > size - 16) damaged();
    const std::vector<XmlElement> xml =
        xisf::parseXml({reinterpret_cast<const char*>(data + 16), headerLength});
    if (xml[0].name != "xisf") damaged();
    const std::string* version = xml[0].attribute("version");
    if (!version || *version != "1.0") unsupported();

    int imageIndex = -1;
    for (std::size_t i = 0; i < xml.size() && imageIndex < 0; ++i)
        if (xml[i].name == "Image" && xml[i].parent == 0) imageIndex = static_cast<int>(i);
    if (imageIndex < 0) unsupported();
    const XmlElement& im = xml[static_cast<std::size_t>(imageIndex)];

    // Geometry, sample format and layout.
    const std::string* geometry = im.attribute("geometry");
    const std::string* location = im.attribute("location");
    if (!geometry || !location) damaged();
    const std::vector<std::string> g = split(*geometry, ':');
    if (g.size() != 3) unsupported(); // one- and three-dimensional images are not read
    const std::uint64_t width = number(g[0]), height = number(g[1]), channels = number(g[2]);
    if (width < 10 || width > 14000 || height < 10 || height > 14000)
        throw Error("Bild hat ungültige Größe (nicht 10x10 ... 14000x14000)!");
    if (channels < 1 || channels > 33) unsupported();
    const std::string* formatName = im.attribute("sampleFormat");
    const SampleFormat* format = nullptr;
    for (const SampleFormat& f : kFormats)
        if (formatName && *formatName == f.name) format = &f;
    if (!format) unsupported();
    const std::string* storage = im.attribute("pixelStorage");
    const bool normal = storage && *storage == "Normal";
    if (storage && !normal && *storage != "Planar") unsupported();
    const std::string* order = im.attribute("byteOrder");
    const bool bigSource = order && *order == "big";
    if (order && !bigSource && *order != "little") unsupported();
    const std::uint64_t samples = width * height * channels;
    const std::uint64_t expected = samples * static_cast<std::uint64_t>(format->bytes);

    // The data block, checked against the file before anything is allocated.
    const std::vector<std::string> loc = split(*location, ':');
    if (loc.size() != 3 || loc[0] != "attachment") unsupported();
    const std::uint64_t position = number(loc[1]), length = number(loc[2]);
    if (position < 16 + std::uint64_t{headerLength} || position > size || length > size - position)
        damaged();
    const std::uint8_t* block = data + position;
    if (const std::string* checksum = im.attribute("checksum"))
        checkChecksum(*checksum, block, static_cast<std::size_t>(length));
    std::vector<std::uint8_t> plain;
    std::optional<Reserved> reservedPlain;
    const std::uint8_t* pixels = block;
    if (const std::string* compression = im.attribute("compression")) {
        const std::vector<std::string> c = split(*compression, ':');
        if (c.size() < 2) damaged();
        std::string codec = c[0];
        const bool shuffled = codec.size() > 3 && codec.substr(codec.size() - 3) == "+sh";
        if (shuffled) codec.resize(codec.size() - 3);
        const std::uint64_t declared = number(c[1]);
        const std::uint64_t item = shuffled ? (c.size() == 3 ? number(c[2]) : 0) : 1;
        if (declared != expected || (shuffled && item != std::uint64_t(format->bytes)) ||
            length == 0 || declared / maximumRatio(codec) > length || length > 0x7FFFFFFFu ||
            declared > 0x7FFFFFFFu)
            damaged();
        reservedPlain.emplace(static_cast<std::size_t>(declared));
        plain = decompress(codec, block, static_cast<std::size_t>(length),
                           static_cast<std::size_t>(declared));
        if (shuffled) plain = unshuffle(plain, static_cast<std::size_t>(item));
        pixels = plain.data();
    } else if (length != expected) {
        damaged();
    }

    // Real samples lie within the image's bounds (0:1 unless it says otherwise): mapped from
    // there onto the 16-bit range with the FITS reader's formula, t × 65535 - 32768.
    const bool real = format->bitpix < 0;
    double low = 0.0, high = 1.0;
    if (const std::string* bounds = im.attribute("bounds"); bounds && real) {
        const std::vector<std::string> b = split(*bounds, ':');
        char* e1 = nullptr;
        char* e2 = nullptr;
        const double lo = b.size() == 2 ? std::strtod(b[0].c_str(), &e1) : 0.0;
        const double hi = b.size() == 2 ? std::strtod(b[1].c_str(), &e2) : 0.0;
        if (b.size() == 2 && *e1 == '\0' && *e2 == '\0' && std::isfinite(lo) && std::isfinite(hi) &&
            hi > lo)
            low = lo, high = hi;
    }
    const int outBitpix = real ? 16 : format->bitpix;
    const int outBytes = real ? 2 : format->bytes;

    // Cards: the structure, then the known properties, then the file's FITS keywords (so they
    // win where both give a value), at most what the FITS reader's 32 header blocks hold.
    std::vector<std::string> cards;
    char buf[81];
    std::snprintf(buf, sizeof buf, "SIMPLE  =                    T");
    cards.push_back(card(buf));
    std::snprintf(buf, sizeof buf, "BITPIX  = %20d", outBitpix);
    cards.push_back(card(buf));
    std::snprintf(buf, sizeof buf, "NAXIS   = %20d", channels > 1 ? 3 : 2);
    cards.push_back(card(buf));
    std::snprintf(buf, sizeof buf, "NAXIS1  = %20d", static_cast<int>(width));
    cards.push_back(card(buf));
    std::snprintf(buf, sizeof buf, "NAXIS2  = %20d", static_cast<int>(height));
    cards.push_back(card(buf));
    if (channels > 1) {
        std::snprintf(buf, sizeof buf, "NAXIS3  = %20d", static_cast<int>(channels));
        cards.push_back(card(buf));
    }
    for (const XmlElement& e : xml)
        if (e.name == "Property") propertyCards(e, cards);
    for (std::size_t i = 0; i < xml.size(); ++i) {
        const XmlElement& e = xml[i];
        if (e.name != "FITSKeyword" || e.parent != imageIndex) continue;
        const std::string c = keywordCard(e);
        if (!c.empty() && !structural(c) && cards.size() < 32 * 36 - 1) cards.push_back(c);
    }
    cards.push_back(card("END"));
    std::string fits;
    for (const auto& c : cards) fits += c;
    fits.resize((fits.size() + 2879) / 2880 * 2880, ' ');

    // The samples as the FITS planes of that BITPIX, big-endian.
    const std::size_t headerSize = fits.size();
    const int bytes = format->bytes;
    const Reserved reservedFits(static_cast<std::size_t>(samples) *
                                static_cast<std::size_t>(outBytes));
    fits.resize(headerSize +
                static_cast<std::size_t>(samples) * static_cast<std::size_t>(outBytes));
    auto* out = reinterpret_cast<std::uint8_t*>(fits.data() + headerSize);
    const std::uint64_t planeSize = width * height;
    for (std::uint64_t ch = 0; ch < channels; ++ch)
        for (std::uint64_t k = 0; k < planeSize; ++k) {
            const std::uint64_t from = normal ? k * channels + ch : ch * planeSize + k;
            std::uint8_t* d = out + (ch * planeSize + k) * static_cast<std::uint64_t>(outBytes);
            if (real) {
                std::uint8_t be[8];
                putBigEndian(be, pixels + from * static_cast<std::uint64_t>(bytes), bytes,
                             bigSource);
                double v;
                if (bytes == 4) {
                    float f;
                    const std::uint32_t u = (std::uint32_t{be[0]} << 24) |
                                            (std::uint32_t{be[1]} << 16) |
                                            (std::uint32_t{be[2]} << 8) | be[3];
                    std::memcpy(&f, &u, 4);
                    v = f;
                } else {
                    std::uint64_t u = 0;
                    for (int b = 0; b < 8; ++b) u = (u << 8) | be[b];
                    std::memcpy(&v, &u, 8);
                }
                double t = (v - low) / (high - low);
                if (!(t > 0.0)) t = 0.0; // NaN too
                if (t > 1.0) t = 1.0;
                const auto sample = static_cast<std::int16_t>(t * 65535.0 - 32768.0);
                const auto u = static_cast<std::uint16_t>(sample);
                d[0] = static_cast<std::uint8_t>(u >> 8);
                d[1] = static_cast<std::uint8_t>(u & 0xFF);
                continue;
            }
            putBigEndian(d, pixels + from * static_cast<std::uint64_t>(bytes), bytes, bigSource);
            // Unsigned integers become the signed values of FITS's unsigned convention.
            if (format->bitpix == 16 || format->bitpix == 32) d[0] ^= 0x80;
        }
    plain = {};
    reservedPlain.reset();
    readFitsMemory(fits.data(), fits.size(), image, progress, sourcePath);
}

void readXisf(const std::string& path, Image& image, Progress& progress) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Error(fits::kMsgCannotOpen);
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) throw Error(fits::kMsgCannotOpen);
    in.seekg(0);
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    if (!in.read(reinterpret_cast<char*>(data.data()), size)) throw Error(fits::kMsgCannotOpen);
    readXisfMemory(data.data(), data.size(), image, progress, path);
}

std::string xisfCompression(const std::string& path) {
    try {
        std::ifstream in(path, std::ios::binary);
        std::uint8_t head[16] = {};
        if (!in.read(reinterpret_cast<char*>(head), sizeof head) ||
            !isXisfSignature(head, sizeof head))
            return {};
        const std::uint32_t length = std::uint32_t{head[8]} | (std::uint32_t{head[9]} << 8) |
                                     (std::uint32_t{head[10]} << 16) |
                                     (std::uint32_t{head[11]} << 24);
        if (length == 0 || length > (64u << 20)) return {};
        std::string xml(length, '\0');
        if (!in.read(xml.data(), length)) return {};
        const std::vector<XmlElement> e = xisf::parseXml(xml);
        for (const XmlElement& im : e) {
            if (im.name != "Image" || im.parent != 0) continue;
            const std::string* compression = im.attribute("compression");
            if (!compression) return {};
            const std::vector<std::string> c = split(*compression, ':');
            std::string codec = c.empty() ? std::string() : c[0];
            if (codec.size() > 3 && codec.substr(codec.size() - 3) == "+sh") {
                codec.resize(codec.size() - 3);
                codec += ", Byte-Shuffling";
                if (c.size() == 3) codec += " je " + c[2] + (c[2] == "1" ? " Byte" : " Bytes");
            }
            return codec;
        }
    } catch (const Error&) {
    }
    return {};
}

// --- writing --------------------------------------------------------------------------------

namespace {

std::string escape(std::string_view s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

// The dialect's cards as FITS keyword elements: structure cards left out, a value card's
// value as written (a free text keeps its leading blanks, which carry its columns).
std::string keywordElements(const std::string& header) {
    std::string out;
    for (std::size_t at = 0; at + 80 <= header.size(); at += 80) {
        const std::string c = header.substr(at, 80);
        if (c.find_first_not_of(' ') == std::string::npos || structural(c)) continue;
        std::string name = c.substr(0, 8);
        while (!name.empty() && name.back() == ' ') name.pop_back();
        std::string value, comment;
        if (c.compare(8, 2, "= ") == 0) {
            value = c.substr(10);
            while (!value.empty() && value.back() == ' ') value.pop_back();
            const std::size_t first = value.find_first_not_of(' ');
            if (first != std::string::npos &&
                (value[first] == '\'' || isNumber(value.substr(first))))
                value.erase(0, first);
        } else {
            comment = c.substr(8);
            while (!comment.empty() && comment.back() == ' ') comment.pop_back();
        }
        out += "<FITSKeyword name=\"" + escape(name) + "\" value=\"" + escape(value) +
               "\" comment=\"" + escape(comment) + "\"/>";
    }
    return out;
}

} // namespace

void writeXisf(Image& image, const std::string& path, Progress& progress,
               const DisplayParams* display, bool zlib) {
    const DisplayParams stored = display ? DisplayParams{} : displayFromStored(image);
    const std::string header = fitsHeader(image, display ? *display : stored);
    const int width = image.width(), height = image.height(), planes = image.planeCount();
    const std::size_t planeBytes = static_cast<std::size_t>(width) * height * 2;
    saveImageFile(image, path, progress, [&] {
        progress.begin("XISF schreiben", planes, 1);
        std::vector<std::uint8_t> raw(planeBytes * static_cast<std::size_t>(planes));
        for (int p = 0; p < planes; ++p) {
            for (int y = 0; y < height; ++y) {
                const Sample* row = image.row(p, y);
                std::uint8_t* d = raw.data() + static_cast<std::size_t>(p) * planeBytes +
                                  static_cast<std::size_t>(y) * width * 2;
                for (int x = 0; x < width; ++x) {
                    const auto v = static_cast<std::uint16_t>(row[x] + 32768);
                    d[2 * x] = static_cast<std::uint8_t>(v & 0xFF);
                    d[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
                }
            }
            progress.step(1);
        }
        std::vector<std::uint8_t> block;
        if (zlib) {
            uLongf n = compressBound(static_cast<uLong>(raw.size()));
            block.resize(n);
            if (compress2(block.data(), &n, raw.data(), static_cast<uLong>(raw.size()), 6) != Z_OK)
                throw Error(fits::kMsgSaveFailed);
            block.resize(n);
        } else {
            block = std::move(raw);
        }
        const std::uint16_t type = image.type();
        const bool rgb = type == RGB_IMAGE;
        const auto digest = xisf::sha1(block.data(), block.size());
        auto xml = [&](std::size_t position) {
            std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                            "<xisf version=\"1.0\" xmlns=\"http://www.pixinsight.com/xisf\">\n";
            s += "<Image geometry=\"" + std::to_string(width) + ":" + std::to_string(height) + ":" +
                 std::to_string(planes) +
                 "\" sampleFormat=\"UInt16\" bounds=\"0:65535\" colorSpace=\"" +
                 (rgb ? "RGB" : "Gray") + "\" location=\"attachment:" + std::to_string(position) +
                 ":" + std::to_string(block.size()) + "\"";
            if (zlib) s += " compression=\"zlib:" + std::to_string(planeBytes * planes) + "\"";
            s += " checksum=\"sha1:" + hexOf(digest.data(), digest.size()) + "\">\n";
            s += keywordElements(header);
            s += "\n</Image>\n<Metadata><Property id=\"XISF:CreatorApplication\" "
                 "type=\"String\">Quillon</Property></Metadata>\n</xisf>\n";
            return s;
        };
        // The data start at the first 4096-byte boundary after the header.
        std::size_t position = 4096;
        std::string text = xml(position);
        while (16 + text.size() > position) {
            position = (16 + text.size() + 4095) / 4096 * 4096;
            text = xml(position);
        }
        std::string head = "XISF0100";
        const auto n = static_cast<std::uint32_t>(text.size());
        for (int b = 0; b < 4; ++b) head += static_cast<char>((n >> (8 * b)) & 0xFF);
        head.append(4, '\0');
        head += text;
        head.resize(position, '\0');
        AtomicFile file(path, fits::kMsgSaveFailed);
        file.write(head.data(), head.size());
        file.write(block.data(), block.size());
        file.commit();
    });
}

} // namespace quillon
