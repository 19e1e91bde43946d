// FITS reader: rejection messages, type rules, sample conversion of every BITPIX, the
// dialect's cards, compatibility cards, and the decisions for damaged or unusual files.
#include "core/error.h"
#include "core/memory.h"
#include "core/parallel.h"
#include "fits_test_util.h"
#include "formats/fits_format.h"
#include "formats/fits_reader.h"
#include "formats/open.h"
#include "support/progress_recorder.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

using namespace quillon;
using fitstest::Crafted;

namespace {

void readBytes(const std::string& bytes, Image& img, Progress& progress = Progress::none()) {
    readFitsMemory(bytes.data(), bytes.size(), img, progress, "mem.fts");
}

std::string errorOf(const std::string& bytes) {
    Image img;
    try {
        readBytes(bytes, img);
    } catch (const Error& e) {
        EXPECT_EQ(img.type(), NO_IMAGE) << "a failed read leaves the image empty";
        EXPECT_FALSE(img.hasSamples());
        return e.what();
    }
    return "";
}

// A 16-bit image with all its samples present.
Crafted image16(int naxis, int w, int h, int planes = 0) {
    Crafted f = Crafted::image(16, naxis, w, h, planes);
    f.data.assign(static_cast<std::size_t>(w) * h * (planes > 0 ? planes : 1) * 2, '\0');
    return f;
}

} // namespace

// --- rejection ------------------------------------------------------------------------------

struct RejectCase {
    const char* name;
    std::string bytes;
    const char* message;
};

class FitsReject : public ::testing::TestWithParam<RejectCase> {};

TEST_P(FitsReject, GivesTheMessageAndAnEmptyImage) {
    EXPECT_EQ(errorOf(GetParam().bytes), GetParam().message);
}

namespace {
std::vector<RejectCase> rejectCases() {
    std::vector<RejectCase> v;
    auto with = [](Crafted f, const std::string& c) { return f.add(c).bytes(); };
    v.push_back({"empty", "", fits::kMsgUnknownFormat});
    v.push_back(
        {"partial_block", image16(2, 10, 10).header().substr(0, 2000), fits::kMsgUnknownFormat});
    {
        Crafted f = Crafted::image(12, 2, 10, 10); // unsupported BITPIX and no END
        f.end = false;
        v.push_back({"no_end_wins_over_bitpix", f.bytes(), fits::kMsgUnknownFormat});
    }
    {
        Crafted f = image16(2, 10, 10);
        for (int i = 0; i < 32 * 36; ++i) f.add("COMMENT filler");
        v.push_back({"end_after_32_blocks", f.bytes(), fits::kMsgUnknownFormat});
    }
    {
        Crafted f = image16(2, 10, 10);
        f.cards[0] = fitstest::card("SIMPLE  =                    F");
        v.push_back({"simple_false", f.bytes(), fits::kMsgNotSupported});
        f.cards[0] = fitstest::card("ORIGIN  = 'x'");
        v.push_back({"no_simple", f.bytes(), fits::kMsgNotSupported});
    }
    for (int bitpix : {12, 64, 272, -16}) {
        Crafted f = image16(2, 10, 10);
        f.cards[1] = fitstest::card("BITPIX  = " + Crafted::pad(bitpix));
        v.push_back({"bitpix", f.bytes(), fits::kMsgNotSupported});
    }
    for (int naxis : {0, 1, 4, 258}) {
        Crafted f = image16(2, 10, 10);
        f.cards[2] = fitstest::card("NAXIS   = " + Crafted::pad(naxis));
        v.push_back({"naxis", f.bytes(), fits::kMsgNotSupported});
    }
    v.push_back({"too_narrow", image16(2, 9, 10).bytes(), msg::kInvalidSize});
    v.push_back({"too_wide", Crafted::image(16, 2, 14001, 10).bytes(), msg::kInvalidSize});
    v.push_back(
        {"wide_wrapping_to_10", Crafted::image(16, 2, 65546, 10).bytes(), msg::kInvalidSize});
    v.push_back({"huge_number",
                 with(Crafted::image(16, 2, 10, 10), "NAXIS1  = 1044444444444444444444444444"),
                 msg::kInvalidSize});
    v.push_back({"33_user_layers", image16(3, 10, 10, 33).bytes(), msg::kInvalidSize});
    v.push_back({"zero_planes",
                 Crafted::image(16, 3, 10, 10, 0).add("NAXIS3  =                    0").bytes(),
                 msg::kInvalidSize});
    {
        Crafted f = image16(2, 10, 10);
        f.data.pop_back();
        v.push_back({"data_one_byte_short", f.bytes(), fits::kMsgUnknownFormat});
    }
    v.push_back({"typed_without_planes",
                 with(Crafted::image(16, 3, 10, 10, 0).add("NAXIS3  =                    0"),
                      "CIMGTYPE= RGB_IMAGE"),
                 fits::kMsgUnknownFormat});
    return v;
}
} // namespace

