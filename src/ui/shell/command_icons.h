// Icons of the menu and toolbar commands: bundled SVG pictures, a drawn glyph for the rest.
#pragma once

#include "ui/commands.h"

#include <QIcon>
#include <QString>

namespace quillon::ui {

// Resource path of the bundled icon of a command (":/icons/<name>.svg"), empty when the
// command has none. A new command gets its icon by one line in the table of
// command_icons.cpp and its SVG file in src/app/resources/icons (16 × 16 view box, one
// colour #2e3436 like the rest of the set).
QString commandIconPath(Cmd c);

// The command's icon: its bundled SVG; without one, a picture drawn from the command's glyph
// text; a null icon when it has neither.
QIcon commandIcon(Cmd c);

// The application icon (also installed into the hicolor theme as "quillon").
QIcon applicationIcon();

} // namespace quillon::ui
