// quillon-cli photometry: measure one position, or a list of stars with a magnitude
// calibration built from those of known magnitude.
#include "analysis/photometry.h"
#include "cli/command.h"
#include "cli/op_args.h"
#include "cli/progress_bar.h"
#include "core/error.h"
#include "display/histogram.h"
#include "display/renderer.h"
#include "formats/open.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <tuple>

namespace quillon::cli {
namespace {

constexpr const char* kOutside = "Die Position liegt außerhalb des Bildes.";
constexpr const char* kEmptyArea = "Die Messfläche enthält keine Pixel.";

// "AxB" with both parts whole numbers in lo..hi.
std::pair<int, int> parseSize(const std::string& text, const std::string& what, int lo, int hi) {
    const std::string expected =
        "zwei ganze Zahlen von " + std::to_string(lo) + " bis " + std::to_string(hi) + " als BxH";
    const std::vector<int> v = parseIntegers(text, what, {2}, lo, hi, expected, "xX");
    return {v[0], v[1]};
}

// The option "--name BxH" into the area's fields `first` and `first` + 1, in their range.
void readSize(const OpArgs& a, const std::string& name, int first, PhotometryArea& area) {
    if (!a.has(name)) return;
    const std::span<const ParamField<PhotometryArea>> fields = photometryAreaFields();
    const ParamField<PhotometryArea>& w = fields[static_cast<std::size_t>(first)];
    const ParamField<PhotometryArea>& h = fields[static_cast<std::size_t>(first) + 1];
    const auto [x, y] = parseSize(a.options.at(name), "--" + name, static_cast<int>(w.option.lo),
                                  static_cast<int>(w.option.hi));
    w.set(area, x);
    h.set(area, y);
}

std::string plainLines(std::string s) {
    for (std::size_t p; (p = s.find("\r\n")) != std::string::npos;) s.erase(p, 1);
    return s;
}

PhotometryResult measureAt(const Image& image, const ImageRenderer& renderer, PhotometryArea area,
                           const std::string& where) {
    if (area.x < 0 || area.y < 0 || area.x >= image.width() || area.y >= image.height())
        throw Error(where + kOutside);
    PhotometryResult r = measure(image, area, &renderer.composition());
    if (!r.valid) throw Error(where + kEmptyArea);
    return r;
}

struct Star {
    int x = 0, y = 0;
    std::optional<float> mag;
    int line = 0;
};

// Columns x, y and optionally mag, found by a header line or taken in that order.
std::vector<Star> readStars(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw Error("Die Sternliste \"" + path + "\" kann nicht gelesen werden.");
    std::vector<Star> stars;
    int cx = 0, cy = 1, cm = 2;
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        std::vector<std::string> cells;
        std::stringstream ss(line);
        for (std::string c; std::getline(ss, c, ',');) {
            const std::size_t a = c.find_first_not_of(" \t\""), b = c.find_last_not_of(" \t\"");
            cells.push_back(a == std::string::npos ? std::string() : c.substr(a, b - a + 1));
        }
        if (stars.empty() && n == 1 && !cells.empty() &&
            cells[0].find_first_of("0123456789") == std::string::npos) {
            cx = cy = cm = -1;
            for (int i = 0; i < static_cast<int>(cells.size()); ++i) {
                const std::string& c = cells[static_cast<std::size_t>(i)];
                if (c == "x") cx = i;
                if (c == "y") cy = i;
                if (c == "mag") cm = i;
            }
            if (cx < 0 || cy < 0) throw Error(path + ": Spalten x und y fehlen.");
            continue;
        }
        const std::string where = path + ", Zeile " + std::to_string(n);
        auto cell = [&](int i) {
            return i >= 0 && i < static_cast<int>(cells.size()) ? cells[static_cast<std::size_t>(i)]
                                                                : std::string();
        };
        Star s;
        s.line = n;
        s.x = static_cast<int>(std::lround(parseDouble(cell(cx), where + ": x", -1e9, 1e9)));
        s.y = static_cast<int>(std::lround(parseDouble(cell(cy), where + ": y", -1e9, 1e9)));
        if (!cell(cm).empty()) s.mag = parseFloat(cell(cm), where + ": mag", -20, 30);
        stars.push_back(s);
    }
    return stars;
}

int runPhotometry(const std::vector<std::string>& args) {
    const OpArgs a = OpArgs::parse(args, {"at", "ellipse", "ring", "coefficient", "stars"});
    a.expectPositional(1, "genau eine Eingabedatei erwartet");
    if (a.has("at") == a.has("stars")) throw UsageError{"entweder --at X,Y oder --stars DATEI"};
    PhotometryArea area;
    readSize(a, "ellipse", kPhotometryEllipseField, area);
    readSize(a, "ring", kPhotometryRingField, area);
    PhotometricCalibration cal;
    if (a.has("coefficient")) {
        cal.coefficient = parseFloat(a.options.at("coefficient"), "--coefficient", 0, 3.0e38f);
        cal.referenceCount = 1;
    }
    std::vector<Star> stars;
    if (a.has("stars")) stars = readStars(a.options.at("stars"));

    TerminalProgress bar;
    Progress progress(&bar);
    Image image;
    openImage(a.positional[0], image, progress);
    ImageRenderer renderer(image);
    initFromImage(renderer);

    if (a.has("at")) {
        const std::vector<int> at =
            parseIntegers(a.options.at("at"), "--at", {2}, -kPhotometryMaxPosition,
                          kPhotometryMaxPosition, "X,Y");
        area.x = at[0];
        area.y = at[1];
        const PhotometryResult r = measureAt(image, renderer, area, "");
        std::printf("%s\n", plainLines(r.text).c_str());
        std::printf("Gesamthelligheit = %i\n", r.total);
        if (ratioShown(r.ratio))
            std::printf("Farbverhältnis (R:G:B): %.2f : %.2f : %.2f\n", r.ratio[0], r.ratio[1],
                        r.ratio[2]);
        else
            std::printf("Farbverhältnis (R:G:B): ----- : ----- : -----\n");
        std::string mag = "Entspr. mag = " + magnitudeText(r.total, cal.coefficient);
        if (const auto m = magnitudeOf(r.total, cal.coefficient))
            if (const auto e = magnitudeError(r.total, r.totalError)) {
                char buf[32];
                std::snprintf(buf, sizeof buf, " ± %.2f", *e);
                mag += buf;
            }
        std::printf("%s\n", mag.c_str());
        return 0;
    }

    // Every star first, then the coefficient from those with a magnitude, in list order.
    std::vector<PhotometryResult> results;
    for (const Star& s : stars) {
        PhotometryArea sa = area;
        sa.x = s.x;
        sa.y = s.y;
        results.push_back(
            measureAt(image, renderer, sa,
                      a.options.at("stars") + ", Zeile " + std::to_string(s.line) + ": "));
        if (s.mag) addReference(cal, results.back().total, *s.mag);
    }
    std::fputs(photometryCsvHeader(image).c_str(), stdout);
    for (const PhotometryResult& r : results)
        std::fputs(photometryCsvRow(r, cal.coefficient).c_str(), stdout);
    std::fprintf(stderr, "Koeffizient = %g, Anzahl Referenzen = %i\n", cal.coefficient,
                 cal.referenceCount);
    return 0;
}

Registrar reg{
    {"photometry",
     "photometry EINGABE (--at X,Y | --stars DATEI.csv) [--ellipse BxH] [--ring BxH] "
     "[--coefficient C]",
     "Helligkeit in einer Messellipse mit Hintergrundring messen, Magnitude kalibrieren",
     "--at X,Y misst an einer Position und gibt den Statistiktext, die Gesamthelligkeit, das\n"
     "Farbverhältnis und die Magnitude (mit --coefficient C, der Helligkeit eines Sterns der\n"
     "Größe 10) samt geschätztem Fehler aus. --stars DATEI.csv (Spalten x, y und optional\n"
     "mag) misst jeden Stern, bildet den Koeffizienten aus den Sternen mit Magnitude wie\n"
     "\"Referenzwert hinzu\" und schreibt eine CSV-Zeile je Stern auf die Standardausgabe.\n"
     "Messellipse 1..121 (Vorgabe 11x11), Ring 1..61 (Vorgabe 1x1) Pixel.",
     runPhotometry}};

} // namespace
} // namespace quillon::cli