INSTANTIATE_TEST_SUITE_P(Damaged, FitsReject, ::testing::ValuesIn(rejectCases()),
                         [](const auto& p) {
                             return std::string(p.param.name) + "_" + std::to_string(p.index);
                         });

TEST(FitsReader, FilesThatCannotBeOpened) {
    fitstest::TempDir dir;
    Image img;
    for (const std::string& path : {dir.file("missing.fts"), dir.path().string()}) {
        try {
            readFits(path, img, Progress::none());
            FAIL() << path;
        } catch (const Error& e) {
            EXPECT_STREQ(e.what(), fits::kMsgCannotOpen);
        }
    }
}

TEST(FitsReader, LyingHeaderAllocatesNothing) {
    // 14000 × 14000 × 3 claimed in a file of two blocks: refused before any allocation, so
    // even a budget of one megabyte is never reached.
    memory::ScopedLimit limit(1 << 20);
    EXPECT_EQ(errorOf(Crafted::image(-64, 3, 14000, 14000, 3).bytes()), fits::kMsgUnknownFormat);
    EXPECT_EQ(memory::inUse(), 0u);
}

TEST(FitsReader, OutOfMemoryGivesTheMessage) {
    Crafted f = image16(2, 200, 200);
    memory::ScopedLimit limit(200 * 200); // half the plane
    EXPECT_EQ(errorOf(f.bytes()), msg::kOutOfMemory);
}

// --- type rules and planes -------------------------------------------------------------------

struct TypeCase {
    int naxis, planes;
    const char* typeCard;
    const char* overlayCard;
    std::uint16_t type;
    int layers;
    bool overlay;
};

class FitsTypeRules : public ::testing::TestWithParam<TypeCase> {};

TEST_P(FitsTypeRules, FromCimgtypeThenNaxis3) {
    const TypeCase& c = GetParam();
    Crafted f = image16(c.naxis, 10, 12, c.planes);
    if (*c.typeCard) f.add(c.typeCard);
    if (*c.overlayCard) f.add(c.overlayCard);
    Image img;
    readBytes(f.bytes(), img);
    EXPECT_EQ(img.type(), c.type);
    EXPECT_EQ(img.layerCount(), c.layers);
    EXPECT_EQ(img.hasOverlay(), c.overlay);
    EXPECT_EQ(img.width(), 10);
    EXPECT_EQ(img.height(), 12);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FitsTypeRules,
    ::testing::Values(TypeCase{2, 0, "", "", BW_IMAGE, 1, false},
                      TypeCase{3, 1, "", "", BW_IMAGE, 1, false},
                      TypeCase{3, 3, "", "", RGB_IMAGE, 3, false},
                      TypeCase{3, 4, "", "", USERDEFINED_IMAGE, 4, false},
                      TypeCase{3, 2, "", "", USERDEFINED_IMAGE, 2, false},
                      TypeCase{3, 4, "CIMGTYPE= RGB_IMAGE", "COVERLAY= YES", RGB_IMAGE, 3, true},
                      TypeCase{3, 3, "CIMGTYPE= NO_IMAGE", "", RGB_IMAGE, 3, false},
                      TypeCase{3, 3, "CIMGTYPE= rgb_image", "", RGB_IMAGE, 3,
                               false}, // exact match only
                      TypeCase{3, 4, "CIMGTYPE= LRGB_IMAGE", "COVERLAY= no", LRGB_IMAGE, 4, false},
                      TypeCase{3, 5, "CIMGTYPE= CMYK_IMAGE", "coverlay= yes", CMYK_IMAGE, 4, true},
                      TypeCase{3, 3, "CIMGTYPE= USERDEFINED_IMAGE", "COVERLAY= YES",
                               USERDEFINED_IMAGE, 2, true}));

