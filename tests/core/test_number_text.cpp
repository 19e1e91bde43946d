// Numbers typed as text: the shared check every field, cell, option and settings value goes
// through, and the reference search that takes typed positions.
#include "analysis/stars.h"
#include "core/image.h"
#include "core/number_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <limits>

using namespace quillon;

namespace {
constexpr auto Ok = NumberText::Ok;
constexpr auto NaN = NumberText::NotANumber;
constexpr auto Out = NumberText::OutOfRange;
} // namespace

// Each text read as a whole number over the int range and as a real within ±214748 (the grey
// factors): hostile texts are refused before any conversion (this runs under UBSan).
TEST(NumberText, RefusesHostileTextBeforeConversion) {
    const struct {
        const char* text;
        NumberText whole, real;
    } cases[] = {{"1e30", NaN, Out},
                 {"-1e30", NaN, Out},
                 {"inf", NaN, NaN},
                 {"-inf", NaN, NaN},
                 {"nan", NaN, NaN},
                 {"2147483648", Out, Out},
                 {"214749", Ok, Out},
                 {"", NaN, NaN},
                 {"12abc", NaN, NaN},
                 {"1e400", NaN, Out},
                 {"99999999999999999999", Out, Out},
                 {" +7 ", Ok, Ok}};
    for (const auto& c : cases) {
        int whole = -1;
        double real = -1;
        EXPECT_EQ(readWholeNumber(c.text, INT_MIN, INT_MAX, whole), c.whole) << c.text;
        EXPECT_EQ(readRealNumber(c.text, -214748, 214748, real), c.real) << c.text;
        EXPECT_EQ(real, c.real == Ok ? 7 : -1) << c.text << ": only a number is stored";
    }
}

// A typed position far off the image, infinite or NaN starts the search at the nearest
// window inside the image instead of reaching an undefined float-to-int conversion.
TEST(NumberText, ReferenceSearchTakesAnyTypedPosition) {
    Image img;
    img.Define(40, 30, BW_IMAGE, false, 0);
    ASSERT_EQ(img.AllocateSamples(true), 0);
    img.row(0, 20)[30] = 1000;
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float typed[] = {1e30f, -1e30f, inf, -inf, nan};
    for (float x : typed)
        for (float y : typed) {
            const ReferencePoint p = locateReference(img, ReferenceMethod::Maximum, x, y, 12, 4);
            EXPECT_TRUE(p.x >= 0 && p.x < 40 && p.y >= 0 && p.y < 30) << x << ", " << y;
        }
}
