// The export command: the view's whole image rendered at scale 1, handed to the encoders.
#include "display/export_view.h"

#include "core/error.h"
#include "display/renderer.h"
#include "formats/raster_export.h"

#include <memory>

namespace quillon {

void exportView(const ImageRenderer& renderer, const std::string& path) {
    const ExportEncoder encoder = encoderForExport(path);
    const Image& image = renderer.image();
    auto picture = std::make_shared<Picture>();
    RenderOptions options;
    options.zoomX = 1.0;
    options.greyRequest = encoder == ExportEncoder::Tiff || encoder == ExportEncoder::Bmp;
    if (renderer.renderRect(0, 0, image.width(), image.height(), picture.get(), options) !=
        RENDER_OK)
        throw Error(exportFailureMessage(msg::unexpected(61)));
    ExportPicture p;
    p.width = picture->width();
    p.height = picture->height();
    p.greyDisplay = picture->format() == PictureFormat::Grey8;
    p.renderRow = [picture](int y, std::uint8_t* row) {
        for (int x = 0; x < picture->width(); ++x) {
            std::uint32_t c = picture->rgbAt(x, y);
            row[4 * x] = static_cast<std::uint8_t>(blueOf(c));
            row[4 * x + 1] = static_cast<std::uint8_t>(greenOf(c));
            row[4 * x + 2] = static_cast<std::uint8_t>(redOf(c));
            row[4 * x + 3] = 255;
        }
    };
    exportPicture(p, path);
}

} // namespace quillon