TEST(FitsReader, CimgtypeDisagreeingWithNaxis3ReadsWhatIsThereAndZeroFills) {
    auto planeValue = [](Crafted& f, int w, int h, int value) {
        for (int i = 0; i < w * h; ++i) f.be16(value);
    };
    { // RGB with a single plane: red read, green and blue zero
        Crafted f = Crafted::image(16, 3, 10, 10, 1).add("CIMGTYPE= RGB_IMAGE");
        planeValue(f, 10, 10, 77);
        Image img;
        readBytes(f.bytes(), img);
        ASSERT_EQ(img.planeCount(), 3);
        EXPECT_EQ(img.row(0, 9)[9], 77);
        EXPECT_EQ(img.row(1, 0)[0], 0);
        EXPECT_EQ(img.row(2, 9)[9], 0);
    }
    { // RGB with five planes: the first three read, the rest ignored
        Crafted f = Crafted::image(16, 3, 10, 10, 5).add("CIMGTYPE= RGB_IMAGE");
        for (int p = 0; p < 5; ++p) planeValue(f, 10, 10, 100 + p);
        Image img;
        readBytes(f.bytes(), img);
        ASSERT_EQ(img.planeCount(), 3);
        for (int p = 0; p < 3; ++p) EXPECT_EQ(img.row(p, 5)[5], 100 + p);
    }
    { // overlay announced but only three planes: the overlay is blank
        Crafted f =
            Crafted::image(16, 3, 10, 10, 3).add("CIMGTYPE= RGB_IMAGE").add("COVERLAY= YES");
        for (int p = 0; p < 3; ++p) planeValue(f, 10, 10, -5 - p);
        Image img;
        readBytes(f.bytes(), img);
        ASSERT_TRUE(img.hasOverlay());
        EXPECT_EQ(img.row(2, 0)[0], -7);
        EXPECT_EQ(img.row(img.overlayPlane(), 0)[0], 0);
    }
}

TEST(FitsReader, LayerNamesOnlyForUserImages) {
    for (const char* type : {"CIMGTYPE= USERDEFINED_IMAGE", "CIMGTYPE= RGB_IMAGE"}) {
        Crafted f = image16(3, 10, 10, 5);
        if (std::string(type).find("RGB") != std::string::npos) f = image16(3, 10, 10, 3);
        f.add(type).add("LAYERN05= 'Schwefel II'").add("LAYERN33= 'ignored'").add("layern01= 'Ha'");
        Image img;
        readBytes(f.bytes(), img);
        if (img.type() == USERDEFINED_IMAGE) {
            EXPECT_EQ(img.layerName(4), "Schwefel II");
            EXPECT_EQ(img.layerName(0), "Ha");
            EXPECT_EQ(img.layerName(1), "Layer #02");
        } else {
            EXPECT_EQ(img.layerName(0), "Rot");
            EXPECT_EQ(img.layerName(2), "Blau");
        }
    }
}

// --- samples --------------------------------------------------------------------------------

TEST(FitsReader, EightAndSixteenBitSamples) {
    Crafted f8 = Crafted::image(8, 2, 10, 10);
    for (int i = 0; i < 100; ++i) f8.data.push_back(static_cast<char>(i == 0 ? 255 : i));
    Image a;
    readBytes(f8.bytes(), a);
    EXPECT_EQ(a.row(0, 0)[0], 255);
    EXPECT_EQ(a.row(0, 9)[9], 99);

    // BZERO 32768 is not applied: a stored -32768 stays -32768.
    Crafted f16 = Crafted::image(16, 2, 10, 10).add("BZERO   =                32768");
    for (int i = 0; i < 100; ++i) f16.be16(i == 0 ? -32768 : (i == 1 ? -1 : (i == 2 ? 256 : i)));
    Image b;
    readBytes(f16.bytes(), b);
    EXPECT_EQ(b.row(0, 0)[0], -32768);
    EXPECT_EQ(b.row(0, 0)[1], -1);
    EXPECT_EQ(b.row(0, 0)[2], 256);
    EXPECT_EQ(b.row(0, 9)[9], 99);
}

namespace {
// Reads a 10 × 10 plane of the given values (the rest 0) and returns its samples.
std::vector<int> scaled(int bitpix, const std::vector<double>& values, double fill = 0) {
    Crafted f = Crafted::image(bitpix, 2, 10, 10);
    for (int i = 0; i < 100; ++i) {
        double v = i < static_cast<int>(values.size()) ? values[static_cast<std::size_t>(i)] : fill;
        if (bitpix == 32) f.be32(static_cast<std::uint32_t>(static_cast<std::int32_t>(v)));
        if (bitpix == -32) f.beFloat(static_cast<float>(v));
        if (bitpix == -64) f.beDouble(v);
    }
    Image img;
    readBytes(f.bytes(), img);
    std::vector<int> out;
    for (int i = 0; i < 100; ++i) out.push_back(img.row(0, i / 10)[i % 10]);
    return out;
}
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
} // namespace

TEST(FitsReader, PowerOfTwoRangesFixTheScaling) {
    // 0..1000 lies in [-8192, 8191]: 0 becomes 1 and 1000 becomes 4001.
    auto s = scaled(32, {0, 1000});
    EXPECT_EQ(s[0], 1);
    EXPECT_EQ(s[1], 4001);
    // Floats 0..1 fall into a narrow band around the middle.
    for (int bitpix : {-32, -64}) {
        auto f = scaled(bitpix, {0.0, 1.0, 0.5});
        EXPECT_EQ(f[0], 1);
        EXPECT_EQ(f[1], 5);
        EXPECT_EQ(f[2], 3);
    }
    // 100000 needs [-131072, 131071].
    auto big = scaled(32, {-100000, 100000});
    EXPECT_EQ(big[0], static_cast<int>((31072.0 / 262143.0) * 65535.0 - 32768.0));
    // Beyond ±131072 the plane's own extremes.
    auto own = scaled(32, {-1000000, 1000000}, 0);
    EXPECT_EQ(own[0], -32768);
    EXPECT_EQ(own[1], 32767);
    EXPECT_EQ(own[2], static_cast<int>(0.5 * 65535.0 - 32768.0));
}

