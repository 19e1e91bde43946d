// OES-ast camera files: header, date/site/exposure blocks, comment lines and every pixel
// format (8, 16 and 32-bit integers, single-precision reals) into a grey Image.
#include "formats/oes_ast.h"

#include "core/error.h"
#include "formats/reader_util.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

namespace quillon {

namespace {

constexpr std::size_t kHeaderSize = 512;

enum class Pixel { U8, S8, U16, S16, S32Scaled, F32 };

// The pixel format of a type code, byte count and signed flag; false for a combination that
// does not exist.
bool pixelFormat(int type, int bytes, bool isSigned, Pixel& out) {
    switch (type) {
    case 4:
        if (bytes != 1) return false;
        out = isSigned ? Pixel::S8 : Pixel::U8;
        return true;
    case 5:
        if (bytes != 1) return false;
        out = Pixel::U8;
        return true;
    case 8:
        if (bytes != 2) return false;
        out = isSigned ? Pixel::S16 : Pixel::U16;
        return true;
    case 9:
        if (bytes != 2) return false;
        out = Pixel::U16;
        return true;
    case 16:
        if (bytes != 4) return false;
        out = Pixel::S32Scaled;
        return true;
    case 34:
        if (bytes != 4) return false;
        out = Pixel::F32;
        return true;
    default: return false;
    }
}

std::string twoDigits3(int a, int b, int c, char sep) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%02i%c%02i%c%02i", a, sep, b, sep, c);
    return buf;
}

constexpr std::int32_t kType16Limit = 2147483000;

} // namespace

std::string oesDateText(double d) {
    int year = truncToInt(d / 512.0);
    int month = truncToInt((d - year * 512.0) / 32.0);
    int day = truncToInt(d - (year * 16.0 + month) * 32.0);
    return twoDigits3(day, month, year % 100, '/');
}

std::string oesTimeText(double s) {
    int hours = truncToInt(s / 3600.0);
    int minutes = truncToInt((s - hours * 3600.0) / 60.0);
    int seconds = truncToInt(s - hours * 3600.0 - minutes * 60.0);
    return twoDigits3(hours, minutes, seconds, ':');
}

float oesPixelSizeMicrometres(float stored) {
    double v = stored;
    if (!std::isfinite(v) || v <= 0) return 0;
    for (int i = 0; i < 4 && v < 0.5; ++i) v *= 1000.0;    // m → mm → µm
    for (int i = 0; i < 4 && v >= 500.0; ++i) v /= 1000.0; // nm → µm
    if (v < 0.5 || v >= 500.0) return 0;
    return static_cast<float>(v);
}

void oesDefaultPixelSize(int width, int height, float& pw, float& ph) {
    pw = ph = 16.0f;
    if (width > 550 && height > 400) pw = ph = 8.0f;
    if (width == 386 && height == 290) pw = ph = 16.0f;
    if (width == 772 && height == 290) pw = 8.0f, ph = 16.0f;
    if (width == 386 && height == 580) pw = 16.0f, ph = 8.0f;
    if (width == 772 && height == 580) pw = ph = 8.0f;
}

