// Included before anything else by the files whose float results must be the same bit for bit
// at every instruction-set level and with every compiler: a multiply and an add are never
// fused into one rounding (FMA), so the vector paths round exactly like the scalar rules.
#pragma once

#if defined(__clang__)
#pragma clang fp contract(off)
#else
#pragma GCC optimize("fp-contract=off")
#endif
