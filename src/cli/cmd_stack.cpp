// quillon-cli stack: a composite of a series of exposures from the command line or a job file.
#include "cli/command.h"
#include "cli/op_args.h"
#include "cli/progress_bar.h"
#include "cli/stack_frames.h"
#include "composite/job_file.h"
#include "composite/run.h"
#include "core/atomic_file.h"
#include "core/error.h"
#include "core/parallel.h"
#include "formats/fits_float.h"
#include "formats/fits_writer.h"
#include "formats/open.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace quillon::cli {
namespace {

// --channel K=FILE (K from 1), each given.
std::vector<std::pair<int, std::string>> channelFiles(const OpArgs& a) {
    std::vector<std::pair<int, std::string>> files;
    for (const std::string& v : a.all("channel")) {
        const auto eq = v.find('=');
        if (eq == std::string::npos || eq + 1 == v.size()) badValue("--channel", v, "K=DATEI");
        files.emplace_back(parseInteger(v.substr(0, eq), "--channel", 1, kMaxUserLayers),
                           v.substr(eq + 1));
    }
    return files;
}

// The first input, when it was read to learn the target type: the run takes it from there.
struct FirstInput {
    std::string name;
    std::unique_ptr<Image> image;
};

// Target type and layer count from --type, or from the first input's layers.
std::pair<std::uint16_t, int> targetType(const OpArgs& a, const std::string& firstInput,
                                         FirstInput& read) {
    if (a.has("type")) {
        const std::string& t = a.options.at("type");
        if (t.rfind("user:", 0) == 0)
            return {USERDEFINED_IMAGE, parseInteger(t.substr(5), "--type", 2, kMaxUserLayers)};
        const int k = parseChoice(t, "--type", {"grey", "rgb", "lrgb", "cmy"});
        static constexpr std::uint16_t types[] = {BW_IMAGE, RGB_IMAGE, LRGB_IMAGE, CMY_IMAGE};
        return {types[k], 0};
    }
    // Debayered exposures are colour images whatever the mosaic's one layer says.
    if (a.has("debayer")) return {RGB_IMAGE, 0};
    read.name = firstInput;
    read.image = std::make_unique<Image>();
    openImage(firstInput, *read.image, Progress::none());
    return {read.image->layerCount() >= 3 ? RGB_IMAGE : BW_IMAGE, 0};
}

CompositeJob jobFromArgs(const OpArgs& a, FirstInput& first) {
    const std::vector<std::string> whole(a.positional.begin() + 1, a.positional.end());
    const std::vector<std::string>& refs = a.all("ref");
    const std::vector<std::pair<int, std::string>> files = channelFiles(a);
    if (whole.empty() && files.empty()) throw UsageError{"mindestens eine Eingabedatei erwartet"};
    if (refs.empty() && !a.has("auto-register"))
        throw UsageError{"--ref X,Y erwartet (ein- bis viermal)"};
    if (!refs.empty() && a.has("auto-register"))
        throw UsageError{"--auto-register braucht kein --ref"};
    if (refs.size() > kMaxReferencePoints) throw UsageError{"--ref höchstens viermal"};
    const auto [type, userLayers] =
        targetType(a, whole.empty() ? files[0].second : whole[0], first);
    CompositeJob job;
    job.configure(type, userLayers, CalibrationParams{});
    for (const auto& [k, file] : files) {
        if (k > job.layerCount || type == BW_IMAGE)
            badValue("--channel", std::to_string(k) + "=" + file,
                     "Kanal 1 bis " + std::to_string(type == BW_IMAGE ? 0 : job.layerCount));
        job.addFile(k - 1, file);
    }
    for (const std::string& f : whole) job.addFile(job.wholeImageList(), f);
    job.options.referencePointCount = static_cast<int>(refs.size());
    // The reference points go on the first exposure in run order; the run locates them there.
    for (CompositeList& list : job.lists) {
        if (list.entries.empty()) continue;
        for (std::size_t i = 0; i < refs.size(); ++i) {
            const auto xy = parseReals(refs[i], "--ref", {2}, 0.0f, 14000.0f, "zwei Zahlen X,Y");
            list.entries[0].points[i] = {xy[0], xy[1]};
        }
        break;
    }
    return job;
}

// Options given on the command line override the job's.
void applyOptions(const OpArgs& a, CompositeJob& job) {
    CompositeOptions& o = job.options;
    readOptions(compositeOptionFields(), OpArgsSource(a), o);
    // --dark and --flat calibrate every list (configure() leaves new lists uncalibrated).
    if (a.has("dark") || a.has("flat"))
        std::fill(job.calibrations.begin(), job.calibrations.end(), calibrationFromArgs(a));
    if (a.has("debayer")) {
        o.debayer.enabled = true;
        // The job's pattern is replaced, "auto" included.
        o.debayer.pattern.reset();
    }
    if (a.has("debayer-method") && !o.debayer.enabled)
        throw UsageError{"--debayer-method nur mit --debayer"};
    readDebayerOptions(a, "debayer", "debayer-method", o.debayer);
    if (o.debayer.enabled && job.targetType != RGB_IMAGE)
        throw UsageError{"--debayer nur mit dem Zieltyp rgb"};
}

std::string csvText(const std::string& s) {
    std::string out = "\"";
    for (char c : s) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

// Where a searched exposure's seeds came from: its own points (the reference exposure), its
// stars or the exposure before; empty when its points were taken as placed.
const char* seedSource(const ExposureReport& e) {
    if (!e.searched) return "";
    if (e.reference) return "eigene";
    return e.seedsFromStars ? "sterne" : "uebernommen";
}

std::string csvReport(const CompositeResult& r, bool autoSeeds) {
    std::string out = "liste;nr;name;referenz;verfuegbar;eingefuegt;gesucht;pruefung";
    for (int i = 1; i <= kMaxReferencePoints; ++i)
        out += ";x" + std::to_string(i) + ";y" + std::to_string(i);
    for (int i = 1; i < kMaxReferencePoints; ++i)
        out += ";abstand" + std::to_string(i) + std::to_string(i + 1) + ";winkel" +
               std::to_string(i) + std::to_string(i + 1);
    out += ";verschiebung_x;verschiebung_y;drehung_grad;massstab;beitrag;verworfen;startwerte;"
           "sterne_passend;sternabgleich;verworfen_unten;verworfen_oben;gewicht\n";
    // Fields are appended one by one: each row starts a line, every later field a ";".
    bool first = true;
    auto field = [&](std::string_view v) {
        if (!first) out += ';';
        first = false;
        out += v;
    };
    auto num = [&](double v, const char* f = "%.4f") {
        char buf[64];
        std::snprintf(buf, sizeof buf, f, v);
        field(buf);
    };
    for (const ExposureReport& e : r.exposures) {
        first = true;
        field(std::to_string(e.list));
        field(std::to_string(e.index + 1));
        field(csvText(e.name));
        for (bool flag : {e.reference, e.available, e.inserted, e.searched})
            field(flag ? "1" : "0");
        field(e.checkPassed ? "ok" : "fehlgeschlagen");
        for (int i = 0; i < kMaxReferencePoints; ++i) {
            const ReferencePoint& p = e.located[static_cast<std::size_t>(i)];
            const bool shown = i < r.pointCount && e.available;
            shown ? num(p.x) : field("");
            shown ? num(p.y) : field("");
        }
        for (int i = 0; i < kMaxReferencePoints - 1; ++i) {
            const ReferencePairCheck& c = e.check.pairs[static_cast<std::size_t>(i)];
            const bool shown = i < e.check.pairCount;
            shown ? num(c.distanceDeviation) : field("");
            shown ? num(c.bearingDeviation) : field("");
        }
        num(e.shiftX);
        num(e.shiftY);
        num(e.angleDegrees);
        num(e.scale, "%.6f");
        field(std::to_string(e.contributed));
        field(std::to_string(e.rejected));
        field(seedSource(e));
        field(autoSeeds && e.searched && !e.reference ? std::to_string(e.starsMatched) : "");
        field(e.starFailure == StarMatchFailure::None
                  ? std::string()
                  : csvText(std::string(starMatchFailureText(e.starFailure))));
        field(std::to_string(e.rejected - e.rejectedHigh));
        field(std::to_string(e.rejectedHigh));
        num(e.weight, "%.6f");
        out += '\n';
    }
    return out;
}

// The unrounded mean or sum of the run as 32-bit floats, in the samples' ADU scale.
void saveFloatResult(const CompositeResult& r, const std::string& output, Progress& progress) {
    const SampleSums& sums = r.sums;
    if (sums.empty()) throw Error("Das Ergebnis liegt nicht als Gleitkommabild vor");
    writeFloatFits(
        output, sums.width(), sums.height(), sums.layers(),
        [&](int layer, int y, float* values) {
            for (int x = 0; x < sums.width(); ++x) values[x] = sums.value(layer, x, y);
        },
        {sums.averaging() ? "Quillon Komposit: Mittelwert" : "Quillon Komposit: Summe"}, progress);
}

int runStack(const std::vector<std::string>& args) {
    std::vector<std::string> values{
        "type",       "method", "search",      "centroid",       "size-factor", "memory",
        "dark",       "flat",   "flat-factor", "dark-divisor",   "offset",      "weights",
        "job",        "report", "debayer",     "debayer-method", "rejection",   "sigma",
        "percentile", "minmax", "normalize",   "weighting"};
    std::vector<std::string> flags{"strict",     "average", "reject", "no-borders",
                                   "auto-seeds", "float",   "median"};
    std::vector<std::string> repeated{"ref", "channel"};
    values.insert(values.end(), std::begin(kFrameValueOptions), std::end(kFrameValueOptions));
    flags.insert(flags.end(), std::begin(kFrameFlags), std::end(kFrameFlags));
    repeated.insert(repeated.end(), std::begin(kFrameRepeated), std::end(kFrameRepeated));
    const OpArgs a = OpArgs::parse(args, values, flags, repeated);
    if (a.positional.empty()) throw UsageError{"Ausgabedatei erwartet"};
    const std::string& output = a.positional[0];
    checkFitsSaveName(output);
    if (const char* n = std::getenv("QUILLON_THREADS"); n && *n)
        setThreadCount(parseInteger(n, "QUILLON_THREADS", 1, 1024));

    CompositeJob job;
    FirstInput first;
    if (a.has("job")) {
        if (a.positional.size() > 1 || !a.all("ref").empty() || !a.all("channel").empty())
            throw UsageError{"--job nimmt keine weiteren Eingabedateien und kein --ref"};
        job = readCompositeJob(a.options.at("job"));
    } else {
        job = jobFromArgs(a, first);
    }
    applyOptions(a, job);
    if (wantsFrameSteps(a)) applyFrameSteps(a, job);
    const bool floatResult = a.has("float");

    RunOptions options = runOptions(paramsFromOptions(stackRunFields(), OpArgsSource(a)));
    options.strict = a.has("strict");
    options.autoSeeds = a.has("auto-seeds");
    options.floatResult = floatResult;

    TerminalProgress bar;
    Progress progress(&bar);
    FileImageSource source;
    if (first.image) source.keep(first.name, std::move(first.image));
    CompositeResult result = runComposite(job, source, options, progress);
    for (const std::string& n : result.notices) std::fprintf(stderr, "%s\n", n.c_str());
    if (floatResult)
        saveFloatResult(result, output, progress);
    else
        saveFits(result.image, output, progress);
    if (a.has("report")) {
        AtomicFile f(a.options.at("report"),
                     "Bericht \"" + a.options.at("report") + "\" konnte nicht geschrieben werden");
        const std::string text = csvReport(result, options.autoSeeds);
        f.write(text.data(), text.size());
        f.commit();
    }
    int used = 0, failed = 0;
    for (const ExposureReport& e : result.exposures) {
        used += e.inserted ? 1 : 0;
        failed += e.checkPassed ? 0 : 1;
    }
    std::printf("%s: Komposit aus %d Bildern, %d x %d%s\n", output.c_str(), used,
                result.image.width(), result.image.height(),
                failed ? (", " + std::to_string(failed) + " mit fehlgeschlagener Prüfung").c_str()
                       : "");
    return 0;
}

Registrar reg{
    {"stack", "stack AUSGABE.fts [Optionen] DATEIEN...",
     "Belichtungen ausrichten und zu einem Kompositbild addieren oder mitteln",
     "Bildliste und Ziel:\n"
     "  DATEIEN             gehen in die Gesamtbild-Liste (bei grau: Liste 0)\n"
     "  --type grey|rgb|lrgb|cmy|user:N\n"
     "                      Zieltyp (Vorgabe: grey bei einer Ebene, rgb bei drei)\n"
     "  --channel K=DATEI   Datei in die Kanal-Liste K (K von 1 an), mehrfach möglich\n"
     "  --job AUFTRAG.json  ganzer Kompositauftrag (Listen, Faktoren, Referenzpunkte,\n"
     "                      Kalibrierung je Liste, Optionen; Format: docs/composite-job.md);\n"
     "                      dann keine DATEIEN und kein --ref. Die übrigen Optionen gelten\n"
     "                      zusätzlich; Einträge mit Referenzpunkten werden nicht gesucht.\n"
     "Referenzpunkte:\n"
     "  --ref X,Y           1- bis 4-mal: Punkte auf dem ersten (Referenz-)Bild. Jedes\n"
     "                      weitere Bild wird ab den Punkten des vorigen gesucht (auf seine\n"
     "                      Größe umgerechnet) und automatisch geprüft.\n"
     "  --method pos|neg|max|min|position   Suchmethode (Vorgabe pos)\n"
     "  --search H          Such-Bereich (Vorgabe 12)\n"
     "  --centroid G        Swp-Bereich (Vorgabe 4)\n"
     "  --auto-seeds        Startpunkte jedes Bildes aus seinen hellsten Sternen (Abgleich\n"
     "                      mit den Sternen des Referenzbildes: Verschiebung und Drehung\n"
     "                      beliebiger Größe); gelingt er nicht, wie ohne die Option. Der\n"
     "                      Bericht nennt die Herkunft und die Zahl passender Sterne.\n"
     "  --auto-register     ohne --ref: jedes Bild über alle seine Sterne auf das Referenz-\n"
     "                      bild ausrichten (Dreiecksabgleich, auch gespiegelt, dann\n"
     "                      Ausgleichsrechnung über alle passenden Sterne); nicht passende\n"
     "                      Bilder werden mit Grund ausgelassen\n"
     "  --transform shift|similarity|affine|homography   Abbildung (Vorgabe similarity)\n"
     "  --ref-frame N       Referenzbild N (ab 1; Vorgabe: das Bild mit der besten Güte)\n"
     "Bildauswahl (Sternmessung wie quillon-cli analyze):\n"
     "  --select REGEL      mehrfach, z. B. fwhm<3.5, roundness>0.8, stars>=50,\n"
     "                      background<3000 (auch noise, score)\n"
     "  --keep-best P%      nur die besten P Prozent nach Güte verwenden\n"
     "                      Ausgelassene Bilder werden mit Grund gemeldet.\n"
     "  --strict            bei fehlgeschlagener Prüfung abbrechen (Status 1); sonst wird\n"
     "                      das Bild verwendet und im Bericht markiert\n"
     "Addition:\n"
     "  --size-factor F     Größe des Ergebnisses relativ zum Referenzbild (0.01 bis 100)\n"
     "  --average           Bilder mitteln (Faktoren werden nicht verwendet)\n"
     "  --reject            Artefakte entfernen (streifenweise, robust vereint)\n"
     "  --float             Ergebnis als 32-Bit-Gleitkomma-FITS (BITPIX -32) in derselben\n"
     "                      ADU-Skala, ungerundet und ohne 16-Bit-Grenze\n"
     "  --rejection none|artefact|sigma|winsorized|linear|gesd|percentile|minmax\n"
     "                      Ausreißer je Pixel verwerfen (streifenweise); artefact wie\n"
     "                      --reject. Statistische Verfahren normieren die Bilder dabei\n"
     "                      auf das Referenzbild (Vorgabe addscale)\n"
     "  --sigma N,H         Schwellen in Sigma unten, oben (Vorgabe 3,3): sigma, winsorized,\n"
     "                      linear\n"
     "  --percentile N,H    Anteile des Medians unten, oben (Vorgabe 0.2,0.1)\n"
     "  --minmax N,H        so viele kleinste und größte Werte verwerfen (Vorgabe 1,1)\n"
     "  --median            Median der verbliebenen Werte statt des Mittelwerts\n"
     "  --normalize none|add|mul|addscale|mulscale\n"
     "                      Angleichung jedes Bildes an das Referenzbild (Median, MAD)\n"
     "  --weighting none|noise|fwhm|stars   Gewicht jedes Bildes relativ zum Referenz-\n"
     "                      bild: noise 1/Sigma^2 des Hintergrundrauschens nach der\n"
     "                      Angleichung, fwhm (FWHM Referenz / FWHM)^2 der Sterne, stars\n"
     "                      Sternanzahl / Sternanzahl Referenz (Sterne gemessen wie\n"
     "                      quillon-cli analyze, nach der Kalibrierung); Bericht: gewicht\n"
     "  --memory MB         Speichergrenze der Streifen (Vorgabe 64)\n"
     "  --no-borders        Ränder nicht automatisch entfernen\n"
     "  --weights R,G,B     Farbgewichte (RGB und LRGB)\n"
     "Kalibrierung (für jede Liste):\n"
     "  --dark DATEI --flat DATEI --flat-factor auto|F --dark-divisor D --offset A\n"
     "Rohe Farbmosaike (Farbkameras):\n"
     "  --debayer auto|RGGB|BGGR|GRBG|GBRG\n"
     "                      jedes einebenige Bild nach der Kalibrierung und vor dem\n"
     "                      Ausrichten in ein RGB-Bild umrechnen (auto: Muster aus BAYERPAT,\n"
     "                      XBAYROFF, YBAYROFF, ROWORDER); Zieltyp rgb. Referenzpunkte gelten\n"
     "                      im umgerechneten Bild (superpixel: halbe Koordinaten)\n"
     "  --debayer-method bilinear|vng|superpixel   Verfahren (Vorgabe vng)\n"
     "Ausgabe:\n"
     "  --report BERICHT.csv je Bild: Liste, Name, Referenzpunkte, Abweichungen der Prüfung\n"
     "                      (Abstand, Winkel), Verschiebung, Drehung, Maßstab, beigetragene\n"
     "                      und verworfene Werte (gesamt, unten, oben), Gewicht;\n"
     "                      Trennzeichen \";\"\n"
     "Fortschritt auf stderr, ein Schritt je Bild. Status 0 nur, wenn das Ergebnis\n"
     "geschrieben wurde.",
     runStack}};

} // namespace
} // namespace quillon::cli
