// Windows metafiles rendered through libwmf's raster device at 72 dots per inch onto a white
// picture. Enhanced metafiles have no renderer on this platform and are refused clearly.
#include "core/error.h"
#include "formats/byte_source.h"
#include "formats/codecs.h"

#include <cmath>
#include <cstdlib>
#include <vector>

#include <libwmf/api.h>
#include <libwmf/gd.h>
#include <libwmf/gd/gd.h>

namespace quillon {

namespace {

// libwmf's API object, destroyed on every path.
struct WmfApi {
    wmfAPI* api = nullptr;
    ~WmfApi() {
        if (api) wmf_api_destroy(api);
    }
};

const char* wmfText(wmf_error_t e) {
    switch (e) {
    case wmf_E_InsMem: return "WMF: out of memory while rendering.";
    case wmf_E_BadFile: return "WMF: the file cannot be read.";
    case wmf_E_BadFormat: return "WMF: the metafile is damaged.";
    case wmf_E_EOF: return "WMF: the metafile is incomplete.";
    default: return "WMF: the metafile cannot be rendered.";
    }
}

// libwmf allocates the largest record the header announces before it reads any record, so a
// few damaged bytes could ask for gigabytes. No record can be longer than the file.
void checkWmfHeader(const std::uint8_t* data, std::size_t size) {
    std::size_t at = le32(data) == 0x9AC6CDD7u ? 22 : 0; // the placeable header comes first
    if (size < at + 18) throw Error("WMF: the metafile is incomplete.");
    const std::uint64_t maxRecordBytes = 2ull * le32(data + at + 12);
    if (maxRecordBytes > size) throw Error("WMF: the metafile is damaged.");
}

} // namespace

void decodeWmf(const std::uint8_t* data, std::size_t size, Bitmap& out) {
    if (size < 18) throw Error("WMF: the metafile is incomplete.");
    checkWmfHeader(data, size);
    WmfApi h;
    wmfAPI_Options options{};
    options.function = wmf_gd_function;
    unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR;
    if (wmf_api_create(&h.api, flags, &options) != wmf_E_None) {
        h.api = nullptr;
        throw Error("WMF: the metafile renderer cannot be started.");
    }
    // libwmf reads the block in place and does not change it.
    std::vector<unsigned char> copy(data, data + size);
    wmf_error_t e = wmf_mem_open(h.api, copy.data(), static_cast<long>(copy.size()));
    if (e != wmf_E_None) throw Error(wmfText(e));
    wmfD_Rect bbox{};
    e = wmf_scan(h.api, 0, &bbox);
    if (e != wmf_E_None) throw Error(wmfText(e));
    unsigned int w = 0, hgt = 0;
    e = wmf_display_size(h.api, &w, &hgt, 72, 72);
    if (e != wmf_E_None) throw Error(wmfText(e));
    checkBitmapSize(w, hgt);
    wmf_gd_t* dev = WMF_GD_GetData(h.api);
    dev->type = wmf_gd_image;
    dev->bbox = bbox;
    dev->width = w;
    dev->height = hgt;
    e = wmf_play(h.api, 0, &bbox);
    if (e != wmf_E_None || !dev->gd_image) throw Error(wmfText(e));
    // In this mode the picture belongs to the caller, and libwmf exports no function to free
    // it: its record, row table and pixel array are released here.
    struct GdPicture {
        gdImagePtr image;
        ~GdPicture() {
            if (!image) return;
            std::free(image->tpixels);
            std::free(image->_tpixels);
            std::free(image);
        }
    } picture{static_cast<gdImagePtr>(dev->gd_image)};
    dev->gd_image = nullptr;
    const int* px = picture.image->_tpixels;
    if (!px) throw Error("WMF: the metafile cannot be rendered.");
    out.create(static_cast<int>(w), static_cast<int>(hgt), 32);
    for (unsigned y = 0; y < hgt; ++y) {
        for (unsigned x = 0; x < w; ++x) {
            auto v = static_cast<std::uint32_t>(px[static_cast<std::size_t>(y) * w + x]);
            out.setRgb(static_cast<int>(x), static_cast<int>(y), (v >> 16) & 0xFF, (v >> 8) & 0xFF,
                       v & 0xFF);
        }
    }
}

} // namespace quillon