TEST(FitsReader, ConstantOrUncountedPlanesDoNotDivideByZero) {
    // All equal outside ±131072: scaled over [v, v + 1], so v is the lowest sample.
    for (int bitpix : {32, -32, -64})
        for (int v : scaled(bitpix, {}, 500000)) ASSERT_EQ(v, -32768) << bitpix;
    // Huge floats that are all equal (float spacing there is far above 1).
    for (int v : scaled(-32, {}, 1.5e9)) ASSERT_EQ(v, -32768);
    // Values beyond ±2147483000 are not counted: with nothing counted the plane is scaled as
    // if it were 0..0, so they saturate.
    auto none = scaled(32, {-2147483600.0}, 2147483600.0);
    EXPECT_EQ(none[0], -32768);
    EXPECT_EQ(none[1], 32767);
    // Uncounted values beside counted ones also saturate.
    auto mixed = scaled(32, {0, 100, 2147483500.0});
    EXPECT_EQ(mixed[0], 1);
    EXPECT_EQ(mixed[2], 32767);
}

TEST(FitsReader, NanAndInfinityGiveDefinedSamples) {
    for (int bitpix : {-32, -64}) {
        auto s = scaled(bitpix, {kNaN, kInf, -kInf, 0.0, 1.0});
        EXPECT_EQ(s[0], -32768) << "NaN is the lowest sample";
        EXPECT_EQ(s[1], 32767);
        EXPECT_EQ(s[2], -32768);
        EXPECT_EQ(s[3], 1) << "the finite values keep their scaling";
        EXPECT_EQ(s[4], 5);
    }
    // A plane of nothing but NaN.
    for (int v : scaled(-32, {}, kNaN)) ASSERT_EQ(v, -32768);
    // Doubles beyond the float range become infinite before scaling.
    auto d = scaled(-64, {1e300, -1e300, 0.0});
    EXPECT_EQ(d[0], 32767);
    EXPECT_EQ(d[1], -32768);
}

TEST(FitsReader, ScalingIsPerPlane) {
    Crafted f = Crafted::image(32, 3, 10, 10, 2);
    for (int i = 0; i < 100; ++i) f.be32(i == 1 ? 1000 : 0);
    for (int i = 0; i < 100; ++i) f.be32(i == 1 ? 1000000 : 0);
    Image img;
    readBytes(f.bytes(), img);
    EXPECT_EQ(img.row(0, 0)[1], 4001);
    EXPECT_EQ(img.row(1, 0)[1], 32767);
    EXPECT_EQ(img.row(1, 0)[0], -32768);
}

TEST(FitsReader, SameSamplesForAnyThreadCount) {
    for (int bitpix : {8, 16, 32, -32, -64}) {
        Crafted f = Crafted::image(bitpix, 3, 300, 500, 2);
        std::uint32_t x = 12345;
        for (int i = 0; i < 300 * 500 * 2; ++i) {
            x = x * 1664525u + 1013904223u;
            if (bitpix == 8) f.data.push_back(static_cast<char>(x >> 24));
            if (bitpix == 16) f.be16(static_cast<int>(x >> 16));
            if (bitpix == 32) f.be32(x);
            if (bitpix == -32) f.beFloat(static_cast<float>(static_cast<std::int32_t>(x)) / 3.0f);
            if (bitpix == -64) f.beDouble(static_cast<std::int32_t>(x) * 1e-3);
        }
        Image one, many;
        {
            ScopedThreadCount t(1);
            readBytes(f.bytes(), one);
        }
        {
            ScopedThreadCount t(4);
            readBytes(f.bytes(), many);
        }
        for (int p = 0; p < 2; ++p)
            ASSERT_EQ(0, std::memcmp(one.planeData(p), many.planeData(p), 300 * 500 * 2)) << bitpix;
    }
}

