// The undo memory budget's unit: megabytes as the settings keep them, in bytes.
#pragma once

#include <cstddef>

namespace quillon::ui {

std::size_t megabytes(int mb);

} // namespace quillon::ui
