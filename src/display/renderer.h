// ImageRenderer: a view's display parameters, its three lookup tables and the rendering of
// an Image into pictures.
//
// Every view (and every preview) owns one. The adjustable part is DisplayParams; from it
// rebuildLut computes three 65536-entry tables (R, G, B; index = composed value + 32768)
// that map a composed 16-bit value to 0..255. The composed values come from the renderer's
// Composition (core/composition.h); rendering lives in render.cpp.
// What a view keeps beside its renderer (zoom, histogram window, thumbnail) is
// view_display.h; the counting of the histogram and the automatic presets are
// display/histogram.h.
//
// Callers follow every change of points, exponent, switches or matrix with rebuildLut and a
// redraw, except setSwitches, which rebuilds itself.
#pragma once

#include "core/composition.h"
#include "core/display_params.h"
#include "core/image.h"
#include "core/picture.h"
#include "core/progress.h"
#include "display/lut.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

namespace quillon {

// The blockColour result for blocks that do not lie inside the image.
inline constexpr std::uint32_t kOutsideMarker = 0xFFFFFFFFu;

// The display colour 0x00RRGGBB of the blockW × blockH block at (x, y) of a composition
// through the tables, with the image's overlay over it when withOverlay; kOutsideMarker when
// the block leaves the image or there are no tables. The composed values are written to
// `values` when given (also without tables).
std::uint32_t blockColour(const Composition& composition, const ColourTables& tables, int x, int y,
                          int blockW, int blockH, bool withOverlay, Composed* values = nullptr);

// renderRect arguments besides the rectangle. zoomY 0 means zoomY = zoomX. background is a
// 0x00RRGGBB colour.
struct RenderOptions {
    double zoomX = 1.0;
    double zoomY = 0.0;
    bool allowOverlay = true;
    bool greyRequest = false;
    std::uint32_t background = 0;
    bool monochromeDevice = false;
    bool previewOutput = false;
};

// renderRect results.
enum RenderResult {
    RENDER_OK = 0,
    RENDER_NO_HEADER = 2,     // image not defined
    RENDER_NO_PICTURE = 3,    // no picture buffer given
    RENDER_OUT_OF_MEMORY = 4, // picture buffer could not be allocated (kOutOfMemoryBitmap)
    RENDER_BAD_ZOOM = 5,      // zoom not a positive finite number
    RENDER_NO_SAMPLES = 100,  // image without samples
    RENDER_NO_TABLES = 101,   // the renderer could not allocate its tables
};

// Optional switches for setSwitches: only the given ones change.
struct Switches {
    std::optional<bool> invert;
    std::optional<bool> periodic;
    std::optional<int> lutType;
    std::optional<int> palette;
};

class ImageRenderer;
struct HistogramCache;
// The automatic preset initFromImage falls back to (display/histogram.h: autoScale).
using AutomaticPoints = int (*)(ImageRenderer& renderer, int preset, Progress& progress);

class ImageRenderer {
public:
    // Allocates the tables (when that fails the renderer has none and rendering reports
    // RENDER_NO_TABLES) and sets the defaults; a user-defined image gets a zero matrix.
    // The image must outlive the renderer.
    explicit ImageRenderer(Image& image);
    ImageRenderer(const ImageRenderer&) = delete;
    ImageRenderer& operator=(const ImageRenderer&) = delete;

    Image& image() { return *image_; }
    const Image& image() const { return *image_; }
    // A number unique to this renderer in the process (never 0): what the histogram cache
    // records as the renderer its counts belong to.
    std::uint64_t id() const { return id_; }
    // The histogram counts of the image, shared with every other renderer of it
    // (display/histogram_cache.h).
    HistogramCache& histogram() const { return *histogram_; }
    // Advances with every change of the tables or of what is composed (points, switches,
    // overlay, LRGB bias, layer matrix), so that cached pictures can tell they are stale.
    std::uint64_t displayVersion() const { return version_; }
    const DisplayParams& params() const { return p_; }
    // How the image's layers combine under this renderer's parameters.
    const Composition& composition() const { return composition_; }
    bool hasTables() const { return !tables_.empty(); }
    // Pixel tables derived from the byte tables (see packed_); null without tables.
    const std::uint32_t* packedTable(int index) const {
        return packed_.empty() ? nullptr
                               : packed_.data() + static_cast<std::size_t>(index) * kLutSize;
    }
    // All packed tables; null pointers without tables.
    ColourTables colourTables() const {
        return {packedTable(0), packedTable(1), packedTable(2), packedTable(3)};
    }
    // Table of a channel, 65536 entries indexed by lutIndex(value); null without tables.
    const std::uint8_t* table(int channel) const {
        return tables_.empty() ? nullptr
                               : tables_.data() + static_cast<std::size_t>(channel) * kLutSize;
    }

