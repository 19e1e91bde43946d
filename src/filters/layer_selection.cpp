// Layer selection texts and the rebuild rule of the "Ebenen auswählen" dialog.
#include "filters/layer_selection.h"

namespace quillon {

const char* LayerSelection::buttonText() const {
    return mask == 0 ? "Ebenen: Alle" : "Ebenen: Benutzerdefiniert";
}

std::vector<bool> LayerSelection::listSelection(int layerCount) const {
    std::vector<bool> out(static_cast<std::size_t>(layerCount > 0 ? layerCount : 0));
    for (int i = 0; i < layerCount; ++i) out[static_cast<std::size_t>(i)] = selects(i);
    return out;
}

LayerSelection LayerSelection::fromList(const std::vector<bool>& selected) {
    LayerSelection s;
    std::size_t count = 0;
    for (std::size_t i = 0; i < selected.size() && i < 32; ++i) {
        if (selected[i]) {
            s.mask |= 1u << i;
            ++count;
        }
    }
    if (count == 0 || count == selected.size()) s.mask = 0;
    return s;
}

} // namespace quillon
