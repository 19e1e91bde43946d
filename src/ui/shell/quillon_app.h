// CWinQuillonApp: owns the settings record, the creation parameters, the documents, the
// recent-file list and the main window; opens, creates and closes documents.
#pragma once

#include "core/new_document.h"
#include "core/settings_record.h"
#include "filters/layer_selection.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>

namespace quillon::ui {

class CMainFrame;
class CompositeRoom;
class PrintSession;
class CWinQuillonDoc;
class CWinQuillonView;
class JobRunner;

inline constexpr int kRecentFileCount = 4;

class CWinQuillonApp : public QObject {
    Q_OBJECT
public:
    CWinQuillonApp();
    ~CWinQuillonApp() override;

    static CWinQuillonApp* instance();

    SettingsRecord& settings() { return settings_; }
    NewDocumentParams& newParams() { return newParams_; }
    // The layers every filter works on, shared by all filter dialogs for the whole run of the
    // program (all layers at the start, never stored).
    LayerSelection& layerSelection() { return layerSelection_; }
    ui::CMainFrame* mainFrame() const { return mainFrame_; }
    // The composite job and its windows, kept for the whole run of the program.
    ui::CompositeRoom& composite() { return *composite_; }
    // Page setup, printing, preview and the clipboard copies with the print settings of the
    // run; exists from the main window's creation on.
    ui::PrintSession& printing() { return *print_; }
    // The main window's job runner; null before the main window exists.
    ui::JobRunner* jobs() const;
    // Creates the main window (menu, toolbar, zoom box, status bar) and reopens the tool
    // windows named by the settings bits.
    ui::CMainFrame* createMainFrame();

    const QList<ui::CWinQuillonDoc*>& documents() const { return docs_; }

    // NewDocument from the creation parameters: a document "BildN" with one view, or null
    // after the out-of-memory message.
    ui::CWinQuillonDoc* newDocument();
    // "&Neu": the dialog, then NewDocument.
    ui::CWinQuillonDoc* newDocumentFromDialog();
    // OpenDocument: a document with one view, or null after the reader's message. An already
    // open file is activated instead of opened twice.
    ui::CWinQuillonDoc* openDocument(const QString& path);
    // Derived documents: the operation has filled newParams() (takeFrom + changes); the new
    // image is made from them and the document titled with the operation's name.
    ui::CWinQuillonDoc* createDerivedDocument(const QString& title, ui::CWinQuillonView* source);
    // Derived documents: the image an operation made from the source view's image becomes a
    // new document titled with the operation's name, its first view copying the source view.
    ui::CWinQuillonDoc* createDerivedDocument(const QString& title, ui::CWinQuillonView* source,
                                              Image&& image);
    // The source view of the derived document being created; null again after creation.
    ui::CWinQuillonView* derivedSource() const;
    // RefreshViews.
    static void refreshViews(ui::CWinQuillonDoc* doc, bool relayout);

    // Closes one document with the save question; false when the user cancelled.
    bool closeDocument(ui::CWinQuillonDoc* doc);
    // "Alle Sc&hließen": collects all documents first, then closes them one by one.
    bool closeAllDocuments();

    QStringList recentFiles() const { return recent_; }
    void setRecentFiles(const QStringList& files);
    void addRecentFile(const QString& path);

    bool isClosing() const { return closing_; }
    void setClosing(bool on) { closing_ = on; }

signals:
    void documentsChanged();
    void recentFilesChanged();

private:
    // A new document "BildN" (modified) around the image, with one view.
    ui::CWinQuillonDoc* adoptImage(Image&& image, ui::CWinQuillonView* source);
    ui::CWinQuillonDoc* adoptDocument(std::unique_ptr<ui::CWinQuillonDoc> doc,
                                      ui::CWinQuillonView* source);
    void forgetDocument(ui::CWinQuillonDoc* doc);

    SettingsRecord settings_;
    NewDocumentParams newParams_;
    QPointer<ui::CWinQuillonView> derivedSource_;
    LayerSelection layerSelection_;
    QList<ui::CWinQuillonDoc*> docs_;
    QStringList recent_;
    std::unique_ptr<ui::CompositeRoom> composite_;
    std::unique_ptr<ui::PrintSession> print_;
    ui::CMainFrame* mainFrame_ = nullptr;
    int untitled_ = 0;
    bool closing_ = false;
};

} // namespace quillon::ui
