// The frame selection and the registration by all stars of `quillon-cli stack`.
#pragma once

#include "cli/op_args.h"
#include "composite/job.h"

namespace quillon::cli {

// Value options, flags and repeated options these steps add to stack.
inline const char* const kFrameValueOptions[] = {"keep-best", "transform", "ref-frame"};
inline const char* const kFrameFlags[] = {"auto-register"};
inline const char* const kFrameRepeated[] = {"select"};

// True when the options ask for them (--select, --keep-best, --auto-register).
bool wantsFrameSteps(const OpArgs& a);

// Measures the job's exposures, leaves out those --select and --keep-best P% reject and, with
// --auto-register, registers the rest on the reference frame by their stars. Prints one line
// per frame left out, with its reason, to stdout.
void applyFrameSteps(const OpArgs& a, CompositeJob& job);

} // namespace quillon::cli
