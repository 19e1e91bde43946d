// CMainFrame: the frame's own commands (tool windows, full screen, window menu, help), the
// walk over the command modules, closing the main window and dropped files.
#include "ui/commands/command_table.h"
#include "ui/commands/filter_commands.h"
#include "ui/commands/undo_commands.h"
#include "ui/composite/composite_room.h"
#include "ui/dialogs/filter_dialog.h"
#include "ui/document.h"
#include "ui/job_runner.h"
#include "ui/messages.h"
#include "ui/photometry/photometry_window.h"
#include "ui/shell/context_help.h"
#include "ui/shell/help_viewer.h"
#include "ui/shell/help_wizard.h"
#include "ui/shell/main_frame.h"
#include "ui/shell/night_mode.h"
#include "ui/shell/quillon_app.h"
#include "ui/shell/toolbar_dialog.h"
#include "ui/tools/tool_window.h"
#include "ui/view.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace quillon::ui {

void CMainFrame::connectCommands() {
    auto on = [this](Cmd c, auto fn) { connect(action(c), &QAction::triggered, this, fn); };
    on(Cmd::Exit, [this] { close(); });
    on(Cmd::ArrangeToolWindows, [this] { arrangeToolWindows(); });
    on(Cmd::WindowDefaultLayout, [this] { arrangeToolWindows(-1); });
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
    on(Cmd::NightMode, [this] {
        applyNightMode(!nightMode());
        updateActions();
    });
    on(Cmd::ZoomOptimal, [this] {
        if (auto* v = activeView()) v->fitWindow(fullScreen_);
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
    on(Cmd::About, [this] {
        QMessageBox::about(this, tr("Info über Quillon"),
                           tr("<h3>Quillon</h3><p>Astrofotografie unter Linux: FITS, "
                              "Kamera-RAW, Kalibrierung, Filter und Komposite.</p>"
                              "<p>Version %1</p>")
                               .arg(QApplication::applicationVersion()));
    });
    undoBudget().setLimit(megabytes(app_.settings().settingsUndoRam));
    action(Cmd::EditRedo)
        ->setShortcuts(
            {QKeySequence(QStringLiteral("Ctrl+Y")), QKeySequence(QStringLiteral("Ctrl+Shift+Z"))});
    // Every module's command runs with this window as its context, and only when its rule
    // allows it for the active view (a shortcut may arrive before the enabling caught up).
    for (CommandTable module : commandModules())
        for (const CommandRow& row : module)
            on(row.cmd, [this, &row] {
                if (row.enabled && !row.enabled(row.cmd, activeView())) return;
                CommandContext ctx(*this);
                row.run(ctx);
            });
}

void CMainFrame::updateUndoActions() {
    showUndoSteps(action(Cmd::EditUndo), action(Cmd::EditRedo),
                  CommandContext(*this).undoHistory());
}

// --- the commands' entry points through the frame ----------------------------------------------

bool CMainFrame::changeInPlace(const CommandContext::ImageWork& work) {
    return CommandContext(*this).changeInPlace(work);
}

std::unique_ptr<FilterDialog> CMainFrame::makeFilterDialog(FilterCommand command,
                                                           CWinQuillonView* view) {
    return ui::makeFilterDialog(*this, command, view);
}

CWinQuillonDoc* CMainFrame::applyFilterToNewDocument(const Filter& filter, CWinQuillonView* view) {
    return ui::applyFilterToNewDocument(*this, filter, view);
}

void CMainFrame::addReferenceStar(CWinQuillonView* view, QPointF imagePoint) {
    ui::addReferenceStar(*this, view, imagePoint);
}

CompositeJob& CMainFrame::compositeJob() {
    return app_.composite().job();
}

PrintSession& CMainFrame::printing() {
    return app_.printing();
}

void CMainFrame::followPixels(Movement m, int width, int height) {
    auto* doc = qobject_cast<CWinQuillonDoc*>(sender());
    if (!doc) return;
    app_.composite().followPixels(doc, m, width, height);
    if (auto* w = qobject_cast<PhotometryWindow*>(tools_->window(Tool::Photometry)))
        w->followMovement(doc, m, width, height);
}

bool CMainFrame::handleContextHelpEvent(QEvent* e) {
    if (!contextHelp_) return false;
    if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
        endContextHelp();
        return true;
    }
    if (e->type() != QEvent::MouseButtonPress) return false;
    auto* m = static_cast<QMouseEvent*>(e);
    const int topic = helpTopicAt(m->globalPosition().toPoint());
    endContextHelp();
    showHelpTopic(topic);
    return true;
}

void CMainFrame::endContextHelp() {
    contextHelp_ = false;
    qApp->removeEventFilter(this);
    QApplication::restoreOverrideCursor();
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

// --- full screen ---------------------------------------------------------------------------

void CMainFrame::applyNightMode(bool on) {
    applyNightLook(on, *mdi_, actions_);
    app_.settings().nightMode = on ? 1 : 0;
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
    // The tool bits and the docks' arrangement are taken before any window goes away.
    unsigned bits = toolBits();
    tools_->docks().store();
    if (!app_.closeAllDocuments()) {
        app_.setClosing(false);
        e->ignore();
        return;
    }
    app_.settings().toolBits = static_cast<int>(bits);
    e->accept();
}

} // namespace quillon::ui
