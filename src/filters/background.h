// Background extraction: a smooth model of the sky background (light pollution, moonlight,
// vignetting) fitted to sky samples and subtracted from or divided into the image.
//
// Samples sit on a regular grid; each is a box whose value is a sigma-clipped median per
// layer. Boxes holding saturated pixels or a bright star, and samples that stand out from
// the plane through their neighbours, are rejected; the user may switch samples on or off
// and add new ones. The model is either a polynomial of degree 1-4 fitted with iterative
// rejection of outliers, or a quadratic trend plus a thin-plate spline whose smoothing
// follows the samples' noise (scaled by a smoothing factor); both are fitted
// per layer and evaluated at full resolution, rows in parallel.
#pragma once

#include "core/image.h"
#include "core/operation.h"
#include "core/progress.h"
#include "filters/filter.h"
#include "filters/layer_selection.h"

#include <span>
#include <utility>
#include <vector>

namespace quillon {

enum class BackgroundMethod { Polynomial, Spline };

inline constexpr int kBackgroundGridMin = 8;
inline constexpr int kBackgroundGridMax = 32;
inline constexpr int kBackgroundDegreeMax = 4;

struct BackgroundOptions {
    int grid = 16;          // samples per side, 8 … 32
    float rejection = 2.5f; // k: a sample more than k·σ off its neighbours is rejected, 1 … 10
    BackgroundMethod method = BackgroundMethod::Polynomial;
    int degree = 2; // polynomial degree 1 … 4
    // Spline smoothing: 0 passes through every sample, 0.5 (the default) smooths by the
    // samples' measured noise, 1 comes near the quadratic trend.
    float smoothing = 0.5f;
    bool divide = false; // divide by the model (vignetting) instead of subtracting it
};

// Throws Error with the German message when an option lies outside its range.
void checkBackgroundOptions(const BackgroundOptions& o);

// The command's parameters as quillon-cli and the dialog read and store them: method 0 the
// polynomial, 1 the smooth surface; divide 0 or 1.
struct BackgroundParams {
    int method = 0;
    int degree = 2;
    int grid = 16;
    float smoothing = 0.5f;
    float rejection = 2.5f;
    int divide = 0;

    BackgroundOptions options() const;
    static BackgroundParams of(const BackgroundOptions& o);
};

// The fields: --method poly|spline, --degree, --grid, --smoothing, --rejection; the choice to
// divide is stored but comes from the --divide switch on the command line.
std::span<const ParamField<BackgroundParams>> backgroundFields();
// The settings' parameters (the smoothing, whose 0 is a choice, read here rather than as a
// scaled field) and storing them.
BackgroundParams backgroundParamsFromSettings(const SettingsRecord& s);
void storeBackgroundParams(const BackgroundParams& p, SettingsRecord& s);

struct BackgroundSample {
    int x = 0, y = 0;           // box centre, image pixels
    int gridX = -1, gridY = -1; // grid position, -1 for samples the user added
    bool rejected = false;      // rejected automatically (box test or neighbours)
    bool fitRejected = false;   // left out by the last fit as an outlier
    int user = 0;               // +1 switched on, -1 switched off by the user, 0 automatic
    std::vector<double> values; // sigma-clipped median per colour layer (0 for unselected)
    std::vector<double> noise;  // its uncertainty (robust σ of the box / √pixels), per layer

