// The settings record: key table, load/save with the stored-0 rule, packed window points.
#include "core/settings_record.h"

#include <cmath>
#include <limits>

namespace quillon {

int MemorySettingsStore::readInt(const std::string& key, int fallback) {
    auto it = ints.find(key);
    return it == ints.end() ? fallback : it->second;
}

std::string MemorySettingsStore::readString(const std::string& key) {
    auto it = strings.find(key);
    return it == strings.end() ? std::string() : it->second;
}

void MemorySettingsStore::writeInt(const std::string& key, int value) {
    ints[key] = value;
    writeOrder.push_back(key);
}

void MemorySettingsStore::writeString(const std::string& key, const std::string& value) {
    strings[key] = value;
    writeOrder.push_back(key);
}

int packPoint(WindowPoint p) {
    auto hi = static_cast<std::uint32_t>(static_cast<std::uint16_t>(p.left));
    auto lo = static_cast<std::uint32_t>(static_cast<std::uint16_t>(p.top));
    return static_cast<int>((hi << 16) | lo);
}

WindowPoint unpackPoint(int packed) {
    auto v = static_cast<std::uint32_t>(packed);
    return {static_cast<int>(v >> 16), static_cast<int>(v & 0xFFFFu)};
}

WindowPoint standardPosition(WindowSlot slot, int w) {
    switch (slot) {
    case WindowSlot::ZoomNavigator: return {w - 232, 95};
    case WindowSlot::Scaling: return {w - 232, 73};
    case WindowSlot::Histogram: return {1, 300};
    case WindowSlot::Photometry: return {1, 95};
    case WindowSlot::ImageInfo: return {1, 73};
    case WindowSlot::MiniWebBrowser: return {w - 232, 117};
    case WindowSlot::Preview: return {w - 456, 73};
    case WindowSlot::SetReference: return {w - 367, 73};
    }
    return {0, 0};
}

unsigned toolBitOf(WindowSlot slot) {
    switch (slot) {
    case WindowSlot::ZoomNavigator: return kToolZoomNavigator;
    case WindowSlot::Scaling: return kToolScaling;
    case WindowSlot::Histogram: return kToolHistogram;
    case WindowSlot::Photometry: return kToolPhotometry;
    case WindowSlot::ImageInfo: return kToolImageInfo;
    case WindowSlot::MiniWebBrowser: return kToolHelpWizard;
    case WindowSlot::SetReference:
    case WindowSlot::Preview: return 0;
    }
    return 0;
}

int toStoredReal(double value) {
    double v = std::trunc(value * 10000.0);
    if (!(v == v)) return 0;
    if (v > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (v < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}

double fromStoredReal(int stored) {
    return stored / 10000.0;
}

namespace {

// Keys whose 0 is a choice the user can make (a switch turned off, the first entry of a list,
// a factor of 0). A stored 0 means the default only for the other keys: read that way, turning
// off "Farbgewichtung berücksichtigen" or choosing "Maximalfilter" would not survive a
// restart. A missing key still gives the default. The composite's keys keep the rule on
// purpose (its window reads a stored 0 as the default in all of them).
constexpr bool kZeroIsAValue = true;
constexpr bool kZeroIsDefault = false;

// The values a key may hold; a stored value outside them is damaged and gives the default.
struct Range {
    int lo = std::numeric_limits<int>::min();
    int hi = std::numeric_limits<int>::max();
};
// Grey factors up to ±214748, so that a factor read back and stored again stays an integer.
constexpr Range kGreyFactor{-2147480000, 2147480000};
constexpr Range kHalfSize{0, 32767};

// Walks the key table in its order. V provides intKey(key, int&, default, zeroIsAValue, Range)
// and stringKey(key, std::string&).
template <class V>
void forEachKey(SettingsRecord& r, V&& v) {
    const int absent = packPoint(kAbsentWindowPoint);
    v.stringKey("m_Reg_strEXEPath", r.exePath);
    v.stringKey("m_Reg_strMainfolder", r.mainFolder);
    v.intKey("m_Reg_nSettings_Ram", r.settingsRam, 64, kZeroIsDefault, {10, 1024});
    v.intKey("m_Reg_nSettings_UndoRam", r.settingsUndoRam, 512);
    static constexpr const char* kPointKeys[kWindowSlotCount] = {
        "m_Reg_nZoomNavigator_WindowPoint", "m_Reg_nScaling_WindowPoint",
        "m_Reg_nHistogram_WindowPoint",     "m_Reg_nPhotometry_WindowPoint",
        "m_Reg_nImageInfo_WindowPoint",     "m_Reg_nSetReference_WindowPoint",
        "m_Reg_nPreview_WindowPoint",       "m_Reg_nMiniWebBrowser_WindowPoint"};
    for (int i = 0; i < kWindowSlotCount; ++i)
        v.intKey(kPointKeys[i], r.windowPoints[static_cast<std::size_t>(i)], absent);
    v.intKey("m_Reg_nGraypic_Red", r.graypicRed, 3000, kZeroIsAValue, kGreyFactor);
    v.intKey("m_Reg_nGraypic_Green", r.graypicGreen, 5900, kZeroIsAValue, kGreyFactor);
    v.intKey("m_Reg_nGraypic_Blue", r.graypicBlue, 1100, kZeroIsAValue, kGreyFactor);
    v.intKey("m_Reg_nGraypic_bWeight", r.graypicWeight, 1, kZeroIsAValue);
    v.intKey("m_Reg_nComposite_nInsertionType", r.compositeInsertionType, 0);
    v.intKey("m_Reg_nComposite_bBorders_bErrors_bAverage", r.compositeSwitches, 4);
    v.intKey("m_Reg_nComposite_nSizeFactor", r.compositeSizeFactor, 10000);
    v.intKey("m_Reg_nComposite_nRefPoints", r.compositeRefPoints, 2);
    v.intKey("m_Reg_nComposite_nSetAllFactors", r.compositeSetAllFactors, 10000);
    v.intKey("m_Reg_nComposite_nRed", r.compositeRed, 10000);
    v.intKey("m_Reg_nComposite_nGreen", r.compositeGreen, 10000);
    v.intKey("m_Reg_nComposite_nBlue", r.compositeBlue, 10000);
    v.intKey("m_Reg_nComposite_nCombine", r.compositeCombine, 0, kZeroIsAValue);
    v.intKey("m_Reg_nComposite_nSigmaLow", r.compositeSigmaLow, 30000);
    v.intKey("m_Reg_nComposite_nSigmaHigh", r.compositeSigmaHigh, 30000);
    v.intKey("m_Reg_nComposite_nPercentileLow", r.compositePercentileLow, 2000);
    v.intKey("m_Reg_nComposite_nPercentileHigh", r.compositePercentileHigh, 1000);
    v.intKey("m_Reg_nComposite_nMinMaxLow", r.compositeMinMaxLow, 1, kZeroIsAValue);
    v.intKey("m_Reg_nComposite_nMinMaxHigh", r.compositeMinMaxHigh, 1, kZeroIsAValue);
    v.intKey("m_Reg_nComposite_nAutoAlign", r.compositeAutoAlign, 0);
    v.intKey("m_Reg_nHighpass_nStrength", r.highpassStrength, 0);
    v.intKey("m_Reg_nHighpass_nSize", r.highpassSize, 0);
    v.intKey("m_Reg_nLowpass_nStrength", r.lowpassStrength, 0);
    v.intKey("m_Reg_nLowpass_nSize", r.lowpassSize, 0);
    v.intKey("m_Reg_nSpecial_nType", r.specialType, 0);
    v.intKey("m_Reg_nNoise_nMask", r.noiseMask, 2, kZeroIsAValue);
    v.intKey("m_Reg_nNoise_nType", r.noiseType, 2, kZeroIsAValue);
    v.intKey("m_Reg_nNoise_nLimit", r.noiseLimit, 100);
    v.intKey("m_Reg_nNewPicture_nSizeX", r.newPictureSizeX, 800, kZeroIsDefault, {10, 14000});
    v.intKey("m_Reg_nNewPicture_nSizeY", r.newPictureSizeY, 600, kZeroIsDefault, {10, 14000});
    v.intKey("m_Reg_nNewPicture_nType", r.newPictureType, 2);
    v.intKey("m_Reg_nNewPicture_nLayers", r.newPictureLayers, 3);
    v.intKey("m_Reg_nNewPicture_bOverlay", r.newPictureOverlay, 0);
    v.intKey("m_Reg_nNumberLayers_n", r.numberLayers, 2, kZeroIsDefault, {2, 32});
    v.intKey("m_Reg_nOverlayForming_bInvert_bTransparency_nMethod", r.overlayForming, 16,
             kZeroIsAValue);
    v.intKey("m_Reg_nSelectLayer_n", r.selectLayer, 0);
    v.intKey("m_Reg_SetReference_bMethods", r.setReferenceMethods, 0);
    static constexpr const char* kSearch[4] = {
        "m_Reg_SetReference_nSearch1", "m_Reg_SetReference_nSearch2", "m_Reg_SetReference_nSearch3",
        "m_Reg_SetReference_nSearch4"};
    static constexpr const char* kGravity[4] = {
        "m_Reg_SetReference_nGravity1", "m_Reg_SetReference_nGravity2",
        "m_Reg_SetReference_nGravity3", "m_Reg_SetReference_nGravity4"};
    for (std::size_t i = 0; i < 4; ++i)
        v.intKey(kSearch[i], r.setReferenceSearch[i], 12, kZeroIsDefault, kHalfSize);
    for (std::size_t i = 0; i < 4; ++i)
        v.intKey(kGravity[i], r.setReferenceGravity[i], 4, kZeroIsDefault, kHalfSize);
    v.intKey("m_Reg_nUnsharpMask_nMaskStrength", r.unsharpMaskStrength, 2, kZeroIsAValue);
    v.intKey("m_Reg_nUnsharpMask_nOriginal", r.unsharpOriginal, 30000, kZeroIsAValue);
    v.intKey("m_Reg_nUnsharpMask_nMask", r.unsharpMask, 20000, kZeroIsAValue);
    v.intKey("m_Reg_DarkFlat_bDark_bFlat_bFactorAuto", r.darkFlatSwitches, 1, kZeroIsAValue);
    v.intKey("m_Reg_DarkFlat_nAddVal", r.darkFlatAddVal, 0);
    v.intKey("m_Reg_DarkFlat_nDarkDiv", r.darkFlatDarkDiv, 10000);
    v.intKey("m_Reg_DarkFlat_nFlatFkt", r.darkFlatFlatFkt, 100000000);
    v.stringKey("m_Reg_DarkFlat_strDarkFile", r.darkFlatDarkFile);
    v.stringKey("m_Reg_DarkFlat_strFlatFile", r.darkFlatFlatFile);
    v.intKey("m_Reg_Tools_bIn_bPh_bHi_bSk_bZN", r.toolBits, 0);
    v.intKey("m_Reg_Toolbar_bHiddenGroups", r.toolbarHiddenGroups, 0);
    v.stringKey("m_Reg_MainFrame_strDockState", r.dockState);
    v.stringKey("m_Reg_MainFrame_strGeometry", r.frameGeometry);
    v.intKey("m_Reg_LucyRichardson_Iterations", r.lucyIterations, 1);
    v.intKey("m_Reg_LucyRichardson_PSFx", r.lucyPsfX, 7);
    v.intKey("m_Reg_LucyRichardson_PSFy", r.lucyPsfY, 7);
    v.intKey("m_Reg_nBackground_nGrid", r.backgroundGrid, 16, kZeroIsDefault, {8, 32});
    v.intKey("m_Reg_nBackground_nRejection", r.backgroundRejection, 25000, kZeroIsDefault,
             {10000, 100000});
    v.intKey("m_Reg_nBackground_nMethod", r.backgroundMethod, 0, kZeroIsAValue, {0, 1});
    v.intKey("m_Reg_nBackground_nDegree", r.backgroundDegree, 2, kZeroIsDefault, {1, 4});
    v.intKey("m_Reg_nBackground_nSmoothing", r.backgroundSmoothing, 5000, kZeroIsAValue,
             {0, 10000});
    v.intKey("m_Reg_nBackground_bDivide", r.backgroundDivide, 0, kZeroIsAValue, {0, 1});
    v.intKey("m_Reg_bNightMode", r.nightMode, 0, kZeroIsAValue, {0, 1});
    v.stringKey("m_Reg_strLanguage", r.language);
}

struct Defaults {
    void intKey(const char*, int& f, int def, bool = false, Range = {}) { f = def; }
    void stringKey(const char*, std::string& f) { f.clear(); }
};

struct Loader {
    SettingsStore& store;
    void intKey(const char* key, int& f, int def, bool zeroIsAValue = false, Range range = {}) {
        int v = store.readInt(key, zeroIsAValue ? def : 0);
        if (!zeroIsAValue && v == 0) v = def;
        f = v >= range.lo && v <= range.hi ? v : def;
    }
    void stringKey(const char* key, std::string& f) { f = store.readString(key); }
};

struct Saver {
    SettingsStore& store;
    void intKey(const char* key, int& f, int, bool = false, Range = {}) { store.writeInt(key, f); }
    void stringKey(const char* key, std::string& f) { store.writeString(key, f); }
};

struct Lister {
    std::vector<SettingsKeyInfo>& out;
    void intKey(const char* key, int&, int def, bool = false, Range = {}) {
        out.push_back({key, false, def});
    }
    void stringKey(const char* key, std::string&) { out.push_back({key, true, 0}); }
};

struct KeyFinder {
    const int* target;
    const char* found = nullptr;
    void intKey(const char* key, int& f, int, bool = false, Range = {}) {
        if (&f == target) found = key;
    }
    void stringKey(const char*, std::string&) {}
};

} // namespace

SettingsRecord::SettingsRecord() {
    forEachKey(*this, Defaults{});
}

void SettingsRecord::load(SettingsStore& store) {
    forEachKey(*this, Loader{store});
}

void SettingsRecord::save(SettingsStore& store) const {
    // The walk takes non-const references; the Saver only reads them.
    forEachKey(const_cast<SettingsRecord&>(*this), Saver{store});
}

unsigned SettingsRecord::checkPositions(int w, int h) {
    unsigned added = 0;
    for (int i = 0; i < kWindowSlotCount; ++i) {
        auto slot = static_cast<WindowSlot>(i);
        WindowPoint p = windowPoint(slot);
        if (p.left > w - 10 || p.top > h - 10) {
            setWindowPoint(slot, standardPosition(slot, w));
            unsigned bit = toolBitOf(slot);
            if (bit && !(static_cast<unsigned>(toolBits) & bit)) added |= bit;
            toolBits = static_cast<int>(static_cast<unsigned>(toolBits) | bit);
        }
    }
    return added;
}

void SettingsRecord::resetPositions(int w) {
    for (int i = 0; i < kWindowSlotCount; ++i) {
        auto slot = static_cast<WindowSlot>(i);
        setWindowPoint(slot, standardPosition(slot, w));
    }
}

const std::vector<SettingsKeyInfo>& settingsKeys() {
    static const std::vector<SettingsKeyInfo> keys = [] {
        std::vector<SettingsKeyInfo> out;
        SettingsRecord r;
        forEachKey(r, Lister{out});
        return out;
    }();
    return keys;
}

const char* settingsKeyOf(int SettingsRecord::*field) {
    SettingsRecord r;
    KeyFinder finder{&(r.*field)};
    forEachKey(r, finder);
    return finder.found;
}

} // namespace quillon
