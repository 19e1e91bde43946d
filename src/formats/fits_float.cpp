// 32-bit float FITS writer: see fits_float_writer.h.
#include "formats/fits_float.h"

#include "core/atomic_file.h"
#include "core/error.h"
#include "core/new_document.h"
#include "formats/fits_format.h"
#include "formats/fits_writer.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace quillon {
namespace {

void addCard(std::string& out, const std::string& text) {
    std::string card;
    for (char c : text) {
        if (card.size() == fits::kCardSize) break;
        const auto u = static_cast<unsigned char>(c);
        card += u >= 32 && u <= 126 ? c : ' ';
    }
    card.resize(fits::kCardSize, ' ');
    out += card;
}

std::string integerCard(const char* key, long long value) {
    char buf[81];
    std::snprintf(buf, sizeof buf, "%-8s= %20lld", key, value);
    return buf;
}

std::uint32_t toBigEndian(std::uint32_t v) {
    if constexpr (std::endian::native == std::endian::little) return __builtin_bswap32(v);
    return v;
}

} // namespace

void writeFloatFits(const std::string& path, int width, int height, int layers,
                    const std::function<void(int layer, int y, float* values)>& row,
                    const std::vector<std::string>& comments, Progress& progress) {
    if (width <= 0 || height <= 0 || layers <= 0)
        throw std::invalid_argument("writeFloatFits: empty image");
    std::string header;
    addCard(header, "SIMPLE  =                    T");
    addCard(header, integerCard("BITPIX", -32));
    addCard(header, integerCard("NAXIS", layers == 1 ? 2 : 3));
    addCard(header, integerCard("NAXIS1", width));
    addCard(header, integerCard("NAXIS2", height));
    if (layers > 1) addCard(header, integerCard("NAXIS3", layers));
    for (const std::string& c : comments) addCard(header, "COMMENT " + c);
    addCard(header, "END");
    header.resize((header.size() + fits::kBlockSize - 1) / fits::kBlockSize * fits::kBlockSize,
                  ' ');

    progress.begin("FITS schreiben", static_cast<long long>(layers) * height, 1);
    writeFileEndingProgress(progress, [&] {
        AtomicFile file(path, fits::kMsgSaveFailed);
        file.write(header.data(), header.size());
        std::vector<float> values(static_cast<std::size_t>(width));
        std::vector<std::uint32_t> bytes(values.size());
        for (int p = 0; p < layers; ++p) {
            for (int y = 0; y < height; ++y) {
                row(p, y, values.data());
                for (std::size_t i = 0; i < values.size(); ++i)
                    bytes[i] = toBigEndian(std::bit_cast<std::uint32_t>(values[i]));
                file.write(bytes.data(), bytes.size() * 4);
                progress.step();
            }
        }
        const std::uint64_t data = static_cast<std::uint64_t>(layers) *
                                   static_cast<std::uint64_t>(height) *
                                   static_cast<std::uint64_t>(width) * 4;
        const std::size_t pad = static_cast<std::size_t>(
            (fits::kBlockSize - data % fits::kBlockSize) % fits::kBlockSize);
        const char zeros[fits::kBlockSize] = {};
        file.write(zeros, pad);
        file.commit();
    });
}

bool readFloatFrame(const std::string& path, Image& image) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    long long bitpix = 0, naxis = 0, axis[3] = {0, 0, 1};
    double bzero = 0, bscale = 1;
    bool simple = false, end = false;
    std::string card(fits::kCardSize, ' ');
    for (int n = 0; !end && n < 100000; ++n) {
        if (!in.read(card.data(), static_cast<std::streamsize>(card.size()))) return false;
        const std::string key = card.substr(0, 8);
        const std::string value = card.size() > 10 && card[8] == '=' ? card.substr(10, 70) : "";
        auto number = [&] { return std::strtod(value.c_str(), nullptr); };
        if (n == 0) simple = key == "SIMPLE  " && value.find('T') != std::string::npos;
        if (key == "BITPIX  ")
            bitpix = std::lround(number());
        else if (key == "NAXIS   ")
            naxis = std::lround(number());
        else if (key == "NAXIS1  ")
            axis[0] = std::lround(number());
        else if (key == "NAXIS2  ")
            axis[1] = std::lround(number());
        else if (key == "NAXIS3  ")
            axis[2] = std::lround(number());
        else if (key == "BZERO   ")
            bzero = number();
        else if (key == "BSCALE  ")
            bscale = number();
        else if (key == "END     ")
            end = true;
    }
    if (!simple || !end || (bitpix != -32 && bitpix != -64) || (naxis != 2 && naxis != 3) ||
        (axis[2] != 1 && axis[2] != 3) || axis[0] < kMinImageSize || axis[1] < kMinImageSize ||
        axis[0] > kMaxImageSize || axis[1] > kMaxImageSize)
        return false;
    const std::streamoff cards = in.tellg();
    in.seekg((cards + static_cast<std::streamoff>(fits::kBlockSize) - 1) /
             static_cast<std::streamoff>(fits::kBlockSize) *
             static_cast<std::streamoff>(fits::kBlockSize));
    const int w = static_cast<int>(axis[0]), h = static_cast<int>(axis[1]);
    const int planes = static_cast<int>(axis[2]);
    const std::size_t bytes = bitpix == -32 ? 4 : 8;
    NewDocumentParams p;
    p.type = planes == 3 ? RGB_IMAGE : BW_IMAGE;
    p.width = w;
    p.height = h;
    Image frame;
    createImage(p, frame);
    std::vector<unsigned char> raw(static_cast<std::size_t>(w) * bytes);
    for (int layer = 0; layer < planes; ++layer) {
        for (int y = 0; y < h; ++y) {
            if (!in.read(reinterpret_cast<char*>(raw.data()),
                         static_cast<std::streamsize>(raw.size())))
                throw Error("Die Datei \"" + path + "\" ist kürzer als ihr Kopf angibt.");
            Sample* out = frame.row(layer, y);
            for (int x = 0; x < w; ++x) {
                const unsigned char* b = raw.data() + static_cast<std::size_t>(x) * bytes;
                double v = 0;
                if (bytes == 4) {
                    std::uint32_t u = 0;
                    for (int i = 0; i < 4; ++i) u = u << 8 | b[i];
                    v = std::bit_cast<float>(u);
                } else {
                    std::uint64_t u = 0;
                    for (int i = 0; i < 8; ++i) u = u << 8 | b[i];
                    v = std::bit_cast<double>(u);
                }
                v = v * bscale + bzero;
                if (v != v) v = 0;
                if (v <= -32768.5 || v >= 32767.5) return false;
                out[x] = static_cast<Sample>(std::lround(v));
            }
        }
    }
    frame.samplesChanged();
    image = std::move(frame);
    return true;
}

} // namespace quillon
