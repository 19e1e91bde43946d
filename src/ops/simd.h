// The instruction-set level the vectorised pixel loops use, chosen once from the processor.
//
// Every level computes the same results; tests force each level the processor has and compare
// it with plain loops.
#pragma once

namespace quillon::simd {

enum Level { Sse2 = 1, Avx2 = 2, Avx512 = 3 };

// The level in use: the forced one, else the widest the processor supports.
Level level();
bool available(Level level);
// Forces a level (false, nothing changed, when the processor lacks it); 0 restores the choice
// by processor.
bool force(int level);

} // namespace quillon::simd