namespace {
// The scaling rules written out plainly for one plane of values as the reader sees them
// (doubles already taken to floats): counted extremes, the power-of-two ranges, then each
// value in double precision.
std::vector<int> referenceScaled(int bitpix, const std::vector<double>& plane) {
    const double limit = bitpix == 32 ? 2147483000.0 : 2147483008.0;
    bool any = false;
    double mn = 0, mx = 0;
    for (double v : plane)
        if (v > -limit && v < limit) {
            mn = any ? std::min(mn, v) : v;
            mx = any ? std::max(mx, v) : v;
            any = true;
        }
    const double lo = mn, hi = mx;
    for (double p : {131072.0, 65536.0, 32768.0, 16384.0, 8192.0})
        if (lo >= -p && hi <= p - 1) mn = -p, mx = p - 1;
    if (mx <= mn) mx = mn + 1;
    std::vector<int> out;
    for (double v : plane) {
        double t = (v - mn) / (mx - mn);
        t = std::isnan(t) || t < 0 ? 0 : (t > 1 ? 1 : t);
        out.push_back(static_cast<int>(t * 65535.0 - 32768.0));
    }
    return out;
}
} // namespace

TEST(FitsReader, ScaledPlanesMatchThePlainRulesAtEveryLevel) {
    // Odd widths leave tails after every vector width; specials sit among ordinary values.
    constexpr int w = 37, h = 23, n = w * h;
    std::mt19937 rng(7);
    for (int bitpix : {32, -32, -64})
        for (double spread : {5000.5, 3.0e6}) {
            Crafted f = Crafted::image(bitpix, 3, w, h, 2);
            std::vector<double> seen[2];
            std::uniform_real_distribution<double> value(-spread, spread * 0.7);
            for (int p = 0; p < 2; ++p)
                for (int i = 0; i < n; ++i) {
                    double v = value(rng);
                    const int pick = static_cast<int>(rng() % 40);
                    if (pick == 0) v = bitpix == 32 ? 2147483500.0 : kNaN;
                    if (pick == 1) v = bitpix == 32 ? -2147483600.0 : kInf;
                    if (pick == 2) v = bitpix == -64 ? -1e300 : -kInf;
                    if (pick == 3) v = bitpix == 32 ? 0 : 3e9; // uncounted float
                    if (bitpix == 32) {
                        v = std::trunc(v);
                        f.be32(static_cast<std::uint32_t>(static_cast<std::int32_t>(v)));
                    } else if (bitpix == -32) {
                        v = static_cast<float>(v);
                        f.beFloat(static_cast<float>(v));
                    } else {
                        f.beDouble(v);
                        const double fmax = std::numeric_limits<float>::max();
                        v = v > fmax ? kInf : (v < -fmax ? -kInf : static_cast<float>(v));
                    }
                    seen[p].push_back(v);
                }
            testkit::forEachSimdLevel([&](int level) {
                for (int threads : {1, 3}) {
                    ScopedThreadCount t(threads);
                    Image img;
                    readBytes(f.bytes(), img);
                    for (int p = 0; p < 2; ++p) {
                        const std::vector<int> want = referenceScaled(bitpix, seen[p]);
                        for (int i = 0; i < n; ++i)
                            ASSERT_EQ(img.row(p, i / w)[i % w], want[static_cast<std::size_t>(i)])
                                << "BITPIX " << bitpix << " level " << level << " plane " << p
                                << " value " << seen[p][static_cast<std::size_t>(i)];
                    }
                }
            });
        }
}

// --- cards ----------------------------------------------------------------------------------

