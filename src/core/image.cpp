// The image record's methods and their result codes.
#include "core/image.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <new>

namespace quillon {

template <class T>
void Image::allocatePlane(PlaneStore<T>& p, int width, int height, bool zero) {
    p.data.allocate(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), zero);
    p.rows.allocate(static_cast<std::size_t>(height), false);
    for (int y = 0; y < height; ++y)
        p.rows[static_cast<std::size_t>(y)] = p.data.data() + static_cast<std::size_t>(y) * width;
}

std::size_t Image::Define(int width, int height, std::uint16_t type, bool withOverlay,
                          int userLayerCount, const std::vector<std::string>* userNames) {
    if (width < kMinImageSize || width > kMaxImageSize || height < kMinImageSize ||
        height > kMaxImageSize)
        return 0;
    if (!planes_.empty() || !counters_.empty()) return 0;
    int layers;
    if (type == USERDEFINED_IMAGE) {
        if (userLayerCount < 1 || userLayerCount > kMaxUserLayers) return 0;
        layers = userLayerCount;
    } else {
        layers = ImageTypeName(type).layerCount;
    }
    type_ = type;
    width_ = static_cast<std::uint16_t>(width);
    height_ = static_cast<std::uint16_t>(height);
    layerCount_ = static_cast<std::uint16_t>(layers);
    overlay_ = withOverlay ? 1 : 0;

    names_.assign(static_cast<std::size_t>(layers + overlay_), LayerName{});
    for (int i = 0; i < layers; ++i)
        setText(names_[static_cast<std::size_t>(i)], DefaultLayerName(type, i));
    if (overlay_) setText(names_[static_cast<std::size_t>(layers)], "Overlay");
    if (type == USERDEFINED_IMAGE && userNames) {
        for (int i = 0; i < layers && i < static_cast<int>(userNames->size()); ++i)
            setText(names_[static_cast<std::size_t>(i)], (*userNames)[static_cast<std::size_t>(i)]);
    }

    clearText(info_.sourcePath);
    clearText(info_.date);
    clearText(info_.time);
    clearText(info_.siderealTime);
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) *
           static_cast<std::size_t>(layers + overlay_) * 2u;
}

int Image::AllocateSamples(bool zeroFill) {
    if (width_ == 0 || height_ == 0 || layerCount_ == 0) return 100;
    if (!planes_.empty()) return 200;
    std::vector<PlaneStore<Sample>> planes;
    try {
        planes.resize(static_cast<std::size_t>(planeCount()));
        for (auto& p : planes) allocatePlane(p, width_, height_, zeroFill);
        planeTable_.resize(planes.size());
    } catch (const std::bad_alloc&) {
        return 1; // `planes` releases whatever was allocated
    }
    planes_ = std::move(planes);
    for (std::size_t i = 0; i < planes_.size(); ++i) planeTable_[i] = planes_[i].rows.data();
    samplesChanged();
    return 0;
}

int Image::AllocateCounters(int layerIndex, Count value) {
    if (width_ == 0 || height_ == 0 || layerCount_ == 0) return 100;
    if (!counters_.empty()) return 200;
    std::vector<PlaneStore<Count>> counters;
    try {
        counters.resize(layerCount_);
        for (auto& p : counters) allocatePlane(p, width_, height_, true);
        counterTable_.resize(counters.size());
    } catch (const std::bad_alloc&) {
        return 1;
    }
    for (int l = 0; l < layerCount_; ++l) {
        if (layerIndex >= layerCount_ || l == layerIndex) {
            auto& d = counters[static_cast<std::size_t>(l)].data;
            std::fill(d.begin(), d.end(), value);
        }
    }
    counters_ = std::move(counters);
    for (std::size_t i = 0; i < counters_.size(); ++i) counterTable_[i] = counters_[i].rows.data();
    return 0;
}

Image Image::metadataCopy() const {
    Image c;
    c.type_ = type_;
    c.width_ = width_;
    c.height_ = height_;
    c.layerCount_ = layerCount_;
    c.overlay_ = overlay_;
    c.pixelWidth_ = pixelWidth_;
    c.pixelHeight_ = pixelHeight_;
    c.names_ = names_;
    c.info_ = info_;
    c.display_ = display_;
    c.psf_ = psf_;
    c.psfCount_ = psfCount_;
    c.photometry_ = photometry_;
    return c;
}

Image Image::clone() const {
    Image c = metadataCopy();
    if (!planes_.empty()) {
        if (c.AllocateSamples(false) != 0) throw std::bad_alloc();
        for (int p = 0; p < planeCount(); ++p)
            std::copy_n(planeData(p), planes_[static_cast<std::size_t>(p)].data.size(),
                        c.planeData(p));
    }
    if (!counters_.empty()) {
        if (c.AllocateCounters(kMaxUserLayers, 0) != 0) throw std::bad_alloc();
        for (std::size_t l = 0; l < counters_.size(); ++l)
            std::copy_n(counters_[l].data.data(), counters_[l].data.size(),
                        c.counters_[l].data.data());
    }
    return c;
}

void Image::FreeCounters() {
    counters_.clear();
    counterTable_.clear();
}

