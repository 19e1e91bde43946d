// SBIG camera files: the fixed ".ST4" image and the text-header layout (plain or
// row-compressed 16-bit rows), with pedestal, overflow halving and display points.
#include "formats/sbig.h"

#include "core/error.h"
#include "formats/open.h"
#include "formats/reader_util.h"

#include <cctype>
#include <cmath>
#include <cstring>
#include <string_view>
#include <vector>

namespace quillon {

namespace {

using detail::trimRight;

constexpr int kSt4Width = 192;
constexpr int kSt4Height = 165;
constexpr std::size_t kSt4Trailer = 31680;
constexpr std::size_t kHeaderSize = 2048;

// ".ST4": 165 rows of 192 bytes, then a trailer of texts.
void readSt4(ByteSource& src, Image& image, Progress& progress) {
    detail::defineAndAllocate(image, kSt4Width, kSt4Height, BW_IMAGE);
    std::uint8_t trailer[1 + 71 + 7 + 40];
    {
        detail::InfoAccess info(image);
        if (!src.seek(kSt4Trailer) || !src.readExact(trailer, sizeof trailer))
            throw Error(sbig::kDamaged);
        if (trailer[0] != 'v') throw Error(sbig::kNotSbig);
        auto field = [&](std::size_t offset, std::size_t n) {
            return std::string(detail::untilNul(
                std::string_view(reinterpret_cast<const char*>(trailer) + offset, n)));
        };
        info->addComment(trimRight(field(1, 71)));
        info->addComment("focal length (inches) = " + field(89, 10));
        info->addComment("aperature area (square inches) = " + field(99, 10));
        info->addComment("image calibration factor = " + field(109, 10));
        const char* exp = reinterpret_cast<const char*>(trailer) + 79;
        info->exposureTime = static_cast<float>(parseIntPrefix(exp, exp + 10)) / 1000.0f;
    }
    image.SetPixelSize(10.0f, 10.0f);
    detail::SampleAccess samples(image);
    detail::ProgressScope scope(progress, sbig::kProgressTitle, kSt4Height, 10);
    if (!src.seek(0)) throw Error(sbig::kDamaged);
    std::uint8_t row[kSt4Width];
    for (int y = 0; y < kSt4Height; ++y) {
        if (!src.readExact(row, sizeof row)) throw Error(sbig::kDamaged);
        Sample* dst = samples.row(0, y);
        for (int x = 0; x < kSt4Width; ++x) dst[x] = row[x];
        progress.step();
    }
    auto& d = image.storedDisplay();
    d.hasPoints = true;
    d.blackPoint = {0, 0, 0};
    d.whitePoint = {255, 255, 255};
}

// The header lines, separated by "\n\r"; any carriage returns at either end of a line are
// dropped so that files edited on other systems still read.
std::vector<std::string_view> headerLines(std::string_view header) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start <= header.size()) {
        std::size_t nl = header.find('\n', start);
        std::size_t stop = nl == std::string_view::npos ? header.size() : nl;
        std::string_view line = header.substr(start, stop - start);
        while (!line.empty() && line.front() == '\r') line.remove_prefix(1);
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (nl != std::string_view::npos || !line.empty()) lines.push_back(line);
        if (nl == std::string_view::npos) break;
        start = nl + 1;
    }
    return lines;
}

bool has(std::string_view line, std::string_view key) {
    return line.find(key) != std::string_view::npos;
}

// The text after "=" (empty when the line has none).
std::string_view valueOf(std::string_view line) {
    auto eq = line.find('=');
    return eq == std::string_view::npos ? std::string_view{} : line.substr(eq + 1);
}

int intValue(std::string_view line) {
    auto v = valueOf(line);
    return parseIntPrefix(v.data(), v.data() + v.size());
}

double realValue(std::string_view line) {
    auto v = valueOf(line);
    double d = parseRealPrefix(v.data(), v.data() + v.size());
    return std::isfinite(d) ? d : 0.0;
}

// The 8 characters that start two characters after "=".
std::string_view shortText(std::string_view line) {
    auto eq = line.find('=');
    if (eq == std::string_view::npos || eq + 2 > line.size()) return std::string_view("");
    return line.substr(eq + 2, 8);
}

struct TextHeader {
    bool compressed = false;
    int width = 0;
    int height = 0;
};

// Decodes one compressed row of `len` bytes into raw 16-bit values. False when the bytes do
// not make exactly `width` pixels.
bool decodeRow(const std::uint8_t* in, std::size_t len, int width, std::uint16_t* out) {
    if (len == static_cast<std::size_t>(width) * 2) {
        for (int x = 0; x < width; ++x) out[x] = le16(in + 2 * x);
        return true;
    }
    if (len < 2) return false;
    std::size_t i = 0;
    std::uint16_t value = le16(in);
    i = 2;
    out[0] = value;
    for (int x = 1; x < width; ++x) {
        if (i >= len) return false;
        std::uint8_t b = in[i++];
        if (b == 0x80) {
            if (i + 2 > len) return false;
            value = le16(in + i);
            i += 2;
        } else {
            value = static_cast<std::uint16_t>(value + static_cast<std::int8_t>(b));
        }
        out[x] = value;
    }
    return i == len;
}

