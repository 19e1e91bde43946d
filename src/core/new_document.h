// What a new document is made from: the creation parameters shared by "Neu" and by every
// operation that produces a derived image, and the arithmetic of the new-image dialog.
#pragma once

#include "core/image.h"
#include "core/image_info.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The application-wide creation parameters. After each creation the template is reset; the header
// values stay as last written.
struct NewDocumentParams {
    std::uint16_t type = RGB_IMAGE;
    int width = 800;
    int height = 600;
    int userLayerCount = 3;
    std::vector<std::string> layerNames; // user-defined images; empty: default names
    float pixelWidth = 0;
    float pixelHeight = 0;
    bool overlay = false;
    std::optional<ImageInfo> infoTemplate;

    // Copies type, size, layer count, layer names, pixel size and overlay of an image and
    // a copy of its metadata (the first half of a derived document's description).
    void takeFrom(const Image& source);
    void resetAfterCreation() { infoTemplate.reset(); }
};

// Defines and allocates (zero-filled) an image from the parameters. Throws Error with
// "Es steht nicht genügend Speicherplatz zur verfügung!" when the samples cannot be
// allocated and with the invalid-size text when Define refuses; the image is then empty.
void createImage(const NewDocumentParams& p, Image& image);

// New-image dialog: the layer count shown for a type. User-defined images use the field's
// value raised to at least 2 and limited to 32; the other types show their own count.
int newImageLayerCount(std::uint16_t type, int layerField);
// "Pixelzahl:" and "Speicher (kB):" (width × height × (layers + overlay) × 2 / 1024).
long long newImagePixelCount(int width, int height);
long long newImageMemoryKb(int width, int height, int layers, bool overlay);

// The path a view gives its document when it is first shown: a path ending in .fts, .fit or
// .fits (any case) stays; anything else becomes the title with every "." replaced by "_", so
// that only "Speichern unter" with a FITS name can write it.
std::string documentPathForSaving(std::string_view path, std::string_view title);

} // namespace quillon
