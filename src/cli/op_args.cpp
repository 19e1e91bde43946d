// Option parsing and FITS input/output for the image-operation commands.
#include "cli/op_args.h"

#include "formats/fits_writer.h"
#include "formats/open.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace quillon::cli {

OpArgs OpArgs::parse(const std::vector<std::string>& args, const std::vector<std::string>& known,
                     const std::vector<std::string>& flags) {
    OpArgs out;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            const std::string name = a.substr(2);
            if (std::find(flags.begin(), flags.end(), name) != flags.end()) {
                out.options[name] = "";
                continue;
            }
            if (std::find(known.begin(), known.end(), name) == known.end())
                throw UsageError{"unbekannte Option " + a};
            if (i + 1 >= args.size()) throw UsageError{"Wert fehlt nach " + a};
            out.options[name] = args[++i];
        } else {
            out.positional.push_back(a);
        }
    }
    return out;
}

int parseInteger(const std::string& text, const std::string& what, int lo, int hi) {
    errno = 0;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || v < lo || v > hi)
        throw UsageError{what + " muss eine ganze Zahl von " + std::to_string(lo) + " bis " +
                         std::to_string(hi) + " sein"};
    return static_cast<int>(v);
}

int OpArgs::integer(const std::string& name, int fallback, int lo, int hi) const {
    auto it = options.find(name);
    return it == options.end() ? fallback : parseInteger(it->second, "--" + name, lo, hi);
}

float OpArgs::real(const std::string& name, float fallback, float lo, float hi) const {
    auto it = options.find(name);
    if (it == options.end()) return fallback;
    errno = 0;
    char* end = nullptr;
    const float v = std::strtof(it->second.c_str(), &end);
    if (it->second.empty() || *end != '\0' || errno != 0 || !(v >= lo && v <= hi))
        throw UsageError{"--" + name + " muss eine Zahl von " + std::to_string(lo) + " bis " +
                         std::to_string(hi) + " sein"};
    return v;
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
