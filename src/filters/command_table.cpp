// The filter and image command table and its look-ups.
#include "filters/command_table.h"

namespace quillon {
namespace {

using C = FilterCommand;
using M = CommandMenu;

constexpr FilterCommandInfo kCommands[] = {
    {C::Highpass, M::Filter, "filter", "highpass", "&Hochpassfilter (schärfung) ...", 20,
     "Hochpassfilter", "Hochpassfilter (schärfung)"},
    {C::Lowpass, M::Filter, "filter", "lowpass", "&Tiefpassfilter (glättung) ...", 20,
     "Tiefpassfilter", "Tiefpassfilter (glättung)"},
    {C::Special, M::Filter, "filter", "special", "&Spezialfilter (Kontur, Relief, ...) ...", 12,
     "Spezialfilter", "Spezialfilter"},
    {C::Noise, M::Filter, "filter", "noise", "&Rauschfilter...", 12, "Rauschfilter",
     "Rauschfilter"},
    {C::Unsharp, M::Filter, "filter", "unsharp", "&Unscharfe Maske...", 20, "Unscharf Maskiert",
     "Unscharfe Maske"},
    {C::LucyRichardson, M::Filter, "deconvolve", nullptr, "&Lucy-Richardson Deconvolution", 0,
     "Lucy Richardson Deconv.", "Lucy-Richardson Deconv."},
    {C::MirrorHorizontal, M::Image, "mirror", "horizontal", "&Horizontal", 0, nullptr, nullptr},
    {C::MirrorVertical, M::Image, "mirror", "vertikal", "&Vertikal", 0, nullptr, nullptr},
    {C::RotateRight, M::Image, "rotate", "rechts", "90° &Rechts", 0, nullptr, nullptr},
    {C::RotateLeft, M::Image, "rotate", "links", "90° &Links", 0, nullptr, nullptr},
    {C::Rotate180, M::Image, "rotate", "180", "180° (&Kopfstehend)", 0, nullptr, nullptr},
    {C::Resize, M::Image, "resize", nullptr, "&Größe / Bining ...", 0, "Neue Größe", "Bildgröße"},
    {C::Crop, M::Image, "crop", nullptr, "&Ausschnitt", 0, "Ausschnitt", nullptr},
};

constexpr bool inEnumOrder() {
    int i = 0;
    for (const FilterCommandInfo& e : kCommands)
        if (static_cast<int>(e.command) != i++) return false;
    return true;
}
static_assert(inEnumOrder(), "the command table follows the order of FilterCommand");

} // namespace

std::span<const FilterCommandInfo> filterCommands() {
    return kCommands;
}

const FilterCommandInfo& filterCommandInfo(FilterCommand command) {
    return kCommands[static_cast<int>(command)];
}

std::optional<FilterCommand> findCliCommand(std::string_view cliCommand, std::string_view cliName) {
    for (const FilterCommandInfo& e : kCommands)
        if (e.cliCommand && cliCommand == e.cliCommand &&
            cliName == std::string_view(e.cliName ? e.cliName : ""))
            return e.command;
    return std::nullopt;
}

bool filterCommandEnabled(FilterCommand command, int width, int height) {
    const int m = filterCommandInfo(command).minimumSize;
    return width >= m && height >= m && width > 0 && height > 0;
}

} // namespace quillon
