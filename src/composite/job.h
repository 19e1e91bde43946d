// The composite job: target, exposure lists with factors and reference points, per-list
// calibration and options, with the editing rules of the composite window.
//
// The job is plain data plus the operations the composite window performs on it, so that the
// window, the driver and `quillon-cli stack` share one model. It knows nothing of the GUI: an
// exposure taken from an open window is identified by an opaque document id that the GUI hands
// out and resolves itself.
#pragma once

#include "analysis/stars.h" // ReferenceSet
#include "composite/composite_lists.h"
#include "composite/rejection.h"
#include "ops/calibration.h" // CalibrationParams
#include "ops/debayer.h"     // DebayerSettings

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

inline constexpr float kMinSizeFactor = 0.01f;
inline constexpr float kMaxSizeFactor = 100.0f;
// Range of the per-entry factors and of the set-all value.
inline constexpr float kMinFactor = -100.0f;
inline constexpr float kMaxFactor = 100.0f;

// "Sie haben noch keine Bilder in die Liste(n) eingefügt!": reference setting asked for while
// every list is empty.
extern const char* const kNoExposuresMessage;

// The position a new entry gives reference point `index` (0 … 3): (3, 3), (8, 3), (3, 8),
// (8, 8).
ReferencePoint defaultReferencePoint(int index);

struct CompositeEntry {
    // The open document the exposure was taken from; 0 for an exposure read from a file.
    std::uint64_t documentId = 0;
    // The full path of a file exposure; the window title of an open one.
    std::string name;
    bool used = true;
    // One multiplier per factor slot of the entry's list.
    std::vector<float> factors;
    ReferenceSet points = defaultReferenceSet();
    // The points were placed (in the reference window or a job file) rather than being the
    // defaults of a new entry; the command line searches the exposures without.
    bool pointsSet = false;

    bool isFile() const { return documentId == 0; }
    bool operator==(const CompositeEntry&) const = default;
};

struct CompositeList {
    std::vector<CompositeEntry> entries;
    bool operator==(const CompositeList&) const = default;
};

// How a statistical combination weighs each exposure, relative to the reference exposure:
// equally, by 1/σ² of its normalised background, by (reference FWHM / its FWHM)² of its stars
// (sharper frames count more), or by its star count / the reference's (cloud and haze count
// less). The star figures are measured on the calibrated exposure.
enum class Weighting { None, Noise, Fwhm, Stars };
inline constexpr const char* kWeightingWords[] = {"none", "noise", "fwhm", "stars"};

struct CompositeOptions {
    int referencePointCount = 2; // 1 … 4
    float sizeFactor = 1.0f;     // scale of the result relative to the reference exposure
    bool averaging = false;      // "Bilder mitteln": factors are ignored
    float setAllValue = 1.0f;    // the value "Alle Faktoren dieser Liste setzen auf:" applies
    bool removeBorders = true;
    bool removeArtefacts = false;
    std::array<float, 3> colourWeights{1.0f, 1.0f, 1.0f}; // R, G, B (RGB and LRGB only)
    // Raw colour mosaics: each one-layer exposure debayered after its calibration (RGB only).
    DebayerSettings debayer;
    // The statistical combination (strip-wise): the rejection method with its thresholds and
    // the median instead of the mean. Rejection::None with removeArtefacts means the artefact
    // removal; a statistical method takes precedence over it.
    RejectionParams rejection{Rejection::None};
    // Normalisation of each exposure to the reference (Normalization), -1 for the default:
    // addscale with a statistical method, else none.
    int normalization = -1;
    Weighting weighting = Weighting::None;
    bool operator==(const CompositeOptions&) const = default;
};

// The rejection a run applies: the statistical method, else the artefact removal when switched
// on, else none.
Rejection effectiveRejection(const CompositeOptions& o);
// The normalisation a run applies (see CompositeOptions::normalization).
Normalization effectiveNormalization(const CompositeOptions& o);
// Whether the run goes strip-wise: any rejection, the median, a normalisation or weights.
bool combinesStripWise(const CompositeOptions& o);