void readOesAst(ByteSource& src, const std::string& path, Image& image, Progress& progress) {
    detail::guardedRead(image, progress, [&] {
        std::uint8_t h[kHeaderSize];
        if (!src.readExact(h, 24)) throw Error(oes::kTruncated);
        const int width = le32(h) & 0xFFFF;
        const int height = le32(h + 4) & 0xFFFF;
        const int bytes = le32(h + 8) & 0xFF;
        const bool isSigned = le32(h + 12) != 0;
        const int type = le32(h + 16) & 0xFFFF;
        if (bytes != 1 && bytes != 2 && bytes != 4) throw Error(oes::kBadBytes);
        if (image.Define(width, height, BW_IMAGE, false) == 0) throw Error(msg::kInvalidSize);
        Pixel format;
        if (!pixelFormat(type, bytes, isSigned, format)) throw Error(oes::kBadFormat);
        // The whole header and every pixel must be there before sample memory is taken.
        const std::uint64_t dataSize = static_cast<std::uint64_t>(width) * height * bytes;
        if (!src.readExact(h + 24, kHeaderSize - 24) || src.remaining() < dataSize)
            throw Error(oes::kTruncated);
        if (image.AllocateSamples(false) != 0) throw Error(msg::kOutOfMemory);

        const int flags = le32(h + 20) & 0xFFFF;
        float storedW = 0, storedH = 0;
        {
            detail::InfoAccess info(image);
            if (flags & 1) {
                setText(info->date, oesDateText(leFloat(h + 24)));
                setText(info->time, oesTimeText(leFloat(h + 28)));
                setText(info->siderealTime, oesTimeText(leFloat(h + 32)));
                info->julianDate = leFloat(h + 36);
            }
            if (flags & 2) {
                storedW = leFloat(h + 60);
                storedH = leFloat(h + 64);
                info->longitude = leFloat(h + 76) / 3600.0f;
                info->latitude = leFloat(h + 80) / 3600.0f;
            }
            if (flags & 16) {
                info->exposureTime = leFloat(h + 120);
                info->temperature = leFloat(h + 128);
            }
            for (int i = 0; i < 4; ++i) {
                std::string_view text(reinterpret_cast<const char*>(h) + 256 + 64 * i, 64);
                info->addComment(detail::trimRight(detail::untilNul(text)));
            }
            char line[96];
            std::snprintf(line, sizeof line, "Quelle: OES-ast-Format, Typcode=%i,  Sign=%1i", type,
                          isSigned ? 1 : 0);
            info->addComment(line);
            setText(info->sourcePath, path);
        }

        float pw = oesPixelSizeMicrometres(storedW), ph = oesPixelSizeMicrometres(storedH);
        if (pw == 0 || ph == 0) oesDefaultPixelSize(width, height, pw, ph);
        image.SetPixelSize(pw, ph);

        detail::SampleAccess samples(image);
        const std::size_t rowBytes = static_cast<std::size_t>(width) * bytes;
        std::vector<std::uint8_t> in(rowBytes);
        auto readRow = [&] {
            if (!src.readExact(in.data(), rowBytes)) throw Error(oes::kTruncated);
        };

        // 32-bit integers are scaled over the whole image: a first pass finds the range.
        double lo = 0, span = 0;
        if (format == Pixel::S32Scaled) {
            std::int32_t mn = std::numeric_limits<std::int32_t>::max();
            std::int32_t mx = std::numeric_limits<std::int32_t>::min();
            for (int y = 0; y < height; ++y) {
                readRow();
                for (int x = 0; x < width; ++x) {
                    auto v = static_cast<std::int32_t>(le32(&in[4 * x]));
                    if (v > -kType16Limit && v < kType16Limit) {
                        if (v < mn) mn = v;
                        if (v > mx) mx = v;
                    }
                }
            }
            // A constant image (or one without a value in the range) has no span to scale
            // over: every sample then becomes the bottom of the range.
            if (mx > mn) {
                lo = mn;
                span = static_cast<double>(mx) - mn;
            }
            if (!src.seek(kHeaderSize)) throw Error(oes::kTruncated);
        }

        for (int y = 0; y < height; ++y) {
            readRow();
            Sample* dst = samples.row(0, y);
            const std::uint8_t* p = in.data();
            for (int x = 0; x < width; ++x) {
                switch (format) {
                case Pixel::U8: dst[x] = p[x]; break;
                case Pixel::S8: dst[x] = static_cast<std::int8_t>(p[x]); break;
                case Pixel::U16: dst[x] = clampSample(le16(p + 2 * x)); break;
                case Pixel::S16: dst[x] = static_cast<std::int16_t>(le16(p + 2 * x)); break;
                case Pixel::S32Scaled: {
                    double t = 0;
                    if (span > 0) {
                        t = (static_cast<std::int32_t>(le32(p + 4 * x)) - lo) / span;
                        t = t < 0 ? 0 : (t > 1 ? 1 : t);
                    }
                    dst[x] = toSample(t * 65535.0 - 32768.0);
                    break;
                }
                case Pixel::F32: {
                    float v = leFloat(p + 4 * x);
                    if (v < -2.0f) v = -2.0f;
                    if (v > 1.9999380111694336f) v = 1.9999380111694336f;
                    dst[x] = toSample(v * 16384.0f);
                    break;
                }
                }
            }
        }
    });
}

void readOesAst(const std::string& path, Image& image, Progress& progress) {
    FileSource src(path, oes::kOpenFailed);
    readOesAst(src, path, image, progress);
}

} // namespace quillon
