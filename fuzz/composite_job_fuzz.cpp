// libFuzzer target: the composite job file reader, and writing back what it accepted.
#include "composite/job_file.h"
#include "core/error.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const quillon::CompositeJob job =
            quillon::parseCompositeJob(std::string_view(reinterpret_cast<const char*>(data), size));
        // An accepted job must survive its own writer and reader unchanged.
        const quillon::CompositeJob back =
            quillon::parseCompositeJob(quillon::formatCompositeJob(job));
        if (!(back.lists == job.lists) || !(back.options == job.options) ||
            !(back.calibrations == job.calibrations))
            __builtin_trap();
    } catch (const quillon::Error&) {
    }
    return 0;
}
