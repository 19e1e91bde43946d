// Master frames: each input is read once and parked in a temporary file, then the frames are
// combined strip by strip from that file.
#include "composite/master.h"

#include "composite/combine.h"
#include "composite/spill_file.h"
#include "core/error.h"
#include "core/image_type.h"
#include "core/memory.h"
#include "core/parallel.h"
#include "formats/open.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace quillon {

namespace {

std::string describeFrame(const Image& image) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%d x %d, %s, %d Ebene(n)", image.width(), image.height(),
                  std::string(ImageTypeName(image.type()).name).c_str(), image.layerCount());
    return buf;
}

bool sameFrame(const Image& a, const Image& b) {
    return a.width() == b.width() && a.height() == b.height() && a.type() == b.type() &&
           a.layerCount() == b.layerCount();
}

Sample medianOf(Sample* v, int n) {
    Sample* mid = v + n / 2;
    std::nth_element(v, mid, v + n);
    if (n % 2 != 0) return *mid;
    const Sample lower = *std::max_element(v, mid);
    return roundedMean(static_cast<long long>(lower) + *mid, 2);
}

Sample combinePixel(Sample* v, int n, MasterMethod method) {
    switch (method) {
    case MasterMethod::Mean: {
        long long sum = 0;
        for (int i = 0; i < n; ++i) sum += v[i];
        return roundedMean(sum, n);
    }
    case MasterMethod::Median: return medianOf(v, n);
    case MasterMethod::Reject: break;
    }
    return combineSamples(v, n, rejectionThreshold(n), true);
}

// The unrounded value of the same combination.
float exactPixel(Sample* v, int n, MasterMethod method, bool* rejected) {
    switch (method) {
    case MasterMethod::Mean: {
        double sum = 0;
        for (int i = 0; i < n; ++i) sum += v[i];
        return static_cast<float>(sum / n);
    }
    case MasterMethod::Median: {
        Sample* mid = v + n / 2;
        std::nth_element(v, mid, v + n);
        if (n % 2 != 0) return *mid;
        return (static_cast<float>(*std::max_element(v, mid)) + static_cast<float>(*mid)) / 2.0f;
    }
    case MasterMethod::Reject: break;
    }
    combineSamples(v, n, rejectionThreshold(n), true, rejected);
    double sum = 0;
    int kept = 0;
    for (int i = 0; i < n; ++i)
        if (!rejected[i]) sum += v[i], ++kept;
    return kept > 0 ? static_cast<float>(sum / kept) : 0.0f;
}

// Opens a file, naming it in the reader's message.
void openFrame(const std::string& file, Image& image, Progress& progress) {
    try {
        openImage(file, image, progress);
    } catch (const Error& e) {
        throw Error("\"" + file + "\": " + e.what());
    }
}