    // --- display parameters ----------------------------------------------------------------
    // Initialises from the Image's stored display record ("Reset", first view). Without
    // stored points, `automatic` chooses them (preset 6) once the composition is set up.
    void initFromImage(AutomaticPoints automatic);
    // Fills an image's stored record from this renderer (what the FITS writer saves for the
    // active view). withTables also keeps the tables and switches, as a derived image does
    // to inherit the exact display of the view it was made from.
    void storeInto(StoredDisplayParams& s, bool withTables = false) const;
    // Copies every parameter and the tables.
    void copyFromRenderer(const ImageRenderer& other);
    // Null leaves the points; exponent 0 leaves the exponent, any other value is clamped to
    // 0.1..10. Given points with black == white get white + 1 (black - 1 at 32767).
    void setPoints(const Points* black, const Points* white, float exponent = 0.0f);
    // Stores the given switches (palette forced to 0 unless BW_IMAGE; lutType outside 0..2
    // and palette outside 0..2 count as 0) and rebuilds.
    void setSwitches(const Switches& s);
    // Stores the weights (values not above 0, and NaN, become 0.01); moves no point.
    void setWeights(const std::array<float, 3>& w);
    // Stores the LRGB bias, recomputes lrgbOffset and marks the histogram counts stale.
    void setLrgbBias(int l, int r, int g, int b);
    void setKeepRatio(bool on) { p_.keepRatio = on; }
    void setShowOverlay(bool on);
    // Sets the user-defined layer matrix (3 rows of layerCount coefficients, row-major);
    // a wrong size is ignored. Marks the histogram counts stale.
    void setLayerMatrix(const std::vector<float>& m);
    // Default matrix of a user-defined image with n layers.
    static std::vector<float> defaultLayerMatrix(int n);
    // Rewrites white so that every channel's weighted range equals the largest one.
    void balanceToWeights(const Points& black, Points& white) const;
    // Recomputes all three tables. Fast enough to run on every slider movement.
    void rebuildLut();

    // --- rendering (render.cpp) -----------------------------------------------------------
    // The display colour 0x00RRGGBB of the blockW × blockH block at (x, y), or
    // kOutsideMarker when the block leaves the image (or nothing can be composed). The
    // composed values are written to `values` when given.
    std::uint32_t blockColour(int x, int y, int blockW, int blockH, bool withOverlay,
                              Composed* values = nullptr) const {
        return quillon::blockColour(composition_, colourTables(), x, y, blockW, blockH, withOverlay,
                                    values);
    }
    // Renders the rectangle [left, right) × [top, bottom) of the zoomed image into picture.
    int renderRect(int left, int top, int right, int bottom, Picture* picture,
                   const RenderOptions& opt = {}) const;

private:
    void recomputeOffsets();
    void packTables();
    void changed() { ++version_; }
    void invalidateHistogram();

    Image* image_;
    std::uint64_t id_;
    std::shared_ptr<HistogramCache> histogram_;
    std::uint64_t version_ = 1;
    DisplayParams p_;
    Composition composition_{*image_, p_};

    memory::Buffer<std::uint8_t> tables_; // 3 × 65536
    // The same entries as ready-to-OR picture pixels: table R as 0xFFRR0000, G as
    // 0x0000GG00, B as 0x000000BB, and for grey images the whole colour of a value, so the
    // renderer does one lookup per channel (one per pixel for grey) and no shifts.
    memory::Buffer<std::uint32_t> packed_; // 4 × 65536
};

} // namespace quillon
