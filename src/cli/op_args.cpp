// The argument parser of quillon-cli and FITS input/output for the image-operation commands.
#include "cli/op_args.h"

#include "core/number_text.h"
#include "formats/fits_writer.h"
#include "formats/open.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <sstream>

namespace quillon::cli {

namespace {

bool listed(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

bool isOption(const std::string& a) {
    return a.size() > 1 && a[0] == '-' && !(a[1] >= '0' && a[1] <= '9');
}

std::string formatReal(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

std::string rangeText(const std::string& kind, const std::string& lo, const std::string& hi) {
    return kind + " von " + lo + " bis " + hi;
}

} // namespace

void badValue(const std::string& what, const std::string& text, const std::string& expected) {
    throw UsageError{what + ": " + expected + " erwartet, nicht \"" + text + "\""};
}

OpArgs OpArgs::parse(const std::vector<std::string>& args,
                     const std::vector<std::string>& valueOptions,
                     const std::vector<std::string>& flags,
                     const std::vector<std::string>& repeatedOptions) {
    OpArgs out;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!isOption(a)) {
            out.positional.push_back(a);
            continue;
        }
        const std::string name = a.compare(0, 2, "--") == 0 ? a.substr(2) : std::string();
        if (listed(flags, name)) {
            out.options[name] = "";
        } else if (listed(repeatedOptions, name)) {
            if (i + 1 >= args.size()) throw UsageError{a + " braucht einen Wert"};
            out.repeated[name].push_back(args[++i]);
        } else if (listed(valueOptions, name)) {
            if (i + 1 >= args.size()) throw UsageError{a + " braucht einen Wert"};
            out.options[name] = args[++i];
        } else {
            throw UsageError{"unbekannte Option \"" + a + "\""};
        }
    }
    return out;
}

int parseInteger(const std::string& text, const std::string& what, int lo, int hi) {
    int v = 0;
    if (readWholeNumber(text, lo, hi, v) != NumberText::Ok)
        badValue(what, text, rangeText("ganze Zahl", std::to_string(lo), std::to_string(hi)));
    return v;
}

float parseFloat(const std::string& text, const std::string& what, float lo, float hi) {
    // Checked in double against the float bounds, so the conversion to float cannot overflow.
    const double v = parseDouble(text, what, static_cast<double>(lo), static_cast<double>(hi));
    return static_cast<float>(v);
}

double parseDouble(const std::string& text, const std::string& what, double lo, double hi) {
    double v = 0;
    if (readRealNumber(text, lo, hi, v) != NumberText::Ok)
        badValue(what, text, rangeText("Zahl", formatReal(lo), formatReal(hi)));
    return v;
}

double parsePositive(const std::string& text, const std::string& what) {
    double v = 0;
    const double inf = std::numeric_limits<double>::infinity();
    if (readRealNumber(text, 0, inf, v) != NumberText::Ok || !(v > 0))
        badValue(what, text, "Zahl über 0");
    return v;
}

int parseChoice(const std::string& text, const std::string& what,
                std::initializer_list<const char*> names, bool numbered) {
    return parseChoice(text, what, std::span<const char* const>(names.begin(), names.size()),
                       numbered);
}

int parseChoice(const std::string& text, const std::string& what,
                std::span<const char* const> names, bool numbered) {
    int i = 0;
    std::string expected;
    for (const char* n : names) {
        if (text == n) return i;
        expected +=
            (i == 0 ? ""
                    : (i + 1 == static_cast<int>(names.size()) && !numbered ? " oder " : ", ")) +
            std::string(n);
        ++i;
    }
    if (numbered) {
        const int count = static_cast<int>(names.size());
        int v = 0;
        if (readWholeNumber(text, 0, count - 1, v) == NumberText::Ok) return v;
        expected += " oder " + rangeText("ganze Zahl", "0", std::to_string(count - 1));
    }
    badValue(what, text, expected);
}

int OpArgs::integer(const std::string& name, int fallback, int lo, int hi) const {
    auto it = options.find(name);
    return it == options.end() ? fallback : parseInteger(it->second, "--" + name, lo, hi);
}

float OpArgs::real(const std::string& name, float fallback, float lo, float hi) const {
    auto it = options.find(name);
    return it == options.end() ? fallback : parseFloat(it->second, "--" + name, lo, hi);
}

int OpArgs::choice(const std::string& name, int fallback,
                   std::initializer_list<const char*> names) const {
    auto it = options.find(name);
    return it == options.end() ? fallback : parseChoice(it->second, "--" + name, names);
}

const std::vector<std::string>& OpArgs::all(const std::string& name) const {
    static const std::vector<std::string> none;
    auto it = repeated.find(name);
    return it == repeated.end() ? none : it->second;
}

std::optional<std::vector<float>> OpArgs::numbers(const std::string& name, std::size_t n, float lo,
                                                  float hi, const std::string& expected) const {
    auto it = options.find(name);
    if (it == options.end()) return std::nullopt;
    return parseReals(it->second, "--" + name, {n}, lo, hi, expected);
}

std::optional<double> OpArgs::value(const OptionInfo& option) const {
    auto it = options.find(option.name);
    if (it == options.end()) return std::nullopt;
    const std::string what = "--" + std::string(option.name);
    switch (option.kind) {
    case OptionKind::Integer:
        return parseInteger(it->second, what, static_cast<int>(option.lo) + option.shown,
                            static_cast<int>(option.hi) + option.shown) -
               option.shown;
    case OptionKind::Real:
        return parseFloat(it->second, what, static_cast<float>(option.lo),
                          static_cast<float>(option.hi));
    case OptionKind::Choice: return parseChoice(it->second, what, option.words);
    case OptionKind::Switch: return option.whenGiven;
    }
    return std::nullopt;
}

std::optional<std::vector<double>> OpArgs::values(const OptionInfo& option) const {
    auto it = options.find(option.name);
    if (it == options.end()) return std::nullopt;
    const std::string what = "--" + std::string(option.name);
    const auto n = static_cast<std::size_t>(option.count);
    const std::string expected = option.expected ? option.expected : "";
    if (option.kind == OptionKind::Integer) {
        const std::vector<int> v = parseIntegers(it->second, what, {n}, static_cast<int>(option.lo),
                                                 static_cast<int>(option.hi), expected);
        return std::vector<double>(v.begin(), v.end());
    }
    const std::vector<float> v = parseReals(it->second, what, {n}, static_cast<float>(option.lo),
                                            static_cast<float>(option.hi), expected);
    return std::vector<double>(v.begin(), v.end());
}

void readDebayerOptions(const OpArgs& a, const std::string& patternName,
                        const std::string& methodName, DebayerParams& p) {
    if (a.has(patternName)) {
        const std::string& t = a.options.at(patternName);
        if (!parsePatternChoice(t, p.pattern))
            badValue("--" + patternName, t, kBayerPatternChoices);
    }
    if (a.has(methodName)) {
        const std::string& t = a.options.at(methodName);
        const auto m = parseDebayerMethod(t);
        if (!m) badValue("--" + methodName, t, kDebayerMethodChoices);
        p.method = *m;
    }
}

std::vector<std::string> splitList(const std::string& text, const std::string& separators) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find_first_of(separators, start);
        out.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) return out;
        start = end + 1;
    }
}

