// CWinQuillonDoc: one open image with its views; opening, saving and the save question.
#pragma once

#include "core/image.h"
#include "core/progress.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QWidget;

namespace quillon::ui {

class CWinQuillonView;

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

    // Open step: reads the file through the reader picked by its extension. On failure the
    // reader's message is shown and false returned; on success the modified mark is cleared
    // and the file's folder becomes the current directory.
    bool openFile(const QString& path, QWidget* parent, Progress& progress);

    // First showing of a view: a path not ending in a FITS extension becomes the title
    // with "." replaced by "_", so that only "Speichern unter" can write it.
    void fixPathForSaving();

    // SaveDocument: FITS names only ("Zum Speichen in nicht Fits-Formaten ..."), written
    // through a temporary file. Returns true when the file was written.
    bool saveTo(const QString& path, QWidget* parent, Progress& progress);
    // "&Speichern": falls back to the save dialog when the path names no existing file.
    bool save(QWidget* parent, Progress& progress);
    bool saveAs(QWidget* parent, Progress& progress);
    // Before closing: "Änderungen in %1 speichern?". False when the user cancelled (or the
    // save failed), so that the close must not go on.
    bool saveModified(QWidget* parent, Progress& progress);

    // Every view's picture is stale; relayout also fits each view's frame again.
    void refreshViews(bool relayout);

signals:
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
