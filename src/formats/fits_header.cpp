// Scanning of header cards: fixed columns of the dialect, compatibility cards, and the
// free-format structure cards of foreign extensions.
#include "formats/fits_header.h"

#include "core/wcs.h"
#include "formats/fits_format.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>

namespace quillon::fits {

namespace {

// Columns [start, end) of a card as text.
std::string_view cols(const char* card, int start, int end) {
    return std::string_view(card + start, static_cast<std::size_t>(end - start));
}

bool keywordIs(const char* card, const char* key, int length = 8) {
    for (int i = 0; i < length; ++i)
        if (std::toupper(static_cast<unsigned char>(card[i])) != static_cast<unsigned char>(key[i]))
            return false;
    return true;
}

long long integerAt(const char* card, int start, int end) {
    return parseInteger(cols(card, start, end));
}

// A real from a card; values that are not finite numbers in float range become 0, so that
// no later conversion to an integer or a display value can go wrong.
float realAt(const char* card, int start, int end) {
    double v = parseReal(cols(card, start, end));
    if (!std::isfinite(v) || std::fabs(v) > std::numeric_limits<float>::max()) return 0.0f;
    return static_cast<float>(v);
}

double doubleAt(const char* card, int start, int end) {
    double v = parseReal(cols(card, start, end));
    return std::isfinite(v) ? v : 0.0;
}

int int16At(const char* card, int start, int end) {
    long long v = integerAt(card, start, end);
    return static_cast<int>(v < -32768 ? -32768 : (v > 32767 ? 32767 : v));
}

// A float of the compatibility cards scaled back to an integer display value.
int int16FromFloat(float f) {
    double v = static_cast<double>(f) * 16384.0;
    if (!(v == v)) return 0;
    if (v > 32767.0) return 32767;
    if (v < -32768.0) return -32768;
    return static_cast<int>(v);
}

// Text from `start` up to the first character found by `stop` in columns start..79.
template <class Stop>
std::string_view textUntil(const char* card, int start, Stop stop) {
    int end = start;
    while (end < 80 && !stop(card[end])) ++end;
    return cols(card, start, end);
}

// The eight characters of a date or time text, ending early at a closing quote.
std::string shortText(const char* card) {
    std::string s;
    for (int c = 11; c < 19 && card[c] != '\''; ++c) s.push_back(card[c]);
    return s;
}

// The date of a DATE-OBS card: the program's own day/month/two-digit year text as stored,
// a standard date ('YYYY-MM-DD', optionally followed by a time) turned into that form.
std::string dateText(const char* card) {
    auto digits = [&](int from, int n) {
        for (int c = from; c < from + n; ++c)
            if (card[c] < '0' || card[c] > '9') return false;
        return true;
    };
    if (card[10] == '\'' && digits(11, 4) && card[15] == '-' && digits(16, 2) && card[18] == '-' &&
        digits(19, 2) && (card[21] == '\'' || card[21] == 'T' || card[21] == ' ')) {
        return std::string{card[19], card[20], '/', card[16], card[17], '/', card[13], card[14]};
    }
    return shortText(card);
}

// Value of a free-format card (columns 10..79 up to a comment slash), for the structure
// cards of foreign extensions.
long long freeInteger(const char* card) {
    return parseInteger(textUntil(card, 10, [](char c) { return c == '/'; }));
}

std::string freeString(const char* card) {
    std::string_view v = cols(card, 10, 80);
    auto q = v.find('\'');
    if (q == std::string_view::npos) return {};
    auto e = v.find('\'', q + 1);
    std::string s(
        v.substr(q + 1, e == std::string_view::npos ? std::string_view::npos : e - q - 1));
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// The value of a free-format card as text: a quoted string without its quotes, otherwise the
// columns up to a comment slash, without surrounding blanks.
std::string freeValueText(const char* card) {
    if (card[10] == '\'') return freeString(card);
    std::string_view v = textUntil(card, 10, [](char c) { return c == '/'; });
    while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
    while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
    return std::string(v.substr(0, 32));
}

// A positive real of a free-format card, 0 when absent or out of [lo, hi].
double freePositive(const char* card, double lo, double hi) {
    const double v = parseReal(textUntil(card, 10, [](char c) { return c == '/'; }));
    return std::isfinite(v) && v >= lo && v <= hi ? v : 0.0;
}

int twoDigits(const char* card) {
    char buf[3] = {card[6], card[7], '\0'};
    return static_cast<int>(parseInteger(std::string_view(buf, 2)));
}

void scanDisplay(HeaderState& s, const char* card) {
    static constexpr const char* kWeight[3] = {"WEIGHTR ", "WEIGHTG ", "WEIGHTB "};
    static constexpr const char* kBlack[3] = {"BLACKVR ", "BLACKVG ", "BLACKVB "};
    static constexpr const char* kWhite[3] = {"WHITEVR ", "WHITEVG ", "WHITEVB "};
    static constexpr const char* kBias[4] = {"LRGBBIAL", "LRGBBIAR", "LRGBBIAG", "LRGBBIAB"};
    static constexpr const char* kParam[3] = {"PARAM03 ", "PARAM04 ", "PARAM05 "};
    for (int c = 0; c < 3; ++c) {
        if (keywordIs(card, kWeight[c])) s.weight[c].setExact(realAt(card, 11, 31));
        if (keywordIs(card, kBlack[c])) s.black[c].setExact(int16At(card, 11, 31));
        if (keywordIs(card, kWhite[c])) s.white[c].setExact(int16At(card, 11, 31));
        if (keywordIs(card, kParam[c])) {
            s.weight[c].setCompat(realAt(card, 16, 21));
            s.black[c].setCompat(int16At(card, 48, 55));
            s.white[c].setCompat(int16At(card, 63, 70));
        }
    }
    for (int c = 0; c < 4; ++c)
        if (keywordIs(card, kBias[c]))
            s.lrgbBias[static_cast<std::size_t>(c)] = int16At(card, 11, 31);
    if (keywordIs(card, "BLACKVAL")) {
        int v = int16At(card, 11, 31);
        for (auto& b : s.black) b.setExact(v);
    }
    if (keywordIs(card, "WHITEVAL")) {
        int v = int16At(card, 11, 31);
        for (auto& w : s.white) w.setExact(v);
    }
    if (keywordIs(card, "EXPONENT")) s.exponent = realAt(card, 11, 31);
}

void scanCompatibility(HeaderState& s, const char* card) {
    if (keywordIs(card, "PARAM01 ")) {
        s.longitude = realAt(card, 26, 32);
        s.latitude = realAt(card, 38, 44);
    } else if (keywordIs(card, "PARAM02 ")) {
        s.pixelWidth.setCompat(realAt(card, 35, 41));
        s.pixelHeight.setCompat(realAt(card, 48, 53));
    } else if (keywordIs(card, "0001    ")) {
        auto w = static_cast<std::int32_t>(parseHexLittleEndian(cols(card, 67, 75)));
        s.pixelWidth.setCompat(static_cast<float>(w));
    } else if (keywordIs(card, "0002    ")) {
        auto h = static_cast<std::int32_t>(parseHexLittleEndian(cols(card, 11, 19)));
        s.pixelHeight.setCompat(static_cast<float>(h));
        auto finite = [](float f) { return std::isfinite(f) ? f : 0.0f; };
        s.longitude = finite(parseHexLittleEndianFloat(cols(card, 35, 43)) / 3600.0f);
        s.latitude = finite(parseHexLittleEndianFloat(cols(card, 43, 51)) / 3600.0f);
        int white = int16FromFloat(parseHexLittleEndianFloat(cols(card, 59, 67)));
        int black = int16FromFloat(parseHexLittleEndianFloat(cols(card, 67, 75)));
        for (int c = 0; c < 3; ++c) {
            s.white[c].setCompat(white);
            s.black[c].setCompat(black);
        }
    }
}

void scanStructure(HeaderState& s, const char* card) {
    if (keywordIs(card, "SIMPLE  ")) {
        s.simpleCard = true;
        s.simpleTrue = false;
        for (int c = 10; c < 35; ++c) {
            if (card[c] != ' ') {
                s.simpleTrue = card[c] == 'T' || card[c] == 't';
                break;
            }
        }
    } else if (keywordIs(card, "XTENSION")) {
        s.extension = true;
        s.xtension = freeString(card);
    } else if (keywordIs(card, "BITPIX  ")) {
        s.bitpix = integerAt(card, 10, 35);
    } else if (keywordIs(card, "NAXIS   ")) {
        s.naxis = integerAt(card, 10, 35);
    } else if (keywordIs(card, "NAXIS", 5)) {
        // NAXIS1..NAXIS999: the first three in the dialect's fixed columns, all of them in
        // free format for stepping over extensions.
        int n = static_cast<int>(
            parseInteger(textUntil(card, 5, [](char c) { return c < '0' || c > '9'; })));
        if (n >= 1 && n <= 999) {
            if (static_cast<int>(s.axes.size()) < n) s.axes.resize(static_cast<std::size_t>(n), 0);
            s.axes[static_cast<std::size_t>(n - 1)] = freeInteger(card);
        }
        if (keywordIs(card, "NAXIS1  ")) s.naxis1 = integerAt(card, 10, 35);
        if (keywordIs(card, "NAXIS2  ")) s.naxis2 = integerAt(card, 10, 35);
        if (keywordIs(card, "NAXIS3  ")) s.naxis3 = integerAt(card, 10, 35);
    } else if (keywordIs(card, "PCOUNT  ")) {
        s.pcount = freeInteger(card);
    } else if (keywordIs(card, "GCOUNT  ")) {
        s.gcount = freeInteger(card);
    }
}

} // namespace

HeaderState::HeaderState() {
    for (int i = 0; i < 32; ++i) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "Layer #%02i", i + 1);
        layerNames[static_cast<std::size_t>(i)] = buf;
        matrix[static_cast<std::size_t>(i % 3)][static_cast<std::size_t>(i)] = 1.0f;
    }
}

