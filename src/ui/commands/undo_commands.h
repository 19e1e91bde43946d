// The undo entries' texts and the undo memory budget's unit.
#pragma once

#include "ops/undo_history.h"

#include <cstddef>

class QAction;

namespace quillon::ui {

// Megabytes as the settings keep them, in bytes.
std::size_t megabytes(int mb);
// "&Rückgängig: <Schritt>\tStrg+Z" and "&Wiederherstellen: <Schritt>\tStrg+Y" with their
// tips, enabled when the history (null: no document) has a step that way.
void showUndoSteps(QAction* undo, QAction* redo, const UndoHistory* history);

} // namespace quillon::ui
