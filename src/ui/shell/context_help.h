// Context help ("Direkthilfe"): the help topic of the menu entry or toolbar button under a
// screen point.
#pragma once

#include <QPoint>

namespace quillon::ui {

// The topic of the command under the point; the default topic anywhere else.
int helpTopicAt(QPoint globalPos);

} // namespace quillon::ui
