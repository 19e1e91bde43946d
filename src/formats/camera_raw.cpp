// Camera RAW import: drives LibRaw (identification, unpacking, VNG demosaicing, colour
// conversion, orientation) and turns its 16-bit RGB result into an RGB Image.
#include "formats/camera_raw.h"

#include "core/error.h"
#include "formats/reader_util.h"

#include <cstdio>
#include <memory>
#include <new>

#include <libraw/libraw.h>

namespace quillon {

namespace {

// The decoder and its buffers are released on every path, failures included.
struct RawDecoder {
    std::unique_ptr<LibRaw> raw{new (std::nothrow) LibRaw(LIBRAW_OPTIONS_NONE)};
    libraw_processed_image_t* picture = nullptr;
    ~RawDecoder() {
        if (picture) LibRaw::dcraw_clear_mem(picture);
        if (raw) raw->recycle();
    }
};

[[noreturn]] void decoderFailed() {
    throw Error(cameraRaw::kReadFailed);
}

// Decodes an opened file or buffer; `sourceSize` bounds the sensor size a header may claim.
void decode(RawDecoder& dec, std::uint64_t sourceSize, Image& image, Progress& progress) {
    LibRaw& raw = *dec.raw;
    auto& s = raw.imgdata.sizes;
    // A sensor far bigger than the file could hold (even packed at one bit per pixel and
    // compressed eightfold) is a damaged or hostile header: refuse it before unpacking.
    const std::uint64_t sensor = static_cast<std::uint64_t>(s.raw_width) * s.raw_height;
    if (sensor == 0 || sensor / 64 > sourceSize) decoderFailed();
    if (s.width > kMaxImageSize + 2 || s.height > kMaxImageSize + 2) throw Error(msg::kInvalidSize);

    char title[160];
    std::snprintf(title, sizeof title, "%s %s Datei", raw.imgdata.idata.make,
                  raw.imgdata.idata.model);
    progress.begin(title, 1, 1);
    if (raw.unpack() != LIBRAW_SUCCESS) decoderFailed();
    if (raw.dcraw_process() != LIBRAW_SUCCESS) decoderFailed();
    progress.step();
    progress.begin(cameraRaw::kConvert, 1, 1);
    int err = 0;
    dec.picture = raw.dcraw_make_mem_image(&err);
    if (!dec.picture || err != LIBRAW_SUCCESS) decoderFailed();
    const auto* pic = dec.picture;
    if (pic->type != LIBRAW_IMAGE_BITMAP || pic->colors != 3 || pic->bits != 16) decoderFailed();
    progress.step();
    // VNG leaves a one-pixel border that it cannot interpolate; other sensors have none.
    const bool vng = raw.imgdata.idata.filters != 0 && raw.imgdata.idata.colors == 3 &&
                     !raw.imgdata.params.half_size;
    importRawRgb(reinterpret_cast<const std::uint16_t*>(pic->data), pic->width, pic->height,
                 vng ? 1 : 0, raw.imgdata.params.bright, image, progress);
}

void configure(LibRaw& raw) {
    auto& p = raw.imgdata.params;
    p.bright = 1.0f;
    p.half_size = 0;
    p.user_qual = 2; // VNG
    p.four_color_rgb = 0;
    p.use_fuji_rotate = 1;
    p.user_flip = -1;   // the camera's stored orientation
    p.output_color = 1; // sRGB primaries
    p.output_bps = 16;
    p.gamm[0] = 1.0; // linear
    p.gamm[1] = 1.0;
    p.no_auto_bright = 1;
    p.use_camera_wb = 1;
}

template <class Open>
void readWith(Open&& open, std::uint64_t sourceSize, Image& image, Progress& progress) {
    detail::guardedRead(image, progress, [&] {
        progress.begin(cameraRaw::kAnalyse, 1, 1);
        RawDecoder dec;
        if (!dec.raw) throw std::bad_alloc();
        configure(*dec.raw);
        if (open(*dec.raw) != LIBRAW_SUCCESS) throw NotACameraFile();
        progress.step();
        decode(dec, sourceSize, image, progress);
        progress.end();
    });
}

} // namespace

void importRawRgb(const std::uint16_t* rgb, int width, int height, int border, float brightness,
                  Image& image, Progress& progress) {
    const int w = width - 2 * border, h = height - 2 * border;
    progress.begin(cameraRaw::kBuild, h, 10);
    if (image.Define(w, h, RGB_IMAGE, false) == 0) throw Error(msg::kInvalidSize);
    if (image.AllocateSamples(false) != 0) throw Error(msg::kOutOfMemory);
    auto value = [&](int x, int y, int c) {
        float v =
            rgb[(static_cast<std::size_t>(y + border) * width + (x + border)) * 3 + c] * brightness;
        return v >= 65535.0f ? 65535u : (v > 0 ? static_cast<unsigned>(v) : 0u);
    };
    long long over = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) over += value(x, y, c) > 32767;
    const bool halve = static_cast<double>(over) / w / h / 3 > 0.005;
    detail::SampleAccess samples(image);
    for (int y = 0; y < h; ++y) {
        for (int c = 0; c < 3; ++c) {
            Sample* dst = samples.row(c, y);
            for (int x = 0; x < w; ++x) {
                unsigned v = value(x, y, c);
                dst[x] = static_cast<Sample>(halve ? v / 2 : (v > 32767 ? 32767 : v));
            }
        }
        progress.step();
    }
}

void readCameraRaw(const std::string& path, Image& image, Progress& progress) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) throw NotACameraFile();
    std::uint64_t size = 0;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        long end = std::ftell(f);
        if (end > 0) size = static_cast<std::uint64_t>(end);
    }
    std::fclose(f);
    readWith([&](LibRaw& raw) { return raw.open_file(path.c_str()); }, size, image, progress);
}

void readCameraRawMemory(const std::uint8_t* data, std::size_t size, Image& image,
                         Progress& progress) {
    readWith([&](LibRaw& raw) { return raw.open_buffer(const_cast<std::uint8_t*>(data), size); },
             size, image, progress);
}

} // namespace quillon
