// Open dispatch by file extension, the table of built-in readers, and the raster fallback of
// the camera RAW import.
#include "formats/open.h"
#include "formats/reader_util.h"

#include "core/error.h"
#include "formats/camera_raw.h"
#include "formats/codecs.h"
#include "formats/fits_reader.h"
#include "formats/oes_ast.h"
#include "formats/raster_import.h"
#include "formats/sbig.h"

#include <algorithm>
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

constexpr OpenFileType kOpenFileTypes[] = {
    {"FITS file", FileKind::Fits, ".fts .fit .fits .fz .fits.gz .fit.gz .fts.gz"},
    {"OES-Astro file", FileKind::OesAst, ".ast"},
    {"RAW file z.B. .crw ...", FileKind::CameraRaw, ""},
    {"SBIG-Astro file", FileKind::Sbig, ".st4 .st5 .st6 .st7 .st8 .st9 .st2k .stx"},
    {"BMP file", FileKind::Raster, ".bmp .dib .rle"},
    {"JPEG file", FileKind::Raster, ".jpg .jpeg .jif .jpe .jfif"},
    {"PNG file", FileKind::Raster, ".png"},
    {"PICT file", FileKind::Raster, ".pct .pict"},
    {"TIFF file", FileKind::Raster, ".tif .tiff .eps"},
    {"TARGA file", FileKind::Raster, ".tga"},
    {"Windows Metafile", FileKind::Raster, ".wmf"},
    // No renderer for enhanced metafiles: the raster import refuses them with a clear text.
    {"Windows Enhanced Metafile", FileKind::Raster, ".emf", false},
    {"PCX file", FileKind::Raster, ".pcx"},
    {"Portable Greymap File", FileKind::Raster, ".pgm"},
    // No GIF decoder: the raster import answers "Library not compiled for this file type.".
    {"GIF file", FileKind::Raster, ".gif", false},
};

// Calls fn(ending) for each blank-separated ending of an entry.
template <class Fn>
void forEachEnding(const OpenFileType& type, Fn&& fn) {
    std::string_view rest = type.endings;
    while (!rest.empty()) {
        const std::size_t blank = rest.find(' ');
        const std::string_view e = rest.substr(0, blank);
        if (!e.empty()) fn(e);
        if (blank == std::string_view::npos) break;
        rest.remove_prefix(blank + 1);
    }
}

} // namespace

std::span<const OpenFileType> openFileTypes() {
    return kOpenFileTypes;
}

std::vector<std::string> fileTypeEndings(const OpenFileType& type) {
    std::vector<std::string> out;
    forEachEnding(type, [&](std::string_view e) { out.emplace_back(e); });
    return out;
}

std::string openFilterPatterns(const OpenFileType& type) {
    std::string out;
    forEachEnding(type, [&](std::string_view e) {
        if (!out.empty()) out += ' ';
        out += '*';
        out += e;
    });
    return out.empty() ? std::string("*.*") : out;
}

std::string allSupportedPatterns() {
    std::string out;
    for (const OpenFileType& type : kOpenFileTypes) {
        if (!type.decodable) continue;
        if (!out.empty()) out += ' ';
        out += openFilterPatterns(type);
    }
    return out;
}

FileKind fileKindForPath(std::string_view path) {
    const std::string p = trimTrailingBlanks(path);
    for (const OpenFileType& type : kOpenFileTypes) {
        bool found = false;
        forEachEnding(type, [&](std::string_view e) { found = found || endsWithNoCase(p, e); });
        if (found) return type.kind;
    }
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
    case FileKind::CameraRaw: return readCameraRawOrRaster;
    }
    return nullptr;
}

void readCameraRawOrRaster(const std::string& path, Image& image, Progress& progress) {
    try {
        readCameraRaw(path, image, progress);
        return;
    } catch (const NotACameraFile&) {
        if (detectRasterFileContent(path) == RasterFormat::Unknown) throw;
    }
    Bitmap bmp;
    decodeFile(path, bmp, Recognition::ContentOnly);
    importBitmap(bmp, image, path, progress);
}

void readCameraRawOrRasterMemory(const std::uint8_t* data, std::size_t size, Image& image,
                                 Progress& progress) {
    try {
        readCameraRawMemory(data, size, image, progress);
        return;
    } catch (const NotACameraFile&) {
        if (detectRasterFormat({}, data, size) == RasterFormat::Unknown) throw;
    }
    detail::guardedRead(image, progress, [&] {
        Bitmap bmp;
        decodeMemory(data, size, bmp);
        importBitmap(bmp, image, {}, progress);
    });
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
