// The layer selection shared by all filter dialogs: a 32-bit mask of colour layers, 0 = all.
#pragma once

#include <cstdint>
#include <vector>

namespace quillon {

using LayerMask = std::uint32_t;

// The rule every operation uses: layer i is processed if (mask == 0 ? all bits : mask) has
// bit i set. The overlay is never part of the selection.
inline bool layerSelected(LayerMask mask, int layer) {
    if (layer < 0 || layer >= 32) return false;
    return mask == 0 || ((mask >> layer) & 1u) != 0;
}

struct LayerSelection {
    LayerMask mask = 0;

    bool selects(int layer) const { return layerSelected(mask, layer); }

    // Text of the "Ebenen" button: "Ebenen: Alle" for mask 0, else "Ebenen: Benutzerdefiniert".
    const char* buttonText() const;

    // The entries marked when "Ebenen auswählen" opens: the layers whose bits are set, or
    // every layer for mask 0.
    std::vector<bool> listSelection(int layerCount) const;

    // The mask after OK: bit i for each selected entry i; all or none selected gives 0.
    static LayerSelection fromList(const std::vector<bool>& selected);
};

} // namespace quillon