    // Offered to the fit.
    bool used() const { return user > 0 || (user == 0 && !rejected); }
    // Shown as used (green) rather than rejected (red).
    bool kept() const { return used() && !fitRejected; }
};

// Side of the sample boxes for an image and grid density.
int backgroundBoxSize(int width, int height, int grid);

// The grid samples, measured on the selected layers, with the automatic rejection applied.
std::vector<BackgroundSample>
placeBackgroundSamples(const Image& image, const BackgroundOptions& options, LayerMask mask);

// A click at (x, y): a sample whose box holds the point changes between used and not used;
// elsewhere a new sample is added there (measured, and used).
void toggleBackgroundSample(std::vector<BackgroundSample>& samples, const Image& image,
                            const BackgroundOptions& options, LayerMask mask, int x, int y);

// The fitted model of every selected layer, evaluated in image pixel coordinates.
class BackgroundModel {
public:
    int width() const { return width_; }
    int height() const { return height_; }
    bool hasLayer(int layer) const;
    // Model values of `count` pixels of row y from column x0.
    void evaluateRow(int layer, int y, int x0, int count, double* out) const;
    double at(int layer, int x, int y) const;
    // Mean of the model over the image (the background level kept when subtracting).
    double mean(int layer) const { return layers_[static_cast<std::size_t>(layer)].mean; }

private:
    friend BackgroundModel fitBackground(const Image&, std::vector<BackgroundSample>&,
                                         const BackgroundOptions&, LayerMask);
    struct Layer {
        bool fitted = false;
        std::vector<double> poly;    // coefficients of u^i v^j, i + j <= degree
        std::vector<double> lattice; // spline values on the lattice (with a margin of one node)
        double mean = 0;
    };
    void evaluateLattice(const Layer& l, int y, int x0, int count, double* out) const;
    double polyAt(const Layer& l, double u, double v) const;

    int width_ = 0, height_ = 0;
    BackgroundMethod method_ = BackgroundMethod::Polynomial;
    int degree_ = 1;
    double cx_ = 0, cy_ = 0, scale_ = 1; // normalised coordinates u = (x - cx) / scale
    int step_ = 1, nodesX_ = 0, nodesY_ = 0;
    std::vector<Layer> layers_;
};

// Fits the model to the used samples of every selected layer; samples the fit leaves out as
// outliers are marked fitRejected. Throws Error when too few usable samples remain or the
// model cannot serve (a division by a model that is not positive everywhere).
BackgroundModel fitBackground(const Image& image, std::vector<BackgroundSample>& samples,
                              const BackgroundOptions& options, LayerMask mask);

// Subtracts the model (adding back its mean) or divides by it (scaled by its mean) on the
// selected layers of `image`, whose pixel (0, 0) lies at (offsetX, offsetY) of the model's
// image. Other layers and the overlay stay. Progress "Hintergrund extrahieren".
void applyBackground(Image& image, const BackgroundModel& model, bool divide, LayerMask mask,
                     Progress& progress, int offsetX = 0, int offsetY = 0);

// The model as an image: the source's description, the model on the selected layers, 0 on
// the others, the overlay copied.
Image backgroundModelImage(const Image& source, const BackgroundModel& model, LayerMask mask);

// The whole operation in place: samples (the given list with the user's changes, or the
// grid), fit, apply. `samples` receives the list as used; `modelOut` the model image.
// Nothing is changed when it throws.
void extractBackground(Image& image, const BackgroundOptions& options, LayerMask mask,
                       Progress& progress, std::vector<BackgroundSample>* samples = nullptr,
                       Image* modelOut = nullptr);

// The operation as a filter of the preview: a model fitted once to the whole source, applied
// to whatever piece is run (the piece's position in the source is given with the model).
class BackgroundFilter : public Filter {
public:
    BackgroundFilter(BackgroundModel model, bool divide, bool showModel, int offsetX = 0,
                     int offsetY = 0)
        : model_(std::move(model)), divide_(divide), showModel_(showModel), offsetX_(offsetX),
          offsetY_(offsetY) {}
    const char* title() const override { return "Hintergrund extrahieren"; }
    int widthReduction() const override { return 0; }
    int heightReduction() const override { return 0; }
    FilterOutcome run(Image& destination, const Image& source, LayerMask mask,
                      Progress& progress) const override;
    void setOffset(int x, int y) { offsetX_ = x, offsetY_ = y; }

private:
    BackgroundModel model_;
    bool divide_;
    bool showModel_;
    int offsetX_, offsetY_;
};

} // namespace quillon
