// Open dispatch by file extension, and the table of built-in readers.
#include "formats/open.h"
#include "formats/reader_util.h"

#include "core/error.h"
#include "formats/camera_raw.h"
#include "formats/fits_reader.h"
#include "formats/oes_ast.h"
#include "formats/raster_import.h"
#include "formats/sbig.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <new>

namespace quillon {

std::string trimTrailingBlanks(std::string_view path) {
    std::size_t n = path.size();
    while (n > 0 && path[n - 1] == ' ') --n;
    return std::string(path.substr(0, n));
}

namespace {

bool endsWithNoCase(std::string_view s, std::string_view suffix) {
    if (s.size() < suffix.size()) return false;
    auto tail = s.substr(s.size() - suffix.size());
    return std::equal(tail.begin(), tail.end(), suffix.begin(), [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) ==
               std::tolower(static_cast<unsigned char>(b));
    });
}

struct Ending {
    std::string_view suffix;
    FileKind kind;
};

constexpr std::array<Ending, 27> kEndings{{
    {".fts", FileKind::Fits},   {".fit", FileKind::Fits},    {".fits", FileKind::Fits},
    {".ast", FileKind::OesAst}, {".st4", FileKind::Sbig},    {".st5", FileKind::Sbig},
    {".st6", FileKind::Sbig},   {".st7", FileKind::Sbig},    {".st8", FileKind::Sbig},
    {".st9", FileKind::Sbig},   {".st2k", FileKind::Sbig},   {".stx", FileKind::Sbig},
    {".bmp", FileKind::Raster}, {".dib", FileKind::Raster},  {".rle", FileKind::Raster},
    {".jpg", FileKind::Raster}, {".jpeg", FileKind::Raster}, {".jif", FileKind::Raster},
    {".png", FileKind::Raster}, {".pct", FileKind::Raster},  {".tif", FileKind::Raster},
    {".eps", FileKind::Raster}, {".tga", FileKind::Raster},  {".wmf", FileKind::Raster},
    {".emf", FileKind::Raster}, {".pcx", FileKind::Raster},  {".pgm", FileKind::Raster},
}};

} // namespace

FileKind fileKindForPath(std::string_view path) {
    std::string p = trimTrailingBlanks(path);
    for (const auto& e : kEndings)
        if (endsWithNoCase(p, e.suffix)) return e.kind;
    return FileKind::CameraRaw;
}

const char* fileKindName(FileKind kind) {
    switch (kind) {
    case FileKind::Fits: return "FITS";
    case FileKind::OesAst: return "OES-Astro";
    case FileKind::Sbig: return "SBIG";
    case FileKind::Raster: return "Rastergrafik";
    case FileKind::CameraRaw: return "Kamera-RAW";
    }
    return "";
}

ReaderFn readerFor(FileKind kind) {
    switch (kind) {
    case FileKind::Fits: return readFits;
    case FileKind::OesAst: return readOesAst;
    case FileKind::Sbig: return readSbig;
    case FileKind::Raster: return readRaster;
    case FileKind::CameraRaw: return readCameraRaw;
    }
    return nullptr;
}

void openImage(const std::string& path, Image& image, Progress& progress) {
    std::string p = trimTrailingBlanks(path);
    FileKind kind = fileKindForPath(p);
    ReaderFn reader = readerFor(kind);
    if (!reader)
        throw Error(std::string("Das Dateiformat ") + fileKindName(kind) +
                    " wird in dieser Version noch nicht unterstützt.");
    detail::guardedRead(image, progress, [&] { reader(p, image, progress); });
}

} // namespace quillon
