// The composite's target types and the exposure lists a job of each type offers.
//
// A job for a target of n colour layers has one channel list per layer ("Farbkanal: "), one
// whole-image list feeding every layer ("Gesamtbild: ") and the overlay list; a grey job has
// only its whole-image list and the overlay list.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

enum class CompositeListKind { Channel, WholeImage, Overlay };

// The layer count a job of this target type starts with; user-defined jobs use the count the
// user entered (2 .. 32). 0 for types that are no composite target (CMYK and unknown).
int compositeLayerCount(std::uint16_t targetType, int userLayers = 0);

// Lists of a job: grey 2, RGB and CMY 5, LRGB 6, user-defined n + 2.
int compositeListCount(std::uint16_t targetType, int layerCount);
CompositeListKind compositeListKind(std::uint16_t targetType, int layerCount, int list);
// For a channel list, the layer it feeds; -1 for the other lists.
int compositeListLayer(std::uint16_t targetType, int layerCount, int list);
// Factor slots per entry: 1 for a channel list and the grey whole-image list, one per layer
// for the other whole-image lists, 0 for the overlay list.
int compositeFactorSlots(std::uint16_t targetType, int layerCount, int list);

// "Farbkanal: Rot", "Gesamtbild: RGB", "Overlay" as the list chooser shows them.
std::string compositeListName(std::uint16_t targetType, int layerCount, int list);
// The advice shown for the list ("In diese Liste nur Bilder des Typs ... einfügen!").
std::string compositeListLabel(std::uint16_t targetType, int layerCount, int list);

} // namespace quillon