int Image::GetHeader(ImageHeader& dst) const {
    if (planes_.empty()) return 1;
    dst.type = type_;
    dst.width = width_;
    dst.height = height_;
    dst.layerCount = layerCount_;
    dst.planes = planeTable_.data();
    dst.counters = counters_.empty() ? nullptr : counterTable_.data();
    dst.layerNames = names_.data();
    dst.pixelWidth = pixelWidth_;
    dst.pixelHeight = pixelHeight_;
    dst.overlay = overlay_;
    return 0;
}

int Image::GetInfo(ImageInfo& dst) const {
    if (planes_.empty()) return 1;
    dst = info_;
    return 0;
}

int Image::BeginSampleWrite(ImageHeader& dst) {
    if (sampleWrite_) return 2;
    int r = GetHeader(dst);
    if (r == 0) sampleWrite_ = true;
    return r;
}

int Image::BeginInfoWrite(ImageInfo*& ref) {
    if (infoWrite_) return 2;
    infoWrite_ = true;
    ref = &info_;
    return 0;
}

int Image::SetInfoFrom(const ImageInfo* tmpl) {
    ImageInfo* info = nullptr;
    if (BeginInfoWrite(info) != 0) return 2;
    if (tmpl && tmpl != info) {
        info->copyFromTemplate(*tmpl);
    } else if (!tmpl) {
        info->resetKeepingPath();
    }
    EndInfoWrite();
    return 0;
}

void Image::SetPixelSize(float widthUm, float heightUm) {
    pixelWidth_ = widthUm;
    pixelHeight_ = heightUm;
}

bool Image::SetOverlay(bool present) {
    if ((overlay_ != 0) == present) return true;
    if (present) {
        if (layerCount_ == 0) return false;
        if (!planes_.empty()) {
            PlaneStore<Sample> p;
            try {
                allocatePlane(p, width_, height_, true);
                planes_.reserve(planes_.size() + 1);
                planeTable_.reserve(planes_.size() + 1);
                names_.reserve(names_.size() + 1);
            } catch (const std::bad_alloc&) {
                return false;
            }
            planes_.push_back(std::move(p));
            planeTable_.push_back(planes_.back().rows.data());
        }
        LayerName n{};
        setText(n, "Overlay");
        names_.resize(layerCount_);
        names_.push_back(n);
        overlay_ = 1;
    } else {
        if (!planes_.empty()) {
            planes_.pop_back();
            planeTable_.pop_back();
        }
        names_.resize(layerCount_);
        overlay_ = 0;
    }
    return true;
}

Sample Image::SampleAt(double x, double y, unsigned layer) const {
    if (planes_.empty()) return 0;
    if (!(x >= 0) || !(y >= 0) || x >= width_ - 0.5 || y >= height_ - 0.5) return 0;
    int plane;
    if ((layer & 0x80000000u) != 0 || layer >= layerCount_)
        plane = overlay_ ? layerCount_ : 0;
    else
        plane = static_cast<int>(layer);
    int ix = static_cast<int>(x + 0.5);
    int iy = static_cast<int>(y + 0.5);
    return row(plane, iy)[ix];
}

int Image::PixelVector(int x, int y, Sample* dst) const {
    if (planes_.empty()) return 2;
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 1;
    for (int l = 0; l < layerCount_; ++l) dst[l] = row(l, y)[x];
    return 0;
}

std::uint64_t Image::newSampleGeneration() {
    static std::atomic<std::uint64_t> last{0};
    return ++last;
}

int Image::ExchangeDimensions() {
    if (planes_.empty()) return 100;
    std::vector<memory::Buffer<Sample*>> rows(planes_.size());
    try {
        for (auto& r : rows) r.allocate(width_, false);
    } catch (const std::bad_alloc&) {
        return 1;
    }
    std::swap(width_, height_);
    for (std::size_t p = 0; p < planes_.size(); ++p) {
        Sample* base = planes_[p].data.data();
        for (int y = 0; y < height_; ++y)
            rows[p][static_cast<std::size_t>(y)] = base + static_cast<std::size_t>(y) * width_;
        planes_[p].rows = std::move(rows[p]);
        planeTable_[p] = planes_[p].rows.data();
    }
    FreeCounters();
    return 0;
}

void Image::Clear() {
    planes_.clear();
    planeTable_.clear();
    counters_.clear();
    counterTable_.clear();
    names_.clear();
    info_ = ImageInfo{};
    display_.clear();
    samplesChanged();
    sampleWrite_ = infoWrite_ = false;
    type_ = NO_IMAGE;
    width_ = height_ = layerCount_ = 0;
    overlay_ = 0;
    pixelWidth_ = pixelHeight_ = 0;
    photometry_ = PhotometricCalibration{};
}

std::string_view Image::layerName(int plane) const {
    if (plane < 0 || plane >= static_cast<int>(names_.size())) return {};
    return textOf(names_[static_cast<std::size_t>(plane)]);
}

void Image::setLayerName(int plane, std::string_view name) {
    if (plane < 0 || plane >= layerCount_) return;
    setText(names_[static_cast<std::size_t>(plane)], name);
}

void Image::setSourcePath(std::string_view path) {
    setText(info_.sourcePath, path);
}

} // namespace quillon
