// Creation parameters of new documents and the new-image dialog arithmetic.
#include "core/new_document.h"

#include "core/error.h"

#include <algorithm>
#include <cctype>
#include <new>

namespace quillon {

void NewDocumentParams::takeFrom(const Image& source) {
    type = source.type();
    width = source.width();
    height = source.height();
    userLayerCount = source.layerCount();
    layerNames.clear();
    for (int i = 0; i < source.layerCount(); ++i) layerNames.emplace_back(source.layerName(i));
    pixelWidth = source.pixelWidth();
    pixelHeight = source.pixelHeight();
    overlay = source.hasOverlay();
    infoTemplate = source.info();
}

void createImage(const NewDocumentParams& p, Image& image) {
    const std::vector<std::string>* names = p.layerNames.empty() ? nullptr : &p.layerNames;
    int layers = p.type == USERDEFINED_IMAGE ? p.userLayerCount : 0;
    if (image.Define(p.width, p.height, p.type, p.overlay, layers, names) == 0) {
        image.Clear();
        throw Error(msg::kInvalidSize);
    }
    // Define only names user-defined layers; other types keep the names of the source.
    if (p.type != USERDEFINED_IMAGE && names) {
        for (int i = 0; i < image.layerCount() && i < static_cast<int>(names->size()); ++i)
            image.setLayerName(i, (*names)[static_cast<std::size_t>(i)]);
    }
    int rc = 1;
    try {
        rc = image.AllocateSamples(true);
    } catch (const std::bad_alloc&) {
        rc = 1;
    }
    if (rc != 0) {
        image.Clear();
        throw Error(msg::kOutOfMemoryNew);
    }
    image.SetPixelSize(p.pixelWidth, p.pixelHeight);
    image.SetInfoFrom(p.infoTemplate ? &*p.infoTemplate : nullptr);
}

int newImageLayerCount(std::uint16_t type, int layerField) {
    if (type == USERDEFINED_IMAGE) return std::clamp(layerField, 2, kMaxUserLayers);
    return ImageTypeName(type).layerCount;
}

long long newImagePixelCount(int width, int height) {
    return static_cast<long long>(width) * height;
}

long long newImageMemoryKb(int width, int height, int layers, bool overlay) {
    return newImagePixelCount(width, height) * (layers + (overlay ? 1 : 0)) * 2 / 1024;
}

std::string documentPathForSaving(std::string_view path, std::string_view title) {
    auto lower = [](std::string_view s) {
        std::string r(s);
        for (char& c : r) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return r;
    };
    std::string p = lower(path);
    for (std::string_view ext : {".fts", ".fit", ".fits"})
        if (p.size() >= ext.size() && p.compare(p.size() - ext.size(), ext.size(), ext) == 0)
            return std::string(path);
    std::string t(title);
    std::replace(t.begin(), t.end(), '.', '_');
    return t;
}

} // namespace quillon
