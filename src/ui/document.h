// CWinQuillonDoc: one open image with its views; opening, saving and the save question.
#pragma once

#include "core/image.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

namespace quillon::ui {

class CWinQuillonView;
class JobRunner;

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

    // SaveDocument: FITS names only ("Zum Speichen in nicht Fits-Formaten ..."), written
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
    // announced, with a relayout when the size changed.
    void replaceImage(Image&& result);
    // A view's display parameters changed in a way the tool windows must follow.
    void notifyDisplayChanged() { emit displayChanged(); }

signals:
    void imageChanged(bool relayout);
    void displayChanged();
    void titleChanged();
    void modifiedChanged(bool modified);
    void lastViewClosed(CWinQuillonDoc* doc);

private:
    Image image_;
    QString title_;
    QString path_;
    bool modified_ = false;
    QList<CWinQuillonView*> views_;
    QPointer<CWinQuillonView> activeView_;
};

// The messages of the save path.
inline constexpr const char* kSaveNotFits =
    "Zum Speichen in nicht Fits-Formaten benutzen Sie bitte Datei-Exportieren, achten Sie "
    "dabei auch auf die Dateiendung.";
inline constexpr const char* kSaveFailed = "Fehler beim Speichern des Dokuments.";
inline constexpr const char* kInvalidFileName = "Ungültiger Dateiname.";

} // namespace quillon::ui