void readTextHeader(ByteSource& src, Image& image, Progress& progress) {
    char buf[kHeaderSize];
    if (!src.readExact(buf, sizeof buf)) throw Error(sbig::kUnreadable);
    std::string_view header = detail::untilNul(std::string_view(buf, sizeof buf));
    auto lines = headerLines(header);

    // First pass: validity, compression and size.
    TextHeader h;
    bool valid = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        auto line = lines[i];
        if (i == 0) {
            valid = has(line, "Image");
            h.compressed = has(line, "Compressed");
        }
        if (has(line, "Width")) h.width = intValue(line);
        if (has(line, "Height")) h.height = intValue(line);
        if (has(line, "End")) break;
    }
    if (!valid) throw Error(sbig::kNotSbig);
    if (image.Define(h.width, h.height, BW_IMAGE, false) == 0) throw Error(msg::kInvalidSize);

    // The pixel data must fit in what the file holds before any sample memory is taken: a
    // plain row needs 2 bytes per pixel, a compressed one at least its count and 1 + width.
    const std::uint64_t w = static_cast<std::uint64_t>(h.width);
    const std::uint64_t needed =
        static_cast<std::uint64_t>(h.height) * (h.compressed ? 2 + w + 1 : 2 * w);
    if (src.remaining() < needed) throw Error(sbig::kDamaged);
    if (image.AllocateSamples(false) != 0) throw Error(msg::kOutOfMemory);

    // Second pass: metadata and comment lines.
    long long black = 0, range = 0, pedestal = 0;
    double pixelX = 0, pixelY = 0;
    {
        detail::InfoAccess info(image);
        for (auto line : lines) {
            if (has(line, "Exposure ")) {
                info->exposureTime = static_cast<float>(intValue(line)) / 100.0f;
            } else if (has(line, "Background")) {
                black = intValue(line);
            } else if (has(line, "Range")) {
                range = intValue(line);
            } else if (has(line, "Date")) {
                setText(info->date, shortText(line));
            } else if (has(line, "Time")) {
                setText(info->time, shortText(line));
            } else if (has(line, "Temperature")) {
                info->temperature = static_cast<float>(realValue(line));
            } else if (has(line, "X_pixel_size")) {
                pixelX = realValue(line);
            } else if (has(line, "Y_pixel_size")) {
                pixelY = realValue(line);
            } else if (has(line, "Pedestal")) {
                pedestal = intValue(line);
            } else if (has(line, "End")) {
                break;
            } else {
                auto text = trimRight(line.substr(0, 71));
                if (!text.empty()) info->addComment(text);
            }
        }
    }
    long long white = black + range;

    // Millimetres to micrometres; a missing (or unusable) size gives the 10 µm default.
    pixelX *= 1000.0;
    pixelY *= 1000.0;
    if (!(pixelX > 0 && pixelX < 1e6) || !(pixelY > 0 && pixelY < 1e6)) pixelX = pixelY = 10.0;
    image.SetPixelSize(static_cast<float>(pixelX), static_cast<float>(pixelY));

    detail::ProgressScope scope(progress, sbig::kProgressTitle, h.height, 10);
    detail::SampleAccess samples(image);
    std::vector<std::uint8_t> in(static_cast<std::size_t>(w) * 2);
    std::vector<std::uint16_t> raw(static_cast<std::size_t>(w));
    const long long shift = pedestal - 100;
    long long overflow = 0;
    for (int y = 0; y < h.height; ++y) {
        if (h.compressed) {
            std::uint8_t count[2];
            if (!src.readExact(count, 2)) throw Error(sbig::kDamaged);
            std::size_t len = le16(count);
            if (len > in.size()) throw Error(sbig::kDamaged);
            if (!src.readExact(in.data(), len)) throw Error(sbig::kDamaged);
            if (!decodeRow(in.data(), len, h.width, raw.data())) throw Error(sbig::kDamaged);
        } else {
            if (!src.readExact(in.data(), in.size())) throw Error(sbig::kDamaged);
            for (int x = 0; x < h.width; ++x) raw[static_cast<std::size_t>(x)] = le16(&in[2 * x]);
        }
        Sample* dst = samples.row(0, y);
        for (int x = 0; x < h.width; ++x) {
            long long r = raw[static_cast<std::size_t>(x)];
            dst[x] = static_cast<Sample>(r - 32768);
            if (r + shift >= 32768) ++overflow;
        }
        progress.step();
    }

    // More than 0.5 % overflowing pixels: halve everything, else clip at the top.
    const bool halve = static_cast<double>(overflow) / h.width / h.height > 0.005;
    for (int y = 0; y < h.height; ++y) {
        Sample* row = samples.row(0, y);
        for (int x = 0; x < h.width; ++x) {
            long long v = row[x] + 32768LL + shift;
            row[x] = clampSample(halve ? v / 2 : v);
        }
    }
    if (halve) {
        black /= 2;
        white /= 2;
    }
    if (black > 32767) black = 0;
    if (white > 32767) white = 32767;
    if (black != 0 || white != 0) {
        auto& d = image.storedDisplay();
        d.hasPoints = true;
        Sample b = clampSample(black), wp = clampSample(white);
        d.blackPoint = {b, b, b};
        d.whitePoint = {wp, wp, wp};
    }
}

} // namespace

bool isSt4Path(const std::string& path) {
    std::string p = trimTrailingBlanks(path);
    if (p.size() < 4) return false;
    std::string tail = p.substr(p.size() - 4);
    for (auto& c : tail) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return tail == ".ST4";
}

void readSbig(ByteSource& src, bool st4, Image& image, Progress& progress) {
    detail::guardedRead(image, progress, [&] {
        if (st4)
            readSt4(src, image, progress);
        else
            readTextHeader(src, image, progress);
    });
}

void readSbig(const std::string& path, Image& image, Progress& progress) {
    FileSource src(path, sbig::kOpenFailed);
    readSbig(src, isSt4Path(path), image, progress);
}

} // namespace quillon
