// The filter records: options, stored settings and the kernels' own constructors build the
// same filter; the settings keep their keys and units.
#include "core/settings_record.h"
#include "filters/filter_ops.h"
#include "filters/kernels.h"
#include "filters/mask_filter.h"
#include "filters/noise.h"
#include "filters/unsharp.h"
#include "support/test_images.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

namespace quillon {
namespace {

using namespace testkit;

struct MapSource : OptionSource {
    std::map<std::string, double> values;
    std::optional<double> value(const OptionInfo& o) const override {
        auto it = values.find(o.name);
        return it == values.end() ? std::nullopt : std::optional<double>(it->second);
    }
};

std::vector<Sample> samples(const Filter& f, const Image& src) {
    const auto out = applyFilter(f, src, 0, Progress::none());
    std::vector<Sample> v;
    for (int p = 0; p < out->layerCount(); ++p)
        for (int y = 0; y < out->height(); ++y)
            v.insert(v.end(), out->row(p, y), out->row(p, y) + out->width());
    return v;
}

struct Case {
    FilterCommand command;
    std::map<std::string, double> options;
    std::function<void(SettingsRecord&)> stored;
    std::function<std::unique_ptr<Filter>()> direct;
};

TEST(FilterOperations, OptionsSettingsAndKernelsAgree) {
    const Case cases[] = {
        {FilterCommand::Highpass,
         {{"staerke", 2}, {"groesse", 1}},
         [](SettingsRecord& s) { s.highpassStrength = 2, s.highpassSize = 1; },
         [] { return std::make_unique<ConvolutionFilter>(ConvolutionFilter::highpass(1, 2)); }},
        {FilterCommand::Lowpass,
         {{"staerke", 3}, {"groesse", 2}},
         [](SettingsRecord& s) { s.lowpassStrength = 3, s.lowpassSize = 2; },
         [] { return std::make_unique<ConvolutionFilter>(ConvolutionFilter::lowpass(2, 3)); }},
        {FilterCommand::Special,
         {{"typ", 5}},
         [](SettingsRecord& s) { s.specialType = 5; },
         [] { return std::make_unique<ConvolutionFilter>(ConvolutionFilter::special(5)); }},
        {FilterCommand::Noise,
         {{"maske", 0}, {"art", 3}, {"schwelle", 500}},
         [](SettingsRecord& s) { s.noiseType = 0, s.noiseMask = 3, s.noiseLimit = 500; },
         [] { return std::make_unique<NoiseFilter>(0, NoiseKind::Threshold, 500); }},
        {FilterCommand::Unsharp,
         {{"maske", 4}, {"m", 1.5}, {"o", 2.75}},
         [](SettingsRecord& s) {
             s.unsharpMaskStrength = 4, s.unsharpMask = 15000, s.unsharpOriginal = 27500;
         },
         [] { return std::make_unique<UnsharpMaskFilter>(4, 1.5f, 2.75f); }},
    };
    Image src;
    makeImage(src, 40, 30, RGB_IMAGE,
              [](int p, int x, int y) { return (x * 37 + y * 91 + p) % 900; });
    for (const Case& c : cases) {
        const FilterOperation* op = filterOperation(c.command);
        ASSERT_TRUE(op);
        MapSource options;
        options.values = c.options;
        SettingsRecord s;
        c.stored(s);
        const std::vector<Sample> want = samples(*c.direct(), src);
        EXPECT_EQ(samples(*op->fromOptions(options), src), want) << op->cliHelp();
        EXPECT_EQ(samples(*op->fromSettings(s), src), want) << op->cliHelp();
        // The defaults are those of a fresh settings record.
        EXPECT_EQ(samples(*op->fromOptions(MapSource{}), src),
                  samples(*op->fromSettings(SettingsRecord{}), src));
    }
}

TEST(FilterOperations, StoredUnitsRangesAndKeys) {
    SettingsRecord s;
    storeInto(UnsharpParams{6, 1.2345f, 0.5f}, s);
    EXPECT_EQ(s.unsharpMaskStrength, 6);
    EXPECT_EQ(s.unsharpMask, 12345); // truncate(value × 10000)
    EXPECT_EQ(s.unsharpOriginal, 5000);
    EXPECT_EQ(fromSettings<UnsharpParams>(s).m, 1.2345f);
    s.unsharpOriginal = 0; // a stored 0 gives the default
    EXPECT_EQ(fromSettings<UnsharpParams>(s).o, 3.0f);
    s.noiseType = 9; // pulled into the range as the dialog's buttons do
    EXPECT_EQ(fromSettings<NoiseParams>(s).mask, 2);

    const OptionInfo* bad = validate(UnsharpParams{2, 1000.5f, 3.0f});
    ASSERT_TRUE(bad);
    EXPECT_STREQ(bad->name, "m");
    EXPECT_EQ(bad->hi, 1000.0);
    EXPECT_EQ(validate(NoiseParams{}), nullptr);

    const std::vector<const char*> keys = filterOperation(FilterCommand::Unsharp)->settingsKeys();
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_STREQ(keys[0], "m_Reg_nUnsharpMask_nMaskStrength");
    EXPECT_STREQ(keys[1], "m_Reg_nUnsharpMask_nMask");
    EXPECT_STREQ(keys[2], "m_Reg_nUnsharpMask_nOriginal");
    EXPECT_STREQ(filterOperation(FilterCommand::LucyRichardson)->settingsKeys()[0],
                 "m_Reg_LucyRichardson_Iterations");
}

} // namespace
} // namespace quillon
