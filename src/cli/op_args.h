// The one argument parser of quillon-cli: options, numbers, choices and layer lists for every
// subcommand, with one wording for wrong use; and reading the input and saving the result.
#pragma once

#include "cli/command.h"
#include "core/error.h"
#include "core/image.h"
#include "core/operation.h"
#include "core/progress.h"
#include "filters/layer_selection.h"
#include "ops/calibration.h"
#include "ops/debayer.h"

#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quillon::cli {

// "--name value" options and "--flag" switches in any order among the positional arguments.
// A word starting with "-" and no digit is an option (so "-5" stays a number); an option not
// listed is a UsageError, as is a value option at the end. A repeated option keeps every value
// in order (`--ref X,Y --ref X,Y`); the others keep the last.
struct OpArgs {
    std::map<std::string, std::string> options; // the last value given wins
    std::map<std::string, std::vector<std::string>> repeated;
    std::vector<std::string> positional;

    static OpArgs parse(const std::vector<std::string>& args,
                        const std::vector<std::string>& valueOptions,
                        const std::vector<std::string>& flags = {},
                        const std::vector<std::string>& repeatedOptions = {});
    bool has(const std::string& name) const { return options.count(name) != 0; }
    // Every value of a repeated option, in the order given (empty when absent).
    const std::vector<std::string>& all(const std::string& name) const;
    // The option's number or choice, or `fallback` when it is absent.
    int integer(const std::string& name, int fallback, int lo, int hi) const;
    float real(const std::string& name, float fallback, float lo, float hi) const;
    int choice(const std::string& name, int fallback,
               std::initializer_list<const char*> names) const;
    // The option's comma list of exactly n reals lo … hi (else `expected` names the form), or
    // nothing when it is absent.
    std::optional<std::vector<float>> numbers(const std::string& name, std::size_t n, float lo,
                                              float hi, const std::string& expected) const;
    // The value of an operation record's option in the parameter's own range, read by its kind.
    std::optional<double> value(const OptionInfo& option) const;
    // The `count` numbers of a record's list option.
    std::optional<std::vector<double>> values(const OptionInfo& option) const;
    // Exactly n positional arguments, else UsageError(what).
    void expectPositional(std::size_t n, const std::string& what) const;
};

// The one wording of a bad value: `<what>: <expected> erwartet, nicht "<text>"`, as UsageError.
[[noreturn]] void badValue(const std::string& what, const std::string& text,
                           const std::string& expected);

// Whole numbers (decimal, optional sign) and reals (C notation, finite), checked against the
// range lo … hi; `what` names the option or argument in the message.
int parseInteger(const std::string& text, const std::string& what, int lo, int hi);
float parseFloat(const std::string& text, const std::string& what, float lo, float hi);
double parseDouble(const std::string& text, const std::string& what, double lo, double hi);
// A finite real above 0.
double parsePositive(const std::string& text, const std::string& what);
// One of `names` (index returned) or, when `numbered`, its index as a number.
int parseChoice(const std::string& text, const std::string& what,
                std::initializer_list<const char*> names, bool numbered = false);
int parseChoice(const std::string& text, const std::string& what,
                std::span<const char* const> names, bool numbered = false);

// A list of numbers between separators ("1,2,3", "7x5"), each read as the single numbers above.
// The count must be one of `counts`, else `<what>: <expected> erwartet, nicht "<text>"`; the
// count is checked before the numbers.
std::vector<std::string> splitList(const std::string& text, const std::string& separators = ",");
std::vector<float> parseReals(const std::string& text, const std::string& what,
                              std::initializer_list<std::size_t> counts, float lo, float hi,
                              const std::string& expected, const std::string& separators = ",");
std::vector<int> parseIntegers(const std::string& text, const std::string& what,
                               std::initializer_list<std::size_t> counts, int lo, int hi,
                               const std::string& expected, const std::string& separators = ",");

// The record's options as a source for its parameters.
class OpArgsSource : public OptionSource {
public:
    explicit OpArgsSource(const OpArgs& args) : args_(args) {}
    std::optional<double> value(const OptionInfo& option) const override {
        return args_.value(option);
    }
    std::optional<std::vector<double>> values(const OptionInfo& option) const override {
        return args_.values(option);
    }

private:
    const OpArgs& args_;
};

// The command-line names of a record's options, for OpArgs::parse.
template <class P>
std::vector<std::string> optionNames(std::span<const ParamField<P>> fields) {
    std::vector<std::string> out;
    for (const ParamField<P>& f : fields)
        if (f.option.name) out.emplace_back(f.option.name);
    return out;
}

// The debayer parameters from the options `patternName` and `methodName` (`debayer` and
// `stack` name them differently), starting from `p`.
void readDebayerOptions(const OpArgs& a, const std::string& patternName,
                        const std::string& methodName, DebayerParams& p);

// "alle" or a comma-separated list of layer numbers counted from 1, checked against the image.
LayerMask parseLayers(const std::string& text, int layerCount);

// The calibration from --dark, --flat, --dark-divisor, --offset and --flat-factor auto|F (the
// options `calibrate` and `stack` share); a given file switches its frame on.
CalibrationParams calibrationFromArgs(const OpArgs& a);

// Opens the input (any readable format) and checks that the output name is a FITS name.
void openInput(const std::string& input, const std::string& output, Image& image,
               Progress& progress);
// Saves as FITS with the display values the image keeps.
void saveOutput(Image& image, const std::string& output, Progress& progress);

} // namespace quillon::cli
