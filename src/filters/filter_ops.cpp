// The filter menu's operation records: one row per filter with its fields and factory.
#include "filters/filter_ops.h"

#include "filters/deconvolve.h"
#include "filters/kernels.h"
#include "filters/mask_filter.h"
#include "filters/noise.h"
#include "filters/unsharp.h"

#include <algorithm>
#include <type_traits>

namespace quillon {

std::unique_ptr<Filter> makeFilter(FilterCommand command, const ConvolutionParams& p) {
    return std::make_unique<ConvolutionFilter>(
        command == FilterCommand::Highpass ? ConvolutionFilter::highpass(p.size, p.strength)
                                           : ConvolutionFilter::lowpass(p.size, p.strength));
}

std::unique_ptr<Filter> makeFilter(const SpecialParams& p) {
    return std::make_unique<ConvolutionFilter>(ConvolutionFilter::special(p.type));
}

std::unique_ptr<Filter> makeFilter(const NoiseParams& p) {
    return std::make_unique<NoiseFilter>(p.mask, static_cast<NoiseKind>(p.kind),
                                         static_cast<std::uint16_t>(p.threshold));
}

std::unique_ptr<Filter> makeFilter(const UnsharpParams& p) {
    return std::make_unique<UnsharpMaskFilter>(p.mask, p.m, p.o);
}

std::unique_ptr<Filter> makeFilter(const DeconvolutionParams& p) {
    return std::make_unique<DeconvolutionFilter>(p.iterations);
}

namespace {

using K = OptionKind;
using R = SettingsRecord;

constexpr const char* kSizeWords[] = {"3", "5", "7"};
// In the order of NoiseKind.
constexpr const char* kNoiseKindWords[] = {"maximal", "minimal", "median", "schwelle"};

using F = FieldControl;
using CP = ConvolutionParams;
constexpr DialogInfo kStrengthSlider{.control = F::Slider, .label = "Stärke:", .valueText = "%1"};
constexpr DialogInfo kSizeSlider{
    .control = F::Slider, .label = "Maskengröße:", .valueText = "%1 x %1"};
constexpr ParamField<CP> kHighpass[] = {
    paramField<&CP::strength>({"staerke", K::Integer, 0, 3, 1}, &R::highpassStrength,
                              StoredAs::Plain, kStrengthSlider),
    paramField<&CP::size>({"groesse", K::Choice, 0, 2, 0, kSizeWords}, &R::highpassSize,
                          StoredAs::Plain, kSizeSlider),
};
constexpr ParamField<CP> kLowpass[] = {
    paramField<&CP::strength>({"staerke", K::Integer, 0, 3, 1}, &R::lowpassStrength,
                              StoredAs::Plain, kStrengthSlider),
    paramField<&CP::size>({"groesse", K::Choice, 0, 2, 0, kSizeWords}, &R::lowpassSize,
                          StoredAs::Plain, kSizeSlider),
};
constexpr ParamField<SpecialParams> kSpecial[] = {
    paramField<&SpecialParams::type>(
        {"typ", K::Integer, 0, kSpecialKernelCount - 1}, &R::specialType, StoredAs::Plain,
        {.control = F::Choice, .label = "Filter", .choiceText = specialKernelLabel, .columns = 2}),
};
// The key named for the type holds the mask, the key named for the mask the kind. The
// threshold counts only for the threshold filter.
constexpr ParamField<NoiseParams> kNoise[] = {
    paramField<&NoiseParams::mask>(
        {"maske", K::Integer, 0, kNoiseMaskCount - 1}, &R::noiseType, StoredAs::Plain,
        {.control = F::Choice, .label = "Maske", .choiceText = noiseMaskLabel, .fixedFont = true}),
    paramField<&NoiseParams::kind>(
        {"art", K::Choice, 0, 3, 0, kNoiseKindWords}, &R::noiseMask, StoredAs::Plain,
        {.control = F::Choice,
         .label = "Filter",
         .choiceText = [](int k) { return noiseKindLabel(static_cast<NoiseKind>(k)); },
         .group = 1}),
    paramField<&NoiseParams::threshold>({"schwelle", K::Integer, 0, 65535}, &R::noiseLimit,
                                        StoredAs::Plain,
                                        {.control = F::Number,
                                         .label = "Schwellwert:",
                                         .group = 1,
                                         .enabledBy = 1,
                                         .enabledValue = static_cast<int>(NoiseKind::Threshold)}),
};
// The dialog shows the original's factor above the mask's.
using UP = UnsharpParams;
constexpr ParamField<UP> kUnsharp[] = {
    paramField<&UP::mask>({"maske", K::Integer, 0, kUnsharpMaskCount - 1}, &R::unsharpMaskStrength,
                          StoredAs::Plain,
                          {.control = F::Slider, .lowText = "schwach", .highText = "stark"}),
    paramField<&UP::m>({"m", K::Real, 0, 1000}, &R::unsharpMask, StoredAs::Scaled,
                       {.control = F::Number, .label = "-  Maske  x", .decimals = 4, .order = 1}),
    paramField<&UP::o>({"o", K::Real, 0, 1000}, &R::unsharpOriginal, StoredAs::Scaled,
                       {.control = F::Number, .label = "Original  x", .decimals = 4}),
};
template <UnsharpFactors (*Step)(UnsharpFactors)>
void stepFactors(UP& p) {
    const UnsharpFactors f = Step({p.m, p.o});
    p.m = f.m;
    p.o = f.o;
}
constexpr ParamAction<UP> kUnsharpActions[] = {
    {{"stärker", 2}, stepFactors<unsharpStronger>},
    {{"schwächer", 1}, stepFactors<unsharpWeaker>},
};
constexpr ParamField<DeconvolutionParams> kDeconvolution[] = {
    paramField<&DeconvolutionParams::iterations>(
        {"iterations", K::Integer, kMinIterations, kMaxIterations}, &R::lucyIterations),
};

// One row: a command, its fields, its factory, its help line and its dialog's buttons.
template <class P, class Make>
class Row final : public FilterOperation {
public:
    constexpr Row(FilterCommand command, std::span<const ParamField<P>> fields, Make make,
                  const char* help, std::span<const ParamAction<P>> actions = {})
        : command_(command), fields_(fields), make_(make), help_(help), actions_(actions) {}
    FilterCommand command() const override { return command_; }
    std::vector<OptionInfo> options() const override {
        std::vector<OptionInfo> out;
        for (const ParamField<P>& f : fields_) out.push_back(f.option);
        return out;
    }
    const char* cliHelp() const override { return help_; }
    std::vector<const char*> settingsKeys() const override {
        std::vector<const char*> out;
        for (const ParamField<P>& f : fields_)
            if (f.setting) out.push_back(settingsKeyOf(f.setting));
        return out;
    }
    std::unique_ptr<Filter> fromOptions(const OptionSource& source) const override {
        return make_(paramsFromOptions(fields_, source));
    }
    std::unique_ptr<Filter> fromSettings(const SettingsRecord& s) const override {
        return make_(paramsFromSettings(fields_, s));
    }
    std::vector<FormField> formFields() const override {
        std::vector<FormField> out;
        for (const ParamField<P>& f : fields_) out.push_back({f.option, f.dialog});
        return out;
    }
    std::vector<double> settingsValues(const SettingsRecord& s) const override {
        return valuesOf(paramsFromSettings(fields_, s));
    }
    void storeValues(std::span<const double> values, SettingsRecord& s) const override {
        storeParams(fields_, paramsOf(values), s);
    }
    std::unique_ptr<Filter> fromValues(std::span<const double> values) const override {
        return make_(paramsOf(values));
    }
    std::vector<FormAction> actions() const override {
        std::vector<FormAction> out;
        for (const ParamAction<P>& a : actions_) out.push_back(a.shown);
        return out;
    }
    void runAction(int index, std::span<double> values) const override {
        P p = paramsOf(values);
        actions_[static_cast<std::size_t>(index)].apply(p);
        const std::vector<double> changed = valuesOf(p);
        std::copy(changed.begin(), changed.end(), values.begin());
    }

private:
    std::vector<double> valuesOf(const P& p) const {
        std::vector<double> out;
        for (const ParamField<P>& f : fields_) out.push_back(f.get(p));
        return out;
    }
    P paramsOf(std::span<const double> values) const {
        P p{};
        for (std::size_t i = 0; i < fields_.size() && i < values.size(); ++i)
            fields_[i].set(p, values[i]);
        return p;
    }

