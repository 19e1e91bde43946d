// quillon-cli calibrate and repair: dark/flat calibration of one exposure or a series, and the
// repair of one defective row or column.
#include "cli/command.h"
#include "cli/op_args.h"
#include "cli/progress_bar.h"
#include "core/parallel.h"
#include "formats/fits_float.h"
#include "formats/fits_writer.h"
#include "formats/open.h"
#include "ops/calibration.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>

namespace quillon::cli {
namespace {

// QUILLON_THREADS=n computes with n threads (benchmarks compare at equal thread counts).
void threadsFromEnvironment() {
    if (const char* n = std::getenv("QUILLON_THREADS"); n && *n)
        setThreadCount(parseInteger(n, "QUILLON_THREADS", 1, 1024));
}

// A dark or flat frame; a failure names the frame with the dialog's words and the reader's
// reason on the next line.
std::unique_ptr<Image> loadFrame(const std::string& path, const char* failure, Progress& progress) {
    auto image = std::make_unique<Image>();
    try {
        // A float master keeps its ADU levels; any other file is read as usual.
        if (!readFloatFrame(path, *image)) openImage(path, *image, progress);
    } catch (const Error& e) {
        throw Error(std::string(failure) + "\n" + e.what());
    }
    return image;
}

// DIR/<name of the input without its extension>.fts
std::string seriesOutput(const std::string& dir, const std::string& input) {
    return (std::filesystem::path(dir) / std::filesystem::path(input).stem()).string() + ".fts";
}

int runCalibrate(const std::vector<std::string>& args) {
    const OpArgs a =
        OpArgs::parse(args, {"dark", "flat", "dark-divisor", "flat-factor", "offset", "out-dir"});
    const bool series = a.has("out-dir");
    if (series && a.positional.empty()) throw UsageError{"mindestens eine Eingabedatei erwartet"};
    if (!series) a.expectPositional(2, "Eingabe- und Ausgabedatei erwartet (oder --out-dir)");

    const CalibrationParams params = calibrationFromArgs(a);

    std::vector<std::pair<std::string, std::string>> jobs; // input, output
    if (series) {
        const std::string dir = a.options.at("out-dir");
        if (!std::filesystem::is_directory(dir))
            throw Error("Der Ausgabeordner \"" + dir + "\" existiert nicht.");
        std::set<std::string> outputs;
        for (const std::string& in : a.positional) {
            jobs.emplace_back(in, seriesOutput(dir, in));
            if (!outputs.insert(jobs.back().second).second)
                throw UsageError{"zwei Eingaben ergeben dieselbe Ausgabe " + jobs.back().second};
        }
    } else {
        checkFitsSaveName(a.positional[1]); // before the work, as saving would refuse it anyway
        jobs.emplace_back(a.positional[0], a.positional[1]);
    }
    threadsFromEnvironment();

    TerminalProgress bar;
    Progress progress(&bar);
    // The frames are read once and the flat summed once for the whole series.
    std::unique_ptr<Image> dark, flat;
    if (params.darkEnabled)
        dark = loadFrame(params.darkFile, "Dunkelstrombild konnte nicht geladen werden!", progress);
    if (params.flatEnabled)
        flat = loadFrame(params.flatFile, "Flatfield-Bild konnte nicht geladen werden!", progress);
    const std::vector<float> means =
        flat && params.appliedFlatFactor() == 0.0f ? flatMeans(*flat) : std::vector<float>{};

    int status = 0;
    for (const auto& [input, output] : jobs) {
        try {
            Image image;
            openImage(input, image, progress);
            const CalibrationOutcome r =
                darkFlatCorrect(image, dark.get(), flat.get(), params, means, progress);
            if (r.code != CALIBRATION_OK) throw Error(calibrationMessage(r.code));
            saveFits(image, output, progress);
            if (r.clamped != 0)
                std::fprintf(stderr, "%s: %s\n", input.c_str(), clampedNotice(r.clamped).c_str());
            std::printf("%s -> %s %s\n", input.c_str(), output.c_str(),
                        calibrationTitleLabel(dark != nullptr, flat != nullptr).c_str());
        } catch (const Error& e) {
            if (!series) throw;
            std::fprintf(stderr, "quillon-cli calibrate: %s: %s\n", input.c_str(), e.what());
            status = 1;
        }
    }
    return status;
}

int runRepair(const std::vector<std::string>& args) {
    const OpArgs a = OpArgs::parse(args, {"column", "row", "from", "to", "layer"});
    a.expectPositional(2, "Eingabe- und Ausgabedatei erwartet");
    if (a.has("column") == a.has("row")) throw UsageError{"genau eine von --column und --row"};
    const bool column = a.has("column");
    RepairParams p;
    p.row = !column;
    p.index = a.integer(column ? "column" : "row", 0, 0, kMaxImageSize - 1);
    threadsFromEnvironment();
    TerminalProgress bar;
    Progress progress(&bar);
    Image image;
    openInput(a.positional[0], a.positional[1], image, progress);
    const int length = column ? image.height() : image.width();
    p.from = a.integer("from", 0, 0, length - 1);
    p.to = a.integer("to", length, p.from + 1, length);
    if (a.has("layer") && a.options.at("layer") != "all" && a.options.at("layer") != "alle")
        p.layer = parseInteger(a.options.at("layer"), "--layer", 1, image.layerCount()) - 1;
    repair(image, p);
    saveOutput(image, a.positional[1], progress);
    return 0;
}

Registrar regCalibrate{
    {"calibrate", "calibrate EINGABE AUSGABE.fts | EINGABE... --out-dir ORDNER [OPTIONEN]",
     "Dunkelstrom- / Flatfieldkorrektur: Neu = (Alt - D / d) / F * f + a",
     "OPTIONEN: [--dark DATEI] [--flat DATEI] [--dark-divisor D] [--flat-factor F|auto]\n"
     "          [--offset A]\n"
     "--dark DATEI        Dunkelbild (Graubild oder gleich viele Ebenen wie die Eingabe)\n"
     "--flat DATEI        Flatfield (ebenso); Flatfield-Pixel 0 bleiben unkorrigiert\n"
     "--dark-divisor D    d, 0.1 ... 100 (Vorgabe 1)\n"
     "--flat-factor F     f, 1 ... 32767, oder auto: Mittelwert jeder Flatfield-Ebene (Vorgabe)\n"
     "--offset A          a, -32768 ... 32767 (Vorgabe 0)\n"
     "--out-dir ORDNER    eine Serie: jede EINGABE wird als ORDNER/<Name>.fts gespeichert;\n"
     "                    Dunkelbild und Flatfield werden nur einmal gelesen\n"
     "Jede Ausgabe wird erst nach vollständigem Schreiben an ihren Platz gesetzt.\n"
     "Exit-Status 1 bei falschem Bildtyp oder falscher Größe von Dunkelbild oder Flatfield\n"
     "(in einer Serie werden die übrigen Dateien trotzdem bearbeitet). Die Zahl der auf\n"
     "-32768 ... 32767 begrenzten Werte steht auf der Standardfehlerausgabe, wenn sie nicht 0\n"
     "ist. QUILLON_THREADS=n rechnet mit n Threads.",
     runCalibrate}};

Registrar regRepair{
    {"repair", "repair EINGABE AUSGABE.fts --column K|--row K [--from A --to B] [--layer N|all]",
     "eine defekte Spalte oder Zeile durch den Mittelwert ihrer Nachbarn ersetzen",
     "--column K / --row K  Spalte bzw. Zeile K, von 0 an gezählt (wie bei crop)\n"
     "--from A --to B       nur Pixel A bis B - 1 der Spalte bzw. Zeile, von 0 an gezählt\n"
     "                      (Vorgabe: die ganze Spalte bzw. Zeile)\n"
     "--layer N|all         nur Ebene N, von 1 an gezählt, oder alle Ebenen (Vorgabe)\n"
     "Spalte 0 übernimmt Spalte 1, die letzte Spalte die vorletzte; für Zeilen ebenso.\n"
     "Das Overlay bleibt unverändert.",
     runRepair}};

} // namespace
} // namespace quillon::cli
