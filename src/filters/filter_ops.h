// The operation records of the filter menu: for each filter its parameters struct with the
// defaults, the settings it starts from and stores, the ranges, its command-line options and
// the one factory that builds the filter. quillon-cli and the GUI's dialogs both build from here.
#pragma once

#include "core/operation.h"
#include "filters/command_table.h"
#include "filters/filter.h"

#include <memory>
#include <span>
#include <vector>

namespace quillon {

// High-pass and low-pass: strength and mask size as positions 0 … 3 and 0 … 2 (3, 5, 7).
struct ConvolutionParams {
    int strength = 0;
    int size = 0;
};

// One of the special kernels 0 … kSpecialKernelCount − 1.
struct SpecialParams {
    int type = 0;
};

// Mask 0 … 2, kind in the order of NoiseKind, threshold 0 … 65535.
struct NoiseParams {
    int mask = 2;
    int kind = 2; // median
    int threshold = 100;
};

// Mask position 0 … 6 and the factors m (mask) and o (original), 0 … 1000.
struct UnsharpParams {
    int mask = 2;
    float m = 2.0f;
    float o = 3.0f;
};

// Lucy-Richardson: iterations kMinIterations … kMaxIterations.
struct DeconvolutionParams {
    int iterations = 1;
};

// The one factory per parameters struct.
std::unique_ptr<Filter> makeFilter(FilterCommand command, const ConvolutionParams& p);
std::unique_ptr<Filter> makeFilter(const SpecialParams& p);
std::unique_ptr<Filter> makeFilter(const NoiseParams& p);
std::unique_ptr<Filter> makeFilter(const UnsharpParams& p);
std::unique_ptr<Filter> makeFilter(const DeconvolutionParams& p);

// A field as the command's dialog sees it.
struct FormField {
    OptionInfo option;
    DialogInfo dialog;
};

// A dialog button beside a field that changes several parameters at once ("stärker").
struct FormAction {
    const char* label = nullptr;
    int beside = 0; // the index of the field it stands beside
};

// A form action on the typed parameters.
template <class P>
struct ParamAction {
    FormAction shown;
    void (*apply)(P&) = nullptr;
};

// The record of one filter command, whatever its parameters struct. The dialog works on the
// parameters as one value per field, in the order of formFields().
class FilterOperation {
public:
    virtual ~FilterOperation() = default;
    virtual FilterCommand command() const = 0;
    // The command-line options in the order they are read.
    virtual std::vector<OptionInfo> options() const = 0;
    // Its line of `quillon-cli filter`'s help (null: shares the line of the row before).
    virtual const char* cliHelp() const = 0;
    // The settings keys the parameters are stored under.
    virtual std::vector<const char*> settingsKeys() const = 0;
    // The filter from the defaults and the options the source holds.
    virtual std::unique_ptr<Filter> fromOptions(const OptionSource& source) const = 0;
    // The filter from the settings' parameters.
    virtual std::unique_ptr<Filter> fromSettings(const SettingsRecord& s) const = 0;

    // The fields with their dialog controls; a record without controls has its own dialog.
    virtual std::vector<FormField> formFields() const = 0;
    bool hasForm() const;
    virtual std::vector<double> settingsValues(const SettingsRecord& s) const = 0;
    virtual void storeValues(std::span<const double> values, SettingsRecord& s) const = 0;
    virtual std::unique_ptr<Filter> fromValues(std::span<const double> values) const = 0;
    virtual std::vector<FormAction> actions() const = 0;
    // Runs action `index` on the values.
    virtual void runAction(int index, std::span<double> values) const = 0;
};

// The filter commands with a record, in the order of FilterCommand.
std::span<const FilterOperation* const> filterOperations();
// The record of a command, or null when it has none.
const FilterOperation* filterOperation(FilterCommand command);

// The typed records: the field descriptions of each parameters struct (special, noise,
// unsharp and deconvolution parameters).
template <class P>
struct ParamRecord {
    static std::span<const ParamField<P>> fields();
};
// High-pass and low-pass share the struct and differ in their settings.
std::span<const ParamField<ConvolutionParams>> convolutionFields(FilterCommand command);

// Shorthands over the records for the dialogs.
template <class P>
P fromSettings(const SettingsRecord& s) {
    return paramsFromSettings(ParamRecord<P>::fields(), s);
}
template <class P>
void storeInto(const P& p, SettingsRecord& s) {
    storeParams(ParamRecord<P>::fields(), p, s);
}
template <class P>
const OptionInfo* validate(const P& p) {
    return outOfRange(ParamRecord<P>::fields(), p);
}

} // namespace quillon