void buildInto(const std::vector<std::string>& files, const MasterOptions& options, Image& result,
               Progress& progress) {
    if (files.empty()) throw Error("Kein Bild für das Masterbild angegeben.");
    SpillFile spill(options.spillFolder, "für das Masterbild");
    openFrame(files[0], result, progress);
    result.SetOverlay(false);
    const int width = result.width(), height = result.height();
    const int planes = result.layerCount();
    const int frames = static_cast<int>(files.size());
    const std::size_t planeSamples = static_cast<std::size_t>(width) * height;
    const std::size_t planeBytes = planeSamples * sizeof(Sample);
    auto planeOffset = [&](int frame, int plane) {
        return static_cast<off_t>((static_cast<std::size_t>(frame) * planes + plane) * planeBytes);
    };
    for (int p = 0; p < planes; ++p)
        spill.write(result.planeData(p), planeBytes, planeOffset(0, p));
    for (int f = 1; f < frames; ++f) {
        Image frame;
        openFrame(files[f], frame, progress);
        if (!sameFrame(frame, result))
            throw Error("Die Datei \"" + files[f] + "\" passt nicht zum ersten Bild (" +
                        describeFrame(frame) + " statt " + describeFrame(result) + ").");
        for (int p = 0; p < planes; ++p)
            spill.write(frame.planeData(p), planeBytes, planeOffset(f, p));
    }

    const std::size_t frameRowBytes = static_cast<std::size_t>(frames) * width * sizeof(Sample);
    const int stripRows = static_cast<int>(std::clamp<std::size_t>(
        options.stripBytes / frameRowBytes, 1, static_cast<std::size_t>(height)));
    const std::size_t stripSamples = static_cast<std::size_t>(stripRows) * width;
    memory::Buffer<Sample> strips(stripSamples * frames, false);
    std::vector<float>* exact = options.exact;
    if (exact) exact->assign(planeSamples * static_cast<std::size_t>(planes), 0.0f);
    progress.begin("Bilder Zusammenführen", static_cast<long long>(height) * planes, 10);
    for (int p = 0; p < planes; ++p) {
        for (int top = 0; top < height; top += stripRows) {
            const int rows = std::min(stripRows, height - top);
            const std::size_t rowOffset = static_cast<std::size_t>(top) * width * sizeof(Sample);
            for (int f = 0; f < frames; ++f)
                spill.read(strips.data() + f * stripSamples,
                           static_cast<std::size_t>(rows) * width * sizeof(Sample),
                           planeOffset(f, p) + static_cast<off_t>(rowOffset));
            parallelRows(rows, 4, [&](int first, int last) {
                std::vector<Sample> values(static_cast<std::size_t>(frames));
                std::unique_ptr<bool[]> rejected(new bool[static_cast<std::size_t>(frames)]);
                for (int r = first; r < last; ++r) {
                    Sample* out = result.row(p, top + r);
                    const Sample* in = strips.data() + static_cast<std::size_t>(r) * width;
                    float* exactRow = exact ? exact->data() +
                                                  static_cast<std::size_t>(p) * planeSamples +
                                                  static_cast<std::size_t>(top + r) * width
                                            : nullptr;
                    for (int x = 0; x < width; ++x) {
                        for (int f = 0; f < frames; ++f)
                            values[static_cast<std::size_t>(f)] = in[f * stripSamples + x];
                        out[x] = combinePixel(values.data(), frames, options.method);
                        if (exactRow) // after: the median reorders the values
                            exactRow[x] =
                                exactPixel(values.data(), frames, options.method, rejected.get());
                    }
                    progress.step();
                }
            });
        }
    }
    progress.end();
    result.samplesChanged();
    ImageInfo* info = nullptr;
    if (result.BeginInfoWrite(info) == 0) {
        char line[72];
        std::snprintf(line, sizeof line, "Masterbild aus %d Bildern (%s)", frames,
                      masterMethodName(options.method));
        info->addComment(line);
        result.EndInfoWrite();
    }
}

} // namespace

const char* masterMethodName(MasterMethod method) {
    switch (method) {
    case MasterMethod::Mean: return "mean";
    case MasterMethod::Median: return "median";
    case MasterMethod::Reject: break;
    }
    return "reject";
}

namespace {
// In the order of MasterMethod.
constexpr const char* kMasterMethodWords[] = {"mean", "median", "reject"};
constexpr ParamField<MasterParams> kMasterFields[] = {
    paramField<&MasterParams::method>({"method", OptionKind::Choice, 0, 2, 0, kMasterMethodWords}),
};
} // namespace

std::span<const ParamField<MasterParams>> masterFields() {
    return kMasterFields;
}

MasterOptions masterOptions(const MasterParams& p) {
    MasterOptions o;
    o.method = static_cast<MasterMethod>(p.method);
    return o;
}

void buildMaster(const std::vector<std::string>& files, const MasterOptions& options, Image& result,
                 Progress& progress) {
    try {
        buildInto(files, options, result, progress);
    } catch (...) {
        result.Clear();
        throw;
    }
}

} // namespace quillon
