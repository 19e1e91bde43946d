// libFuzzer target: the OES-ast reader on arbitrary bytes.
#include "core/error.h"
#include "formats/oes_ast.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quillon::MemorySource src(data, size);
    quillon::Image image;
    try {
        quillon::readOesAst(src, "fuzz.ast", image, quillon::Progress::none());
    } catch (const quillon::Error&) {
    }
    return 0;
}
