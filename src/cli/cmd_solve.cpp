// quillon-cli solve: plate solving from the image's own star list through astrometry.net.
#include "analysis/plate_solve.h"
#include "cli/command.h"
#include "cli/op_args.h"
#include "cli/progress_bar.h"
#include "core/number_text.h"
#include "core/wcs.h"
#include "formats/open.h"
#include "ops/geometry_wcs.h"

#include <cmath>
#include <cstdio>

namespace quillon::cli {
namespace {

// Degrees, or sexagesimal ("05:35:17.3" hours for RA, "-05:23:28" degrees for Dec).
double angle(const OpArgs& a, const std::string& name, bool hours, double lo, double hi) {
    const std::string& text = a.options.at(name);
    if (text.find(':') != std::string::npos) {
        double deg = 0;
        if (!parseSexagesimal(text, hours, deg) || deg < lo || deg > hi)
            badValue("--" + name, text, hours ? "Grad oder hh:mm:ss" : "Grad oder ±dd:mm:ss");
        return deg;
    }
    return parseDouble(text, "--" + name, lo, hi);
}

int runSolve(const std::vector<std::string>& args) {
    const OpArgs a = OpArgs::parse(
        args, {"scale-low", "scale-high", "ra", "dec", "radius", "timeout", "index-dir"});
    if (a.positional.empty() || a.positional.size() > 2)
        throw UsageError{"EINGABE und wahlweise AUSGABE.fts erwartet"};
    SolveHints hints;
    if (a.has("scale-low") != a.has("scale-high"))
        throw UsageError{"--scale-low und --scale-high nur zusammen"};
    if (a.has("scale-low")) {
        hints.scaleLow = parseDouble(a.options.at("scale-low"), "--scale-low", 0.001, 100000);
        hints.scaleHigh = parseDouble(a.options.at("scale-high"), "--scale-high", 0.001, 100000);
    }
    if (a.has("ra") != a.has("dec")) throw UsageError{"--ra und --dec nur zusammen"};
    if (a.has("ra")) {
        hints.hasCentre = true;
        hints.ra = angle(a, "ra", true, 0, 360);
        hints.dec = angle(a, "dec", false, -90, 90);
        if (a.has("radius"))
            hints.radius = parseDouble(a.options.at("radius"), "--radius", 0.001, 180);
    }
    if (a.has("timeout"))
        hints.timeout = parseDouble(a.options.at("timeout"), "--timeout", 1, 86400);
    if (a.has("index-dir")) hints.extraIndexFolder = a.options.at("index-dir");

    TerminalProgress bar;
    Progress progress(&bar);
    Image image;
    if (a.positional.size() == 2)
        openInput(a.positional[0], a.positional[1], image, progress);
    else
        openImage(a.positional[0], image, progress);
    // Without hints on the command line, the file's own cards give them.
    const PointingCards& file = image.info().pointing;
    if (!a.has("scale-low") && file.focalLengthMm > 0) {
        const double pixel = file.pixelSizeUm > 0 ? file.pixelSizeUm : image.pixelWidth();
        if (pixel > 0 && scaleFromOptics(file.focalLengthMm, pixel, hints))
            std::printf("Maßstab aus dem Dateikopf: %.4g mm Brennweite, %.4g µm Pixel\n",
                        file.focalLengthMm, pixel);
    }
    if (!a.has("ra") && !file.ra.empty() && !file.dec.empty()) {
        double ra = 0, dec = 0;
        auto angleOf = [](const std::string& t, bool hours, double& v) {
            if (t.find_first_of(": ") != std::string::npos) return parseSexagesimal(t, hours, v);
            return readRealNumber(t, -360, 360, v) == NumberText::Ok;
        };
        if (angleOf(file.ra, true, ra) && angleOf(file.dec, false, dec) && ra >= 0 && ra <= 360 &&
            dec >= -90 && dec <= 90) {
            hints.hasCentre = true;
            hints.ra = ra;
            hints.dec = dec;
            if (a.has("radius"))
                hints.radius = parseDouble(a.options.at("radius"), "--radius", 0.001, 180);
            std::printf("Bildmitte aus dem Dateikopf: RA %s, Dek %s\n", file.ra.c_str(),
                        file.dec.c_str());
        }
    }
    std::fflush(stdout);
    const SolveResult r = solveImage(image, hints, progress);
    const WcsSummary s = summarizeWcs(r.wcs, image.width(), image.height());
    std::printf("Bildmitte:  RA %s  Dek %s  (%.6f° %.6f°)\n", formatRa(s.centreRa).c_str(),
                formatDec(s.centreDec).c_str(), s.centreRa, s.centreDec);
    std::printf("Maßstab:    %.4f\"/px\n", s.scaleArcsec);
    std::printf("Drehung:    %.3f° (oben, von Nord über Ost)\n", s.rotation);
    std::printf("Feld:       %.3f° x %.3f°\n", s.fieldWidth, s.fieldHeight);
    std::printf("Parität:    %s\n", s.mirrored ? "gespiegelt" : "normal");
    std::printf("Sterne:     %d verwendet, %d mit dem Katalog abgeglichen\n", r.starsUsed,
                r.matchedStars);
    std::printf("Zeit:       %.2f s\n", r.seconds);
    if (a.positional.size() == 2) {
        setImageWcs(image, r.wcs);
        saveOutput(image, a.positional[1], progress);
    }
    return 0;
}

Registrar reg{
    {"solve", "solve EINGABE [AUSGABE.fts] [Optionen]",
     "Astrometrie: Himmelsposition des Bildes mit astrometry.net bestimmen",
     "Die Sterne des Bildes werden von Quillon gefunden und als Liste an solve-field\n"
     "(Debian-Paket astrometry.net) gegeben. AUSGABE erhält das Bild mit den\n"
     "Weltkoordinaten.\n"
     "  --scale-low A --scale-high B   Bildmaßstab zwischen A und B \"/px\n"
     "  --ra R --dec D                 ungefähre Bildmitte (Grad oder hh:mm:ss / ±dd:mm:ss)\n"
     "  --radius GRAD                  Suchradius um die Bildmitte (Vorgabe 5)\n"
     "  --timeout S                    Zeitgrenze in Sekunden (Vorgabe 60)\n"
     "  --index-dir ORDNER             weiterer Ordner mit Indexdateien (auch über\n"
     "                                 QUILLON_ASTROMETRY_INDEX); immer: /usr/share/astrometry",
     runSolve}};

} // namespace
} // namespace quillon::cli
