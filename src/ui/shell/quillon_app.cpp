// CWinQuillonApp: documents (new, open, derived, close), the recent-file list.
#include "ui/shell/quillon_app.h"

#include "core/error.h"
#include "formats/open.h"
#include "ui/composite/composite_room.h"
#include "ui/dialogs/new_image_dialog.h"
#include "ui/document.h"
#include "ui/messages.h"
#include "ui/print/print_session.h"
#include "ui/shell/main_frame.h"
#include "ui/view.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMdiArea>
#include <QMdiSubWindow>

namespace quillon::ui {

namespace {
CWinQuillonApp* g_app = nullptr;
}

CWinQuillonApp::CWinQuillonApp() : composite_(std::make_unique<CompositeRoom>()) {
    g_app = this;
}

CWinQuillonApp::~CWinQuillonApp() {
    delete mainFrame_;
    print_.reset();
    for (ui::CWinQuillonDoc* d : docs_) delete d;
    if (g_app == this) g_app = nullptr;
}

CWinQuillonApp* CWinQuillonApp::instance() {
    return g_app;
}

ui::JobRunner* CWinQuillonApp::jobs() const {
    return mainFrame_ ? &mainFrame_->jobs() : nullptr;
}

ui::CMainFrame* CWinQuillonApp::createMainFrame() {
    mainFrame_ = new ui::CMainFrame(*this);
    composite_->attach(*mainFrame_, mainFrame_->mdiArea());
    print_ = std::make_unique<ui::PrintSession>(*mainFrame_);
    return mainFrame_;
}

ui::CWinQuillonDoc* CWinQuillonApp::adoptDocument(std::unique_ptr<ui::CWinQuillonDoc> doc,
                                                  ui::CWinQuillonView* source) {
    ui::CWinQuillonDoc* d = doc.release();
    docs_.append(d);
    connect(d, &ui::CWinQuillonDoc::lastViewClosed, this, &CWinQuillonApp::forgetDocument);
    emit documentsChanged();
    if (mainFrame_) mainFrame_->createView(d, source);
    return d;
}

void CWinQuillonApp::forgetDocument(ui::CWinQuillonDoc* doc) {
    if (!docs_.removeOne(doc)) return;
    doc->deleteLater();
    emit documentsChanged();
}

ui::CWinQuillonDoc* CWinQuillonApp::newDocument() {
    Image image;
    try {
        createImage(newParams_, image);
    } catch (const Error& e) {
        newParams_.resetAfterCreation();
        derivedSource_ = nullptr;
        ui::showMessage(mainFrame_, QString::fromUtf8(e.what()));
        return nullptr;
    }
    ui::CWinQuillonView* source = derivedSource_;
    derivedSource_ = nullptr;
    newParams_.resetAfterCreation();
    return adoptImage(std::move(image), source);
}

ui::CWinQuillonDoc* CWinQuillonApp::adoptImage(Image&& image, ui::CWinQuillonView* source) {
    auto doc = std::make_unique<ui::CWinQuillonDoc>();
    doc->image() = std::move(image);
    doc->setActiveView(source);
    doc->setTitle(tr("Bild%1").arg(++untitled_));
    doc->setModified(true);
    return adoptDocument(std::move(doc), source);
}

ui::CWinQuillonDoc* CWinQuillonApp::newDocumentFromDialog() {
    ui::NewImageChoice init{settings_.newPictureSizeX, settings_.newPictureSizeY,
                            settings_.newPictureType, settings_.newPictureLayers,
                            settings_.newPictureOverlay != 0};
    ui::NewImageDialog dlg(init, mainFrame_);
    if (dlg.exec() != QDialog::Accepted) return nullptr;
    ui::NewImageChoice c = dlg.choice();
    settings_.newPictureSizeX = c.width;
    settings_.newPictureSizeY = c.height;
    settings_.newPictureType = c.type;
    settings_.newPictureOverlay = c.overlay ? 1 : 0;
    settings_.newPictureLayers = c.layers;
    newParams_.type = static_cast<std::uint16_t>(c.type);
    newParams_.width = c.width;
    newParams_.height = c.height;
    newParams_.userLayerCount = c.layers;
    newParams_.overlay = c.overlay;
    newParams_.layerNames.clear();
    newParams_.infoTemplate.reset();
    derivedSource_ = nullptr;
    // A new image has no pixel size; values left over from a derived image do not belong to it.
    newParams_.pixelWidth = 0;
    newParams_.pixelHeight = 0;
    return newDocument();
}

ui::CWinQuillonDoc* CWinQuillonApp::openDocument(const QString& path) {
    const QString clean = QString::fromStdString(trimTrailingBlanks(path.toStdString()));
    const QString abs = QFileInfo(clean).absoluteFilePath();
    for (ui::CWinQuillonDoc* d : docs_) {
        if (!d->views().isEmpty() && QFileInfo(d->pathName()).absoluteFilePath() == abs &&
            QFileInfo(abs).isFile()) {
            if (mainFrame_)
                if (auto* sub = qobject_cast<QMdiSubWindow*>(d->views().first()->parentWidget()))
                    mainFrame_->mdiArea()->setActiveSubWindow(sub);
            return d;
        }
    }
    auto doc = std::make_unique<ui::CWinQuillonDoc>();
    if (!doc->openFile(path, mainFrame_, jobs())) return nullptr;
    addRecentFile(doc->pathName());
    return adoptDocument(std::move(doc), nullptr);
}

ui::CWinQuillonDoc* CWinQuillonApp::createDerivedDocument(const QString& title,
                                                          ui::CWinQuillonView* source) {
    derivedSource_ = source;
    ui::CWinQuillonDoc* d = newDocument();
    if (d) d->setTitle(title);
    return d;
}

ui::CWinQuillonDoc* CWinQuillonApp::createDerivedDocument(const QString& title,
                                                          ui::CWinQuillonView* source,
                                                          Image&& image) {
    ui::CWinQuillonDoc* d = adoptImage(std::move(image), source);
    d->setTitle(title);
    return d;
}

ui::CWinQuillonView* CWinQuillonApp::derivedSource() const {
    return derivedSource_;
}

void CWinQuillonApp::refreshViews(ui::CWinQuillonDoc* doc, bool relayout) {
    if (doc) doc->refreshViews(relayout);
}

bool CWinQuillonApp::closeDocument(ui::CWinQuillonDoc* doc) {
    if (!doc->saveModified(mainFrame_, jobs())) return false;
    doc->setProperty("closing", true);
    const auto views = doc->views();
    for (ui::CWinQuillonView* v : views)
        if (QWidget* frame = v->parentWidget()) frame->close();
    return true;
}

bool CWinQuillonApp::closeAllDocuments() {
    const auto all = docs_; // collected first: closing changes the list
    for (ui::CWinQuillonDoc* d : all)
        if (docs_.contains(d) && !closeDocument(d)) return false;
    return true;
}

void CWinQuillonApp::setRecentFiles(const QStringList& files) {
    recent_ = files.mid(0, kRecentFileCount);
    emit recentFilesChanged();
}

void CWinQuillonApp::addRecentFile(const QString& path) {
    if (path.isEmpty() || !QFileInfo(path).isFile()) return;
    const QString abs = QFileInfo(path).absoluteFilePath();
    recent_.removeAll(abs);
    recent_.prepend(abs);
    while (recent_.size() > kRecentFileCount) recent_.removeLast();
    emit recentFilesChanged();
}

} // namespace quillon::ui
