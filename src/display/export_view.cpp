// The export command: the view's whole image rendered at scale 1, handed to the encoders.
#include "display/export_view.h"

#include "core/error.h"
#include "display/renderer.h"
#include "formats/raster_export.h"

namespace quillon {

void exportView(const ImageRenderer& renderer, const std::string& path) {
    const ExportEncoder encoder = encoderForExport(path);
    const Image& image = renderer.image();
    Picture picture;
    RenderOptions options;
    options.zoomX = 1.0;
    options.greyRequest = exportKeepsGrey(encoder);
    if (renderer.renderRect(0, 0, image.width(), image.height(), &picture, options) != RENDER_OK)
        throw Error(exportFailureMessage(msg::unexpected(61)));
    exportPicture(picture, path);
}

} // namespace quillon
