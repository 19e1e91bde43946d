// The one argument parser of quillon-cli: options, numbers, choices and layer lists for every
// subcommand, with one wording for wrong use; and reading the input and saving the result.
#pragma once

#include "cli/command.h"
#include "core/error.h"
#include "core/image.h"
#include "core/progress.h"
#include "filters/layer_selection.h"

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace quillon::cli {

// "--name value" options and "--flag" switches in any order among the positional arguments.
// A word starting with "-" and no digit is an option (so "-5" stays a number); an option not
// listed is a UsageError, as is a value option at the end.
struct OpArgs {
    std::map<std::string, std::string> options; // the last value given wins
    std::vector<std::string> positional;

    static OpArgs parse(const std::vector<std::string>& args,
                        std::initializer_list<const char*> valueOptions,
                        std::initializer_list<const char*> flags = {});
    bool has(const std::string& name) const { return options.count(name) != 0; }
    // The option's number or choice, or `fallback` when it is absent.
    int integer(const std::string& name, int fallback, int lo, int hi) const;
    float real(const std::string& name, float fallback, float lo, float hi) const;
    int choice(const std::string& name, int fallback,
               std::initializer_list<const char*> names) const;
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

// "alle" or a comma-separated list of layer numbers counted from 1, checked against the image.
LayerMask parseLayers(const std::string& text, int layerCount);

// Opens the input (any readable format) and checks that the output name is a FITS name.
void openInput(const std::string& input, const std::string& output, Image& image,
               Progress& progress);
// Saves as FITS with the display values the image keeps.
void saveOutput(Image& image, const std::string& output, Progress& progress);

} // namespace quillon::cli
