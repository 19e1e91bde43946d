// Argument handling shared by the image-operation commands: options, numbers, layer lists,
// and reading the input and saving the result as FITS.
#pragma once

#include "cli/command.h"
#include "core/error.h"
#include "core/image.h"
#include "core/progress.h"
#include "filters/layer_selection.h"

#include <map>
#include <string>
#include <vector>

namespace quillon::cli {

// "--name value" options and "--flag" switches, then positional arguments.
struct OpArgs {
    std::map<std::string, std::string> options;
    std::vector<std::string> positional;

    // `flags` are the switches that take no value; every other "--name" takes the next word.
    static OpArgs parse(const std::vector<std::string>& args, const std::vector<std::string>& known,
                        const std::vector<std::string>& flags = {});
    bool has(const std::string& name) const { return options.count(name) != 0; }
    int integer(const std::string& name, int fallback, int lo, int hi) const;
    float real(const std::string& name, float fallback, float lo, float hi) const;
};

int parseInteger(const std::string& text, const std::string& what, int lo, int hi);

// "alle" or a comma-separated list of layer numbers counted from 1, checked against the image.
LayerMask parseLayers(const std::string& text, int layerCount);

// Opens the input (any readable format) and checks that the output name is a FITS name.
void openInput(const std::string& input, const std::string& output, Image& image,
               Progress& progress);
// Saves as FITS with the display values the image keeps.
void saveOutput(Image& image, const std::string& output, Progress& progress);

} // namespace quillon::cli
