// maskFilter, the convolution engine of the high-pass, low-pass, special and unsharp filters,
// and the Filter objects of the three convolution dialogs.
//
// Each output pixel is the float sum of source × coefficient over the kernel in row-major
// order (correlation, the kernel is not flipped), divided by the kernel sum (by 1 when the sum
// is zero), clamped and truncated toward zero. Only pixels whose whole neighbourhood lies in
// the source are computed, so the result is smaller by the kernel size minus one. Speed comes
// from computing many pixels of a row at once with the per-pixel order kept, and from running
// rows in parallel; the result is identical to a plain loop for any thread count and any
// instruction set. Memory beyond the destination: kernel-height float rows per worker.
#pragma once

#include "core/image.h"
#include "core/progress.h"
#include "filters/filter.h"
#include "filters/kernels.h"
#include "filters/layer_selection.h"

namespace quillon {

// Convolves the selected colour layers of `source` into `destination` and copies the others
// (and the overlay, when both images have one) from the centre region. The result region
// (source size minus kernel size plus one) is placed centred in the destination.
// Returns the kernel sum used as divisor (0 for a zero-sum kernel). Throws Error
// (msg::kFilterNotApplicable) when the kernel is not 3 … 15 in each direction or the
// destination is too small; nothing is written then. Progress "Maskenfilter", one step per
// output row of each plane.
float maskFilter(Image& destination, const Image& source, const Kernel& kernel, LayerMask mask,
                 Progress& progress = Progress::none());

// The convolution dialogs' filter: a kernel and the result title.
class ConvolutionFilter : public Filter {
public:
    ConvolutionFilter(Kernel kernel, const char* title)
        : kernel_(std::move(kernel)), title_(title) {}
    static ConvolutionFilter highpass(int sizePosition, int strengthPosition);
    static ConvolutionFilter lowpass(int sizePosition, int strengthPosition);
    static ConvolutionFilter special(int option);

    const char* title() const override { return title_; }
    int widthReduction() const override { return kernel_.width - 1; }
    int heightReduction() const override { return kernel_.height - 1; }
    FilterOutcome run(Image& destination, const Image& source, LayerMask mask,
                      Progress& progress) const override;
    const Kernel& kernel() const { return kernel_; }

private:
    Kernel kernel_;
    const char* title_;
};

} // namespace quillon
