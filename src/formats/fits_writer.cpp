// FITS writer: the dialect's cards with their exact formats, the compatibility cards of grey
// and RGB images, and the big-endian planes written through a temporary file.
#include "formats/fits_writer.h"

#include "core/atomic_file.h"
#include "core/error.h"
#include "core/parallel.h"
#include "formats/fits_format.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <vector>

namespace quillon {

namespace {

using fits::formatFixed;
using fits::hexLittleEndian;

class Cards {
public:
    // One card: cut or padded to 80 columns. A character outside 32..127 becomes one blank,
    // so "Größe" keeps its 5 columns.
    void add(std::string_view text) {
        std::string card;
        for (std::size_t i = 0; i < text.size() && card.size() < fits::kCardSize;) {
            const std::size_t n = utf8SequenceLength(text, i);
            const auto u = static_cast<unsigned char>(text[i]);
            card += n == 1 && u >= 32 && u <= 127 ? text[i] : ' ';
            i += n;
        }
        card.resize(fits::kCardSize, ' ');
        out_ += card;
    }
    // printf-style for integer and text fields (locale-independent); reals go through
    // formatFixed.
    void addf(const char* fmt, ...) __attribute__((format(printf, 2, 3))) {
        char buf[512];
        va_list ap;
        va_start(ap, fmt);
        std::vsnprintf(buf, sizeof buf, fmt, ap);
        va_end(ap);
        add(buf);
    }
    std::string finish() {
        add("END");
        while (out_.size() % fits::kBlockSize != 0) out_.append(fits::kCardSize, ' ');
        return std::move(out_);
    }

private:
    std::string out_;
};

// A string value between quotes: inner quotes doubled, padded to eight characters.
std::string quotedValue(std::string_view text) {
    std::string out;
    for (char ch : text) out += ch == '\'' ? std::string("''") : std::string(1, ch);
    if (out.size() < 8) out.resize(8, ' ');
    return out;
}

std::string fixed(double v, int width, int precision) {
    return formatFixed(v, width, precision);
}

// A number at a character position of a short text, as atoi reads it there.
int numberAt(std::string_view text, std::size_t pos) {
    return pos < text.size() ? static_cast<int>(fits::parseInteger(text.substr(pos))) : 0;
}

float packedDate(std::string_view date) {
    int year = numberAt(date, 6);
    year = year < 46 ? 2000 + year : 1900 + year;
    return static_cast<float>(numberAt(date, 0) + numberAt(date, 3) * 32 + year * 512);
}

float secondsOf(std::string_view time) {
    return static_cast<float>(numberAt(time, 0) * 3600 + numberAt(time, 3) * 60 +
                              numberAt(time, 6));
}

// Width or height: low byte then high byte, two lower-case digits each.
std::string hexSize(int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%2x%2x", v & 0xFF, (v >> 8) & 0xFF);
    for (char* c = buf; *c; ++c)
        if (*c == ' ') *c = '0';
    return buf;
}

// Pixel sizes as integers scaled by a common power of ten (9.0 µm → 9, 6.8 µm → 68).
std::pair<std::int32_t, std::int32_t> scaledPixelSize(float width, float height) {
    auto milli = [](float v) {
        double m = std::round(static_cast<double>(v) * 1000.0);
        if (!(m == m)) return 0LL;
        return static_cast<long long>(std::clamp(m, -2147483648.0, 2147483647.0));
    };
    auto divisor = [](long long v) {
        for (long long d : {1000LL, 100LL, 10LL})
            if (v % d == 0) return d;
        return 1LL;
    };
    long long w = milli(width), h = milli(height);
    long long d = std::min(divisor(w), divisor(h));
    return {static_cast<std::int32_t>(w / d), static_cast<std::int32_t>(h / d)};
}

void addGreyCompatibility(Cards& cards, const Image& img, const DisplayParams& dp) {
    const ImageInfo& info = img.info();
    auto [pw, ph] = scaledPixelSize(img.pixelWidth(), img.pixelHeight());
    cards.add("0000       " + hexSize(img.width()) + "0000" + hexSize(img.height()) +
              "00000400000001000000220000001f000000" +
              hexLittleEndian(packedDate(textOf(info.date))) +
              hexLittleEndian(secondsOf(textOf(info.time))));
    cards.add("0001       " + hexLittleEndian(secondsOf(textOf(info.siderealTime))) +
              hexLittleEndian(static_cast<float>(info.julianDate)) +
              "00000000102700000a0000000000000000000000" +
              hexLittleEndian(static_cast<std::uint32_t>(pw)));
    cards.add("0002       " + hexLittleEndian(static_cast<std::uint32_t>(ph)) + "0000000000000000" +
              hexLittleEndian(info.longitude * 3600.0f) + hexLittleEndian(info.latitude * 3600.0f) +
              "02000000" + hexLittleEndian(static_cast<float>(dp.whitePoint[0]) / 16384.0f) +
              hexLittleEndian(static_cast<float>(dp.blackPoint[0]) / 16384.0f));
    cards.add("0003       000000000000000000000000000000007900000000000000" +
              hexLittleEndian(info.exposureTime) + "00000000");
    cards.add("0004       " + hexLittleEndian(info.temperature) +
              "00000000000000000000000000000000000000000000000000000000");
}

void addRgbCompatibility(Cards& cards, const Image& img, const DisplayParams& dp) {
    const ImageInfo& info = img.info();
    cards.add("PARAM01 = Aufnahmeort: L: " + fixed(info.longitude, 6, 2) +
              "  B:  " + fixed(info.latitude, 6, 2));
    cards.add("PARAM02 = Pixelgr. (micrometer) x: " + fixed(img.pixelWidth(), 6, 2) +
              "  y:  " + fixed(img.pixelHeight(), 6, 2));
    static constexpr const char* kColour[3] = {"ff 00 00", "00 ff 00", "00 00 ff"};
    for (int c = 0; c < 3; ++c) {
        auto i = static_cast<std::size_t>(c);
        std::string name(img.layerName(c));
        if (name.size() < 7) name.append(7 - name.size(), ' ');
        char tail[64];
        std::snprintf(tail, sizeof tail, " Dunkel: %6d   Hell: %6d", dp.blackPoint[i],
                      dp.whitePoint[i]);
        cards.add("PARAM0" + std::to_string(3 + c) + " = F[" + std::to_string(c + 1) +
                  "]: " + fixed(dp.channelWeight[i], 5, 2) + "  " + name + " " + kColour[c] + tail);
    }
}

} // namespace

bool isFitsSaveName(std::string_view path) {
    auto dot = path.rfind('.');
    if (dot == std::string_view::npos) return false;
    std::string ext(path.substr(dot + 1));
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == "fts" || ext == "fits" || ext == "fit";
}

void checkFitsSaveName(std::string_view path) {
    if (!isFitsSaveName(path)) throw Error(fits::kMsgNotFitsName);
}

DisplayParams displayFromStored(const Image& image) {
    const StoredDisplayParams& s = image.storedDisplay();
    DisplayParams d;
    d.blackPoint = s.hasPoints ? s.blackPoint : std::array<std::int16_t, 3>{0, 0, 0};
    d.whitePoint = s.hasPoints ? s.whitePoint : std::array<std::int16_t, 3>{0, 0, 0};
    d.channelWeight = s.hasWeights ? s.channelWeight : std::array<float, 3>{0, 0, 0};
    d.exponent = s.exponent;
    d.lrgbBias = s.lrgbBias;
    d.layerMatrix = s.layerMatrix;
    return d;
}

std::string fitsHeader(const Image& img, const DisplayParams& dp) {
    if (!img.hasSamples()) throw Error(msg::unexpected(51));
    const ImageInfo& info = img.info();
    const std::uint16_t type = img.type();
    const bool grey = type == BW_IMAGE;
    const int naxis = img.planeCount() == 1 ? 2 : 3;

    Cards c;
    c.add("SIMPLE  =                    T");
    c.add("BITPIX  =                   16");
    c.addf("NAXIS   =                    %1i", naxis);
    c.addf("NAXIS1  =                 %4i", img.width());
    c.addf("NAXIS2  =                 %4i", img.height());
    if (naxis == 3) c.addf("NAXIS3  =                   %2i", img.planeCount());
    c.add("BZERO   =                    0");
    c.add("BSCALE  =                    1");
    c.add("DATE-OBS= '" + std::string(textOf(info.date)) + "'");
    c.add("TIME-OBS= '" + std::string(textOf(info.time)) + "'");
    c.add("STARTIME= '" + std::string(textOf(info.siderealTime)) + "'");
    c.add("JULIAN  =           " + fixed(info.julianDate, 10, 2));
    c.add("EXPTIME =              " + fixed(info.exposureTime, 7, 2));
    c.add("ABSTEMP =               " + fixed(info.temperature, 6, 2));
    c.add("PIXWIDTH=               " + fixed(img.pixelWidth(), 6, 2));
    c.add("PIXHEIGH=               " + fixed(img.pixelHeight(), 6, 2));
    c.add("LONGITUD=               " + fixed(info.longitude, 6, 2));
    c.add("LATITUDE=               " + fixed(info.latitude, 6, 2));
    c.add("CIMGTYPE= " + std::string(ImageTypeIdentifier(type)));
    c.add(img.hasOverlay() ? "COVERLAY= YES" : "COVERLAY= NO");
    if (grey) {
        c.addf("BLACKVAL=               %6i", dp.blackPoint[0]);
        c.addf("WHITEVAL=               %6i", dp.whitePoint[0]);
    } else {
        c.addf("BLACKVR =               %6i", dp.blackPoint[0]);
        c.addf("BLACKVG =               %6i", dp.blackPoint[1]);
        c.addf("BLACKVB =               %6i", dp.blackPoint[2]);
        c.addf("WHITEVR =               %6i", dp.whitePoint[0]);
        c.addf("WHITEVG =               %6i", dp.whitePoint[1]);
        c.addf("WHITEVB =               %6i", dp.whitePoint[2]);
        c.add("WEIGHTR =               " + fixed(dp.channelWeight[0], 6, 3));
        c.add("WEIGHTG =               " + fixed(dp.channelWeight[1], 6, 3));
        c.add("WEIGHTB =               " + fixed(dp.channelWeight[2], 6, 3));
    }
    c.add("EXPONENT=                " + fixed(dp.exponent, 5, 2));
    for (const auto& line : info.comments) c.add("COMMENT " + std::string(textOf(line)));
    // The colour-filter-array cards of a raw mosaic, as they were read.
    const BayerCards& bayer = info.bayer;
    if (!bayer.pattern.empty()) c.add("BAYERPAT= '" + quotedValue(bayer.pattern) + "'");
    if (bayer.hasXOffset) c.addf("XBAYROFF=                 %4i", bayer.xOffset);
    if (bayer.hasYOffset) c.addf("YBAYROFF=                 %4i", bayer.yOffset);
    if (!bayer.rowOrder.empty()) c.add("ROWORDER= '" + quotedValue(bayer.rowOrder) + "'");
    for (const std::string& w : wcsCards(info.wcs)) c.add(w);
    if (type == LRGB_IMAGE) {
        c.addf("LRGBBIAL=               %6i", dp.lrgbBias[0]);
        c.addf("LRGBBIAR=               %6i", dp.lrgbBias[1]);
        c.addf("LRGBBIAG=               %6i", dp.lrgbBias[2]);
        c.addf("LRGBBIAB=               %6i", dp.lrgbBias[3]);
    }
    if (type == USERDEFINED_IMAGE) {
        const int n = img.layerCount();
        for (int l = 0; l < n; ++l)
            c.addf("LAYERN%02i= '%s'", l + 1, std::string(img.layerName(l)).c_str());
        if (dp.layerMatrix.size() == static_cast<std::size_t>(3 * n)) {
            for (int l = 0; l < n; ++l) {
                auto at = [&](int row) {
                    return dp.layerMatrix[static_cast<std::size_t>(row * n + l)];
                };
                char key[32];
                std::snprintf(key, sizeof key, "MLAYER%02i=   ", l + 1);
                c.add(key + fixed(at(0), 8, 3) + "  " + fixed(at(1), 8, 3) + "  " +
                      fixed(at(2), 8, 3));
            }
        }
    }
    if (grey || type == RGB_IMAGE)
        c.add("         / The folowing parameters provide the compatibility to prior versions: ");
    if (type == RGB_IMAGE) addRgbCompatibility(c, img, dp);
    if (grey) addGreyCompatibility(c, img, dp);
    return c.finish();
}

void writeFileEndingProgress(Progress& progress, const std::function<void()>& write) {
    try {
        write();
    } catch (const std::bad_alloc&) {
        progress.end();
        throw Error(fits::kMsgSaveFailed);
    } catch (...) {
        progress.end();
        throw;
    }
    progress.end();
}

void saveImageFile(Image& image, const std::string& path, Progress& progress,
                   const std::function<void()>& write) {
    writeFileEndingProgress(progress, write);
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    ImageInfo* info = nullptr;
    if (image.BeginInfoWrite(info) == 0) {
        setText(info->sourcePath, ec ? path : full.string());
        image.EndInfoWrite();
    }
}

void writeFits(Image& image, const std::string& path, Progress& progress,
               const DisplayParams* display) {
    const DisplayParams stored = display ? DisplayParams{} : displayFromStored(image);
    const std::string header = fitsHeader(image, display ? *display : stored);
    const int width = image.width(), height = image.height(), planes = image.planeCount();
    saveImageFile(image, path, progress, [&] {
        AtomicFile file(path, fits::kMsgSaveFailed);
        file.write(header.data(), header.size());

        progress.begin("FITS schreiben", static_cast<long long>(planes) * height, 1);
        // Rows are swapped into a buffer of a few megabytes (in parallel) and written as one
        // block, large enough to go to the file without further copying.
        const std::size_t rowBytes = static_cast<std::size_t>(width) * 2;
        const int chunk = std::max(1, static_cast<int>((std::size_t{4} << 20) / rowBytes));
        memory::Buffer<std::uint16_t> buf(static_cast<std::size_t>(chunk) * width, false);
        for (int p = 0; p < planes; ++p) {
            const auto* src = reinterpret_cast<const std::uint16_t*>(image.planeData(p));
            for (int r = 0; r < height; r += chunk) {
                const int n = std::min(chunk, height - r);
                const std::uint16_t* s = src + static_cast<std::size_t>(r) * width;
                parallelRows(n, 64, [&](int a, int b) {
                    const std::size_t at = static_cast<std::size_t>(a) * width;
                    fits::swap16(buf.data() + at, s + at, static_cast<std::size_t>(b - a) * width);
                });
                file.write(buf.data(), static_cast<std::size_t>(n) * rowBytes);
                progress.step(n);
            }
        }
        // Blank data padding to a whole block keeps other FITS software from calling the
        // file truncated; the reader ignores it.
        const std::uint64_t data = static_cast<std::uint64_t>(planes) * height * rowBytes;
        const std::size_t pad = static_cast<std::size_t>(
            (fits::kBlockSize - data % fits::kBlockSize) % fits::kBlockSize);
        const char zeros[fits::kBlockSize] = {};
        file.write(zeros, pad);
        file.commit();
    });
}

void saveFits(Image& image, const std::string& path, Progress& progress,
              const DisplayParams* display) {
    checkFitsSaveName(path);
    writeFits(image, path, progress, display);
}

} // namespace quillon
