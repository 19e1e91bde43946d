// The settings record: every value that survives a restart, with its key, default and the
// "a stored 0 means the default" rule (except where 0 is a choice), plus packed window points and
// their position check.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace quillon {

// The per-user store the record is loaded from and saved to. The GUI backs it with QSettings,
// tests with MemorySettingsStore. Reads of missing keys return the fallback; failures are
// not reported (a write that fails is simply lost).
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual int readInt(const std::string& key, int fallback) = 0;
    virtual std::string readString(const std::string& key) = 0;
    virtual void writeInt(const std::string& key, int value) = 0;
    virtual void writeString(const std::string& key, const std::string& value) = 0;
};

// A store in memory; also records the order of writes so that tests can check it.
class MemorySettingsStore : public SettingsStore {
public:
    int readInt(const std::string& key, int fallback) override;
    std::string readString(const std::string& key) override;
    void writeInt(const std::string& key, int value) override;
    void writeString(const std::string& key, const std::string& value) override;

    std::map<std::string, int> ints;
    std::map<std::string, std::string> strings;
    std::vector<std::string> writeOrder;
};

// Switch bits of m_Reg_DarkFlat_bDark_bFlat_bFactorAuto: dark on, flat on, flat factor from
// the flat's mean.
inline constexpr int kDarkFlatDarkBit = 1 << 8;
inline constexpr int kDarkFlatFlatBit = 1 << 4;
inline constexpr int kDarkFlatAutoBit = 1 << 0;

// The windows with a remembered top-left corner, in the order of their keys.
enum class WindowSlot {
    ZoomNavigator = 0,
    Scaling,
    Histogram,
    Photometry,
    ImageInfo,
    SetReference,
    Preview,
    MiniWebBrowser,
};
inline constexpr int kWindowSlotCount = 8;

// Bits of the tool-window set ("m_Reg_Tools_bIn_bPh_bHi_bSk_bZN").
enum ToolBit : unsigned {
    kToolZoomNavigator = 1u << 0,
    kToolScaling = 1u << 1,
    kToolHistogram = 1u << 2,
    kToolPhotometry = 1u << 3,
    kToolImageInfo = 1u << 4,
    kToolHelpWizard = 1u << 5,
};
inline constexpr unsigned kAllToolBits = 0x3F;

struct WindowPoint {
    int left = 0;
    int top = 0;
    bool operator==(const WindowPoint&) const = default;
};

// Packed point: left edge in the high 16 bits, top edge in the low 16 bits. Both halves are
// read back as unsigned 16-bit values (0..65535), so a negative coordinate comes back large
// and fails the position check instead of placing a window off the desktop.
int packPoint(WindowPoint p);
WindowPoint unpackPoint(int packed);

// The standard position of a window on a desktop W pixels wide.
WindowPoint standardPosition(WindowSlot slot, int desktopWidth);

// Real numbers stored × 10000: truncate(value × 10000), read back divided by 10000.
int toStoredReal(double value);
double fromStoredReal(int stored);