// A job without lists until configure() gives it a target.
struct CompositeJob {
    std::uint16_t targetType = 0;
    int layerCount = 0;
    std::vector<CompositeList> lists;
    std::vector<CalibrationParams> calibrations; // one per list except the overlay list
    int currentList = 0;
    CompositeOptions options;

    bool configured() const { return !lists.empty(); }
    int listCount() const { return static_cast<int>(lists.size()); }
    // The list that feeds every layer (0 for a grey job) and the overlay list (the last).
    int wholeImageList() const;
    int overlayList() const { return listCount() - 1; }
    CompositeListKind kind(int list) const;
    int factorSlots(int list) const;
    std::string listName(int list) const;

    // Gives the job a target type and layer count (for USERDEFINED_IMAGE the number entered,
    // 2 … 32; for the others it is taken from the type). When these differ from what the lists
    // were built for, every list and list calibration is discarded and built anew: empty lists
    // and, for each list but the overlay list, `seed` with dark and flat switched off. A
    // current list beyond the new lists becomes 0. Returns true when the lists were rebuilt.
    // Throws Error for a type that is no composite target or a layer count out of range.
    bool configure(std::uint16_t type, int userLayers, const CalibrationParams& seed);

    // What opening the composite window does to the job: with `fromCommand` (a composite
    // command rather than the return from reference setting) the options and current list come
    // from the settings; then the job is configured for the type, with the calibration
    // settings as the seed of new list calibrations, and the entries of documents no longer
    // open are dropped. Returns true when the lists were rebuilt.
    bool prepareWindow(std::uint16_t type, int userLayers, const SettingsRecord& settings,
                       const std::vector<std::uint64_t>& openDocuments, bool fromCommand);
    // The colour weights apply to RGB and LRGB targets only.
    bool usesColourWeights() const;

    // A new entry with used on, factor 1 in every slot of `list` and the default points.
    CompositeEntry newEntry(int list) const;
    CompositeEntry& addFile(int list, const std::string& path);
    CompositeEntry& addDocument(int list, std::uint64_t documentId, const std::string& title);
    void removeEntry(int list, int index);
    // Drops every entry taken from a document that is not among `openDocuments`.
    void removeClosedDocuments(const std::vector<std::uint64_t>& openDocuments);
    // Removes every entry of every list; the list calibrations stay.
    void clearAllLists();
    // Replaces a list with the rows the list view holds (the window's take-over before every
    // operation), missing factor slots filled with 1 and surplus ones dropped, the points
    // beyond the reference point count set back to their defaults.
    void takeOverList(int list, std::vector<CompositeEntry> rows);

    // Sets one factor; throws Error (the field and its range) outside kMinFactor … kMaxFactor.
    void setFactor(int list, int index, int slot, float value);
    // Every factor slot of every entry of `list` becomes the set-all value.
    void setAllFactors(int list);
    // A count outside 1 … 4 becomes 1; the points of the current list beyond the count go back
    // to their defaults.
    void setReferencePointCount(int count);
    // Copies the calibration of `list` to the channel lists 0 … layer count − 1 (list 0 of a
    // grey job). Throws Error for the overlay list.
    void copyCalibrationToLayers(int list);

    // The entry where "Alle Referenzpunkte setzen" starts: the first entry of the first list,
    // in list order, that has one; none when every list is empty (kNoExposuresMessage).
    std::optional<std::pair<int, int>> firstEntry() const;

    // Options and current list from the settings of the composite window; reference point
    // count as setReferencePointCount, the numbers clamped into their ranges. The current list
    // is checked against the lists by the next configure().
    void loadSettings(const SettingsRecord& settings);
    // The options, reference point count and current list back into the settings (reals
    // × 10000, truncated).
    void storeSettings(SettingsRecord& settings) const;
};

// Checks every range of the job (options, factor counts and values, reference points,
// calibrations, list and calibration counts); returns the first problem as a German message,
// or an empty text.
std::string validateCompositeJob(const CompositeJob& job);

} // namespace quillon
