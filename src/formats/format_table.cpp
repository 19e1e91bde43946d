// The rows of the format table, the content probes and the memory readers of the non-raster
// formats.
#include "formats/format_table.h"

#include "core/error.h"
#include "formats/byte_source.h"
#include "formats/codecs.h"
#include "formats/fits_gzip.h"
#include "formats/fits_reader.h"
#include "formats/oes_ast.h"
#include "formats/open.h"
#include "formats/raster_import.h"
#include "formats/sbig.h"
#include "formats/xisf.h"

#include <algorithm>
#include <array>
#include <initializer_list>

namespace quillon {

namespace {

bool in(int v, std::initializer_list<int> set) {
    return std::find(set.begin(), set.end(), v) != set.end();
}

// Content probes, each one format's signature. Their order of trial is the rows' probeRank.
bool probeWmf(const ProbeInput& p) {
    return p.upperName.find(".WMF") != std::string_view::npos;
}
bool probeEmf(const ProbeInput& p) {
    return p.upperName.find(".EMF") != std::string_view::npos;
}
bool probeBmp(const ProbeInput& p) {
    return p.head[0] == 'B' && p.head[1] == 'M';
}
bool probeTga(const ProbeInput& p) {
    const std::uint8_t* b = p.head;
    return b[1] < 2 && (b[2] <= 3 || (b[2] >= 9 && b[2] <= 11)) &&
           in(b[7], {0, 8, 15, 16, 24, 32}) && in(b[16], {8, 15, 16, 24, 32});
}
bool probeGif(const ProbeInput& p) {
    return p.head[0] == 'G' && p.head[1] == 'I' && p.head[2] == 'F' && p.head[3] == '8';
}
bool probeTiff(const ProbeInput& p) {
    const std::uint8_t* b = p.head;
    return (b[0] == 0x49 && b[1] == 0x49 && b[2] == 0x2A && b[3] == 0) ||
           (b[0] == 0x4D && b[1] == 0x4D && b[2] == 0 && b[3] == 0x2A);
}
bool probePict(const ProbeInput& p) {
    const std::uint8_t* b = p.head;
    return p.size > 540 && ((b[522] == 0 && b[523] == 0x11 && b[524] == 2 && b[525] == 0xFF) ||
                            (b[522] == 0 && b[523] == 0x11 && b[524] == 1) ||
                            (b[522] == 0x11 && b[523] == 1 && b[524] == 1 && b[525] == 0));
}
bool probeJpeg(const ProbeInput& p) {
    return p.head[0] == 0xFF && p.head[1] == 0xD8 && p.head[2] == 0xFF;
}
bool probePng(const ProbeInput& p) {
    return p.head[0] == 0x89 && p.head[1] == 0x50 && p.head[2] == 0x4E && p.head[3] == 0x47;
}
bool probeEps(const ProbeInput& p) {
    const std::uint8_t* b = p.head;
    return ((b[0] == 0xC5 && b[1] == 0xD0 && b[2] == 0xD3 && b[3] == 0xC6) ||
            (b[0] == 0xC6 && b[1] == 0xD3 && b[2] == 0xD0 && b[3] == 0xC5)) &&
           le32(b + 20) != 0 && le32(b + 24) != 0;
}
bool probePcx(const ProbeInput& p) {
    return p.head[0] == 10 && p.head[2] == 1;
}
bool probeXisf(const ProbeInput& p) {
    return isXisfSignature(p.head, p.size);
}
// FITS under any name, plain or gzipped (tried last: its test inflates a little).
bool probeFits(const ProbeInput& p) {
    return fits::isFitsHead(p.head, std::min(p.size, kProbeHeadSize));
}
bool probePgm(const ProbeInput& p) {
    return p.head[0] == 'P' && (p.head[1] == '2' || p.head[1] == '5');
}

// Formats that are recognised only to be refused with a clear text.
void refuseGif(const std::uint8_t*, std::size_t, Bitmap&) {
    throw Error("Library not compiled for this file type.");
}
void refuseEmf(const std::uint8_t*, std::size_t, Bitmap&) {
    throw Error("Enhanced metafiles (EMF) cannot be rendered on this system.");
}

void encodeJpegDefault(const Picture& picture, const std::string& path) {
    encodeJpeg(picture, path);
}

// Memory readers of the non-raster formats.
void readFitsBlock(const std::uint8_t* data, std::size_t size, Image& image, Progress& progress) {
    readFitsMemory(data, size, image, progress);
}
void readXisfBlock(const std::uint8_t* data, std::size_t size, Image& image, Progress& progress) {
    readXisfMemory(data, size, image, progress);
}
void readOesAstBlock(const std::uint8_t* data, std::size_t size, Image& image, Progress& progress) {
    MemorySource src(data, size);
    readOesAst(src, {}, image, progress);
}
// A block has no name to tell the SBIG layout: its first byte does (bit 0 set: ".ST4").
void readSbigBlock(const std::uint8_t* data, std::size_t size, Image& image, Progress& progress) {
    if (size < 1) throw Error(sbig::kNotSbig);
    MemorySource src(data + 1, size - 1);
    readSbig(src, (data[0] & 1) != 0, image, progress);
}

using enum FileKind;
using enum ExportRule;

// clang-format off
constexpr FileFormat kFormats[] = {
//   name       open-dialog text              endings                   kind       supp.  reader
//     memory reader              probe          decoder      encoder
//     export text                export endings          export rule  keeps grey
    {"fits",    "FITS file",                  ".fts .fit .fits .fz .fits.gz .fit.gz .fts.gz", Fits, true, readFits,
       readFitsBlock,             14, probeFits, nullptr,     nullptr,
       nullptr,                   "",                     Unknown,     false},
    {"xisf",    "XISF file",                  ".xisf",                  Xisf,      true,  readXisf,
       readXisfBlock,             13, probeXisf, nullptr,     nullptr,
       nullptr,                   "",                     Unknown,     false},
    {"oes_ast", "OES-Astro file",             ".ast",                   OesAst,    true,  readOesAst,
       readOesAstBlock,           0,  nullptr,   nullptr,     nullptr,
       nullptr,                   ".ast",                 ReadOnly,    false},
    {"raw",     "RAW file z.B. .crw ...",     "",                       CameraRaw, true,  readCameraRawOrRaster,
       readCameraRawOrRasterMemory, 0, nullptr,  nullptr,     nullptr,
       nullptr,                   "",                     Unknown,     false},
    {"sbig",    "SBIG-Astro file",            ".st4 .st5 .st6 .st7 .st8 .st9 .st2k .stx", Sbig, true, readSbig,
       readSbigBlock,             0,  nullptr,   nullptr,     nullptr,
       nullptr,                   "",                     Unknown,     false},
    {"bmp",     "BMP file",                   ".bmp .dib .rle",         Raster,    true,  readRaster,
       nullptr,                   3,  probeBmp,  decodeBmp,   encodeBmp,
       "Windows Bitmap (*.bmp)",  ".bmp .dib .rle",       Export,      true},
    {"jpeg",    "JPEG file",                  ".jpg .jpeg .jif .jpe .jfif", Raster, true, readRaster,
       nullptr,                   8,  probeJpeg, decodeJpeg,  encodeJpegDefault,
       "JPEG File (*.jpg)",       ".jpg .jpeg .jif",      Export,      false},
    {"png",     "PNG file",                   ".png",                   Raster,    true,  readRaster,
       nullptr,                   9,  probePng,  decodePng,   encodePng,
       "PNG File (*.png)",        ".png",                 Export,      false},
    {"pict",    "PICT file",                  ".pct .pict",             Raster,    true,  readRaster,
       nullptr,                   7,  probePict, decodePict,  nullptr,
       nullptr,                   ".pct",                 ReadOnly,    false},
    {"tiff",    "TIFF file",                  ".tif .tiff",             Raster,    true,  readRaster,
       nullptr,                   6,  probeTiff, decodeTiff,  encodeTiff,
       "TIFF File (*.tif)",       ".tif",                 Export,      true},
    // EPS with a TIFF preview: listed in the TIFF entry of the open dialog.
    {"eps",     nullptr,                      ".eps",                   Raster,    true,  readRaster,
       nullptr,                   10, probeEps,  decodeEpsTiff, nullptr,
       nullptr,                   ".eps",                 ReadOnly,    false},
    {"tga",     "TARGA file",                 ".tga",                   Raster,    true,  readRaster,
       nullptr,                   4,  probeTga,  decodeTga,   nullptr,
       nullptr,                   ".tga",                 ReadOnly,    false},
    {"wmf",     "Windows Metafile",           ".wmf",                   Raster,    true,  readRaster,
       nullptr,                   1,  probeWmf,  decodeWmf,   nullptr,
       nullptr,                   ".wmf",                 ReadOnly,    false},
    // No renderer for enhanced metafiles: the decoder refuses them with a clear text.
    {"emf",     "Windows Enhanced Metafile",  ".emf",                   Raster,    false, readRaster,
       nullptr,                   2,  probeEmf,  refuseEmf,   nullptr,
       nullptr,                   ".emf",                 ReadOnly,    false},
    {"pcx",     "PCX file",                   ".pcx",                   Raster,    true,  readRaster,
       nullptr,                   11, probePcx,  decodePcx,   nullptr,
       nullptr,                   ".pcx",                 ReadOnly,    false},
    {"pgm",     "Portable Greymap File",      ".pgm",                   Raster,    true,  readRaster,
       nullptr,                   12, probePgm,  decodePgm,   nullptr,
       nullptr,                   ".pgm",                 ReadOnly,    false},
    // No GIF decoder: the decoder answers "Library not compiled for this file type.".
    {"gif",     "GIF file",                   ".gif",                   Raster,    false, readRaster,
       nullptr,                   5,  probeGif,  refuseGif,   nullptr,
       nullptr,                   ".gif",                 ReadOnly,    false},
};
// clang-format on

} // namespace

// Rules the rows must keep (a test checks them; sanitizer builds cannot compare function
// addresses in a constant expression).
bool formatRowsAreSound() {
    for (const FileFormat& f : kFormats) {
        if ((f.exportRule == Export) != (f.encode != nullptr)) return false;
        if ((f.exportRule == Export) != (f.exportText != nullptr)) return false;
        if ((f.probe != nullptr) != (f.probeRank > 0)) return false;
        if ((f.decode == nullptr) == (f.readMemory == nullptr)) return false;
    }
    return kFormats[0].openText != nullptr;
}

namespace {

constexpr std::size_t countProbes() {
    std::size_t n = 0;
    for (const FileFormat& f : kFormats) n += f.probe ? 1 : 0;
    return n;
}

} // namespace

std::span<const FileFormat> fileFormats() {
    return kFormats;
}

const FileFormat* findFormat(std::string_view name) {
    for (const FileFormat& f : kFormats)
        if (name == f.name) return &f;
    return nullptr;
}

std::span<const FileFormat* const> probeOrder() {
    static const auto order = [] {
        std::array<const FileFormat*, countProbes()> out{};
        std::size_t n = 0;
        for (const FileFormat& f : kFormats)
            if (f.probe) out[n++] = &f;
        std::stable_sort(out.begin(), out.end(), [](const FileFormat* a, const FileFormat* b) {
            return a->probeRank < b->probeRank;
        });
        return out;
    }();
    return order;
}

void readFormatMemory(const FileFormat& format, const std::uint8_t* data, std::size_t size,
                      Image& image, Progress& progress) {
    if (format.readMemory) {
        format.readMemory(data, size, image, progress);
        return;
    }
    Bitmap bmp;
    format.decode(data, size, bmp);
    importBitmap(bmp, image, {}, progress);
}

} // namespace quillon