// The flat record. Field names follow the keys (see settingsKeys() for key and default).
struct SettingsRecord {
    std::string exePath;    // "m_Reg_strEXEPath", written at every start
    std::string mainFolder; // "m_Reg_strMainfolder"
    int settingsRam = 64;
    int settingsUndoRam = 512; // MB the undo histories of all documents may hold together
    std::array<int, kWindowSlotCount> windowPoints{}; // packed points, WindowSlot order
    int graypicRed = 3000;
    int graypicGreen = 5900;
    int graypicBlue = 1100;
    int graypicWeight = 1;
    int compositeInsertionType = 0;
    int compositeSwitches = 4;
    int compositeSizeFactor = 10000;
    int compositeRefPoints = 2;
    int compositeSetAllFactors = 10000;
    int compositeRed = 10000;
    int compositeGreen = 10000;
    int compositeBlue = 10000;
    // The combine group: rejection method | (normalisation + 1) << 4 | noise weights << 8 |
    // median << 9; thresholds × 10000 (sigma, percentile) and value counts (min/max).
    int compositeCombine = 0;
    int compositeSigmaLow = 30000, compositeSigmaHigh = 30000;
    int compositePercentileLow = 2000, compositePercentileHigh = 1000;
    int compositeMinMaxLow = 1, compositeMinMaxHigh = 1;
    // Registration by all stars: switched on | (transform + 1) << 1 (0: off, similarity).
    int compositeAutoAlign = 0;
    int highpassStrength = 0;
    int highpassSize = 0;
    int lowpassStrength = 0;
    int lowpassSize = 0;
    int specialType = 0;
    int noiseMask = 2; // "m_Reg_nNoise_nMask" holds the filter kind
    int noiseType = 2; // "m_Reg_nNoise_nType" holds the mask
    int noiseLimit = 100;
    int newPictureSizeX = 800;
    int newPictureSizeY = 600;
    int newPictureType = 2;
    int newPictureLayers = 3;
    int newPictureOverlay = 0;
    int numberLayers = 2;
    int overlayForming = 16;
    int selectLayer = 0;
    int setReferenceMethods = 0;
    std::array<int, 4> setReferenceSearch{12, 12, 12, 12};
    std::array<int, 4> setReferenceGravity{4, 4, 4, 4};
    int unsharpMaskStrength = 2;
    int unsharpOriginal = 30000;
    int unsharpMask = 20000;
    int darkFlatSwitches = 1; // kDarkFlatDarkBit | kDarkFlatFlatBit | kDarkFlatAutoBit
    int darkFlatAddVal = 0;
    int darkFlatDarkDiv = 10000;
    int darkFlatFlatFkt = 100000000;
    std::string darkFlatDarkFile;
    std::string darkFlatFlatFile;
    int toolBits = 0;
    int toolbarHiddenGroups = 0; // bit g hides button group g of the toolbar
    std::string dockState;       // arrangement of the docks (QMainWindow::saveState, base64)
    std::string frameGeometry;   // the main window's geometry (QWidget::saveGeometry, base64)
    int lucyIterations = 1;
    int lucyPsfX = 7;
    int lucyPsfY = 7;
    // "Hintergrund extrahieren": grid 8 … 32, rejection and smoothing × 10000, method 0 polynomial
    // or 1 smooth surface, degree 1 … 4, 1 to divide instead of subtract.
    int backgroundGrid = 16;
    int backgroundRejection = 25000;
    int backgroundMethod = 0;
    int backgroundDegree = 2;
    int backgroundSmoothing = 5000;
    int backgroundDivide = 0;
    int nightMode = 0;    // 1: "Ansicht" > "Nachtmodus" is on
    std::string language; // "en": English interface from the next start; otherwise German

    SettingsRecord();

    WindowPoint windowPoint(WindowSlot s) const {
        return unpackPoint(windowPoints[static_cast<std::size_t>(s)]);
    }
    void setWindowPoint(WindowSlot s, WindowPoint p) {
        windowPoints[static_cast<std::size_t>(s)] = packPoint(p);
    }

    // Reads every key in table order; a missing key, a stored 0 or a value outside the key's
    // range (a damaged store) gives the default.
    void load(SettingsStore& store);
    // Writes every key in table order. Write failures are the store's business.
    void save(SettingsStore& store) const;

    // Start-up check: a window point whose left edge is greater than W − 10 or whose top edge
    // is greater than H − 10 is replaced by the standard position; for the six tool windows
    // the window is also marked to open. Returns the tool bits that were added.
    unsigned checkPositions(int desktopWidth, int desktopHeight);

    // "Fenster Anordnen": every point to its standard position for this desktop width.
    void resetPositions(int desktopWidth);
};

// One row of the key table, for listing and tests.
struct SettingsKeyInfo {
    const char* key;
    bool isString;
    int defaultValue; // packed window points: the packed 65000/65000 default
};
const std::vector<SettingsKeyInfo>& settingsKeys();
// The key of a number field of the record (null for a member that is not stored), so that
// other tables name a setting by its member and the key stays spelled once.
const char* settingsKeyOf(int SettingsRecord::*field);

// The default of an absent window point: left 65000, top 65000 (always off the screen).
inline constexpr WindowPoint kAbsentWindowPoint{65000, 65000};

// Bit of a tool window in the tool set, or 0 for the windows that are not tool windows.
unsigned toolBitOf(WindowSlot slot);

} // namespace quillon
