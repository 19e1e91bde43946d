// The library's fixed texts that the interface shows, listed for lupdate (context "quillon").
// A gui test checks that every entry of the library's command table has its English text.
#include "ui/library_texts.h"

#include <QCoreApplication>

namespace quillon::ui {
namespace {

[[maybe_unused]] constexpr const char* kLibraryTexts[] = {
    // filters/command_table.cpp: menu texts, result titles, dialog titles
    QT_TRANSLATE_NOOP("quillon", "&Hochpassfilter (schärfung) ..."),
    QT_TRANSLATE_NOOP("quillon", "Hochpassfilter"),
    QT_TRANSLATE_NOOP("quillon", "Hochpassfilter (schärfung)"),
    QT_TRANSLATE_NOOP("quillon", "&Tiefpassfilter (glättung) ..."),
    QT_TRANSLATE_NOOP("quillon", "Tiefpassfilter"),
    QT_TRANSLATE_NOOP("quillon", "Tiefpassfilter (glättung)"),
    QT_TRANSLATE_NOOP("quillon", "&Spezialfilter (Kontur, Relief, ...) ..."),
    QT_TRANSLATE_NOOP("quillon", "Spezialfilter"),
    QT_TRANSLATE_NOOP("quillon", "&Rauschfilter..."),
    QT_TRANSLATE_NOOP("quillon", "Rauschfilter"),
    QT_TRANSLATE_NOOP("quillon", "&Unscharfe Maske..."),
    QT_TRANSLATE_NOOP("quillon", "Unscharf Maskiert"),
    QT_TRANSLATE_NOOP("quillon", "Unscharfe Maske"),
    QT_TRANSLATE_NOOP("quillon", "&Lucy-Richardson Deconvolution"),
    QT_TRANSLATE_NOOP("quillon", "Lucy Richardson Deconv."),
    QT_TRANSLATE_NOOP("quillon", "Lucy-Richardson Deconv."),
    QT_TRANSLATE_NOOP("quillon", "&Horizontal"),
    QT_TRANSLATE_NOOP("quillon", "&Vertikal"),
    QT_TRANSLATE_NOOP("quillon", "90° &Rechts"),
    QT_TRANSLATE_NOOP("quillon", "90° &Links"),
    QT_TRANSLATE_NOOP("quillon", "180° (&Kopfstehend)"),
    QT_TRANSLATE_NOOP("quillon", "&Größe / Bining ..."),
    QT_TRANSLATE_NOOP("quillon", "Neue Größe"),
    QT_TRANSLATE_NOOP("quillon", "Bildgröße"),
    QT_TRANSLATE_NOOP("quillon", "&Ausschnitt"),
    QT_TRANSLATE_NOOP("quillon", "Ausschnitt"),
    // display/scaling.h: the scaling window's lists
    QT_TRANSLATE_NOOP("quillon", "<auto-scaling...>"),
    QT_TRANSLATE_NOOP("quillon", "Deepsky"),
    QT_TRANSLATE_NOOP("quillon", "Deepsky hell"),
    QT_TRANSLATE_NOOP("quillon", "Planet / Landschaft"),
    QT_TRANSLATE_NOOP("quillon", "Mond dunkel"),
    QT_TRANSLATE_NOOP("quillon", "Mond hell"),
    QT_TRANSLATE_NOOP("quillon", "Sonne"),
    QT_TRANSLATE_NOOP("quillon", "Standard"),
    QT_TRANSLATE_NOOP("quillon", "Stufen"),
    QT_TRANSLATE_NOOP("quillon", "Kontur"),
    QT_TRANSLATE_NOOP("quillon", "Graukeil (normal)"),
    QT_TRANSLATE_NOOP("quillon", "Falschfarben 1"),
    QT_TRANSLATE_NOOP("quillon", "Falschfarben 2"),
    // core/image_type.cpp: image type names
    QT_TRANSLATE_NOOP("quillon", "Graubild"),
    QT_TRANSLATE_NOOP("quillon", "Benutzer"),
    // core/error.h: messages shared by several operations
    QT_TRANSLATE_NOOP("quillon", "Abgebrochen"),
    QT_TRANSLATE_NOOP("quillon", "Nicht genügend Speicherplatz vorhanden!"),
    QT_TRANSLATE_NOOP("quillon", "Es steht nicht genügend Speicherplatz zur verfügung!"),
    QT_TRANSLATE_NOOP("quillon", "Für diese Aktion steht zu wenig Speicher zur Verfügung!"),
    QT_TRANSLATE_NOOP("quillon", "Bild hat ungültige Größe (nicht 10x10 ... 14000x14000)!"),
    QT_TRANSLATE_NOOP("quillon", "Falsches Bit-Format! Fehler Code 00041"),
    QT_TRANSLATE_NOOP("quillon", "Der Filter kann auf dieses Bild nicht angewendet werden."),
    // filters/filter_ops.cpp, kernels.cpp, noise.cpp: the filter dialogs' fields and choices
    QT_TRANSLATE_NOOP("quillon", "Stärke:"),
    QT_TRANSLATE_NOOP("quillon", "Maskengröße:"),
    QT_TRANSLATE_NOOP("quillon", "Filter"),
    QT_TRANSLATE_NOOP("quillon", "Maske"),
    QT_TRANSLATE_NOOP("quillon", "Schwellwert:"),
    QT_TRANSLATE_NOOP("quillon", "schwach"),
    QT_TRANSLATE_NOOP("quillon", "stark"),
    QT_TRANSLATE_NOOP("quillon", "Original  x"),
    QT_TRANSLATE_NOOP("quillon", "-  Maske  x"),
    QT_TRANSLATE_NOOP("quillon", "stärker"),
    QT_TRANSLATE_NOOP("quillon", "schwächer"),
    QT_TRANSLATE_NOOP("quillon", "Prewitt (vertikal)"),
    QT_TRANSLATE_NOOP("quillon", "Sobel (vertikal)"),
    QT_TRANSLATE_NOOP("quillon", "Maximalfilter"),
    QT_TRANSLATE_NOOP("quillon", "Minimalfilter"),
    QT_TRANSLATE_NOOP("quillon", "Medianfilter"),
    QT_TRANSLATE_NOOP("quillon", "Schwellwertfilter"),
    // display/overlay_record.cpp: the overlay forming
    QT_TRANSLATE_NOOP("quillon", "Inaktive Overlaybereiche sind"),
    QT_TRANSLATE_NOOP("quillon", "Weiss"),
    QT_TRANSLATE_NOOP("quillon", "heller als Grau"),
    QT_TRANSLATE_NOOP("quillon", "dunkler als Grau"),
    QT_TRANSLATE_NOOP("quillon", "Schwarz"),
    QT_TRANSLATE_NOOP("quillon", "Transparent"),
    QT_TRANSLATE_NOOP("quillon", "Invertiert"),
    // composite/job.cpp, run.cpp, frame_analysis.*; analysis/star_match.cpp: composite messages
    QT_TRANSLATE_NOOP("quillon", "Sie haben noch keine Bilder in die Liste(n) eingefügt!"),
    QT_TRANSLATE_NOOP("quillon", "Es wurde kein Gültiges, zu verwendendes Bild gefunden!"),
    QT_TRANSLATE_NOOP("quillon", "Im Referenzbild wurden zu wenige Sterne gefunden."),
    QT_TRANSLATE_NOOP("quillon",
                      "Im Referenzbild wurden keine Sterne gefunden: alle Bilder werden gleich "
                      "gewichtet."),
};

} // namespace

QString trLibrary(const char* text) {
    if (!text || !*text) return {};
    return QCoreApplication::translate("quillon", text);
}

QString trLibrary(const std::string& text) {
    return trLibrary(text.c_str());
}

} // namespace quillon::ui
