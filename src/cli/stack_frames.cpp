// quillon-cli stack: frames left out by their star figures, and registration by all stars.
#include "cli/stack_frames.h"

#include "cli/progress_bar.h"
#include "composite/frame_analysis.h"
#include "composite/run.h"

#include <cstdio>

namespace quillon::cli {

bool wantsFrameSteps(const OpArgs& a) {
    return !a.all("select").empty() || a.has("keep-best") || a.has("auto-register");
}

void applyFrameSteps(const OpArgs& a, CompositeJob& job) {
    std::vector<FrameRule> rules;
    for (const std::string& text : a.all("select")) {
        FrameRule r;
        std::string error;
        if (!parseFrameRule(text, r, error)) throw UsageError{error};
        rules.push_back(r);
    }
    double keep = 0;
    if (a.has("keep-best")) {
        std::string v = a.options.at("keep-best");
        if (!v.empty() && v.back() == '%') v.pop_back();
        keep = parseDouble(v, "--keep-best", 1, 100);
    }
    const bool registering = a.has("auto-register");
    RegistrationModel model = RegistrationModel::Similarity;
    if (a.has("transform") && !registrationModelFromName(a.options.at("transform"), model))
        badValue("--transform", a.options.at("transform"),
                 "shift, similarity, affine oder homography");
    if ((a.has("transform") || a.has("ref-frame")) && !registering)
        throw UsageError{"--transform und --ref-frame nur mit --auto-register"};
    const int refFrame = a.has("ref-frame") ? a.integer("ref-frame", 1, 1, 1000000) - 1 : -1;

    std::vector<FrameAnalysis> frames;
    {
        TerminalProgress bar;
        Progress progress(&bar);
        FileImageSource source;
        frames = analyzeJob(job, source, StarMeasureSettings{}, 0, progress);
    }
    applyFrameSelection(job, frames, rules, keep);
    if (registering) {
        std::string error;
        if (autoRegisterJob(job, frames, model, refFrame, error) == 0) throw Error(error);
    }
    for (const FrameAnalysis& f : frames) {
        if (!f.dropped.empty()) {
            std::printf("%s: ausgelassen, %s\n", f.name.c_str(), f.dropped.c_str());
        } else if (registering && f.index == 0 && f.registration.matched == 0) {
            std::printf("%s: Referenzbild (Güte %.1f)\n", f.name.c_str(), f.quality.score);
        } else if (registering && f.registration.matched > 0) {
            const auto& h = f.registration.h;
            std::printf("%s: %d Sterne, Restfehler %.3f Pixel%s, Abbildung %.9g %.9g %.9g %.9g "
                        "%.9g %.9g %.9g %.9g\n",
                        f.name.c_str(), f.registration.matched, f.registration.rms,
                        f.registration.mirrored ? ", gespiegelt" : "", h[0], h[1], h[2], h[3], h[4],
                        h[5], h[6], h[7]);
        }
    }
}

} // namespace quillon::cli
