// Raster import: grey test, image definition, metadata and the samples of 8-bit, 32-bit and
// 16-bit-per-channel bitmaps. 16-bit data keep their precision by the camera RAW rule: halved
// when more than 0.5 % of the values exceed 32767, else limited to 32767.
#include "formats/raster_import.h"

#include "core/error.h"
#include "formats/codecs.h"
#include "formats/reader_util.h"

#include <cstdlib>

namespace quillon {

namespace {

bool closeEnough(int b, int g, int r, int limit) {
    return std::abs(b - g) <= limit && std::abs(b - r) <= limit;
}

} // namespace

bool bitmapIsGrey(const Bitmap& bmp) {
    switch (bmp.bitCount()) {
    case 8:
        for (const auto& e : bmp.palette())
            if (!closeEnough(e.blue, e.green, e.red, 2)) return false;
        return true;
    case 32:
        for (int y = 0; y < bmp.height(); ++y) {
            const std::uint8_t* p = bmp.row(y);
            for (int x = 0; x < bmp.width(); ++x, p += 4)
                if (!closeEnough(p[0], p[1], p[2], 2)) return false;
        }
        return true;
    case 16: return true;
    case 48:
        // The same tolerance on the 16-bit scale (2 steps of 257).
        for (int y = 0; y < bmp.height(); ++y) {
            const std::uint16_t* p = bmp.row16(y);
            for (int x = 0; x < bmp.width(); ++x, p += 3)
                if (!closeEnough(p[2], p[1], p[0], 2 * 257)) return false;
        }
        return true;
    default: return false;
    }
}

void importBitmap(const Bitmap& bmp, Image& image, const std::string& path, Progress& progress) {
    detail::guardedRead(image, progress, [&] {
        const int bits = bmp.bitCount();
        if (bits != 8 && bits != 32 && bits != 16 && bits != 48) throw Error(msg::kBadBitFormat);
        const bool grey = bitmapIsGrey(bmp);
        const int w = bmp.width(), h = bmp.height();
        if (image.Define(w, h, grey ? BW_IMAGE : RGB_IMAGE, false) == 0)
            throw Error(msg::kInvalidSize);
        image.SetPixelSize(64.0f, 64.0f);
        if (image.AllocateSamples(false) != 0) throw Error(msg::kOutOfMemory);

        // 16-bit data: decide between halving and clipping over all values first.
        bool halve = false;
        if (bmp.deep()) {
            long long over = 0, count = 0;
            for (int y = 0; y < h; ++y) {
                const std::uint16_t* p = bmp.row16(y);
                if (bits == 16 || !grey) {
                    const int n = w * (bits == 16 ? 1 : 3);
                    for (int i = 0; i < n; ++i) over += p[i] > 32767;
                    count += n;
                } else {
                    for (int x = 0; x < w; ++x)
                        over += (p[3 * x] + p[3 * x + 1] + p[3 * x + 2]) / 3 > 32767;
                    count += w;
                }
            }
            halve = static_cast<double>(over) / static_cast<double>(count) > 0.005;
        }
        auto deepSample = [halve](unsigned v) {
            return static_cast<Sample>(halve ? v / 2 : (v > 32767 ? 32767 : v));
        };

        {
            detail::InfoAccess info(image);
            info->exposureTime = info->temperature = info->longitude = info->latitude = 0;
            info->julianDate = 0;
            setText(info->date, "  /  /  ");
            setText(info->time, "  :  :  ");
            setText(info->siderealTime, "  :  :  ");
            info->comments.clear();
            info->addComment(raster::kSourceComment);
            if (bmp.deep())
                info->addComment(halve ? raster::kHalvedComment : raster::kClippedComment);
            setText(info->sourcePath, path);
        }

        detail::ProgressScope scope(progress, raster::kProgressTitle, h, 10);
        detail::SampleAccess samples(image);
        const auto& pal = bmp.palette();
        for (int y = 0; y < h; ++y) {
            Sample* r = samples.row(0, y);
            Sample* g = grey ? nullptr : samples.row(1, y);
            Sample* b = grey ? nullptr : samples.row(2, y);
            if (bits == 8) {
                const std::uint8_t* p = bmp.row(y);
                for (int x = 0; x < w; ++x) {
                    const auto& e = pal[p[x]];
                    if (grey) {
                        r[x] = e.blue;
                    } else {
                        r[x] = e.red, g[x] = e.green, b[x] = e.blue;
                    }
                }
            } else if (bits == 32) {
                const std::uint8_t* p = bmp.row(y);
                for (int x = 0; x < w; ++x, p += 4) {
                    if (grey)
                        r[x] = static_cast<Sample>((p[0] + p[1] + p[2]) / 3);
                    else
                        r[x] = p[2], g[x] = p[1], b[x] = p[0];
                }
            } else if (bits == 16) {
                const std::uint16_t* p = bmp.row16(y);
                for (int x = 0; x < w; ++x) r[x] = deepSample(p[x]);
            } else {
                const std::uint16_t* p = bmp.row16(y);
                for (int x = 0; x < w; ++x, p += 3) {
                    if (grey)
                        r[x] = deepSample((p[0] + p[1] + p[2]) / 3u);
                    else
                        r[x] = deepSample(p[0]), g[x] = deepSample(p[1]), b[x] = deepSample(p[2]);
                }
            }
            progress.step();
        }
    });
}

void readRaster(const std::string& path, Image& image, Progress& progress) {
    Bitmap bmp;
    decodeFile(path, bmp);
    importBitmap(bmp, image, path, progress);
}

} // namespace quillon
