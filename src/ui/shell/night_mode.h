// "Ansicht" > "Nachtmodus": the whole interface red on black (palette and style sheet), and
// images shown through a red display mapping. Only what is on the screen changes: exports,
// prints and saved files are rendered without it.
#pragma once

#include <QIcon>
#include <QImage>
#include <QPalette>

#include <span>

class QAction;
class QMdiArea;

namespace quillon {
class Picture;
}

namespace quillon::ui {

// The workspace behind the document windows in the normal look.
inline constexpr QRgb kWorkspaceGrey = 0xFF606068;

bool nightMode();
// Turns the night look on or off for the whole application and repaints every window.
// Turning it on remembers the palette and style sheet in use; turning it off restores them.
void setNightMode(bool on);
// setNightMode for the main window: also the workspace behind the document windows, their
// title bars and the commands' icons (indexed by Cmd; null entries are skipped).
void applyNightLook(bool on, QMdiArea& workspace, std::span<QAction* const> commandActions);
// The red-on-black palette of the night look.
QPalette nightPalette();
// Applies the red display mapping to a picture about to be shown on screen, when the night
// look is on.
void showAtNight(Picture& picture);
// The same for a picture already in a QImage (32-bit formats); other formats come back as
// they are.
QImage atNight(QImage image);
// An icon drawn in red for the black background: dark strokes become bright red, its
// transparency stays.
QIcon nightIcon(const QIcon& icon);

} // namespace quillon::ui