bool scanCard(HeaderState& s, const char* card) {
    if (keywordIs(card, "END     ")) {
        s.end = true;
        return true;
    }
    scanStructure(s, card);
    scanDisplay(s, card);
    scanCompatibility(s, card);

    if (keywordIs(card, "DATE-OBS") || keywordIs(card, "DATE    ")) {
        s.date = dateText(card);
    } else if (keywordIs(card, "TIME-OBS")) {
        s.time = shortText(card);
    } else if (keywordIs(card, "STARTIME")) {
        s.siderealTime = shortText(card);
    } else if (keywordIs(card, "JULIAN  ")) {
        s.julianDate = doubleAt(card, 11, 42);
    } else if (keywordIs(card, "EXPTIME ")) {
        s.exposure = realAt(card, 11, 31);
    } else if (keywordIs(card, "ABSTEMP ") || keywordIs(card, "CCD-TEMP") ||
               keywordIs(card, "TEMPERAT")) {
        s.temperature = realAt(card, 11, 35);
    } else if (keywordIs(card, "COMMENT ")) {
        if (s.comments.size() < 255) {
            int start = card[8] != ' ' ? 8 : 9;
            std::string line(cols(card, start, start + 71));
            while (!line.empty() && line.back() == ' ') line.pop_back();
            s.comments.push_back(line.empty() ? std::string(" ") : line);
        }
    } else if (keywordIs(card, "FOCALLEN")) {
        s.focalLength = freePositive(card, 1, 100000);
    } else if (keywordIs(card, "XPIXSZ  ")) {
        s.pixelSize = freePositive(card, 0.1, 1000);
    } else if (keywordIs(card, "OBJCTRA ") ||
               (keywordIs(card, "RA      ") && s.pointingRa.empty())) {
        s.pointingRa = freeValueText(card);
    } else if (keywordIs(card, "OBJCTDEC") ||
               (keywordIs(card, "DEC     ") && s.pointingDec.empty())) {
        s.pointingDec = freeValueText(card);
    } else if (isWcsKeyword(std::string_view(card, 8))) {
        s.wcsCards.emplace_back(card, kCardSize);
    } else if (keywordIs(card, "BAYERPAT")) {
        s.bayerPattern = freeString(card);
    } else if (keywordIs(card, "ROWORDER")) {
        s.rowOrder = freeString(card);
    } else if (keywordIs(card, "XBAYROFF")) {
        s.bayerXOffset = freeInteger(card);
        s.hasBayerXOffset = true;
    } else if (keywordIs(card, "YBAYROFF")) {
        s.bayerYOffset = freeInteger(card);
        s.hasBayerYOffset = true;
    } else if (keywordIs(card, "PIXWIDTH")) {
        s.pixelWidth.setExact(realAt(card, 11, 31));
    } else if (keywordIs(card, "PIXHEIGH")) {
        s.pixelHeight.setExact(realAt(card, 11, 31));
    } else if (keywordIs(card, "LONGITUD")) {
        s.longitude = realAt(card, 11, 31);
    } else if (keywordIs(card, "LATITUDE")) {
        s.latitude = realAt(card, 11, 31);
    } else if (keywordIs(card, "CIMGTYPE")) {
        int end = 14;
        while (end < 80 && static_cast<unsigned char>(card[end]) > ' ') ++end;
        std::uint16_t t;
        const std::string quoted = card[10] == '\'' ? freeString(card) : std::string();
        if (ImageTypeFromIdentifier(card[10] == '\'' ? quoted : cols(card, 10, end), t)) s.type = t;
    } else if (keywordIs(card, "COVERLAY")) {
        const std::string quoted = card[10] == '\'' ? freeString(card) : std::string();
        std::string_view v =
            card[10] == '\''
                ? std::string_view(quoted)
                : textUntil(card, 10, [](char c) { return static_cast<unsigned char>(c) <= ' '; });
        s.overlay = v.size() == 3 && std::toupper(static_cast<unsigned char>(v[0])) == 'Y' &&
                    std::toupper(static_cast<unsigned char>(v[1])) == 'E' &&
                    std::toupper(static_cast<unsigned char>(v[2])) == 'S';
    } else if (keywordIs(card, "LAYERN", 6)) {
        int n = twoDigits(card);
        if (n >= 1 && n <= 32) {
            std::string name(textUntil(card, 11, [](char c) { return c == '\''; }));
            if (name.size() > 64) name.resize(64);
            s.layerNames[static_cast<std::size_t>(n - 1)] = name;
        }
    } else if (keywordIs(card, "MLAYER", 6)) {
        int n = twoDigits(card);
        if (n >= 1 && n <= 32) {
            auto j = static_cast<std::size_t>(n - 1);
            s.matrix[0][j] = realAt(card, 12, 21);
            s.matrix[1][j] = realAt(card, 22, 31);
            s.matrix[2][j] = realAt(card, 32, 41);
        }
    }
    return false;
}

