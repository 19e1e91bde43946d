// The grey conversion's operation record.
#include "ops/grey_op.h"

#include "core/sample.h"

namespace quillon {
namespace {

int scaled(float v) {
    return truncToInt(static_cast<double>(v * 10000.0f));
}

} // namespace

GreyParams greyFromSettings(const SettingsRecord& s) {
    GreyParams p;
    p.factors = {s.graypicRed / 10000.0f, s.graypicGreen / 10000.0f, s.graypicBlue / 10000.0f};
    p.useWeights = s.graypicWeight != 0;
    return p;
}

void storeInto(const GreyParams& p, SettingsRecord& s) {
    s.graypicRed = scaled(p.factors.red);
    s.graypicGreen = scaled(p.factors.green);
    s.graypicBlue = scaled(p.factors.blue);
    s.graypicWeight = p.useWeights ? 1 : 0;
}

int validate(const GreyParams& p) {
    const float f[3] = {p.factors.red, p.factors.green, p.factors.blue};
    for (int i = 0; i < 3; ++i)
        if (!(static_cast<double>(f[i]) >= -kMaxGreyFactor &&
              static_cast<double>(f[i]) <= kMaxGreyFactor))
            return i;
    return -1;
}

GreyFactors effectiveFactors(const GreyParams& p, const std::array<float, 3>& weights) {
    return effectiveGreyFactors(p.factors, p.useWeights, weights);
}

} // namespace quillon
