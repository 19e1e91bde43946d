// quillon-cli background: the background model fitted to sky samples, subtracted or divided.
#include "cli/command.h"
#include "cli/op_args.h"
#include "cli/progress_bar.h"
#include "core/error.h"
#include "core/parallel.h"
#include "filters/background.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace quillon::cli {
namespace {

// The user's sample changes: one "X,Y[,1|0]" per line (image pixels); 1 or nothing adds a
// sample there or switches the one there on, 0 switches it off. Empty lines and lines
// starting with # are skipped.
void applySampleFile(const std::string& path, std::vector<BackgroundSample>& samples,
                     const Image& image, const BackgroundOptions& o, LayerMask layers) {
    std::ifstream in(path);
    if (!in) throw Error("Die Datei \"" + path + "\" kann nicht gelesen werden.");
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const std::string where = path + ", Zeile " + std::to_string(number);
        const std::size_t c1 = line.find(',');
        if (c1 == std::string::npos) badValue(where, line, "X,Y[,1|0]");
        const std::size_t c2 = line.find(',', c1 + 1);
        const int x = parseInteger(line.substr(0, c1), where, 0, image.width() - 1);
        const int y = parseInteger(
            line.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1), where,
            0, image.height() - 1);
        const bool on = c2 == std::string::npos || parseInteger(line.substr(c2 + 1), where, 0, 1);
        // A click toggles; the file states the wanted state, so toggle only when it differs.
        const int box = std::max(backgroundBoxSize(image.width(), image.height(), o.grid) / 2, 2);
        bool found = false;
        for (const BackgroundSample& s : samples)
            if (std::abs(s.x - x) <= box && std::abs(s.y - y) <= box) {
                found = true;
                if (s.used() != on) toggleBackgroundSample(samples, image, o, layers, x, y);
                break;
            }
        if (!found && on) toggleBackgroundSample(samples, image, o, layers, x, y);
    }
}

int runBackground(const std::vector<std::string>& args) {
    OpArgs a = OpArgs::parse(
        args, {"method", "degree", "grid", "smoothing", "rejection", "model", "samples", "ebenen"},
        {"divide"});
    a.expectPositional(2, "Eingabe- und Ausgabedatei erwartet");
    BackgroundParams p = paramsFromOptions(backgroundFields(), OpArgsSource(a));
    p.divide = a.has("divide") ? 1 : 0;
    const BackgroundOptions o = p.options();
    if (a.has("model")) {
        const std::string& m = a.options.at("model");
        if (m == a.positional[0] || m == a.positional[1])
            throw UsageError{"--model: eine eigene Datei erwartet"};
    }

    // QUILLON_THREADS=n computes with n threads (benchmarks compare at equal thread counts).
    if (const char* n = std::getenv("QUILLON_THREADS"); n && *n)
        setThreadCount(parseInteger(n, "QUILLON_THREADS", 1, 1024));

    TerminalProgress bar;
    Progress progress(&bar);
    Image image;
    openInput(a.positional[0], a.positional[1], image, progress);
    const LayerMask layers =
        a.has("ebenen") ? parseLayers(a.options.at("ebenen"), image.layerCount()) : 0;
    const auto start = std::chrono::steady_clock::now();
    std::vector<BackgroundSample> samples = placeBackgroundSamples(image, o, layers);
    if (a.has("samples")) applySampleFile(a.options.at("samples"), samples, image, o, layers);
    const BackgroundModel model = fitBackground(image, samples, o, layers);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    int used = 0;
    for (const BackgroundSample& s : samples) used += s.kept() ? 1 : 0;
    if (a.has("model")) {
        Image m = backgroundModelImage(image, model, layers);
        m.storedDisplay() = image.storedDisplay();
        saveOutput(m, a.options.at("model"), progress);
    }
    const auto applyStart = std::chrono::steady_clock::now();
    applyBackground(image, model, o.divide, layers, progress);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - applyStart).count();
    saveOutput(image, a.positional[1], progress);
    std::printf("Hintergrund %s: %d von %zu Proben benutzt, %s\n",
                o.divide ? "geteilt" : "abgezogen", used, samples.size(),
                o.method == BackgroundMethod::Polynomial
                    ? ("Polynom Grad " + std::to_string(o.degree)).c_str()
                    : "glatte Fläche");
    std::printf("Rechenzeit (Proben, Modell, Anwendung): %.3f s\n", seconds);
    return 0;
}

Registrar reg{{"background", "background EINGABE AUSGABE.fts [OPTIONEN]",
               "Hintergrund (Lichtverschmutzung, Vignettierung) modellieren und entfernen",
               "--method poly|spline Polynom oder glatte Fläche (poly)\n"
               "--degree N           Polynomgrad 1..4 (2)\n"
               "--grid N             Proben je Seite 8..32 (16)\n"
               "--smoothing S        Glättung der Fläche 0..1 (0.5)\n"
               "--rejection K        Ausschluss von Proben ab K Sigma, 1..10 (2.5)\n"
               "--divide             durch das Modell teilen statt es abzuziehen\n"
               "--model DATEI.fts    das Modell zusätzlich speichern\n"
               "--samples DATEI.csv  eigene Proben: je Zeile X,Y[,1|0] (1: hinzufügen bzw.\n"
               "                     benutzen, 0: die Probe dort nicht benutzen)\n"
               "--ebenen alle|1,2,...  Ebenen (alle; ab 1 gezählt)\n"
               "QUILLON_THREADS=n rechnet mit n Threads.",
               runBackground}};

} // namespace
} // namespace quillon::cli