TEST(FitsReader, MetadataCards) {
    Crafted f = image16(2, 10, 10);
    f.add("DATE-OBS= '12/03/24'")
        .add("TIME-OBS= '22:10'")
        .add("STARTIME= '05:01:02.5'")
        .add("JULIAN  =           2460382.4212345")
        .add("EXPTIME =               120.50 / seconds")
        .add("CCD-TEMP=               -15.25")
        .add("LONGITUD=                 8.40")
        .add("latitude=                49.01")
        .add("PIXWIDTH=                 6.80")
        .add("PIXHEIGH=                 7.40");
    Image img;
    readBytes(f.bytes(), img);
    const ImageInfo& i = img.info();
    EXPECT_EQ(textOf(i.date), "12/03/24");
    EXPECT_EQ(textOf(i.time), "22:10") << "a short text ends at its closing quote";
    EXPECT_EQ(textOf(i.siderealTime), "05:01:02") << "eight characters";
    EXPECT_DOUBLE_EQ(i.julianDate, 2460382.4212345);
    EXPECT_FLOAT_EQ(i.exposureTime, 120.5f);
    EXPECT_FLOAT_EQ(i.temperature, -15.25f);
    EXPECT_FLOAT_EQ(i.longitude, 8.4f);
    // A standard date, as other programs and the compressed writer give it, in the same form.
    for (const char* card : {"DATE-OBS= '2024-03-12'", "DATE-OBS= '2024-03-12T22:10:05.5'"}) {
        Crafted iso = image16(2, 10, 10);
        iso.add(card);
        Image other;
        readBytes(iso.bytes(), other);
        EXPECT_EQ(textOf(other.info().date), "12/03/24") << card;
    }
    EXPECT_FLOAT_EQ(i.latitude, 49.01f);
    EXPECT_FLOAT_EQ(img.pixelWidth(), 6.8f);
    EXPECT_FLOAT_EQ(img.pixelHeight(), 7.4f);
    EXPECT_EQ(textOf(i.sourcePath), "mem.fts");

    // Where the telescope pointed and its optics, as capture programs write them: OBJCTRA wins
    // over RA in either order, a number keeps its text, an out-of-range focal length is absent.
    Crafted pointing = image16(2, 10, 10);
    pointing.add("RA      =            83.822083 / degrees")
        .add("OBJCTRA = '05 35 17.3'")
        .add("DEC     =            -5.391111")
        .add("FOCALLEN=                 530. / mm")
        .add("XPIXSZ  =                 3.76");
    Image p;
    readBytes(pointing.bytes(), p);
    EXPECT_EQ(p.info().pointing, (PointingCards{530, 3.76, "05 35 17.3", "-5.391111"}));
    Crafted bad = image16(2, 10, 10);
    bad.add("FOCALLEN=                 -1.0");
    Image b;
    readBytes(bad.bytes(), b);
    EXPECT_EQ(b.info().pointing, PointingCards{});

    Image d; // defaults
    readBytes(image16(2, 10, 10).bytes(), d);
    EXPECT_FLOAT_EQ(d.pixelWidth(), 64.0f);
    EXPECT_FLOAT_EQ(d.storedDisplay().exponent, 1.0f);
    EXPECT_FALSE(d.storedDisplay().hasPoints);
    EXPECT_FALSE(d.storedDisplay().hasWeights);
}

TEST(FitsReader, CommentLines) {
    Crafted f = image16(2, 10, 10);
    f.add("COMMENT   indented text   ");
    f.add("COMMENT");
    f.add("COMMENTX is no comment card");
    f.add("COMMENT Starts in column eight");
    f.add("COMMENT " + std::string(80, 'x'));
    for (int i = 0; i < 260; ++i) f.add("COMMENT line " + std::to_string(i));
    Image img;
    readBytes(f.bytes(), img);
    const auto& c = img.info().comments;
    ASSERT_EQ(c.size(), 255u) << "the 256th and later are ignored";
    EXPECT_EQ(textOf(c[0]), " indented text") << "column 8 blank: the text starts in column 9";
    EXPECT_EQ(textOf(c[1]), " ") << "a blank comment is one blank";
    EXPECT_EQ(textOf(c[2]), "Starts in column eight");
    EXPECT_EQ(textOf(c[3]), std::string(71, 'x'));
    EXPECT_EQ(textOf(c[254]), "line 250");
}

TEST(FitsReader, DisplayCards) {
    Crafted f = image16(3, 10, 10, 4);
    f.add("CIMGTYPE= LRGB_IMAGE")
        .add("BLACKVR =                  100")
        .add("BLACKVG =                  110")
        .add("BLACKVB =                  120")
        .add("WHITEVAL=                 3000")
        .add("WHITEVB =                 3200")
        .add("WEIGHTR =                1.250")
        .add("WEIGHTB =                0.750")
        .add("EXPONENT=                 0.70")
        .add("LRGBBIAL=                   40")
        .add("LRGBBIAR=                  -10")
        .add("LRGBBIAG=                 9999")
        .add("LRGBBIAB=                    3");
    Image img;
    readBytes(f.bytes(), img);
    const StoredDisplayParams& d = img.storedDisplay();
    ASSERT_TRUE(d.hasPoints);
    EXPECT_EQ(d.blackPoint, (std::array<std::int16_t, 3>{100, 110, 120}));
    EXPECT_EQ(d.whitePoint, (std::array<std::int16_t, 3>{3000, 3000, 3200}))
        << "the last card wins";
    ASSERT_TRUE(d.hasWeights);
    EXPECT_EQ(d.channelWeight, (std::array<float, 3>{1.25f, 1.0f, 0.75f}))
        << "a weight of 0 becomes 1";
    EXPECT_FLOAT_EQ(d.exponent, 0.7f);
    EXPECT_EQ(d.lrgbBias, (std::array<std::int16_t, 4>{40, -10, 9999, 3}));
    EXPECT_TRUE(d.layerMatrix.empty());

    // Weights only when the red one is set; points only when red black or white is set.
    Crafted g = image16(3, 10, 10, 3)
                    .add("WEIGHTG =                2.000")
                    .add("BLACKVG =                  5");
    Image h;
    readBytes(g.bytes(), h);
    EXPECT_FALSE(h.storedDisplay().hasWeights);
    EXPECT_FALSE(h.storedDisplay().hasPoints);
}

