// Dark/flat calibration of an exposure in place, and the repair of one defective row or column.
//
// The calibration command, the composite (for every exposure of a list) and `quillon-cli
// calibrate` all call darkFlatCorrect; the GUI and the CLI share the messages below.
#pragma once

#include "core/image.h"
#include "core/progress.h"
#include "core/settings_record.h"

#include <string>
#include <vector>

namespace quillon {

// Result codes of darkFlatCorrect.
enum CalibrationCode : int {
    CALIBRATION_OK = 0,
    CALIBRATION_DARK_TYPE = 1,
    CALIBRATION_DARK_SIZE = 2,
    CALIBRATION_FLAT_TYPE = 11,
    CALIBRATION_FLAT_SIZE = 12,
};

// The calibration's one parameter record: what the dialog shows, a composite list keeps, the
// settings store and the command line sets, and what darkFlatCorrect applies.
struct CalibrationParams {
    std::string darkFile;
    std::string flatFile;
    bool darkEnabled = false;
    bool flatEnabled = false;
    bool automaticFactor = true; // F from the flat's mean; f is not used
    int offset = 0;              // a
    double darkDivisor = 1.0;    // d
    double flatFactor = 10000.0; // f; unused with the automatic factor

    static constexpr double kMinDarkDivisor = 0.1, kMaxDarkDivisor = 100.0;
    static constexpr double kMinFlatFactor = 1.0, kMaxFlatFactor = 32767.0;
    static constexpr int kMinOffset = -32768, kMaxOffset = 32767;

    // The composite window's calibration button reads "AKTIV" when either frame is switched on.
    bool active() const { return darkEnabled || flatEnabled; }
    // F as applied: 0 (each layer's flat mean) with the automatic factor, else f.
    float appliedFlatFactor() const {
        return automaticFactor ? 0.0f : static_cast<float>(flatFactor);
    }

    // From the "m_Reg_DarkFlat_…" settings: the switch bits, the files, a, and d and f stored
    // × 10000; numbers outside their ranges are pulled into them.
    static CalibrationParams fromSettings(const SettingsRecord& s);
    void storeInto(SettingsRecord& s) const;
    // "<field>.darkDivisor: Zahl von 0.1 bis 100 erwartet, nicht …" for the first number out
    // of its range, empty when all are in range.
    std::string rangeProblem(const std::string& field) const;

    bool operator==(const CalibrationParams&) const = default;
};

struct CalibrationOutcome {
    int code = CALIBRATION_OK;
    // Samples the clamp to −32768 … 32767 limited: a sign of a wrong dark or flat that the
    // GUI and the CLI report when it is not 0.
    long long clamped = 0;
};

// The per-layer flat factors for F = 0: (Σ over rows of (row sum ÷ width, integer division))
// ÷ height, the last division in float. One entry per flat layer; empty without samples.
std::vector<float> flatMeans(const Image& flat);

// Checks the frames against the image (dark before flat) and returns the result code without
// changing anything.
int checkCalibrationFrames(const Image& image, const Image* dark, const Image* flat);

// Calibrates every colour layer of `image` in place (the files and switches of `params` are the
// caller's; the frames are given): v = old; v −= dark ÷ d; v = factor ÷ h × v
// for flat pixels h ≠ 0; v += a; clamped and truncated toward zero, all in 32-bit float. A
// grey dark or flat serves every layer. With neither frame nothing changes. On a result code
// other than 0 the image is unchanged. Progress "Dunkelstrom/Flatfield", height × layers
// units; throws Cancelled (image partly calibrated: callers work on a copy). Bit for bit the
// same at every thread count and instruction-set level. `clamped` counts the samples whose
// value lay outside −32768 … 32767 before the clamp.
CalibrationOutcome darkFlatCorrect(Image& image, const Image* dark, const Image* flat,
                                   const CalibrationParams& params,
                                   Progress& progress = Progress::none());
// The same with the flat means computed beforehand by flatMeans(*flat), for a series of
// exposures calibrated with one flat (the composite, `quillon-cli calibrate --out-dir`): the
// flat is then not summed again for every exposure. Means of the wrong count are ignored and
// computed anew.
CalibrationOutcome darkFlatCorrect(Image& image, const Image* dark, const Image* flat,
                                   const CalibrationParams& params,
                                   const std::vector<float>& precomputedMeans,
                                   Progress& progress = Progress::none());

// The message for a result code other than 0 ("Das Dunkelstrombild ist vom falschen
// Bildtyp!", ...); empty for 0.
std::string calibrationMessage(int code);
// The title label for the frames that were applied: "<Dunkelkorr.>", "<Flatkorr.>",
// "<Dunkel+Flatkorr.>", or empty with neither.
std::string calibrationTitleLabel(bool dark, bool flat);
// "<n> Werte lagen außerhalb des Wertebereichs und wurden begrenzt." for a clamp count > 0
// (the singular for 1), empty for 0.
std::string clampedNotice(long long clamped);

// Layer choice of the repair commands: a colour layer index, or all colour layers.
constexpr int kAllLayers = -1;

// Column k over rows top … bottom − 1 becomes the truncated mean of its neighbours (column 0
// copies column 1, the last column copies the one before it). Only `layer`, or every colour
// layer for kAllLayers; never the overlay. Throws Error when the range is outside the image,
// the image is narrower than 2 pixels or the layer does not exist; nothing changes then.
void repairColumn(Image& image, int column, int top, int bottom, int layer);
// The same for row k over columns left … right − 1 with the rows above and below.
void repairRow(Image& image, int row, int left, int right, int layer);

// The repair operation's parameters: a row or a column, its index, the range along it
// (from … to − 1) and the layer (kAllLayers: every colour layer).
struct RepairParams {
    bool row = false;
    int index = 0;
    int from = 0;
    int to = 0;
    int layer = kAllLayers;
};
// repairRow or repairColumn with the parameters.
void repair(Image& image, const RepairParams& p);
// The layer choice the settings keep for the repair commands: a layer index, or the layer count
// for all layers, pulled into 0 … layerCount.
int repairChoiceFromSettings(const SettingsRecord& s, int layerCount);
void storeRepairChoice(int choice, SettingsRecord& s);
// The layer a choice names: kAllLayers for the layer count.
int repairLayerOfChoice(int choice, int layerCount);

} // namespace quillon
