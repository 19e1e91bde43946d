// quillon-cli filter: high-pass, low-pass, special, noise and unsharp-mask filters.
#include "cli/command.h"
#include "cli/op_args.h"
#include "cli/progress_bar.h"
#include "filters/filter.h"
#include "filters/filter_ops.h"
#include "filters/noise.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>

namespace quillon::cli {
namespace {

// The filters of `quillon-cli filter`: the records whose command runs as "filter NAME".
bool isFilterSubcommand(const FilterOperation& op) {
    const char* c = filterCommandInfo(op.command()).cliCommand;
    return c && std::string_view(c) == "filter";
}

// Every option of the filters, then the layer choice.
std::vector<std::string> filterOptionNames() {
    std::vector<std::string> names;
    for (const FilterOperation* op : filterOperations())
        if (isFilterSubcommand(*op))
            for (const OptionInfo& o : op->options())
                if (std::find(names.begin(), names.end(), o.name) == names.end())
                    names.push_back(o.name);
    names.push_back("ebenen");
    return names;
}

int runFilter(const std::vector<std::string>& args) {
    if (args.empty()) throw UsageError{"Filter erwartet"};
    const std::string name = args[0];
    const std::optional<FilterCommand> command = findCliCommand("filter", name);
    if (!command) throw UsageError{"unbekannter Filter \"" + name + "\""};
    OpArgs a =
        OpArgs::parse(std::vector<std::string>(args.begin() + 1, args.end()), filterOptionNames());
    std::unique_ptr<Filter> filter = filterOperation(*command)->fromOptions(OpArgsSource(a));
    a.expectPositional(2, "Eingabe- und Ausgabedatei erwartet");
    TerminalProgress bar;
    Progress progress(&bar);
    Image source;
    openInput(a.positional[0], a.positional[1], source, progress);
    if (!filterCommandEnabled(*command, source.width(), source.height())) {
        const int m = filterCommandInfo(*command).minimumSize;
        throw Error("Der Filter braucht ein Bild von mindestens " + std::to_string(m) + " x " +
                    std::to_string(m) + " Pixeln.");
    }
    const LayerMask layers =
        a.has("ebenen") ? parseLayers(a.options.at("ebenen"), source.layerCount()) : 0;
    FilterOutcome outcome;
    auto result = applyFilter(*filter, source, layers, progress, &outcome);
    result->storedDisplay() = source.storedDisplay();
    if (outcome.zeroSum) {
        // Results around 0: black and white centred on 0 with the source's contrast.
        const StoredDisplayParams& s = source.storedDisplay();
        const DisplayParams defaults;
        const DisplayPoints p =
            centredDisplayPoints(s.hasPoints ? s.blackPoint : defaults.blackPoint,
                                 s.hasPoints ? s.whitePoint : defaults.whitePoint);
        result->storedDisplay().hasPoints = true;
        result->storedDisplay().blackPoint = p.black;
        result->storedDisplay().whitePoint = p.white;
    }
    saveOutput(*result, a.positional[1], progress);
    if (outcome.replaced >= 0) std::printf("%s\n", replacedPixelsMessage(outcome.replaced).c_str());
    std::printf("%s: %d x %d\n", filter->title(), result->width(), result->height());
    return 0;
}

// The help: the filter names, each record's line, then what all share.
const char* filterHelp() {
    static const std::string text = [] {
        std::vector<std::string> names;
        std::string lines;
        for (const FilterOperation* op : filterOperations()) {
            if (!isFilterSubcommand(*op)) continue;
            names.push_back(filterCommandInfo(op->command()).cliName);
            if (op->cliHelp()) lines += std::string(op->cliHelp()) + "\n";
        }
        std::string list;
        for (std::size_t i = 0; i < names.size(); ++i)
            list += (i == 0 ? "" : i + 1 == names.size() ? " oder " : ", ") + names[i];
        return "FILTER: " + list + "\n" + lines +
               "alle:              --ebenen alle|1,2,... (alle; Ebenen ab 1 gezählt)\n"
               "Das Ergebnis ist um die Maskengröße minus 1 kleiner als die Eingabe.";
    }();
    return text.c_str();
}

Registrar reg{{"filter", "filter FILTER [OPTIONEN] EINGABE AUSGABE.fts",
               "Hochpass-, Tiefpass-, Spezial-, Rauschfilter oder unscharfe Maske anwenden",
               filterHelp(), runFilter}};

} // namespace
} // namespace quillon::cli
