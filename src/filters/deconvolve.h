// Lucy-Richardson deconvolution with the point-spread functions an image keeps, and the
// numbers the deconvolution dialog shows (time estimate, iteration limits, preview rule).
#pragma once

#include "core/image.h"
#include "core/progress.h"
#include "filters/filter.h"
#include "filters/layer_selection.h"

#include <functional>
#include <string>

namespace quillon {

inline constexpr int kMinIterations = 1;
inline constexpr int kMaxIterations = 1000;
inline constexpr const char* kDeconvolutionTitle = "Lucy Richardson Deconv.";
inline constexpr const char* kDeconvolutionProgress = "Lucy Richardson Deconvolution";
// The command on an image without PSF.
inline constexpr const char* kNoPsfDefined =
    "Bevor eine Lucy-Richardson-Deconvolution durchgeführt werden kann, \nmuss die "
    "\"Point-Spread-Funktion\" (Referenzsterne) definiert werden.\nKlicken Sie hierzu mit der "
    "rechten Maustaste nacheinander auf helle,\naber noch nicht gesättigte (!) Sterne und "
    "wählen Sie \n\"Referenzstern Lucy-Richardson...\".";
// A selected layer without kernel (deconvolve refuses the whole run).
inline constexpr const char* kNoPsfForLayer =
    "Für eine der gewählten Ebenen ist keine Point-Spread-Funktion definiert.";

// ---- the dialog's numbers -------------------------------------------------------------------

// A typed iteration count pulled into 1 … 1000; "+" and "-" stop at the limits.
int clampIterations(long long typed);
int iterationsPlus(int n);
int iterationsMinus(int n);

// Layers a run works on: those of the mask (all colour layers for 0).
int selectedLayerCount(const Image& image, LayerMask mask);

// The dialog's estimate in seconds: layers × iterations × PSF area × image area ÷ 10^6 ÷ 17.
double deconvolutionSeconds(int layers, int iterations, int psfWidth, int psfHeight, int imageWidth,
                            int imageHeight);
// "%i sek." below a minute, "%i std.!" from an hour on, else "%i min." (whole units).
std::string deconvolutionTimeText(double seconds);
// The preview follows every change, scroll and zoom only while this is true; otherwise it is
// computed on request ("Vorschau berechnen").
bool previewFollows(int layers, int iterations, int psfWidth, int psfHeight);

// ---- the deconvolution --------------------------------------------------------------------

// Shows part of a running result: the deconvolution calls it with a write into the
// destination, and the caller runs that write where the destination may change (the GUI: on
// the interface thread, then redraws) and returns when it has run.
using ResultPublisher = std::function<void(const std::function<void()>& write)>;

struct DeconvolveOptions {
    int iterations = 1;
    // The image whose layer minima shift the samples to be non-negative (the whole image
    // while deconvolving a preview piece); null: the source itself.
    const Image* minimumSource = nullptr;
    LayerMask mask = 0;
    // Set: the destination starts as a copy of the source and every iteration's estimate is
    // written into it through the publisher (the result's document redraws after each one),
    // so a cancel leaves the iterations done so far. Unset: each layer is written once.
    ResultPublisher publish;
};

// Deconvolves every selected colour layer of `source` into `destination` (same size and
// layers) with the layer's PSF kernel; unselected layers and the overlay (when both images
// have one) are copied. Progress "Lucy Richardson Deconvolution", one step per layer and
// iteration. Throws Error when a selected layer has no kernel or its kernel is larger than the
// image (nothing written then), std::bad_alloc without memory for the working planes, and
// Cancelled between iterations.
//
// Each iteration is U ← U × correlate(O ÷ correlate(U, P'), P), with O the layer shifted by
// its minimum, U starting as O, P the kernel and P' the kernel turned by 180°. Correlating the
// estimate with P' convolves it with the star's own profile, so lopsided stars (coma, trailing)
// are sharpened, not smeared the other way.
void deconvolve(Image& destination, const Image& source, const DeconvolveOptions& options,
                Progress& progress = Progress::none());

// The correlation of a float plane with a kernel (exposed for tests): kernel cells whose source
// pixel lies outside the plane are left out and the sum is scaled by T ÷ (T − S_out), the
// kernel's total over its cells inside. Sums in 32-bit floats in kernel order. `out` must not
// be `in`; the kernel must fit into the plane.
void correlatePlane(const float* in, float* out, int width, int height, const float* kernel,
                    int kernelWidth, int kernelHeight);

// The iterations on one float plane: `estimate` starts as `observed` (which must be ≥ 0), or
// as it is with `keepEstimate`, and afterIteration(k) runs after iteration k (it may throw to
// stop). Throws Error when the kernel
// does not fit into the plane, std::bad_alloc without memory for the working plane.
void richardsonLucy(const float* observed, float* estimate, int width, int height,
                    const float* kernel, int kernelWidth, int kernelHeight, int iterations,
                    const std::function<void(int)>& afterIteration = {}, bool keepEstimate = false);

// The deconvolution as a filter for the filter framework (result of the source's size).
class DeconvolutionFilter : public Filter {
public:
    DeconvolutionFilter(int iterations, const Image* minimumSource = nullptr)
        : iterations_(iterations), minimumSource_(minimumSource) {}
    const char* title() const override { return kDeconvolutionTitle; }
    int widthReduction() const override { return 0; }
    int heightReduction() const override { return 0; }
    FilterOutcome run(Image& destination, const Image& source, LayerMask mask,
                      Progress& progress) const override;

private:
    int iterations_;
    const Image* minimumSource_;
};

} // namespace quillon
