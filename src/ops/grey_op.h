// The operation record of "Zu Graubild konvertieren": the factors and the weight switch with
// their defaults, the settings they start from and are stored into, the range the dialog's
// fields keep and the command-line options. quillon-cli grey and the grey dialog build from it.
#pragma once

#include "core/settings_record.h"
#include "ops/convert.h"

#include <array>

namespace quillon {

struct GreyParams {
    GreyFactors factors{};  // natural ratio
    bool useWeights = true; // "Farbgewichtung berücksichtigen"
};

// Largest factor (either sign) whose value × 10000 is still a stored integer: the dialog's range.
inline constexpr double kMaxGreyFactor = 214748;

// The command line: "--factors R,G,B" (each within ±kGreyFactorOptionLimit) and "--no-weights".
inline constexpr const char* kGreyFactorsOption = "factors";
inline constexpr const char* kGreyNoWeightsFlag = "no-weights";
inline constexpr float kGreyFactorOptionLimit = 1e6f;
inline constexpr const char* kGreyFactorsExpected = "drei Faktoren R,G,B";

GreyParams greyFromSettings(const SettingsRecord& s);
// Each factor × 10000 computed in float (so that 0.11 is kept as 1100, not 1099), truncated and
// saturated; a factor of 0 is kept as 0.
void storeInto(const GreyParams& p, SettingsRecord& s);
// Index 0 … 2 of the first factor outside ±kMaxGreyFactor (or not a number), or −1.
int validate(const GreyParams& p);
// The factors the conversion uses with a view's channel weights.
GreyFactors effectiveFactors(const GreyParams& p, const std::array<float, 3>& weights);

} // namespace quillon
