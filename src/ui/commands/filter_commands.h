// The filter menu's commands beyond their table rows: the dialog of a filter command, a filter
// over a view's image into a new document, and the Lucy-Richardson steps (reference stars from
// the view's context menu, the deconvolution that shows every iteration).
#pragma once

#include <QList>
#include <QPointF>

#include <memory>

namespace quillon {
class Filter;
enum class FilterCommand;
} // namespace quillon

class QAction;
class QMenu;

namespace quillon::ui {

class CommandContext;
class CWinQuillonDoc;
class CWinQuillonView;
class FilterDialog;

// The entries of the library's filter and image commands that have no menu identifier of their
// own: one action each, after the fixed entries of its menu, with the row's menu text and the
// command's number in the property below. Each runs like the linked filter commands (dialog
// with preview when the command has fields, else its stored parameters; undo; job runner) and
// is enabled by their rule whenever its menu opens. Returns the new actions.
inline constexpr char kLibraryCommandProperty[] = "libraryCommand";
QList<QAction*> addLibraryCommandEntries(const CommandContext& ctx, QMenu* imageMenu,
                                         QMenu* filterMenu);
// The command's dialog for the view (null for commands without one).
std::unique_ptr<FilterDialog> makeFilterDialog(const CommandContext& ctx, FilterCommand command,
                                               CWinQuillonView* view);
// The filter over the view's image into a new document (null when the document could not be
// created).
CWinQuillonDoc* applyFilterToNewDocument(const CommandContext& ctx, const Filter& filter,
                                         CWinQuillonView* view);
// "Referenzstern Lucy Richardson...": the PSF dialog for the star near the image point.
void addReferenceStar(const CommandContext& ctx, CWinQuillonView* view, QPointF imagePoint);
// "&Lucy-Richardson Deconvolution": the dialog, then a new document that shows every
// iteration; a cancel keeps the iterations done so far. Null when nothing was made.
CWinQuillonDoc* runDeconvolution(const CommandContext& ctx, CWinQuillonView* view);

} // namespace quillon::ui
