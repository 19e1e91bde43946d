// CMainFrame: what the commands do (documents, zoom, full screen, tool windows, help),
// closing the main window and dropped files.
#include "core/error.h"
#include "display/export_view.h"
#include "formats/raster_export.h"
#include "ui/command_icons.h"
#include "ui/document.h"
#include "ui/help_viewer.h"
#include "ui/help_wizard.h"
#include "ui/job_runner.h"
#include "ui/layer_matrix_dialog.h"
#include "ui/lrgb_bias_dialog.h"
#include "ui/main_frame.h"
#include "ui/messages.h"
#include "ui/night_mode.h"
#include "ui/open_dialog.h"
#include "ui/quillon_app.h"
#include "ui/tool_window.h"
#include "ui/toolbar_dialog.h"
#include "ui/view.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace quillon::ui {

namespace {
QRect desktopGeometry() {
    const auto screens = QGuiApplication::screens();
    if (screens.size() >= 2) return QGuiApplication::primaryScreen()->virtualGeometry();
    return QGuiApplication::primaryScreen()->geometry();
}
} // namespace

void CMainFrame::connectCommands() {
    auto on = [this](Cmd c, auto fn) { connect(action(c), &QAction::triggered, this, fn); };
    on(Cmd::FileNew, [this] { app_.newDocumentFromDialog(); });
    on(Cmd::FileOpen, [this] {
        const QStringList files = openFilesDialog(this);
        openFiles(files);
    });
    on(Cmd::FileClose, [this] {
        if (CWinQuillonDoc* d = activeDocument()) app_.closeDocument(d);
    });
    on(Cmd::FileCloseAll, [this] { app_.closeAllDocuments(); });
    on(Cmd::FileSave, [this] { saveActive(false); });
    on(Cmd::FileSaveAs, [this] { saveActive(true); });
    on(Cmd::FileExport, [this] { exportActive(); });
    on(Cmd::Exit, [this] { close(); });
    on(Cmd::ArrangeToolWindows, [this] { arrangeToolWindows(); });
    on(Cmd::SettingsToolbar, [this] {
        int& hidden = app_.settings().toolbarHiddenGroups;
        ToolbarDialog dlg(toolBarGroupNames(), static_cast<unsigned>(hidden), this);
        if (dlg.exec() != QDialog::Accepted) return;
        hidden = static_cast<int>(dlg.hiddenGroups());
        showToolBarGroups(dlg.hiddenGroups());
    });

    on(Cmd::NewView, [this] {
        if (CWinQuillonView* v = activeView()) createView(v->document(), v);
    });
    on(Cmd::CloseViews, [this] {
        CWinQuillonView* v = activeView();
        if (!v) return;
        const auto views = v->document()->views();
        for (CWinQuillonView* other : views)
            if (other != v) other->parentWidget()->close();
        updateActions();
    });
    on(Cmd::ShowOverlay, [this] {
        if (CWinQuillonView* v = activeView()) {
            v->renderer().setShowOverlay(!v->renderer().params().showOverlay);
            v->refresh(false);
            updateActions();
        }
    });
    on(Cmd::NightMode, [this] {
        applyNightMode(!nightMode());
        updateActions();
    });
    on(Cmd::ZoomIn, [this] {
        if (auto* v = activeView()) v->zoomIn();
    });
    on(Cmd::ZoomOut, [this] {
        if (auto* v = activeView()) v->zoomOut();
    });
    on(Cmd::ZoomOptimal, [this] {
        if (auto* v = activeView()) v->fitWindow(fullScreen_);
    });
    on(Cmd::Zoom100, [this] {
        if (auto* v = activeView()) v->zoomTo100();
    });
    on(Cmd::FullScreenMain, [this] { fullScreen_ ? leaveFullScreen() : enterFullScreen(false); });
    on(Cmd::FullScreenAll, [this] { fullScreen_ ? leaveFullScreen() : enterFullScreen(true); });
    on(Cmd::HelpWizard, [this] { toggleTool(Tool::HelpWizard); });
    on(Cmd::ToolNavigator, [this] { toggleTool(Tool::Navigator); });
    on(Cmd::ToolScaling, [this] { toggleTool(Tool::Scaling); });
    on(Cmd::ToolHistogram, [this] { toggleTool(Tool::Histogram); });
    on(Cmd::ToolPhotometry, [this] { toggleTool(Tool::Photometry); });
    on(Cmd::HideTools, [this] { hideTools(); });
    on(Cmd::ImageInfo, [this] { toggleTool(Tool::ImageInfo); });
    on(Cmd::EditMapping, [this] {
        CWinQuillonView* v = activeView();
        if (!v || v->document()->image().type() != USERDEFINED_IMAGE) return;
        LayerMatrixDialog dlg(v, app_.settings(), this);
        dlg.exec(); // an accepted mapping refreshes the document's views and the tools
    });
    on(Cmd::LrgbBias, [this] { runLrgbBiasDialog(*this, activeView()); });
    on(Cmd::WindowCascade, [this] { mdi_->cascadeSubWindows(); });
    on(Cmd::WindowTile, [this] { mdi_->tileSubWindows(); });
    on(Cmd::WindowArrangeIcons, [this] {
        // Minimised frames line up along the bottom edge.
        int x = 0;
        for (QMdiSubWindow* s : mdi_->subWindowList())
            if (s->isMinimized()) {
                s->move(x, mdi_->viewport()->height() - s->height());
                x += s->width();
            }
    });
    on(Cmd::HelpTopics, [this] { showHelpTopic(kDefaultHelpTopic); });
    on(Cmd::ContextHelp, [this] {
        // The next click on a menu entry or toolbar button opens that command's topic.
        contextHelp_ = true;
        QApplication::setOverrideCursor(Qt::WhatsThisCursor);
        qApp->installEventFilter(this);
    });
    on(Cmd::About, [this] { about(); });
    connectGeometryCommands();
    connectFilterCommands();
    connectLayerCommands();
    connectPrintCommands();
    connectCompositeCommands();
    connectUndoCommands();
    connectDebayerCommand();
}