namespace {

template <class T, class Parse>
std::vector<T> parseList(const std::string& text, const std::string& what,
                         std::initializer_list<std::size_t> counts, const std::string& expected,
                         const std::string& separators, Parse parse) {
    const std::vector<std::string> items = splitList(text, separators);
    if (std::find(counts.begin(), counts.end(), items.size()) == counts.end())
        badValue(what, text, expected);
    std::vector<T> out;
    for (const std::string& item : items) out.push_back(parse(item));
    return out;
}

} // namespace

std::vector<float> parseReals(const std::string& text, const std::string& what,
                              std::initializer_list<std::size_t> counts, float lo, float hi,
                              const std::string& expected, const std::string& separators) {
    return parseList<float>(text, what, counts, expected, separators,
                            [&](const std::string& t) { return parseFloat(t, what, lo, hi); });
}

std::vector<int> parseIntegers(const std::string& text, const std::string& what,
                               std::initializer_list<std::size_t> counts, int lo, int hi,
                               const std::string& expected, const std::string& separators) {
    return parseList<int>(text, what, counts, expected, separators,
                          [&](const std::string& t) { return parseInteger(t, what, lo, hi); });
}

void OpArgs::expectPositional(std::size_t n, const std::string& what) const {
    if (positional.size() != n) throw UsageError{what};
}

LayerMask parseLayers(const std::string& text, int layerCount) {
    if (text == "alle") return 0;
    std::vector<bool> chosen(static_cast<std::size_t>(layerCount), false);
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ','))
        chosen[static_cast<std::size_t>(parseInteger(item, "Ebene", 1, layerCount) - 1)] = true;
    return LayerSelection::fromList(chosen).mask;
}

CalibrationParams calibrationFromArgs(const OpArgs& a) {
    using C = CalibrationParams;
    C c;
    if (a.has("dark")) c.darkFile = a.options.at("dark"), c.darkEnabled = true;
    if (a.has("flat")) c.flatFile = a.options.at("flat"), c.flatEnabled = true;
    c.darkDivisor = a.real("dark-divisor", 1.0f, static_cast<float>(C::kMinDarkDivisor),
                           static_cast<float>(C::kMaxDarkDivisor));
    c.offset = a.integer("offset", 0, C::kMinOffset, C::kMaxOffset);
    if (a.has("flat-factor") && a.options.at("flat-factor") != "auto") {
        c.automaticFactor = false;
        c.flatFactor = parseFloat(a.options.at("flat-factor"), "--flat-factor",
                                  static_cast<float>(C::kMinFlatFactor),
                                  static_cast<float>(C::kMaxFlatFactor));
    }
    return c;
}

void openInput(const std::string& input, const std::string& output, Image& image,
               Progress& progress) {
    checkFitsSaveName(output); // before the work, as saving would refuse it anyway
    openImage(input, image, progress);
}

void saveOutput(Image& image, const std::string& output, Progress& progress) {
    saveFits(image, output, progress);
}

} // namespace quillon::cli
