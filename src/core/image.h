// The image record: a stack of equally sized planes of signed 16-bit samples.
//
// Planes 0 .. layerCount-1 are the colour layers of the image type; the plane at index
// layerCount is the overlay when present. Each plane is one contiguous buffer with a table
// of row pointers, so planes[p][y][x] addresses a sample and every row is a width-long array.
//
// Methods return the small result codes of the image record: 0 success, 1 out of memory (or
// nothing allocated, for the accessors), 2 busy, 100 not defined, 200 already allocated.
// The Image never shows messages.
#pragma once

#include "core/display_params.h"
#include "core/image_info.h"
#include "core/image_type.h"
#include "core/memory.h"
#include "core/sample.h"
#include "core/text.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

inline constexpr int kMinImageSize = 10;
inline constexpr int kMaxImageSize = 14000;

using LayerName = CharText<64>;
using Row = Sample*;
using PlaneRows = Row*; // plane[y] is a row
// Contribution counters of a composite: how many exposures have entered a pixel of a layer.
// 16 bits wide so that long series (up to kMaxContributions exposures) average correctly.
using Count = std::uint16_t;
inline constexpr int kMaxContributions = 65535;
using CounterRows = Count**; // counters[y][x]

// A value copy of the image's shape. Pointers refer to the Image's own buffers: valid while
// the Image is unchanged, never released by the receiver.
struct ImageHeader {
    std::uint16_t type = NO_IMAGE;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint16_t layerCount = 0;
    const PlaneRows* planes = nullptr;     // layerCount (+1 with overlay) planes
    const CounterRows* counters = nullptr; // layerCount planes, or null
    const LayerName* layerNames = nullptr; // one per plane, overlay included
    float pixelWidth = 0;                  // micrometres
    float pixelHeight = 0;
    std::uint8_t overlay = 0;

    int planeCount() const { return layerCount + (overlay ? 1 : 0); }
};

// A point-spread function matrix of one layer.
struct PsfKernel {
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::vector<float> values; // width × height, row-major

    float* row(int y) { return values.data() + static_cast<std::size_t>(y) * width; }
    const float* row(int y) const { return values.data() + static_cast<std::size_t>(y) * width; }
};

struct PhotometricCalibration {
    float coefficient = 0;
    std::uint8_t referenceCount = 0;
};

class Image {
public:
    Image() = default;
    ~Image() = default;
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    Image(Image&&) noexcept = default;
    Image& operator=(Image&&) noexcept = default;

    // --- creation -----------------------------------------------------------------------
    // Stores type and size and creates names and metadata buffers; allocates no samples.
    // Returns the sample memory in bytes, 0 when rejected (size outside 10..14000, samples or
    // counters already exist, or a user-defined layer count outside 1..32).
    std::size_t Define(int width, int height, std::uint16_t type, bool withOverlay,
                       int userLayerCount = 0, const std::vector<std::string>* userNames = nullptr);
    int AllocateSamples(bool zeroFill = true);
    int AllocateCounters(int layerIndex, Count value);
    void FreeCounters();
    // A complete copy (samples, counters, names, metadata, stored display, PSFs, photometric
    // calibration) with a sample generation of its own. Work that must be able
    // to stop half-way changes a copy and replaces the original only when it has finished.
    // Throws std::bad_alloc when the memory cannot be had.
    Image clone() const;
    // The same without samples and counters: type, size, names and every piece of metadata.
    // AllocateSamples gives it planes of its size.
    Image metadataCopy() const;

    // --- access -------------------------------------------------------------------------
    int GetHeader(ImageHeader& dst) const;
    int GetInfo(ImageInfo& dst) const;
    int BeginSampleWrite(ImageHeader& dst);
    void EndSampleWrite() { sampleWrite_ = false; }
    int BeginInfoWrite(ImageInfo*& ref);
    void EndInfoWrite() { infoWrite_ = false; }
    // Copies the template's metadata (not its source path) or clears it; takes and releases
    // write access itself. Returns 2 when write access is held elsewhere.
    int SetInfoFrom(const ImageInfo* tmpl);
    void SetPixelSize(float widthUm, float heightUm);
    bool SetOverlay(bool present);
    Sample SampleAt(double x, double y, unsigned layer) const;
    int PixelVector(int x, int y, Sample* dst) const;
    void Clear();
    // Exchanges width and height and re-slices every plane's contiguous buffer into rows of
    // the new width; the samples do not move, so the caller rearranges each plane's buffer
    // (planeData) itself. Counter planes are released. Returns 1 and changes nothing when
    // the new row tables cannot be allocated, 100 when no samples exist.
    int ExchangeDimensions();

