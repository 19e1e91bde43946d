// FITS reader: header blocks, validation, the IMAGE-extension fallback and the conversion of
// every supported BITPIX into 16-bit planes (read in whole chunks, swapped in bulk, in
// parallel over rows).
#include "formats/fits_reader.h"
#include "formats/byte_source.h"
#include "formats/reader_util.h"

#include "core/error.h"
#include "core/memory.h"
#include "core/parallel.h"
#include "formats/fits_compressed.h"
#include "formats/fits_format.h"
#include "formats/fits_gzip.h"
#include "formats/fits_header.h"
#include "formats/fits_scaling.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <optional>
#include <sys/mman.h>
#include <type_traits>
#include <vector>

namespace quillon {

namespace {

using fits::HeaderState;

// Reads exactly n bytes at offset; a short read means the file shrank since its size was
// checked.
void readExactAt(const ByteSource& src, std::uint64_t offset, void* dst, std::size_t n) {
    if (!src.readExactAt(offset, dst, n)) throw Error(fits::kMsgUnknownFormat);
}

// Scans header blocks from `offset` until END or 32 blocks; returns the offset after the
// last complete block read (where the data begin).
std::uint64_t scanHeader(const ByteSource& src, std::uint64_t offset, HeaderState& s) {
    char block[fits::kBlockSize];
    for (int b = 0; b < fits::kMaxHeaderBlocks; ++b) {
        if (src.readAt(offset, block, sizeof block) != sizeof block) break;
        offset += sizeof block;
        for (std::size_t c = 0; c < fits::kCardsPerBlock; ++c)
            if (fits::scanCard(s, block + c * fits::kCardSize)) return offset;
    }
    return offset;
}

bool supportedBitpix(long long b) {
    return b == 8 || b == 16 || b == 32 || b == -32 || b == -64;
}

// Behind an empty primary header: the first IMAGE extension with a 2-D or 3-D image of a
// supported BITPIX, or the first tile-compressed image (its Z cards then stand for the image's
// BITPIX and axes, and `compressed` is filled). Returns true and replaces `s` and `dataStart`
// when one is found.
bool findImageExtension(const ByteSource& src, HeaderState& s, std::uint64_t& dataStart,
                        fits::TileCompression& compressed, bool& isCompressed) {
    std::uint64_t pos = dataStart;
    for (int hdu = 0; hdu < 1000 && pos < src.size(); ++hdu) {
        HeaderState e = s;
        fits::beginExtension(e);
        std::uint64_t next = scanHeader(src, pos, e);
        if (!e.end || !e.extension) return false;
        if (e.xtension == "IMAGE" && (e.naxis == 2 || e.naxis == 3) && supportedBitpix(e.bitpix) &&
            e.pcount == 0 && e.gcount == 1) {
            e.simpleCard = e.simpleTrue = true;
            s = std::move(e);
            dataStart = next;
            return true;
        }
        fits::TileCompression t;
        if (e.xtension == "BINTABLE" && fits::scanCompressed(src, pos, t) &&
            (t.axes.size() == 2 || t.axes.size() == 3)) {
            e.simpleCard = e.simpleTrue = true;
            e.bitpix = t.bitpix;
            e.naxis = static_cast<long long>(t.axes.size());
            e.naxis1 = t.axes[0];
            e.naxis2 = t.axes[1];
            e.naxis3 = t.axes.size() == 3 ? t.axes[2] : 1;
            s = std::move(e);
            dataStart = next;
            compressed = std::move(t);
            isCompressed = true;
            return true;
        }
        long long bytes = fits::dataBytes(e);
        if (bytes < 0) return false;
        auto padded = (static_cast<std::uint64_t>(bytes) + fits::kBlockSize - 1) /
                      fits::kBlockSize * fits::kBlockSize;
        if (padded > src.size() - next) return false;
        pos = next + padded;
    }
    return false;
}

// Fresh planes are touched for the first time by the reader. Page faults then cost more than
// decoding (4 KiB pages: about 0.6 s per 100 MB on a virtual machine), so the planes ask for
// transparent huge pages and are populated in one call where the system offers that (Linux
// 5.14 and later; elsewhere the hints are ignored and the pages fault in as usual).
void prepareFreshMemory(void* p, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20, kPage = 4096;
    const auto begin = reinterpret_cast<std::uintptr_t>(p), end = begin + bytes;
    const auto first = (begin + kHuge - 1) & ~(kHuge - 1), last = end & ~(kHuge - 1);
    if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#ifndef MADV_POPULATE_WRITE
    constexpr int MADV_POPULATE_WRITE = 23;
#endif
    // The kernel clears every page it hands out: large planes are populated in pieces by the
    // worker threads side by side.
    const auto pageBegin = begin & ~(kPage - 1), pageEnd = (end + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t pieces = (pageEnd - pageBegin + kHuge - 1) / kHuge;
    parallelRows(static_cast<int>(std::min<std::uintptr_t>(pieces, 1 << 20)), 1,
                 [&](int from, int to) {
                     const std::uintptr_t a = pageBegin + static_cast<std::uintptr_t>(from) * kHuge;
                     const std::uintptr_t b =
                         std::min(pageEnd, pageBegin + static_cast<std::uintptr_t>(to) * kHuge);
                     if (b > a) ::madvise(reinterpret_cast<void*>(a), b - a, MADV_POPULATE_WRITE);
                 });
#else
    (void)p, (void)bytes;
#endif
}

int clampInt(long long v) {
    return static_cast<int>(
        std::clamp<long long>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// --- sample conversion ------------------------------------------------------------------

struct PlaneJob {
    const ByteSource& src;
    std::uint64_t offset; // first byte of the plane in the source
    int width;
    int height;
    Sample* dst; // width × height samples, contiguous
    Progress& progress;
};

// Rows per chunk so that one chunk of raw data stays in the cache while it is converted.
int chunkRows(int width, int bytesPerSample) {
    return std::max(
        1, static_cast<int>((256u << 10) / (static_cast<unsigned>(width) * bytesPerSample)));
}
int blockRows(int width, int bytesPerSample) {
    return std::max(1,
                    static_cast<int>((1u << 20) / (static_cast<unsigned>(width) * bytesPerSample)));
}

void readPlane8(const PlaneJob& j) {
    const int k = chunkRows(j.width, 1);
    parallelRows(j.height, blockRows(j.width, 1), [&](int first, int last) {
        std::vector<std::uint8_t> buf(static_cast<std::size_t>(k) * j.width);
        for (int r = first; r < last; r += k) {
            int n = std::min(k, last - r);
            std::size_t count = static_cast<std::size_t>(n) * j.width;
            readExactAt(j.src, j.offset + static_cast<std::uint64_t>(r) * j.width, buf.data(),
                        count);
            Sample* d = j.dst + static_cast<std::size_t>(r) * j.width;
            for (std::size_t i = 0; i < count; ++i) d[i] = static_cast<Sample>(buf[i]);
            j.progress.step(n);
        }
    });
}

// 16 bits: where the file can be mapped, the bytes are swapped straight from its pages into the
// plane (no copy by the kernel at all), a few chunks mapped at a time so that the file's pages
// add little to the memory in use. Elsewhere chunks are read into a small buffer that stays in
// the cache and swapped from there, so every byte crosses main memory once each way (reading
// into the plane and swapping it there afterwards would cost a second round trip). The copy is
// bound by memory bandwidth, so it runs on the calling thread: a second thread measured no
// faster and loses time waiting for the pool on a busy machine.
void readPlane16(const PlaneJob& j) {
    const int k =
        std::max(1, static_cast<int>((128u << 10) / (static_cast<unsigned>(j.width) * 2)));
    const std::size_t rowBytes = static_cast<std::size_t>(j.width) * 2;
    const int mappedRows = 8 * k;
    int top = 0; // rows above are read
    while (top < j.height) {
        const int rows = std::min(mappedRows, j.height - top);
        const ByteView view = j.src.viewAt(j.offset + static_cast<std::uint64_t>(top) * rowBytes,
                                           rowBytes * static_cast<std::size_t>(rows));
        if (view.empty()) break; // not mappable: read from here on
        for (int r = 0; r < rows; r += k) {
            const int n = std::min(k, rows - r);
            const std::size_t count = static_cast<std::size_t>(n) * j.width;
            const auto* from = reinterpret_cast<const std::uint16_t*>(
                view.data() + static_cast<std::size_t>(r) * rowBytes);
            auto* d = reinterpret_cast<std::uint16_t*>(j.dst +
                                                       static_cast<std::size_t>(top + r) * j.width);
            if (!view.access([&] { fits::swap16Stream(d, from, count); }))
                throw Error(fits::kMsgUnknownFormat);
            j.progress.step(n);
        }
        top += rows;
    }
    std::vector<std::uint16_t> bounce;
    if (top < j.height) bounce.resize(static_cast<std::size_t>(k) * j.width);
    for (int r = top; r < j.height; r += k) {
        int n = std::min(k, j.height - r);
        std::size_t count = static_cast<std::size_t>(n) * j.width;
        readExactAt(j.src, j.offset + static_cast<std::uint64_t>(r) * j.width * 2, bounce.data(),
                    count * 2);
        auto* d = reinterpret_cast<std::uint16_t*>(j.dst + static_cast<std::size_t>(r) * j.width);
        fits::swap16Stream(d, bounce.data(), count);
        j.progress.step(n);
    }
    fits::swapStreamFence();
}

// The range a plane is scaled over: its counted extremes, replaced by the smallest
// power-of-two range [-p, p-1] (p = 8192 .. 131072) that holds both.
struct ScaleRange {
    double minimum;
    double maximum;
};

ScaleRange scaleRange(bool any, double mn, double mx) {
    if (!any) mn = mx = 0.0; // nothing counted: as if the plane were 0
    const double lo = mn, hi = mx;
    for (double p : {131072.0, 65536.0, 32768.0, 16384.0, 8192.0}) {
        if (lo >= -p && hi <= p - 1) {
            mn = -p;
            mx = p - 1;
        }
    }
    if (mx <= mn) mx = mn + 1.0; // all equal outside ±131072: no division by zero
    return {mn, mx};
}

// BITPIX 32, -32 and -64 need the plane's range before the first sample can be written: the
// first pass folds the range, the second maps the values onto the samples, both in parallel
// over rows and both straight from the file's pages when the file can be mapped (no copy at
// all). Otherwise the plane's bytes are read into `raw` once (reused by the planes of an
// image) and both passes work from there.
void readPlaneScaled(long long bitpix, const PlaneJob& j, memory::Buffer<std::byte>& raw) {
    const int B = fits::fileBytes(bitpix);
    const std::size_t rowBytes = static_cast<std::size_t>(j.width) * B;
    const std::size_t planeBytes = rowBytes * static_cast<std::size_t>(j.height);
    ByteView view = j.src.viewAt(j.offset, planeBytes);
    const std::uint8_t* bytes = view.data();
    if (view.empty()) {
        if (raw.size() < planeBytes) {
            raw.allocate(planeBytes, false);
            prepareFreshMemory(raw.data(), raw.size());
        }
        readExactAt(j.src, j.offset, raw.data(), planeBytes);
        bytes = reinterpret_cast<const std::uint8_t*>(raw.data());
    }
    const int k = chunkRows(j.width, B);
    // One progress step every second row in each pass.
    auto stepRows = [&](int r, int n) { j.progress.step((r + n) / 2 - r / 2); };
    std::atomic<bool> shrank{false};

    std::mutex m;
    fits::ValueRange range;
    parallelRows(j.height, blockRows(j.width, B), [&](int first, int last) {
        fits::ValueRange local;
        for (int r = first; r < last; r += k) {
            const int n = std::min(k, last - r);
            const bool read = view.access([&] {
                fits::rangeScaled(bitpix, bytes + r * rowBytes,
                                  static_cast<std::size_t>(n) * j.width, local);
            });
            if (!read) {
                shrank = true;
                return;
            }
            stepRows(r, n);
        }
        std::lock_guard<std::mutex> lock(m);
        range.merge(local);
    });
    if (shrank) throw Error(fits::kMsgUnknownFormat);

    const ScaleRange sr = scaleRange(range.any, range.minimum, range.maximum);
    const double span = sr.maximum - sr.minimum;
    parallelRows(j.height, blockRows(j.width, B), [&](int first, int last) {
        for (int r = first; r < last; r += k) {
            const int n = std::min(k, last - r);
            const bool read = view.access([&] {
                fits::mapScaled(bitpix, bytes + r * rowBytes, static_cast<std::size_t>(n) * j.width,
                                j.dst + static_cast<std::size_t>(r) * j.width, sr.minimum, span);
            });
            if (!read) {
                shrank = true;
                return;
            }
            stepRows(r, n);
        }
    });
    if (shrank) throw Error(fits::kMsgUnknownFormat);
}

void readPlane(long long bitpix, const PlaneJob& j, memory::Buffer<std::byte>& values) {
    switch (bitpix) {
    case 8: readPlane8(j); break;
    case 16: readPlane16(j); break;
    default: readPlaneScaled(bitpix, j, values); break;
    }
}

// --- image -----------------------------------------------------------------------------

void fillInfo(Image& image, const HeaderState& s, std::string_view path) {
    ImageInfo* info = nullptr;
    if (image.BeginInfoWrite(info) != 0) throw Error(msg::unexpected(12));
    info->exposureTime = s.exposure;
    info->temperature = s.temperature;
    info->longitude = s.longitude;
    info->latitude = s.latitude;
    setText(info->date, s.date);
    setText(info->time, s.time);
    setText(info->siderealTime, s.siderealTime);
    info->julianDate = s.julianDate;
    info->comments.clear();
    for (const auto& c : s.comments) info->addComment(c);
    auto offset = [](long long v) { return static_cast<int>(std::clamp(v, -65536LL, 65536LL)); };
    info->bayer.pattern = s.bayerPattern.substr(0, 16);
    info->bayer.rowOrder = s.rowOrder.substr(0, 16);
    info->bayer.xOffset = offset(s.bayerXOffset);
    info->bayer.yOffset = offset(s.bayerYOffset);
    info->bayer.hasXOffset = s.hasBayerXOffset;
    info->bayer.hasYOffset = s.hasBayerYOffset;
    info->wcs = parseWcs(s.wcsCards);
    info->pointing = {s.focalLength, s.pixelSize, s.pointingRa, s.pointingDec};
    setText(info->sourcePath, path);
    image.EndInfoWrite();
}

void fillDisplay(Image& image, const HeaderState& s) {
    StoredDisplayParams& d = image.storedDisplay();
    d.clear();
    for (int c = 0; c < 4; ++c)
        d.lrgbBias[static_cast<std::size_t>(c)] =
            static_cast<std::int16_t>(s.lrgbBias[static_cast<std::size_t>(c)]);
    d.exponent = s.exponent;
    if (s.black[0].value(0) != 0 || s.white[0].value(0) != 0) {
        d.hasPoints = true;
        for (std::size_t c = 0; c < 3; ++c) {
            d.blackPoint[c] = static_cast<std::int16_t>(s.black[c].value(0));
            d.whitePoint[c] = static_cast<std::int16_t>(s.white[c].value(0));
        }
    }
    if (s.weight[0].value(0.0f) != 0.0f) {
        d.hasWeights = true;
        for (std::size_t c = 0; c < 3; ++c) {
            float w = s.weight[c].value(0.0f);
            d.channelWeight[c] = w == 0.0f ? 1.0f : w;
        }
    }
    if (image.type() == USERDEFINED_IMAGE) {
        auto n = static_cast<std::size_t>(image.layerCount());
        d.layerMatrix.assign(3 * n, 0.0f);
        for (std::size_t row = 0; row < 3; ++row)
            for (std::size_t l = 0; l < n; ++l) d.layerMatrix[row * n + l] = s.matrix[row][l];
    }
}

void readImage(const ByteSource& file, Image& image, Progress& progress, std::string_view path) {
    HeaderState s;
    std::uint64_t dataStart = scanHeader(file, 0, s);
    fits::TileCompression compressed;
    bool isCompressed = false;
    if (s.end && s.simpleTrue && s.naxis == 0)
        findImageExtension(file, s, dataStart, compressed, isCompressed);

    // Validation: the last message that applies is the one raised.
    const char* pending = nullptr;
    if (!supportedBitpix(s.bitpix)) pending = fits::kMsgNotSupported;
    if (s.naxis != 2 && s.naxis != 3) pending = fits::kMsgNotSupported;
    if (!s.simpleTrue) pending = fits::kMsgNotSupported;
    if (!s.end) pending = fits::kMsgUnknownFormat;
    if (pending) throw Error(pending);

    std::uint16_t type = s.type;
    if (type == NO_IMAGE)
        type = s.naxis3 == 1 ? BW_IMAGE : (s.naxis3 == 3 ? RGB_IMAGE : USERDEFINED_IMAGE);
    long long layers = s.naxis3 - (s.overlay ? 1 : 0);
    std::vector<std::string> names(s.layerNames.begin(), s.layerNames.end());
    if (image.Define(clampInt(s.naxis1), clampInt(s.naxis2), type, s.overlay, clampInt(layers),
                     &names) == 0)
        throw Error(msg::kInvalidSize);

    // A compressed image is decoded first (its table checked against the file); the planes
    // are then read from the decoded bytes as from an uncompressed data section.
    const ByteSource* source = &file;
    memory::Buffer<std::uint8_t> decoded;
    std::optional<MemorySource> decodedSource;
    if (isCompressed) {
        decoded = fits::decodeTiles(file, dataStart, compressed, image.planeCount());
        source = &decodedSource.emplace(decoded.data(), decoded.size());
        dataStart = 0;
    }
    const ByteSource& src = *source;

    // The data must be in the file before anything is allocated for them.
    const int width = image.width(), height = image.height();
    const std::uint64_t bytesPerSample =
        static_cast<std::uint64_t>(s.bitpix < 0 ? -s.bitpix : s.bitpix) / 8;
    const std::uint64_t planeBytes = static_cast<std::uint64_t>(width) * height * bytesPerSample;
    const std::uint64_t available = src.size() - dataStart;
    const long long filePlanes = std::max<long long>(0, s.naxis3);
    // A file without any plane is no image; missing planes of a type are zero-filled only
    // behind at least one plane read, so the allocation stays bounded by the file's size.
    // (A decoded image holds only the planes the Image takes.)
    const long long presentPlanes =
        isCompressed ? std::min<long long>(filePlanes, image.planeCount()) : filePlanes;
    if (filePlanes == 0 || static_cast<std::uint64_t>(presentPlanes) > available / planeBytes)
        throw Error(fits::kMsgUnknownFormat);

    image.SetPixelSize(s.pixelWidth.value(64.0f), s.pixelHeight.value(64.0f));
    if (image.AllocateSamples(false) != 0) throw Error(msg::kOutOfMemory);
    for (int p = 0; p < image.planeCount(); ++p)
        prepareFreshMemory(image.planeData(p),
                           static_cast<std::size_t>(width) * height * sizeof(Sample));
    fillInfo(image, s, path);

    progress.begin("FITS öffnen", static_cast<long long>(height) * filePlanes, 1);
    ImageHeader header;
    if (image.BeginSampleWrite(header) != 0) throw Error(msg::unexpected(11));
    const int planes = image.planeCount();
    const int readPlanes = static_cast<int>(std::min<long long>(filePlanes, planes));
    memory::Buffer<std::byte> values; // raw bytes of the scaled formats when not mapped
    for (int p = 0; p < readPlanes; ++p)
        readPlane(s.bitpix,
                  PlaneJob{src, dataStart + planeBytes * static_cast<std::uint64_t>(p), width,
                           height, image.planeData(p), progress},
                  values);
    for (int p = readPlanes; p < planes; ++p)
        std::fill_n(image.planeData(p), static_cast<std::size_t>(width) * height, Sample{0});
    image.EndSampleWrite();
    fillDisplay(image, s);
    progress.end();
}

void readGuarded(const ByteSource& src, Image& image, Progress& progress, std::string_view path) {
    detail::guardedRead(image, progress, [&] { readImage(src, image, progress, path); });
}

// A gzip stream is inflated as far as the image needs and read from memory.
void readSource(const ByteSource& src, Image& image, Progress& progress, std::string_view path) {
    if (!fits::isGzip(src)) return readGuarded(src, image, progress, path);
    detail::guardedRead(image, progress, [&] {
        std::size_t size = 0;
        const memory::Buffer<std::uint8_t> bytes = fits::inflateFits(src, size);
        MemorySource inflated(bytes.data(), size);
        readImage(inflated, image, progress, path);
    });
}

} // namespace

void readFits(const std::string& path, Image& image, Progress& progress) {
    FileSource src(path, fits::kMsgCannotOpen);
    if (!src.regularFile()) throw Error(fits::kMsgCannotOpen);
    readSource(src, image, progress, path);
}

std::string fitsCompression(const std::string& path) {
    try {
        FileSource src(path, fits::kMsgCannotOpen);
        if (fits::isGzip(src)) return "gzip";
        HeaderState s;
        std::uint64_t dataStart = scanHeader(src, 0, s);
        fits::TileCompression t;
        bool compressed = false;
        if (s.end && s.simpleTrue && s.naxis == 0)
            findImageExtension(src, s, dataStart, t, compressed);
        if (!compressed) return {};
        std::string text = t.method + ", Kacheln";
        for (std::size_t i = 0; i < t.tiles.size(); ++i)
            text += (i ? " x " : " ") + std::to_string(t.tiles[i]);
        return text;
    } catch (const Error&) {
        return {};
    }
}

void readFitsMemory(const void* data, std::size_t size, Image& image, Progress& progress,
                    std::string_view sourcePath) {
    MemorySource src(data, size);
    readSource(src, image, progress, sourcePath);
}

} // namespace quillon
