// The filter framework: derived images, the filter contract, the preview computation and the
// preview window's arithmetic (the command table is filters/command_table.h).
//
// A filter reads a source Image and writes a destination Image created from the source's
// description (type, layers, names, pixel size, overlay and metadata) minus the filter's size
// reduction. The GUI's dialogs only gather parameters, build a Filter and call applyFilter
// (result document) or computePreview (preview piece); the CLI does the same.
#pragma once

#include "core/image.h"
#include "core/new_document.h"
#include "core/progress.h"
#include "filters/command_table.h"
#include "filters/layer_selection.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillon {

// ---- derived images ----------------------------------------------------------------------

// What a new image inherits from its source: the creation parameters of a derived document
// (type, size, layers and their names, pixel size, overlay and a copy of the metadata), the
// same record "Neu" and the GUI's derived documents use; `createImage` (core/new_document.h)
// makes the image from it.
using DerivedImageDescription = NewDocumentParams;

// The source's description with the size reduced by the given amounts.
DerivedImageDescription describeDerived(const Image& source, int widthReduction = 0,
                                        int heightReduction = 0);

// ---- the filter contract -----------------------------------------------------------------

// What a filter run reports besides its result; a filter that cannot work on an image throws
// Error instead (see core/error.h).
struct FilterOutcome {
    bool zeroSum = false;    // the kernel sums to 0: show the result centred on 0
    long long replaced = -1; // pixels replaced (threshold noise filter), else -1
};

class Filter {
public:
    virtual ~Filter() = default;
    // Title of the result document ("Hochpassfilter", ...).
    virtual const char* title() const = 0;
    // How much smaller than the source the result is, in each direction.
    virtual int widthReduction() const = 0;
    virtual int heightReduction() const = 0;
    // Computes the result of `source` into `destination`, which has the source's description
    // reduced as above. Layers outside `mask` are copied from the matching centre region.
    // Throws Error when it cannot work on these images (nothing written then).
    virtual FilterOutcome run(Image& destination, const Image& source, LayerMask mask,
                              Progress& progress) const = 0;
};

// makeDocument set: the whole source into a new image (description with the reduction and
// the source's metadata). Throws Error when the image cannot be created; Cancelled when the
// progress sink asks to stop. `outcome` may be null.
std::unique_ptr<Image> applyFilter(const Filter& filter, const Image& source, LayerMask mask,
                                   Progress& progress, FilterOutcome* outcome = nullptr);

// ---- display of zero-sum results ------------------------------------------------------------

// Black and white points centred on 0 with the source view's contrast, per display channel:
// black = -(w - b) / 2, white = black + (w - b) (kept within the sample range).
struct DisplayPoints {
    std::array<std::int16_t, 3> black{};
    std::array<std::int16_t, 3> white{};
};
DisplayPoints centredDisplayPoints(const std::array<std::int16_t, 3>& black,
                                   const std::array<std::int16_t, 3>& white);

// ---- preview -------------------------------------------------------------------------------

// The piece of the source image a preview shows, in image pixels.
struct PreviewPiece {
    int left = 0, top = 0, width = 0, height = 0;
};

// Piece size from the panel size and zoom (percent), top-left from the scroll position (in
// zoomed pixels); pulled inside the image.
PreviewPiece previewPiece(int panelWidth, int panelHeight, float zoom, int scrollX, int scrollY,
                          int imageWidth, int imageHeight);

// The piece cut out of the source: colour layers only, no overlay. Null when it cannot be
// allocated or does not lie inside the source.
std::unique_ptr<Image> cropPreviewPiece(const Image& source, const PreviewPiece& piece);

// makeDocument clear: crops the piece (colour layers only, no overlay) and runs the filter on
// it. Returns null when the piece cannot be allocated or the filter cannot work on it.
std::unique_ptr<Image> computePreview(const Filter& filter, const Image& source,
                                      const PreviewPiece& piece, LayerMask mask,
                                      FilterOutcome* outcome = nullptr);

// The zoom rules of the preview: at least 50 %, at most the image's display zoom limit,
// at least 20 image pixels per panel direction, never an image smaller than the panel.
float clampPreviewZoom(float zoom, int imageWidth, int imageHeight, int panelWidth,
                       int panelHeight);
// The "+" and "-" buttons: next zoom factor (zoom / 100) up or down: …, 1/3, 1/2, 1, 2, …
float previewZoomIn(float factor);
float previewZoomOut(float factor);
// Scroll position of one axis after a zoom change, keeping the panel centre in place,
// clamped to 0 … maxScroll (the scroll range minus one page).
int scrollAfterZoom(int scroll, int panelExtent, float oldZoom, float newZoom, int maxScroll);

// The preview window position setting: x in the high 16 bits, y in the low 16 bits.
std::uint32_t packWindowPoint(int x, int y);
void unpackWindowPoint(std::uint32_t packed, int& x, int& y);

} // namespace quillon
