// Text description of an image.
#include "core/describe.h"

#include "core/error.h"
#include "core/image.h"
#include "core/wcs.h"

#include <cstdarg>
#include <cstdio>

namespace quillon {
namespace {

void add(std::string& out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void add(std::string& out, const char* fmt, ...) {
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    out += buf;
}

std::string quoted(std::string_view s) {
    std::string q(1, '"');
    q.append(s);
    q += '"';
    return q;
}

} // namespace

std::string describeImage(const Image& img) {
    std::string out;
    const ImageInfo& info = img.info();
    add(out, "Datei:            %s\n", std::string(textOf(info.sourcePath)).c_str());
    add(out, "Typ:              %s (%s)%s\n", std::string(ImageTypeName(img.type()).name).c_str(),
        std::string(ImageTypeIdentifier(img.type())).c_str(), img.hasOverlay() ? " + Overlay" : "");
    add(out, "Größe:            %d x %d\n", img.width(), img.height());
    add(out, "Ebenen:           %d\n", img.layerCount());
    for (int p = 0; p < img.planeCount(); ++p)
        add(out, "  Ebene %2d:       %s\n", p + 1, quoted(img.layerName(p)).c_str());
    add(out, "Overlay:          %s\n", img.hasOverlay() ? "ja" : "nein");
    add(out, "Pixelgröße:       %g x %g µm\n", static_cast<double>(img.pixelWidth()),
        static_cast<double>(img.pixelHeight()));
    add(out, "Belichtungszeit:  %g s\n", static_cast<double>(info.exposureTime));
    add(out, "Chiptemperatur:   %g °C\n", static_cast<double>(info.temperature));
    add(out, "Datum:            %s\n", quoted(textOf(info.date)).c_str());
    add(out, "Uhrzeit:          %s\n", quoted(textOf(info.time)).c_str());
    add(out, "Sternzeit:        %s\n", quoted(textOf(info.siderealTime)).c_str());
    add(out, "Juliani. Datum:   %.6f\n", info.julianDate);
    add(out, "Ort:              Länge %g °W, Breite %g °N\n", static_cast<double>(info.longitude),
        static_cast<double>(info.latitude));
    add(out, "Kommentare:       %d\n", static_cast<int>(info.comments.size()));
    for (const auto& c : info.comments) add(out, "  %s\n", quoted(textOf(c)).c_str());
    if (info.wcs.present) {
        try {
            out += describeWcs(info.wcs, img.width(), img.height()) + "\n";
        } catch (const Error& e) {
            add(out, "Weltkoordinaten:  %s\n", e.what());
        }
    }
    if (!info.wcsNote.empty()) out += info.wcsNote + "\n";

    const StoredDisplayParams& d = img.storedDisplay();
    out += "Gespeicherte Darstellung:\n";
    if (d.hasPoints)
        add(out, "  Schwarzpunkt:   %d %d %d\n  Weißpunkt:      %d %d %d\n", d.blackPoint[0],
            d.blackPoint[1], d.blackPoint[2], d.whitePoint[0], d.whitePoint[1], d.whitePoint[2]);
    else
        out += "  Schwarz-/Weißpunkt: keine\n";
    if (d.hasWeights)
        add(out, "  Gewichte:       %g %g %g\n", static_cast<double>(d.channelWeight[0]),
            static_cast<double>(d.channelWeight[1]), static_cast<double>(d.channelWeight[2]));
    else
        out += "  Gewichte:       keine\n";
    add(out, "  Exponent:       %g\n", static_cast<double>(d.exponent));
    if (img.type() == LRGB_IMAGE)
        add(out, "  LRGB-Bias:      %d %d %d %d\n", d.lrgbBias[0], d.lrgbBias[1], d.lrgbBias[2],
            d.lrgbBias[3]);
    if (!d.layerMatrix.empty() && img.layerCount() > 0) {
        int n = img.layerCount();
        out += "  Abbildungsvorschrift (R G B je Ebene):\n";
        for (int j = 0; j < n && static_cast<std::size_t>(2 * n + j) < d.layerMatrix.size(); ++j)
            add(out, "    %2d: %g %g %g\n", j + 1,
                static_cast<double>(d.layerMatrix[static_cast<std::size_t>(j)]),
                static_cast<double>(d.layerMatrix[static_cast<std::size_t>(n + j)]),
                static_cast<double>(d.layerMatrix[static_cast<std::size_t>(2 * n + j)]));
    }
    return out;
}

} // namespace quillon
