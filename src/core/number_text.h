// Numbers typed as text: the one check every number from a dialog field, a table cell, a
// command-line option or a settings value passes before it is converted, so that no typed
// text ("1e30", "inf", "nan", "2147483648") ever reaches an unchecked cast.
#pragma once

#include <string>
#include <string_view>

namespace quillon {

enum class NumberText {
    Ok,         // a number inside the range; the value is set
    NotANumber, // empty, trailing characters, or not finite ("inf", "nan")
    OutOfRange, // a number outside lo … hi (also beyond what the type can hold)
};

// A whole decimal number with an optional sign; blanks around it are ignored.
NumberText readWholeNumber(std::string_view text, long long lo, long long hi, long long& value);
// The same for an int range.
NumberText readWholeNumber(std::string_view text, int lo, int hi, int& value);
// A finite real in C notation ("12", "-0.5", "2e3"); blanks around it are ignored. Bounds may
// be infinite; a number beyond double is out of range.
NumberText readRealNumber(std::string_view text, double lo, double hi, double& value);

// "<field>: Zahl von <lo> bis <hi> erwartet, nicht <v>" (numbers as printf's %g), the wording
// of a stored or loaded number out of its range; empty when v is finite and inside lo … hi.
std::string rangeProblem(const std::string& field, double v, double lo, double hi);

} // namespace quillon
