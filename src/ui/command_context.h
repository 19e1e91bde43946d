// CommandContext: everything a menu command may use, and nothing more: the active view and
// document, the settings, the job runner, the two ways of changing images (in place as an undo
// step, or into a new document), the active document's undo history and the parent for
// messages and dialogs. Commands never see the main window itself.
#pragma once

#include "ops/undo_history.h"
#include "ui/commands.h"
#include "ui/document.h"

#include <QString>

#include <functional>

class QWidget;

namespace quillon {
class Image;
class Progress;
struct ConvertedDisplay;
struct NewDocumentParams;
struct SettingsRecord;
struct LayerSelection;
} // namespace quillon

namespace quillon::ui {

class CMainFrame;
class CWinQuillonDoc;
class CWinQuillonView;
class JobRunner;

class CommandContext {
public:
    // Work that fills or changes an image, run as a job.
    using ImageWork = std::function<void(Image&, Progress&)>;

    // The main window serves as the context wherever one is asked for.
    CommandContext(CMainFrame& frame) : frame_(frame) {} // NOLINT(google-explicit-constructor)

    CWinQuillonView* activeView() const;
    CWinQuillonDoc* activeDocument() const;
    SettingsRecord& settings() const;
    // The layers every filter works on, shared by all filter dialogs for the run of the program.
    LayerSelection& layerSelection() const;
    // Long work runs here, off the interface thread, with progress and cancel.
    JobRunner& jobs() const;
    // The window messages and dialogs belong to.
    QWidget* parent() const;
    // The active document's undo steps; null without a document.
    const UndoHistory* undoHistory() const;
    // The commands' enabled states follow a change the command made outside any document
    // (a setting, a closed view).
    void commandsChanged() const;

    // A change of the active document's image: the work runs on a copy, which replaces the
    // image only when the work has finished. A failure shows its message and a cancel says
    // nothing; both leave the image exactly as it was. True when the image was replaced. The
    // undo step is named after the menu command last chosen unless `name` is given.
    bool changeInPlace(const ImageWork& work) const;
    bool changeInPlace(const ImageWork& work, const QString& name,
                       Reversal reversal = Reversal::None) const;
    // A new image described by the source view's image with the given size, filled by `fill`
    // as a job; the document titled `title` appears only when the fill has finished. Null
    // after a failure (message shown), a cancel (nothing shown) or when the document could not
    // be created.
    CWinQuillonDoc* makeDerivedDocument(CWinQuillonView* source, const QString& title, int width,
                                        int height, const ImageWork& fill) const;
    // The same for a new image of another description (conversions, split layers); `display`,
    // when given, sets the weights and points of the new view instead of the source view's.
    CWinQuillonDoc* makeDerivedDocument(CWinQuillonView* source, const QString& title,
                                        const NewDocumentParams& description, const ImageWork& fill,
                                        const ConvertedDisplay* display = nullptr) const;

private:
    CMainFrame& frame_;
};

// The name of an undo step made by the command: its menu text without "&", "..." and
// accelerator ("90° Rechts").
QString undoName(Cmd c);

} // namespace quillon::ui
