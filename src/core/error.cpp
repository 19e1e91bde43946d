// Shared message texts.
#include "core/error.h"

#include <cstdio>

namespace quillon::msg {

std::string unexpected(int code) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "Unerwarteter Fehler: Code %05d", code);
    return buf;
}

} // namespace quillon::msg
