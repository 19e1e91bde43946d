// World coordinates: sexagesimal rounding, the FITS round trip, and a SIP WCS carried through
// every in-place movement (each pixel keeps its sky position; the counter-movement gives the
// WCS back exactly, as undo by reversal needs).
#include "core/wcs.h"
#include "formats/fits_reader.h"
#include "formats/fits_writer.h"
#include "ops/geometry.h"
#include "ops/geometry_wcs.h"
#include "support/temp_dir.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quillon {
namespace {

WorldCoordinates sipWcs() {
    WorldCoordinates w;
    w.present = true;
    w.ctype1 = "RA---TAN";
    w.ctype2 = "DEC--TAN";
    w.crpix1 = 20.5, w.crpix2 = 11.25;
    w.crval1 = 359.9, w.crval2 = 62.5;
    w.cd11 = -2.1e-4, w.cd12 = 3.0e-5, w.cd21 = 2.5e-5, w.cd22 = 2.0e-4;
    w.lonpole = 180, w.latpole = 62.5;
    w.radesys = "ICRS";
    w.equinox = 2000;
    w.sipOrder = 2;
    w.sipA = {0, 0, 1.5e-5, 0, -2e-6, 0, 3e-6, 0, 0};
    w.sipB = {0, 0, -1e-6, 0, 4e-6, 0, 2e-5, 0, 0};
    return w;
}

TEST(Wcs, SexagesimalTextsCarryRoundingIntoTheNextUnit) {
    struct Case {
        double deg;
        const char* ra;
        const char* dec;
    } cases[] = {{0, "00:00:00.00", "+00:00:00.0"},
                 {359.99999999, "00:00:00.00", ""},
                 {83.8220833, "05:35:17.30", "+83:49:19.5"},
                 {-5.3911111, "23:38:26.13", "-05:23:28.0"},
                 {14.999999999, "01:00:00.00", "+15:00:00.0"}};
    for (const Case& c : cases) {
        EXPECT_EQ(formatRa(c.deg), c.ra) << c.deg;
        if (std::abs(c.deg) <= 90) {
            EXPECT_EQ(formatDec(c.deg), c.dec) << c.deg;
        }
    }
}

TEST(Wcs, SavedAndReadBackUnchangedAndOnlyWhenPresent) {
    testkit::TempDir dir;
    for (bool with : {true, false}) {
        Image img;
        testkit::makeImage(img, 40, 23, BW_IMAGE, testkit::noise(3));
        if (with) setImageWcs(img, sipWcs());
        const std::string path = dir.file(with ? "with.fts" : "without.fts");
        writeFits(img, path, Progress::none());
        Image back;
        readFits(path, back, Progress::none());
        ASSERT_EQ(back.info().wcs.present, with);
        if (!with) continue;
        SkyMapping a(img.info().wcs), b(back.info().wcs);
        for (double x : {0.0, 39.0, 17.3})
            for (double y : {0.0, 22.0, 5.6}) {
                double ra1 = 0, dec1 = 0, ra2 = 0, dec2 = 0;
                ASSERT_TRUE(a.pixelToSky(x, y, ra1, dec1));
                ASSERT_TRUE(b.pixelToSky(x, y, ra2, dec2));
                EXPECT_NEAR(ra1, ra2, 1e-10);
                EXPECT_NEAR(dec1, dec2, 1e-10);
                double px = 0, py = 0;
                ASSERT_TRUE(b.skyToPixel(ra2, dec2, px, py));
                EXPECT_NEAR(px, x, 1e-7);
                EXPECT_NEAR(py, y, 1e-7);
            }
    }
}

TEST(Wcs, EveryMovementKeepsEachPixelsSkyPositionAndReversesExactly) {
    const int w = 40, h = 23;
    for (Movement m : {Movement::MirrorHorizontal, Movement::MirrorVertical, Movement::TurnRight,
                       Movement::TurnLeft, Movement::TurnHalf}) {
        Image img;
        testkit::makeImage(img, w, h, BW_IMAGE, testkit::noise(5));
        setImageWcs(img, sipWcs());
        auto apply = [&img](Movement mv) {
            switch (mv) {
            case Movement::MirrorHorizontal: mirror(img, true); break;
            case Movement::MirrorVertical: mirror(img, false); break;
            case Movement::TurnRight: rotate(img, Rotation::Clockwise); break;
            case Movement::TurnLeft: rotate(img, Rotation::CounterClockwise); break;
            case Movement::TurnHalf: rotate(img, Rotation::Half); break;
            }
        };
        apply(m);
        SkyMapping before(sipWcs()), after(img.info().wcs);
        for (double x : {0.0, 39.0, 12.5})
            for (double y : {0.0, 22.0, 7.25}) {
                const PixelPoint p = movePoint(m, x, y, w, h);
                double ra1 = 0, dec1 = 0, ra2 = 0, dec2 = 0;
                ASSERT_TRUE(before.pixelToSky(x, y, ra1, dec1));
                ASSERT_TRUE(after.pixelToSky(p.x, p.y, ra2, dec2));
                EXPECT_NEAR(ra1, ra2, 1e-11) << int(m);
                EXPECT_NEAR(dec1, dec2, 1e-11) << int(m);
            }
        apply(inverse(m));
        EXPECT_EQ(img.info().wcs, sipWcs()) << int(m);
    }
}

} // namespace
} // namespace quillon