void beginExtension(HeaderState& s) {
    s.simpleCard = s.simpleTrue = false;
    s.extension = false;
    s.xtension.clear();
    s.bitpix = s.naxis = s.naxis1 = s.naxis2 = 0;
    s.naxis3 = 1;
    s.axes.clear();
    s.pcount = 0;
    s.gcount = 1;
    s.end = false;
}

long long dataBytes(const HeaderState& s) {
    if (s.naxis <= 0) return 0;
    long long bytes = (s.bitpix < 0 ? -s.bitpix : s.bitpix) / 8;
    long long count = 1;
    constexpr long long kMax = 1LL << 60;
    for (long long i = 0; i < s.naxis; ++i) {
        long long a =
            i < static_cast<long long>(s.axes.size()) ? s.axes[static_cast<std::size_t>(i)] : 0;
        if (a < 0) return -1;
        if (a != 0 && count > kMax / a) return -1;
        count *= a;
    }
    if (s.pcount < 0 || s.gcount < 0 || count > kMax - s.pcount) return -1;
    count += s.pcount;
    if (s.gcount != 0 && count > kMax / s.gcount) return -1;
    count *= s.gcount;
    if (bytes != 0 && count > kMax / bytes) return -1;
    return count * bytes;
}

} // namespace quillon::fits
