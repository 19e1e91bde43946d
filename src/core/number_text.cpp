// Reading whole and real numbers from text with a range check before any conversion.
#include "core/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>

namespace quillon {

namespace {

bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// The text without surrounding blanks and without one leading "+" (from_chars takes only
// "-"); empty when nothing is left or the "+" is followed by another sign.
std::string_view core(std::string_view t) {
    while (!t.empty() && blank(t.front())) t.remove_prefix(1);
    while (!t.empty() && blank(t.back())) t.remove_suffix(1);
    if (!t.empty() && t.front() == '+') {
        t.remove_prefix(1);
        if (!t.empty() && (t.front() == '-' || t.front() == '+')) return {};
    }
    return t;
}

} // namespace

NumberText readWholeNumber(std::string_view text, long long lo, long long hi, long long& value) {
    const std::string_view t = core(text);
    if (t.empty()) return NumberText::NotANumber;
    long long v = 0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v, 10);
    if (r.ptr != t.data() + t.size()) return NumberText::NotANumber;
    if (r.ec == std::errc::result_out_of_range) return NumberText::OutOfRange;
    if (r.ec != std::errc{}) return NumberText::NotANumber;
    if (v < lo || v > hi) return NumberText::OutOfRange;
    value = v;
    return NumberText::Ok;
}

NumberText readWholeNumber(std::string_view text, int lo, int hi, int& value) {
    long long v = 0;
    const NumberText r =
        readWholeNumber(text, static_cast<long long>(lo), static_cast<long long>(hi), v);
    if (r == NumberText::Ok) value = static_cast<int>(v); // lo <= v <= hi
    return r;
}

NumberText readRealNumber(std::string_view text, double lo, double hi, double& value) {
    const std::string_view t = core(text);
    if (t.empty()) return NumberText::NotANumber;
    double v = 0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v, std::chars_format::general);
    if (r.ptr != t.data() + t.size()) return NumberText::NotANumber;
    if (r.ec == std::errc::result_out_of_range) {
        // Beyond double ("1e400") is out of range; a tiny value ("1e-400") reads as 0.
        const std::size_t e = t.find_first_of("eE");
        if (e == std::string_view::npos || t.substr(e + 1, 1) != "-") return NumberText::OutOfRange;
        v = 0;
    } else if (r.ec != std::errc{}) {
        return NumberText::NotANumber;
    }
    if (!std::isfinite(v)) return NumberText::NotANumber;
    if (!(v >= lo && v <= hi)) return NumberText::OutOfRange;
    value = v;
    return NumberText::Ok;
}

std::string rangeProblem(const std::string& field, double v, double lo, double hi) {
    if (std::isfinite(v) && v >= lo && v <= hi) return {};
    auto number = [](double x) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%g", x);
        return std::string(buf);
    };
    return field + ": Zahl von " + number(lo) + " bis " + number(hi) + " erwartet, nicht " +
           number(v);
}

} // namespace quillon