TEST(FitsReader, UserMatrixStartsFromTheDefaultAndIsKeptForUserImagesOnly) {
    Crafted f = image16(3, 10, 10, 4);
    f.add("CIMGTYPE= USERDEFINED_IMAGE").add("MLAYER02=      0.250     0.500     0.125");
    Image img;
    readBytes(f.bytes(), img);
    const auto& m = img.storedDisplay().layerMatrix;
    ASSERT_EQ(m.size(), 12u);
    // rows R, G, B of four layers; layer 2 from its card, the others one-hot by index mod 3
    EXPECT_EQ(m, (std::vector<float>{1, 0.25f, 0, 1, /*G*/ 0, 0.5f, 0, 0, /*B*/ 0, 0.125f, 1, 0}));

    Crafted g = image16(3, 10, 10, 3).add("MLAYER01=      0.250     0.500     0.125");
    Image rgb;
    readBytes(g.bytes(), rgb);
    EXPECT_TRUE(rgb.storedDisplay().layerMatrix.empty());
}

TEST(FitsReader, CompatibilityCardsFillWhatTheExactCardsLeaveOpen) {
    Crafted grey = image16(2, 10, 10);
    grey.add("0001       " + std::string(56, '0') + "44000000")
        .add("0002       " + fits::hexLittleEndian(std::uint32_t{74}) + "0000000000000000" +
             fits::hexLittleEndian(8.4f * 3600.0f) + fits::hexLittleEndian(49.0f * 3600.0f) +
             "02000000" + fits::hexLittleEndian(3000.0f / 16384.0f) +
             fits::hexLittleEndian(-200.0f / 16384.0f));
    Image a;
    readBytes(grey.bytes(), a);
    EXPECT_FLOAT_EQ(a.pixelWidth(), 68.0f) << "only the compatibility card: its scaled integer";
    EXPECT_FLOAT_EQ(a.pixelHeight(), 74.0f);
    EXPECT_NEAR(a.info().longitude, 8.4f, 1e-5);
    EXPECT_NEAR(a.info().latitude, 49.0f, 1e-5);
    EXPECT_EQ(a.storedDisplay().whitePoint, (std::array<std::int16_t, 3>{3000, 3000, 3000}));
    EXPECT_EQ(a.storedDisplay().blackPoint, (std::array<std::int16_t, 3>{-200, -200, -200}));

    // With PIXWIDTH/PIXHEIGH present the exact values win, even though the compatibility
    // cards come later (6.8 µm must not come back as 68).
    Crafted both = grey;
    both.cards.insert(both.cards.begin() + 5, fitstest::card("PIXWIDTH=                 6.80"));
    both.cards.insert(both.cards.begin() + 5, fitstest::card("PIXHEIGH=                 7.40"));
    both.cards.insert(both.cards.begin() + 5, fitstest::card("WHITEVAL=                 2999"));
    Image b;
    readBytes(both.bytes(), b);
    EXPECT_FLOAT_EQ(b.pixelWidth(), 6.8f);
    EXPECT_FLOAT_EQ(b.pixelHeight(), 7.4f);
    EXPECT_EQ(b.storedDisplay().whitePoint[0], 2999);

    Crafted rgb = image16(3, 10, 10, 3);
    rgb.add("PARAM01 = Aufnahmeort: L:  -8.40  B:   49.00")
        .add("PARAM02 = Pixelgr. (micrometer) x:   9.00  y:    9.50")
        .add("PARAM03 = F[1]:  1.25  Rot     ff 00 00 Dunkel:    100   Hell:   3000")
        .add("PARAM04 = F[2]:  1.00  Gruen   00 ff 00 Dunkel:    110   Hell:   3100")
        .add("PARAM05 = F[3]:  0.50  Blau    00 00 ff Dunkel:    120   Hell:   3200");
    Image c;
    readBytes(rgb.bytes(), c);
    EXPECT_FLOAT_EQ(c.info().longitude, -8.4f);
    EXPECT_FLOAT_EQ(c.pixelWidth(), 9.0f);
    EXPECT_FLOAT_EQ(c.pixelHeight(), 9.5f);
    EXPECT_EQ(c.storedDisplay().blackPoint, (std::array<std::int16_t, 3>{100, 110, 120}));
    EXPECT_EQ(c.storedDisplay().whitePoint, (std::array<std::int16_t, 3>{3000, 3100, 3200}));
    EXPECT_EQ(c.storedDisplay().channelWeight, (std::array<float, 3>{1.25f, 1.0f, 0.5f}));

    // A renamed layer shifts the PARAM text; the exact cards before it still win.
    Crafted shifted = image16(3, 10, 10, 3);
    shifted.add("BLACKVR =                  100").add("WEIGHTR =                1.125");
    shifted.add("PARAM03 = F[1]:  1.13  Wasserstoff ff 00 00 Dunkel:    100   Hell:   3000");
    Image d;
    readBytes(shifted.bytes(), d);
    EXPECT_EQ(d.storedDisplay().blackPoint[0], 100);
    EXPECT_FLOAT_EQ(d.storedDisplay().channelWeight[0], 1.125f);
}