    // --- convenience for library code ----------------------------------------------------
    std::uint16_t type() const { return type_; }
    int width() const { return width_; }
    int height() const { return height_; }
    int layerCount() const { return layerCount_; }
    bool hasOverlay() const { return overlay_ != 0; }
    int planeCount() const { return layerCount_ + (overlay_ ? 1 : 0); }
    bool hasSamples() const { return !planes_.empty(); }
    bool sampleWriteHeld() const { return sampleWrite_; }
    bool infoWriteHeld() const { return infoWrite_; }

    Sample* row(int plane, int y) {
        return planes_[static_cast<std::size_t>(plane)].rows[static_cast<std::size_t>(y)];
    }
    const Sample* row(int plane, int y) const {
        return planes_[static_cast<std::size_t>(plane)].rows[static_cast<std::size_t>(y)];
    }
    Sample* planeData(int plane) { return planes_[static_cast<std::size_t>(plane)].data.data(); }
    const Sample* planeData(int plane) const {
        return planes_[static_cast<std::size_t>(plane)].data.data();
    }
    // Index of the overlay plane (equal to the layer count), or -1.
    int overlayPlane() const { return overlay_ ? layerCount_ : -1; }

    std::string_view layerName(int plane) const;
    // Sets a colour layer's name (cut to 64 characters). The overlay keeps "Overlay".
    void setLayerName(int plane, std::string_view name);

    float pixelWidth() const { return pixelWidth_; }
    float pixelHeight() const { return pixelHeight_; }

    const ImageInfo& info() const { return info_; }

    StoredDisplayParams& storedDisplay() { return display_; }
    const StoredDisplayParams& storedDisplay() const { return display_; }

    // A number unique in the process for the current state of the samples: every operation
    // that changes samples calls samplesChanged(), which draws a new one. Whatever is derived
    // from the samples elsewhere (the view's histogram counts) is current while the number
    // it recorded still matches; an image at the address of an earlier one never matches.
    std::uint64_t sampleGeneration() const { return sampleGeneration_; }
    void samplesChanged() { sampleGeneration_ = newSampleGeneration(); }

    Count* counterRow(int layer, int y) {
        return counters_[static_cast<std::size_t>(layer)].rows[static_cast<std::size_t>(y)];
    }
    const Count* counterRow(int layer, int y) const {
        return counters_[static_cast<std::size_t>(layer)].rows[static_cast<std::size_t>(y)];
    }
    bool hasCounters() const { return !counters_.empty(); }

    std::array<PsfKernel, kMaxUserLayers>& psf() { return psf_; }
    const std::array<PsfKernel, kMaxUserLayers>& psf() const { return psf_; }
    std::uint8_t psfCount() const { return psfCount_; }
    void setPsfCount(std::uint8_t n) { psfCount_ = n; }

    PhotometricCalibration& photometry() { return photometry_; }
    const PhotometricCalibration& photometry() const { return photometry_; }

    // Sets the source path (cut to 511 characters).
    void setSourcePath(std::string_view path);

private:
    template <class T>
    struct PlaneStore {
        memory::Buffer<T> data;
        memory::Buffer<T*> rows;
    };
    template <class T>
    static void allocatePlane(PlaneStore<T>& p, int width, int height, bool zero);
    static std::uint64_t newSampleGeneration();

    std::uint16_t type_ = NO_IMAGE;
    std::uint16_t width_ = 0;
    std::uint16_t height_ = 0;
    std::uint16_t layerCount_ = 0;
    std::uint8_t overlay_ = 0;
    float pixelWidth_ = 0;
    float pixelHeight_ = 0;

    std::vector<PlaneStore<Sample>> planes_;
    std::vector<PlaneRows> planeTable_; // what ImageHeader::planes points at
    std::vector<PlaneStore<Count>> counters_;
    std::vector<CounterRows> counterTable_;
    std::vector<LayerName> names_;

    bool sampleWrite_ = false;
    bool infoWrite_ = false;
    ImageInfo info_;
    StoredDisplayParams display_;
    std::uint64_t sampleGeneration_ = newSampleGeneration();
    std::array<PsfKernel, kMaxUserLayers> psf_;
    std::uint8_t psfCount_ = 0;
    PhotometricCalibration photometry_;
};

} // namespace quillon
