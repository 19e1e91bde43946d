// CWinQuillonDoc: one open image with its views; opening, saving and the save question.
#pragma once

#include "core/image.h"
#include "ops/undo_history.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace quillon::ui {

class CWinQuillonView;
class JobRunner;

// The memory limit the undo histories of all documents share.
UndoBudget& undoBudget();

class CWinQuillonDoc : public QObject {
    Q_OBJECT
public:
    explicit CWinQuillonDoc(QObject* parent = nullptr);
    ~CWinQuillonDoc() override;

    Image& image() { return image_; }
    const Image& image() const { return image_; }

    QString title() const { return title_; }
    void setTitle(const QString& title);
    // The file the document is saved to; may name no existing file (see fixPathForSaving).
    QString pathName() const { return path_; }
    void setPathName(const QString& path) { path_ = path; }
    bool isModified() const { return modified_; }
    // Clearing the mark makes the current state the saved one of the undo history; setting it
    // outside a step means no state of the history is the saved one.
    void setModified(bool on);

    const QList<CWinQuillonView*>& views() const { return views_; }
    void addView(CWinQuillonView* v);
    void removeView(CWinQuillonView* v);
    // The view that last had the keyboard focus; a derived document starts with the view it
    // was made from. Null once that view is gone.
    CWinQuillonView* activeView() const;
    void setActiveView(CWinQuillonView* v);

    // Open step: reads the file through the reader picked by its extension, as a job of
    // `jobs` (on this thread when null). On failure the reader's message is shown and false
    // returned (also when cancelled); on success the modified mark is cleared and the file's
    // folder becomes the current directory.
    bool openFile(const QString& path, QWidget* parent, JobRunner* jobs);

    // First showing of a view: a path not ending in a FITS extension becomes the title
    // with "." replaced by "_", so that only "Speichern unter" can write it.
    void fixPathForSaving();

    // SaveDocument: FITS names (".fits.fz" Rice-compressed) and ".xisf" only ("Zum Speichen
    // in nicht Fits-Formaten ..." otherwise), written
    // through a temporary file as a job. Returns true when the file was written.
    bool saveTo(const QString& path, QWidget* parent, JobRunner* jobs);
    // "&Speichern": falls back to the save dialog when the path names no existing file.
    bool save(QWidget* parent, JobRunner* jobs);
    bool saveAs(QWidget* parent, JobRunner* jobs);
    // Before closing: "Änderungen in %1 speichern?". False when the user cancelled (or the
    // save failed), so that the close must not go on.
    bool saveModified(QWidget* parent, JobRunner* jobs);

    // RefreshViews: the samples changed. Announces imageChanged, which every view (picture
    // stale; relayout also fits its frame again), the tool windows and the main window's
    // commands follow.
    void refreshViews(bool relayout);
    // The result of an in-place operation takes the place of the image (the same object, so
    // renderers keep referring to it); the document is marked modified and the change
    // announced, with a relayout when the size changed. A result that moved the pixels
    // (`moved`) announces that first, so that positions kept outside the image follow.
    void replaceImage(Image&& result, std::optional<Movement> moved = std::nullopt);
    // The same as one undo step called `name` that also appends `titleLabel` to the title
    // (undo takes both back); without memory for the step the history is emptied.
    void replaceImageAsStep(const QString& name, Image&& result, const QString& titleLabel);

    // An in-place change: `work` runs on a copy of the image as a job of `jobs` (on this
    // thread when null) and the copy takes the image's place when it has finished; a failure
    // shows its message, a cancel nothing, and both leave the image as it was. The change
    // becomes an undo step called `name`, recorded as `reversal` when that is exact. Running
    // out of memory while recording still applies the change, but empties the history and
    // says once that this step cannot be undone. True when the image was replaced.
    using ImageWork = std::function<void(Image&, Progress&)>;
    bool changeInPlace(const QString& name, const ImageWork& work, QWidget* parent, JobRunner* jobs,
                       Reversal reversal = Reversal::None);
    // Appends `label` to the title as part of the last undo step, which takes it off again.
    void appendToTitle(const QString& label);
    const UndoHistory& history() const { return history_; }
    // Takes back the last step or does the next one again; false when there was none or
    // memory ran out (message shown, image unchanged).
    bool undo(QWidget* parent);
    bool redo(QWidget* parent);
    // A view's display parameters changed in a way the tool windows must follow.
    void notifyDisplayChanged() { emit displayChanged(); }

signals:
    void imageChanged(bool relayout);
    // The pixels moved (a mirror or turn, or its undo): what is kept in pixel positions of
    // the image (width × height before the movement) must follow.
    void pixelsMoved(quillon::Movement movement, int width, int height);
    void displayChanged();
    void titleChanged();
    void modifiedChanged(bool modified);
    void lastViewClosed(CWinQuillonDoc* doc);
    void historyChanged();

private:
    Image image_;
    QString title_;
    QString path_;
    bool modified_ = false;
    QList<CWinQuillonView*> views_;
    QPointer<CWinQuillonView> activeView_;
    UndoHistory history_{undoBudget()};

    bool step(QWidget* parent, bool back);
};

// Told when a change was made but cannot be undone.
inline constexpr const char* kNotUndoable = QT_TRANSLATE_NOOP(
    "quillon", "Dieser Schritt kann nicht rückgängig gemacht werden: Der Speicher für "
               "\"Rückgängig\" reicht nicht aus.");

// The messages of the save path (showMessage translates them).
inline constexpr const char* kSaveNotFits = QT_TRANSLATE_NOOP(
    "quillon", "Zum Speichen in nicht Fits-Formaten benutzen Sie bitte Datei-Exportieren, "
               "achten Sie dabei auch auf die Dateiendung.");
inline constexpr const char* kSaveFailed =
    QT_TRANSLATE_NOOP("quillon", "Fehler beim Speichern des Dokuments.");
inline constexpr const char* kInvalidFileName =
    QT_TRANSLATE_NOOP("quillon", "Ungültiger Dateiname.");

} // namespace quillon::ui