// --- extensions, progress, file access -------------------------------------------------------

TEST(FitsReader, ImageExtensionBehindAnEmptyPrimaryHeader) {
    Crafted primary;
    primary.add("SIMPLE  =                    T")
        .add("BITPIX  =                    8")
        .add("NAXIS   =                    0");
    primary.add("EXPTIME =                30.00");
    Crafted table;
    table.add("XTENSION= 'BINTABLE'")
        .add("BITPIX  =                    8")
        .add("NAXIS   =                    2");
    table.add("NAXIS1  =                    3").add("NAXIS2  =                 1000");
    table.add("PCOUNT  =                    0").add("GCOUNT  =                    1");
    table.data.assign(3000, 'x');
    table.data.resize(2 * 2880, '\0');
    Crafted ext;
    ext.add("XTENSION= 'IMAGE   '           / image extension")
        .add("BITPIX  =                  -32");
    ext.add("NAXIS   =                    2")
        .add("NAXIS1  =                   10")
        .add("NAXIS2  =                   10");
    ext.add("PCOUNT  =                    0")
        .add("GCOUNT  =                    1")
        .add("COMMENT from the extension");
    for (int i = 0; i < 100; ++i) ext.beFloat(i == 1 ? 1.0f : 0.0f);

    Image img;
    readBytes(primary.bytes() + table.bytes() + ext.bytes(), img);
    EXPECT_EQ(img.type(), BW_IMAGE);
    EXPECT_EQ(img.row(0, 0)[0], 1);
    EXPECT_EQ(img.row(0, 0)[1], 5);
    EXPECT_FLOAT_EQ(img.info().exposureTime, 30.0f) << "the primary header's metadata stay";
    ASSERT_EQ(img.info().comments.size(), 1u);

    // Without an image extension the empty primary header is refused as before.
    EXPECT_EQ(errorOf(primary.bytes() + table.bytes()), fits::kMsgNotSupported);
    EXPECT_EQ(errorOf(primary.bytes()), fits::kMsgNotSupported);
}

TEST(FitsReader, SixteenBitFileTallerThanOneMappedChunk) {
    // 2000 wide: a chunk of 256 rows is mapped at a time, so each plane takes three, the
    // second plane starting off a page boundary; the memory read gives the same samples.
    fitstest::TempDir dir;
    Crafted f = Crafted::image(16, 3, 2000, 600, 2);
    std::uint32_t x = 99;
    std::vector<int> expected;
    for (int i = 0; i < 2000 * 600 * 2; ++i) {
        x = x * 1664525u + 1013904223u;
        expected.push_back(static_cast<std::int16_t>(x >> 16));
        f.be16(expected.back());
    }
    testkit::writeFile(dir.file("tall.fit"), f.bytes());
    Image fromFile, fromMemory;
    readFits(dir.file("tall.fit"), fromFile, Progress::none());
    readBytes(f.bytes(), fromMemory);
    for (int p = 0; p < 2; ++p)
        for (int y = 0; y < 600; ++y)
            for (int i = 0; i < 2000; ++i) {
                const int want = expected[static_cast<std::size_t>((p * 600 + y) * 2000 + i)];
                ASSERT_EQ(fromFile.row(p, y)[i], want) << p << " " << i << "," << y;
                ASSERT_EQ(fromMemory.row(p, y)[i], want) << p << " " << i << "," << y;
            }
}

TEST(FitsReader, ProgressAndFileAccess) {
    fitstest::TempDir dir;
    Crafted f = image16(3, 20, 30, 3);
    f.data.resize(f.data.size() + 100, '\0'); // trailing bytes are ignored
    testkit::writeFile(dir.file("a.FIT"), f.bytes());
    testkit::ProgressRecorder rec;
    Progress progress(&rec);
    Image img;
    openImage(dir.file("a.FIT") + "  ", img, progress);
    EXPECT_EQ(rec.title(), "FITS öffnen");
    EXPECT_EQ(progress.done(), 90);
    EXPECT_EQ(rec.lastPercent(), 100);
    EXPECT_EQ(textOf(img.info().sourcePath), dir.file("a.FIT"));

    Crafted s = Crafted::image(-32, 3, 20, 30, 2);
    s.data.assign(20 * 30 * 2 * 4, '\0');
    Progress p2(&rec);
    Image img2;
    readBytes(s.bytes(), img2, p2);
    EXPECT_EQ(p2.done(), 60) << "one step every second row in each of the two passes";
}
