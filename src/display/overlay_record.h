// The operation record of overlay forming ("Overlayeigenschaften"): the method, "Transparent"
// and "Invertiert", kept together in one settings key, with their dialog texts.
#pragma once

#include "core/operation.h"
#include "display/overlay.h"

#include <span>

namespace quillon {

// Method (bits 0..3), "Transparent" (bit 4) and "Invertiert" (bit 5) of
// m_Reg_nOverlayForming_bInvert_bTransparency_nMethod. Read as stored, like
// OverlayForming::unpack; storing keeps the key's other bits.
std::span<const ParamField<OverlayForming>> overlayFormingFields();

// "Weiss", "heller als Grau", "dunkler als Grau", "Schwarz" (OverlayMethod order).
const char* overlayMethodText(int method);

} // namespace quillon
