// Frame quality figures, selection rules and the choice of the frames to keep.
#include "analysis/frame_quality.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace quillon {
namespace {

double medianOf(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t h = v.size() / 2;
    return v.size() % 2 ? v[h] : (v[h - 1] + v[h]) / 2;
}

std::string trim(const std::string& s) {
    const std::size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return {};
    return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

constexpr const char* kFigureNames[] = {"fwhm",       "fwhm_arcsec", "roundness", "stars",
                                        "background", "noise",       "score"};

} // namespace

FrameQuality frameQuality(const StarField& field, double pixelScale) {
    FrameQuality q;
    q.stars = static_cast<int>(field.stars.size());
    q.background = field.background;
    q.noise = field.noise;
    std::vector<const MeasuredStar*> shape;
    for (const MeasuredStar& s : field.stars)
        if (s.fitted && !s.saturated && !s.blended && s.snr >= 20) shape.push_back(&s);
    if (shape.size() < 3) {
        shape.clear();
        for (const MeasuredStar& s : field.stars)
            if (s.fitted && !s.saturated) shape.push_back(&s);
    }
    if (shape.empty()) return q;
    std::vector<double> fwhm, round, peak;
    for (const MeasuredStar* s : shape) {
        fwhm.push_back(s->fwhm);
        round.push_back(s->roundness);
        if (peak.size() < 25) peak.push_back(field.noise > 0 ? s->peak / field.noise : 0);
    }
    q.fwhm = medianOf(fwhm);
    q.fwhmArcsec = pixelScale > 0 ? q.fwhm * pixelScale : 0;
    q.roundness = medianOf(round);
    q.score = q.roundness * q.roundness * medianOf(peak) * std::min(1.0, q.stars / 10.0);
    return q;
}

bool frameFigure(const FrameQuality& q, const std::string& name, double& value) {
    const double values[] = {q.fwhm,       q.fwhmArcsec, q.roundness, double(q.stars),
                             q.background, q.noise,      q.score};
    for (std::size_t i = 0; i < std::size(kFigureNames); ++i)
        if (name == kFigureNames[i]) {
            value = values[i];
            return true;
        }
    return false;
}

bool parseFrameRule(const std::string& text, FrameRule& rule, std::string& error) {
    const std::size_t at = text.find_first_of("<>=!");
    rule = FrameRule{};
    rule.text = trim(text);
    if (at == std::string::npos) {
        error = "Auswahlregel \"" + rule.text + "\": Vergleich fehlt (z. B. fwhm<3.5).";
        return false;
    }
    std::size_t end = at + 1;
    if (end < text.size() && text[end] == '=') ++end;
    rule.name = trim(text.substr(0, at));
    rule.op = text.substr(at, end - at);
    const std::string number = trim(text.substr(end));
    double dummy = 0;
    if (!frameFigure(FrameQuality{}, rule.name, dummy)) {
        error = "Auswahlregel \"" + rule.text + "\": unbekannte Größe \"" + rule.name +
                "\" (fwhm, fwhm_arcsec, roundness, stars, background, noise, score).";
        return false;
    }
    if (rule.op == "!") {
        error = "Auswahlregel \"" + rule.text + "\": unbekannter Vergleich.";
        return false;
    }
    const char* b = number.data();
    const char* e = b + number.size();
    const auto [ptr, ec] = std::from_chars(b, e, rule.value);
    if (number.empty() || ec != std::errc() || ptr != e || !std::isfinite(rule.value)) {
        error = "Auswahlregel \"" + rule.text + "\": \"" + number + "\" ist keine Zahl.";
        return false;
    }
    return true;
}

bool frameRulePasses(const FrameRule& rule, const FrameQuality& q) {
    double v = 0;
    if (!frameFigure(q, rule.name, v)) return false;
    if (rule.op == "<") return v < rule.value;
    if (rule.op == "<=") return v <= rule.value;
    if (rule.op == ">") return v > rule.value;
    if (rule.op == ">=") return v >= rule.value;
    if (rule.op == "!=") return v != rule.value;
    return v == rule.value; // "=" and "=="
}

std::vector<std::string> selectFrames(const std::vector<FrameQuality>& frames,
                                      const std::vector<FrameRule>& rules, double keepBestPercent) {
    std::vector<std::string> reasons(frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i)
        for (const FrameRule& r : rules)
            if (!frameRulePasses(r, frames[i])) {
                reasons[i] = "Regel " + r.text + " nicht erfüllt";
                break;
            }
    if (keepBestPercent > 0 && keepBestPercent < 100) {
        // At most that share: 75 % of 30 frames keeps 22.
        const auto keep = static_cast<std::size_t>(
            std::floor(keepBestPercent / 100.0 * static_cast<double>(frames.size()) + 1e-9));
        std::vector<std::size_t> order;
        for (std::size_t i = 0; i < frames.size(); ++i)
            if (reasons[i].empty()) order.push_back(i);
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return frames[a].score > frames[b].score;
        });
        for (std::size_t k = keep; k < order.size(); ++k) {
            char buf[96];
            std::snprintf(buf, sizeof buf, "nicht unter den besten %g %% (Güte %.1f)",
                          keepBestPercent, frames[order[k]].score);
            reasons[order[k]] = buf;
        }
    }
    return reasons;
}

} // namespace quillon
