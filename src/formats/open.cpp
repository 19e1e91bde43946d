// Open dispatch by file extension over the format table, the open dialog's entries, and the
// raster fallback of the camera RAW import.
#include "formats/open.h"
#include "formats/reader_util.h"

#include "core/error.h"
#include "formats/camera_raw.h"
#include "formats/codecs.h"
#include "formats/raster_import.h"

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

// The open dialog's entries, made once from the format table.
struct OpenEntries {
    std::vector<std::string> endings;
    std::vector<OpenFileType> types;
    OpenEntries() {
        for (const FileFormat& f : fileFormats()) {
            if (f.openText) {
                endings.emplace_back(f.endings);
                types.push_back({f.openText, f.kind, nullptr, f.supported});
            } else {
                endings.back() += ' ';
                endings.back() += f.endings;
            }
        }
        for (std::size_t i = 0; i < types.size(); ++i) types[i].endings = endings[i].c_str();
    }
};

const OpenEntries& openEntries() {
    static const OpenEntries entries;
    return entries;
}

bool hasEnding(std::string_view path, std::string_view endings) {
    bool found = false;
    forEachEnding(endings, [&](std::string_view e) { found = found || endsWithNoCase(path, e); });
    return found;
}

} // namespace

std::span<const OpenFileType> openFileTypes() {
    return openEntries().types;
}

std::vector<std::string> fileTypeEndings(const OpenFileType& type) {
    std::vector<std::string> out;
    forEachEnding(type.endings, [&](std::string_view e) { out.emplace_back(e); });
    return out;
}

std::string openFilterPatterns(const OpenFileType& type) {
    std::string out;
    forEachEnding(type.endings, [&](std::string_view e) {
        if (!out.empty()) out += ' ';
        out += '*';
        out += e;
    });
    return out.empty() ? std::string("*.*") : out;
}

std::string allSupportedPatterns() {
    std::string out;
    for (const OpenFileType& type : openFileTypes()) {
        if (!type.decodable) continue;
        if (!out.empty()) out += ' ';
        out += openFilterPatterns(type);
    }
    return out;
}

const FileFormat* formatForPath(std::string_view path) {
    const std::string p = trimTrailingBlanks(path);
    for (const FileFormat& f : fileFormats())
        if (hasEnding(p, f.endings)) return &f;
    return nullptr;
}

FileKind fileKindForPath(std::string_view path) {
    const FileFormat* f = formatForPath(path);
    return f ? f->kind : FileKind::CameraRaw;
}

const char* fileKindName(FileKind kind) {
    switch (kind) {
    case FileKind::Fits: return "FITS";
    case FileKind::OesAst: return "OES-Astro";
    case FileKind::Sbig: return "SBIG";
    case FileKind::Raster: return "Rastergrafik";
    case FileKind::CameraRaw: return "Kamera-RAW";
    case FileKind::Xisf: return "XISF";
    }
    return "";
}

ReaderFn readerFor(FileKind kind) {
    for (const FileFormat& f : fileFormats())
        if (f.kind == kind) return f.read;
    return nullptr;
}

void readCameraRawOrRaster(const std::string& path, Image& image, Progress& progress) {
    try {
        readCameraRaw(path, image, progress);
        return;
    } catch (const NotACameraFile&) {
        const FileFormat* found = detectRasterFileContent(path);
        if (!found) throw;
        // A recognised file of a format with its own reader (XISF) goes to that reader.
        if (found->readMemory) {
            found->read(path, image, progress);
            return;
        }
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
        const FileFormat* found = detectRasterFormat({}, data, size);
        if (!found) throw;
        if (found->readMemory) {
            found->readMemory(data, size, image, progress);
            return;
        }
    }
    detail::guardedRead(image, progress, [&] {
        Bitmap bmp;
        decodeMemory(data, size, bmp);
        importBitmap(bmp, image, {}, progress);
    });
}

void openImage(const std::string& path, Image& image, Progress& progress) {
    std::string p = trimTrailingBlanks(path);
    const FileFormat* format = formatForPath(p);
    const FileKind kind = format ? format->kind : FileKind::CameraRaw;
    const ReaderFn reader = format ? format->read : readerFor(kind);
    if (!reader)
        throw Error(std::string("Das Dateiformat ") + fileKindName(kind) +
                    " wird in dieser Version noch nicht unterstützt.");
    detail::guardedRead(image, progress, [&] { reader(p, image, progress); });
}

} // namespace quillon
