// The quality of one exposure from its measured stars, for ranking and selecting the frames
// of a series.
#pragma once

#include "analysis/star_measure.h"

#include <string>
#include <vector>

namespace quillon {

struct FrameQuality {
    int stars = 0;         // every measured star
    double fwhm = 0;       // median FWHM of the shape stars, pixels (0 without stars)
    double fwhmArcsec = 0; // the same in arc seconds; 0 when the pixel scale is unknown
    double roundness = 0;  // median minor / major axis of the shape stars
    double background = 0; // median background level
    double noise = 0;      // median background noise
    double score = 0;      // larger is better; 0 for a frame without stars
};

// Shape stars are the fitted, unsaturated, unblended stars of S/N 20 or more (all fitted
// unsaturated ones when fewer than 3 qualify). The score is roundness² × the median peak S/N
// (peak over noise) of the 25 brightest shape stars, scaled down by count / 10 below 10
// stars: blur and trailing lower the peaks, cloud lowers the signal and raises the noise.
// pixelScale is in arc seconds per pixel (0: unknown).
FrameQuality frameQuality(const StarField& field, double pixelScale = 0);

// One figure of a frame by its selection name: "fwhm", "fwhm_arcsec", "roundness", "stars",
// "background", "noise", "score". False for an unknown name.
bool frameFigure(const FrameQuality& q, const std::string& name, double& value);

// A selection rule "NAME OP VALUE" with OP one of < <= > >= = == !=, for example "fwhm<3.5".
struct FrameRule {
    std::string text; // as typed, for reports
    std::string name;
    std::string op;
    double value = 0;
};

// Reads a rule; returns the German reason when the text is not one.
bool parseFrameRule(const std::string& text, FrameRule& rule, std::string& error);
bool frameRulePasses(const FrameRule& rule, const FrameQuality& q);

// The frames to drop: a frame failing a rule is dropped with that rule's text as reason;
// with keepBestPercent in (0, 100) the remaining frames beyond that share of all frames
// (rounded down to a whole frame), lowest score first, are dropped by their score.
// Returns one reason per frame, empty for a kept frame.
std::vector<std::string> selectFrames(const std::vector<FrameQuality>& frames,
                                      const std::vector<FrameRule>& rules, double keepBestPercent);

} // namespace quillon