    FilterCommand command_;
    std::span<const ParamField<P>> fields_;
    Make make_;
    const char* help_;
    std::span<const ParamAction<P>> actions_;
};

template <class P, class Make>
Row(FilterCommand, std::span<const ParamField<P>>, Make, const char*) -> Row<P, Make>;
template <class P, class Make>
Row(FilterCommand, std::span<const ParamField<P>>, Make, const char*,
    std::span<const ParamAction<P>>) -> Row<P, Make>;

std::unique_ptr<Filter> makeHighpass(const CP& p) {
    return makeFilter(FilterCommand::Highpass, p);
}
std::unique_ptr<Filter> makeLowpass(const CP& p) {
    return makeFilter(FilterCommand::Lowpass, p);
}
template <class P>
std::unique_ptr<Filter> makeOf(const P& p) {
    return makeFilter(p);
}

using MakeCP = std::unique_ptr<Filter> (*)(const CP&);
const Row<CP, MakeCP> kHighpassRow{FilterCommand::Highpass, kHighpass, &makeHighpass,
                                   "highpass, lowpass: --staerke 1..4 (1), --groesse 3|5|7 (3)"};
const Row<CP, MakeCP> kLowpassRow{FilterCommand::Lowpass, kLowpass, &makeLowpass, nullptr};
const Row kSpecialRow{
    FilterCommand::Special, std::span<const ParamField<SpecialParams>>(kSpecial),
    &makeOf<SpecialParams>,
    "special:           --typ 0..6 (0: Laplace 1, 1: Laplace 2, 2/3: Prewitt horizontal/\n"
    "                   vertikal, 4/5: Sobel horizontal/vertikal, 6: Sobel diagonal)"};
const Row kNoiseRow{
    FilterCommand::Noise, std::span<const ParamField<NoiseParams>>(kNoise), &makeOf<NoiseParams>,
    "noise:             --maske 0|1|2 (2; 0: Mitte und 4 Nachbarn, 1: Mitte und 4\n"
    "                   Diagonalen, 2: alle 9),\n"
    "                   --art maximal|minimal|median|schwelle (median), --schwelle N (100)"};
const Row kUnsharpRow{
    FilterCommand::Unsharp, std::span<const ParamField<UP>>(kUnsharp), &makeOf<UP>,
    "unsharp:           --maske 0..6 (2, schwach ... stark), --m FAKTOR (2), --o FAKTOR (3)",
    std::span<const ParamAction<UP>>(kUnsharpActions)};
// Not a subcommand of `quillon-cli filter`: `deconvolve` gathers its stars first.
const Row kDeconvolutionRow{FilterCommand::LucyRichardson,
                            std::span<const ParamField<DeconvolutionParams>>(kDeconvolution),
                            &makeOf<DeconvolutionParams>, nullptr};

const FilterOperation* const kRows[] = {&kHighpassRow, &kLowpassRow, &kSpecialRow,
                                        &kNoiseRow,    &kUnsharpRow, &kDeconvolutionRow};

} // namespace

bool FilterOperation::hasForm() const {
    for (const FormField& f : formFields())
        if (f.dialog.control != FieldControl::None) return true;
    return false;
}

std::span<const FilterOperation* const> filterOperations() {
    return kRows;
}

const FilterOperation* filterOperation(FilterCommand command) {
    for (const FilterOperation* op : kRows)
        if (op->command() == command) return op;
    return nullptr;
}

template <class P>
std::span<const ParamField<P>> ParamRecord<P>::fields() {
    if constexpr (std::is_same_v<P, SpecialParams>)
        return kSpecial;
    else if constexpr (std::is_same_v<P, NoiseParams>)
        return kNoise;
    else if constexpr (std::is_same_v<P, UnsharpParams>)
        return kUnsharp;
    else
        return kDeconvolution;
}
template struct ParamRecord<SpecialParams>;
template struct ParamRecord<NoiseParams>;
template struct ParamRecord<UnsharpParams>;
template struct ParamRecord<DeconvolutionParams>;

std::span<const ParamField<ConvolutionParams>> convolutionFields(FilterCommand command) {
    return command == FilterCommand::Highpass ? std::span<const ParamField<CP>>(kHighpass)
                                              : std::span<const ParamField<CP>>(kLowpass);
}

} // namespace quillon