int CMainFrame::contextHelpTopicAt(QPoint globalPos) const {
    QWidget* w = QApplication::widgetAt(globalPos);
    QAction* a = nullptr;
    if (auto* menu = qobject_cast<QMenu*>(w))
        a = menu->actionAt(menu->mapFromGlobal(globalPos));
    else if (auto* button = qobject_cast<QToolButton*>(w))
        a = button->defaultAction();
    else if (auto* bar = qobject_cast<QMenuBar*>(w))
        a = bar->actionAt(bar->mapFromGlobal(globalPos));
    bool ok = false;
    int cmd = a ? a->data().toInt(&ok) : -1;
    if (!ok || cmd < 0 || cmd >= static_cast<int>(Cmd::Count)) return kDefaultHelpTopic;
    return helpTopicOf(static_cast<Cmd>(cmd));
}

bool CMainFrame::handleContextHelpEvent(QEvent* e) {
    if (!contextHelp_) return false;
    if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
        endContextHelp();
        return true;
    }
    if (e->type() != QEvent::MouseButtonPress) return false;
    auto* m = static_cast<QMouseEvent*>(e);
    const int topic = contextHelpTopicAt(m->globalPosition().toPoint());
    endContextHelp();
    showHelpTopic(topic);
    return true;
}

void CMainFrame::endContextHelp() {
    contextHelp_ = false;
    qApp->removeEventFilter(this);
    QApplication::restoreOverrideCursor();
}

void CMainFrame::saveActive(bool as) {
    CWinQuillonDoc* d = activeDocument();
    if (!d) return;
    bool ok = as ? d->saveAs(this, jobs_) : d->save(this, jobs_);
    if (ok) app_.addRecentFile(d->pathName());
}

void CMainFrame::exportActive() {
    CWinQuillonView* v = activeView();
    if (!v) return;
    QString proposed = QFileInfo(v->document()->title()).completeBaseName();
    if (proposed.isEmpty()) proposed = v->document()->title();
    const QString path = askExportFileName(this, proposed + QStringLiteral(".bmp"));
    if (path.isEmpty()) return;
    const ImageRenderer& renderer = v->renderer();
    const JobResult r = jobs_->run([&](Progress&) { exportView(renderer, path.toStdString()); });
    reportFailure(r, exportFailureMessage(msg::kOutOfMemory).c_str(), this);
}

void CMainFrame::openFiles(const QStringList& files) {
    for (const QString& f : files) app_.openDocument(f);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* e) {
    QStringList files;
    for (const QUrl& u : e->mimeData()->urls())
        if (u.isLocalFile()) files << u.toLocalFile();
    e->acceptProposedAction();
    activateWindow();
    // Open after the drop has returned to the source application.
    QTimer::singleShot(0, this, [this, files] { openFiles(files); });
}

// --- tool windows --------------------------------------------------------------------------

void CMainFrame::openToolWindows(unsigned bits) {
    // Creation order: scaling, navigator, help wizard, image information, photometry,
    // histogram. Tools without a window yet only keep their flag, so that it survives the
    // next exit.
    for (Tool t : {Tool::Scaling, Tool::Navigator, Tool::HelpWizard, Tool::ImageInfo,
                   Tool::Photometry, Tool::Histogram}) {
        if (!(bits & (1u << static_cast<unsigned>(t)))) continue;
        if (t == Tool::HelpWizard || tools_->hasWindow(t)) {
            if (!toolShown(t) || (tools_->hasWindow(t) && !tools_->isVisible(t))) {
                toolShown_[static_cast<std::size_t>(t)] = false;
                toggleTool(t);
            }
        } else {
            toolShown_[static_cast<std::size_t>(t)] = true;
        }
    }
    updateActions();
}

void CMainFrame::toggleTool(Tool t) {
    auto& shown = toolShown_[static_cast<std::size_t>(t)];
    if (t == Tool::HelpWizard) {
        if (shown && wizard_->isVisible()) {
            app_.settings().setWindowPoint(WindowSlot::MiniWebBrowser,
                                           {wizard_->x(), wizard_->y()});
            shown = false;
            wizard_->hide();
        } else {
            WindowPoint p = app_.settings().windowPoint(WindowSlot::MiniWebBrowser);
            wizard_->move(p.left, p.top);
            wizard_->show();
            wizard_->raise();
            shown = true;
        }
    } else if (tools_->hasWindow(t)) {
        if (shown && tools_->isVisible(t)) {
            tools_->close(t);
            shown = false;
        } else {
            tools_->open(t);
            shown = true;
        }
    } else {
        shown = !shown;
    }
    updateActions();
}

