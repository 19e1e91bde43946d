// The overlay forming record.
#include "display/overlay_record.h"

#include <algorithm>

namespace quillon {

const char* overlayMethodText(int method) {
    static const char* const texts[] = {"Weiss", "heller als Grau", "dunkler als Grau", "Schwarz"};
    return texts[std::clamp(method, 0, 3)];
}

namespace {

using F = FieldControl;
using O = OverlayForming;
// Not on the command line: only the composite window forms overlays.
constexpr ParamField<O> kFields[] = {
    bitField<&O::method>({nullptr, OptionKind::Choice, OVERLAY_WHITE, OVERLAY_BLACK},
                         &SettingsRecord::overlayForming, 0, 4,
                         {.control = F::Choice,
                          .label = "Inaktive Overlaybereiche sind",
                          .choiceText = overlayMethodText}),
    bitField<&O::transparent>({nullptr, OptionKind::Integer, 0, 1}, &SettingsRecord::overlayForming,
                              4, 1, {.control = F::Check, .label = "Transparent"}),
    bitField<&O::invert>({nullptr, OptionKind::Integer, 0, 1}, &SettingsRecord::overlayForming, 5,
                         1, {.control = F::Check, .label = "Invertiert"}),
};

} // namespace

std::span<const ParamField<OverlayForming>> overlayFormingFields() {
    return kFields;
}

} // namespace quillon
