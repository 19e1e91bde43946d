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

bool listed(std::initializer_list<const char*> names, const std::string& name) {
    return std::any_of(names.begin(), names.end(), [&](const char* n) { return name == n; });
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
                     std::initializer_list<const char*> valueOptions,
                     std::initializer_list<const char*> flags) {
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

void openInput(const std::string& input, const std::string& output, Image& image,
               Progress& progress) {
    checkFitsSaveName(output); // before the work, as saving would refuse it anyway
    openImage(input, image, progress);
}

void saveOutput(Image& image, const std::string& output, Progress& progress) {
    saveFits(image, output, progress);
}

} // namespace quillon::cli