void CMainFrame::hideTools() {
    constexpr Tool kHideable[] = {Tool::Navigator, Tool::Scaling, Tool::Histogram, Tool::Photometry,
                                  Tool::ImageInfo};
    if (!toolsHidden_) {
        hiddenTools_ = 0;
        for (Tool t : kHideable) {
            if (!toolShown(t)) continue;
            hiddenTools_ |= 1u << static_cast<unsigned>(t);
            toggleTool(t);
        }
        toolsHidden_ = true;
    } else {
        toolsHidden_ = false;
        openToolWindows(hiddenTools_ & ~kToolHelpWizard);
        hiddenTools_ = 0;
        if (wizard_->isVisible()) wizard_->raise();
    }
    updateActions();
}

void CMainFrame::arrangeToolWindows(int desktopWidth) {
    SettingsRecord& s = app_.settings();
    if (wizard_->isVisible()) wizard_->hide();
    for (Tool t :
         {Tool::Navigator, Tool::Scaling, Tool::Histogram, Tool::Photometry, Tool::ImageInfo})
        tools_->close(t);
    toolShown_.fill(false);
    toolsHidden_ = false;
    hiddenTools_ = 0;
    s.resetPositions(desktopWidth > 0 ? desktopWidth : desktopGeometry().width());
    openToolWindows(kAllToolBits);
}

void CMainFrame::showHelpTopic(int topic) {
    help_->showTopic(topic);
    help_->show();
    help_->raise();
    help_->activateWindow();
}

// --- full screen ---------------------------------------------------------------------------

void CMainFrame::applyNightMode(bool on) {
    setNightMode(on);
    app_.settings().nightMode = on ? 1 : 0;
    mdi_->setBackground(on ? QColor(0, 0, 0) : QColor(kWorkspaceGrey));
    // Document windows keep the title bar colours they were created with until told.
    for (QMdiSubWindow* s : mdi_->subWindowList()) s->setPalette(QApplication::palette());
    for (std::size_t i = 0; i < actions_.size(); ++i)
        if (actions_[i] && !actions_[i]->icon().isNull())
            actions_[i]->setIcon(on ? nightIcon(commandIcon(static_cast<Cmd>(i)))
                                    : commandIcon(static_cast<Cmd>(i)));
    tools_->refreshAll();
}

void CMainFrame::enterFullScreen(bool allMonitors) {
    CWinQuillonView* v = activeView();
    if (fullScreen_ || !v) return;
    fullScreen_ = true;
    fullScreenView_ = v;
    savedGeometry_ = saveGeometry();
    savedState_ = windowState();
    toolBar_->hide();
    statusBar()->hide();
    QRect target = allMonitors ? QGuiApplication::primaryScreen()->virtualGeometry()
                               : QGuiApplication::primaryScreen()->geometry();
    if (allMonitors) {
        setWindowState(Qt::WindowNoState);
        setWindowFlag(Qt::FramelessWindowHint, true);
        setGeometry(target);
        show();
    } else {
        showFullScreen();
    }
    v->enterFullScreen();
    v->setFocus();
}

void CMainFrame::leaveFullScreen() {
    if (!fullScreen_) return;
    fullScreen_ = false;
    if (windowFlags() & Qt::FramelessWindowHint) setWindowFlag(Qt::FramelessWindowHint, false);
    setWindowState(savedState_);
    restoreGeometry(savedGeometry_);
    show();
    toolBar_->show();
    statusBar()->show();
    if (fullScreenView_) fullScreenView_->leaveFullScreen();
    fullScreenView_.clear();
}

// --- closing -------------------------------------------------------------------------------

void CMainFrame::closeEvent(QCloseEvent* e) {
    if (fullScreen_) leaveFullScreen();
    app_.setClosing(true);
    // The reference window stores its position and search settings as it closes.
    if (QWidget* r =
            findChild<QWidget*>(QStringLiteral("ReferenceWindow"), Qt::FindDirectChildrenOnly))
        r->close();
    // The tool bits are taken before any window goes away.
    unsigned bits = toolBits();
    if (wizard_->isVisible())
        app_.settings().setWindowPoint(WindowSlot::MiniWebBrowser, {wizard_->x(), wizard_->y()});
    for (Tool t :
         {Tool::Navigator, Tool::Scaling, Tool::Histogram, Tool::Photometry, Tool::ImageInfo})
        if (tools_->isVisible(t)) tools_->window(t)->storePoint();
    if (!app_.closeAllDocuments()) {
        app_.setClosing(false);
        e->ignore();
        return;
    }
    app_.settings().toolBits = static_cast<int>(bits);
    wizard_->hide();
    help_->hide();
    e->accept();
}

} // namespace quillon::ui
