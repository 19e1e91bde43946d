// Open dispatch: the reader is chosen by the end of the path.
#include "core/error.h"
#include "formats/open.h"

#include <gtest/gtest.h>

using namespace quillon;

TEST(OpenDispatch, ByExtensionIgnoringCaseAndTrailingBlanks) {
    EXPECT_EQ(fileKindForPath("IMG_0001.CR2"), FileKind::CameraRaw);
    EXPECT_EQ(fileKindForPath("x.FITS "), FileKind::Fits);
    EXPECT_EQ(fileKindForPath("/a/b/m42.fts"), FileKind::Fits);
    EXPECT_EQ(fileKindForPath("m42.Fit"), FileKind::Fits);
    EXPECT_EQ(fileKindForPath("cam.ast"), FileKind::OesAst);
    for (const char* p : {"a.st4", "a.ST5", "a.st6", "a.st7", "a.st8", "a.st9", "a.ST2K", "a.stx"})
        EXPECT_EQ(fileKindForPath(p), FileKind::Sbig) << p;
    for (const char* p : {"a.bmp", "a.DIB",  "a.rle",  "a.jpg", "a.jpeg", "a.jif", "a.png",
                          "a.pct", "a.tif",  "a.eps",  "a.tga", "a.wmf",  "a.emf", "a.pcx",
                          "a.pgm", "a.TIFF", "a.pict", "a.jpe", "a.JFIF", "a.gif"})
        EXPECT_EQ(fileKindForPath(p), FileKind::Raster) << p;
    EXPECT_EQ(fileKindForPath("a.tif2"), FileKind::CameraRaw) << "only the listed endings";
    EXPECT_EQ(fileKindForPath("noextension"), FileKind::CameraRaw);
    EXPECT_EQ(trimTrailingBlanks("x.fts   "), "x.fts");
}

// EMF and GIF files are taken only to be refused: the dialog keeps their own entries, but the
// list of everything supported does not promise them.
TEST(OpenDispatch, AllSupportedLeavesOutTheRefusedTypes) {
    const std::string all = " " + allSupportedPatterns() + " ";
    for (const char* p :
         {" *.fts ", " *.* ", " *.tiff ", " *.pict ", " *.jpe ", " *.wmf ", " *.pgm "})
        EXPECT_NE(all.find(p), std::string::npos) << p;
    EXPECT_EQ(all.find("*.emf"), std::string::npos);
    EXPECT_EQ(all.find("*.gif"), std::string::npos);
}

TEST(OpenDispatch, MissingReaderOrFileGivesAMessageAndAnEmptyImage) {
    Image img;
    try {
        openImage("/nonexistent/really-not-there.xyz", img, Progress::none());
        FAIL() << "expected an error";
    } catch (const Error& e) {
        EXPECT_FALSE(std::string(e.what()).empty());
    }
    EXPECT_EQ(img.type(), NO_IMAGE);
}
