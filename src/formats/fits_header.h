// The cards of a FITS header as the reader understands them: the dialect's own keywords,
// the compatibility cards and what is needed to step over foreign extensions.
#pragma once

#include "core/image_type.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::fits {

// A value the dialect's compatibility cards may also carry: the exact card wins whenever
// it is present, otherwise the last compatibility card read.
template <class T>
struct Twofold {
    T exact{};
    T compat{};
    bool hasExact = false;
    bool hasCompat = false;

    void setExact(T v) { exact = v, hasExact = true; }
    void setCompat(T v) { compat = v, hasCompat = true; }
    T value(T fallback) const { return hasExact ? exact : (hasCompat ? compat : fallback); }
};

// Everything collected from one header. Values are kept wide (long long) so that a header
// claiming 70000 columns is rejected instead of wrapping to 4464.
struct HeaderState {
    // structure
    bool simpleCard = false;
    bool simpleTrue = false;
    bool extension = false; // an XTENSION card was read
    std::string xtension;   // its value without quotes and trailing blanks
    long long bitpix = 0;
    long long naxis = 0;
    long long naxis1 = 0;
    long long naxis2 = 0;
    long long naxis3 = 1;        // plane count, overlay included, 1 when absent
    std::vector<long long> axes; // NAXISn in free format, for stepping over extensions
    long long pcount = 0;
    long long gcount = 1;
    bool end = false;

    // dialect
    std::uint16_t type = NO_IMAGE;
    bool overlay = false;
    std::array<std::string, 32> layerNames;
    std::array<std::array<float, 32>, 3> matrix{}; // [row R,G,B][layer]

    // metadata
    double julianDate = 0;
    float exposure = 0;
    float temperature = 0;
    float longitude = 0;
    float latitude = 0;
    std::string date, time, siderealTime;
    std::vector<std::string> comments;
    // colour-filter-array cards of raw one-shot colour frames
    std::string bayerPattern, rowOrder;
    long long bayerXOffset = 0, bayerYOffset = 0;
    bool hasBayerXOffset = false, hasBayerYOffset = false;
    // the world-coordinate cards as they stand (80 columns each), parsed after the header
    std::vector<std::string> wcsCards;
    // where the telescope pointed and its optics (the plate solver's hints)
    double focalLength = 0, pixelSize = 0;
    std::string pointingRa, pointingDec;

    // pixel size and display values
    Twofold<float> pixelWidth, pixelHeight;
    std::array<Twofold<float>, 3> weight;
    std::array<Twofold<int>, 3> black, white;
    float exponent = 1.0f;
    std::array<int, 4> lrgbBias{0, 0, 0, 0};

    HeaderState(); // the reader's defaults
};

// Scans one 80-column card into the state. Returns true for the END card.
bool scanCard(HeaderState& s, const char* card);

// Resets the structure fields before a following extension header is scanned; everything
// else collected from the primary header stays (an extension's cards override it).
void beginExtension(HeaderState& s);

// Bytes of data following the header (without padding), or -1 when the claim overflows.
long long dataBytes(const HeaderState& s);

} // namespace quillon::fits
