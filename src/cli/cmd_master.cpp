// quillon-cli master: combine darks, flats or bias frames into one master frame.
#include "cli/command.h"
#include "cli/op_args.h"
#include "cli/progress_bar.h"
#include "composite/master.h"
#include "formats/fits_float.h"
#include "formats/fits_writer.h"

#include <algorithm>

#include <cstdio>

namespace quillon::cli {
namespace {

int runMaster(const std::vector<std::string>& args) {
    const OpArgs a = OpArgs::parse(args, optionNames(masterFields()), {"float"});
    if (a.positional.size() < 3)
        throw UsageError{"Ausgabedatei und mindestens zwei Eingabedateien erwartet"};
    MasterOptions options = masterOptions(paramsFromOptions(masterFields(), OpArgsSource(a)));
    std::vector<float> exact;
    if (a.has("float")) options.exact = &exact;
    const std::string& output = a.positional[0];
    const std::vector<std::string> inputs(a.positional.begin() + 1, a.positional.end());
    checkFitsSaveName(output); // before the work, as saving would refuse it anyway
    TerminalProgress bar;
    Progress progress(&bar);
    Image master;
    buildMaster(inputs, options, master, progress);
    if (options.exact) {
        const int w = master.width(), h = master.height();
        writeFloatFits(
            output, w, h, master.layerCount(),
            [&](int layer, int y, float* values) {
                const std::size_t at = (static_cast<std::size_t>(layer) * h + y) * w;
                std::copy_n(exact.data() + at, w, values);
            },
            {"Quillon Masterbild"}, progress);
    } else {
        saveOutput(master, output, progress);
    }
    std::printf("%s: Masterbild aus %zu Bildern (%s), %d x %d, %d Ebene(n)\n", output.c_str(),
                inputs.size(), masterMethodName(options.method), master.width(), master.height(),
                master.layerCount());
    return 0;
}

Registrar reg{
    {"master", "master AUSGABE.fts DATEIEN... [--method mean|median|reject] [--float]",
     "Dunkel-, Flat- oder Bias-Bilder gleicher Größe und Art zu einem Masterbild vereinen",
     "Mindestens zwei Eingabedateien, alle von Größe, Bildtyp und Ebenenzahl der ersten.\n"
     "Jede Ebene wird Pixel für Pixel vereint:\n"
     "  --method reject  (Vorgabe) Ausreißer verwerfen, dann mitteln - dieselbe Regel wie\n"
     "                   \"Artefakte entfernen\" im Kompositbild\n"
     "  --method mean    Mittelwert aller Bilder\n"
     "  --method median  Median (bei gerader Anzahl Mittel der beiden mittleren Werte)\n"
     "  --float          Masterbild als 32-Bit-Gleitkomma-FITS (BITPIX -32) in derselben\n"
     "                   ADU-Skala, ungerundet; calibrate liest es so wieder ein\n"
     "Mittelwerte werden kaufmännisch gerundet (halbe Werte von null weg). Ein Overlay wird\n"
     "nicht übernommen; Metadaten und Darstellung stammen vom ersten Bild, dazu ein\n"
     "Kommentar mit Bildzahl und Methode.\n"
     "Speicher: jede Eingabe wird einmal gelesen und in einer temporären Datei in $TMPDIR\n"
     "abgelegt (Platz dort: alle Eingaben mit 2 Byte je Wert). Im Speicher liegen höchstens\n"
     "zwei ganze Bilder (das gerade gelesene und das Ergebnis) und etwa 64 MiB Streifen,\n"
     "gleich wie viele Bilder es sind.",
     runMaster}};

} // namespace
} // namespace quillon::cli
