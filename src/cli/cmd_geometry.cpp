// quillon-cli resize, crop, rotate, mirror: the geometry commands of the image menu.
#include "cli/command.h"
#include "cli/op_args.h"
#include "cli/progress_bar.h"
#include "filters/filter.h"
#include "ops/geometry.h"
#include "ops/sampler.h"

#include <cstdio>
#include <optional>

namespace quillon::cli {
namespace {

std::unique_ptr<Image> derived(const Image& source, int width, int height) {
    DerivedImageDescription d = describeDerived(source);
    d.width = width;
    d.height = height;
    auto out = std::make_unique<Image>();
    createImage(d, *out);
    out->storedDisplay() = source.storedDisplay();
    return out;
}

int runResize(const std::vector<std::string>& args) {
    OpArgs a = OpArgs::parse(args, {"breite", "hoehe", "prozent"}, {"frei", "bestaetigt"});
    a.expectPositional(2, "Eingabe- und Ausgabedatei erwartet");
    if (!a.has("breite") && !a.has("hoehe") && !a.has("prozent"))
        throw UsageError{"--breite, --hoehe oder --prozent angeben"};
    if (a.has("breite") && a.has("hoehe") && !a.has("frei"))
        throw UsageError{"--breite und --hoehe zusammen nur mit --frei"};
    TerminalProgress bar;
    Progress progress(&bar);
    Image source;
    openInput(a.positional[0], a.positional[1], source, progress);
    ResizeFields f = initialResizeFields(source.width(), source.height());
    f.keepAspect = !a.has("frei");
    if (a.has("prozent")) {
        f.widthPercent = f.heightPercent = a.real("prozent", 100.0f, 0.0f, 1e6f);
        f = recomputeResize(f, source.width(), source.height(), ResizeField::WidthPercent);
    }
    if (a.has("breite")) {
        f.width = a.integer("breite", f.width, 1, 1000000);
        f = recomputeResize(f, source.width(), source.height(), ResizeField::Width);
    }
    if (a.has("hoehe")) {
        f.height = a.integer("hoehe", f.height, 1, 1000000);
        f = recomputeResize(f, source.width(), source.height(), ResizeField::Height);
    }
    if (resizeNeedsConfirmation(f.width, f.height) && !a.has("bestaetigt"))
        throw Error(resizeConfirmationText(f.width, f.height) + "\n(mit --bestaetigt ausführen)");
    auto result = derived(source, f.width, f.height);
    resample(*result, source, {}, progress);
    saveOutput(*result, a.positional[1], progress);
    std::printf("Neue Größe: %d x %d (%.1f %% x %.1f %%)\n", f.width, f.height,
                static_cast<double>(f.widthPercent), static_cast<double>(f.heightPercent));
    return 0;
}

int runCrop(const std::vector<std::string>& args) {
    const OpArgs a = OpArgs::parse(args, {});
    a.expectPositional(6, "LINKS OBEN RECHTS UNTEN EINGABE AUSGABE erwartet");
    const std::vector<std::string>& p = a.positional;
    PixelRect r;
    r.left = parseInteger(p[0], "LINKS", 0, kMaxImageSize);
    r.top = parseInteger(p[1], "OBEN", 0, kMaxImageSize);
    r.right = parseInteger(p[2], "RECHTS", 0, kMaxImageSize);
    r.bottom = parseInteger(p[3], "UNTEN", 0, kMaxImageSize);
    if (!cropAllowed(r)) throw Error("Der Ausschnitt muss mindestens 10 x 10 Pixel groß sein.");
    TerminalProgress bar;
    Progress progress(&bar);
    Image source;
    openInput(p[4], p[5], source, progress);
    auto result = derived(source, r.width(), r.height());
    crop(*result, r.left, r.top, source, progress);
    saveOutput(*result, p[5], progress);
    std::printf("Ausschnitt: %d x %d\n", r.width(), r.height());
    return 0;
}

int runRotate(const std::vector<std::string>& args) {
    const OpArgs a = OpArgs::parse(args, {});
    a.expectPositional(3, "Richtung, Eingabe- und Ausgabedatei erwartet");
    const std::vector<std::string>& p = a.positional;
    const std::optional<FilterCommand> command = findCliCommand("rotate", p[0]);
    if (!command) throw UsageError{"Richtung rechts, links oder 180 erwartet"};
    const Rotation mode = *command == FilterCommand::RotateRight  ? Rotation::Clockwise
                          : *command == FilterCommand::RotateLeft ? Rotation::CounterClockwise
                                                                  : Rotation::Half;
    TerminalProgress bar;
    Progress progress(&bar);
    Image image;
    openInput(p[1], p[2], image, progress);
    rotateImage(image, mode, progress);
    saveOutput(image, p[2], progress);
    return 0;
}

int runMirror(const std::vector<std::string>& args) {
    const OpArgs a = OpArgs::parse(args, {});
    a.expectPositional(3, "Achse, Eingabe- und Ausgabedatei erwartet");
    const std::vector<std::string>& p = a.positional;
    const std::optional<FilterCommand> command = findCliCommand("mirror", p[0]);
    if (!command) throw UsageError{"Achse horizontal oder vertikal erwartet"};
    TerminalProgress bar;
    Progress progress(&bar);
    Image image;
    openInput(p[1], p[2], image, progress);
    mirror(image, *command == FilterCommand::MirrorHorizontal, progress);
    saveOutput(image, p[2], progress);
    return 0;
}

Registrar regResize{
    {"resize", "resize [OPTIONEN] EINGABE AUSGABE.fts",
     "Bildgröße ändern (Mittelwert bei Verkleinerung um 2 und mehr, sonst kubisch)",
     "--breite B, --hoehe H (Pixel), --prozent P (beide Achsen), --frei, --bestaetigt\n"
     "Ohne --frei bleibt das Seitenverhältnis erhalten. Größen werden auf 10 ... 14000\n"
     "begrenzt. Bilder über 256 MB brauchen --bestaetigt.",
     runResize}};
Registrar regCrop{{"crop", "crop LINKS OBEN RECHTS UNTEN EINGABE AUSGABE.fts",
                   "Ausschnitt speichern (RECHTS und UNTEN ausschließlich, mindestens 10 x 10)", "",
                   runCrop}};
Registrar regRotate{{"rotate", "rotate rechts|links|180 EINGABE AUSGABE.fts",
                     "Bild um 90° rechts, 90° links oder 180° drehen", "", runRotate}};
Registrar regMirror{{"mirror", "mirror horizontal|vertikal EINGABE AUSGABE.fts",
                     "Bild spiegeln (horizontal: oben <-> unten, vertikal: links <-> rechts)", "",
                     runMirror}};

} // namespace
} // namespace quillon::cli
