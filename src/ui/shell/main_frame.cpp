// CMainFrame: construction of menus, toolbar, zoom box and status bar; action enabling.
#include "ui/shell/main_frame.h"

#include "ui/commands/command_table.h"
#include "ui/commands/filter_commands.h"
#include "ui/composite/lrgb_bias_dialog.h"
#include "ui/dialogs/astrometry_dialog.h"
#include "ui/document.h"
#include "ui/job_runner.h"
#include "ui/messages.h"
#include "ui/photometry/photometry_window.h"
#include "ui/shell/child_frame.h"
#include "ui/shell/command_icons.h"
#include "ui/shell/help_viewer.h"
#include "ui/shell/help_wizard.h"
#include "ui/shell/night_mode.h"
#include "ui/shell/quillon_app.h"
#include "ui/shell/tool_bar_groups.h"
#include "ui/tools/tool_window.h"
#include "ui/view.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWidgetAction>

#include <iterator>
#include <vector>

namespace quillon::ui {

CMainFrame::CMainFrame(CWinQuillonApp& app) : app_(app) {
    setWindowTitle(QStringLiteral("Quillon"));
    setObjectName(QStringLiteral("CMainFrame"));
    setAcceptDrops(true);
    mdi_ = new QMdiArea(this);
    mdi_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_->setBackground(QColor(kWorkspaceGrey));
    setCentralWidget(mdi_);
    createActions();
    createMenus();
    createToolBar();
    createStatusBar();
    connectCommands();
    connect(mdi_, &QMdiArea::subWindowActivated, this, &CMainFrame::onSubWindowActivated);
    connect(&app_, &CWinQuillonApp::documentsChanged, this, &CMainFrame::updateActions,
            Qt::QueuedConnection);
    connect(&app_, &CWinQuillonApp::recentFilesChanged, this, &CMainFrame::rebuildRecentMenu);
    wizard_ = new HelpWizard(this);
    help_ = new HelpViewer(this);
    tools_ = new ToolWindows(*this, app_.settings(), wizard_, help_);
    const unsigned restored = tools_->restoreLayout(); // the docks the stored layout shows
    for (std::size_t i = 0; i < toolShown_.size(); ++i) toolShown_[i] = (restored >> i) & 1u;
    connect(tools_, &ToolWindows::closedByUser, this, [this](Tool t) {
        toolShown_[static_cast<std::size_t>(t)] = false;
        updateActions();
    });
    if (app_.settings().nightMode != 0) applyNightMode(true);
    wizard_->browser()->programFolder = QCoreApplication::applicationDirPath();
    connect(wizard_->browser(), &WizardBrowser::openHelpTopic, this, &CMainFrame::showHelpTopic);
    connect(wizard_->browser(), &WizardBrowser::openFile, this,
            [this](const QString& f) { app_.openDocument(f); });
    connect(wizard_->browser(), &WizardBrowser::closeAll, this,
            [this] { app_.closeAllDocuments(); });
    connect(wizard_->browser(), &WizardBrowser::refused, this,
            [this](const QString& m) { showMessage(this, m); });
    rebuildRecentMenu();
    updateActions();
    resize(1024, 768);
}

CMainFrame::~CMainFrame() {
    // Child windows go away with us: nothing of theirs may call back into a half-destroyed
    // main window. The reference window follows the views of the composite job, which is
    // gone before the views.
    qDeleteAll(
        findChildren<QWidget*>(QStringLiteral("ReferenceWindow"), Qt::FindDirectChildrenOnly));
    mdi_->disconnect(this);
    for (QMdiSubWindow* sub : mdi_->subWindowList())
        if (sub->widget()) sub->widget()->disconnect(this);
}

void CMainFrame::createActions() {
    for (int i = 0; i < static_cast<int>(Cmd::Count); ++i) {
        auto c = static_cast<Cmd>(i);
        const CommandInfo& info = commandInfo(c);
        auto* a = new QAction(commandText(c), this);
        if (*info.shortcut) a->setShortcut(QKeySequence(QString::fromLatin1(info.shortcut)));
        a->setToolTip(commandTip(c));
        a->setStatusTip(commandTip(c));
        a->setIcon(commandIcon(c));
        a->setEnabled(info.built);
        a->setData(i);
        // Runs before the command's own handler: an in-place change names its undo step
        // after the command.
        connect(a, &QAction::triggered, this, [this, c] { lastCommand_ = c; });
        addAction(a); // accelerators work while menus are swapped or hidden
        actions_[static_cast<std::size_t>(i)] = a;
    }
    for (Cmd c :
         {Cmd::ShowOverlay, Cmd::NightMode, Cmd::ToolNavigator, Cmd::ToolScaling,
          Cmd::ToolHistogram, Cmd::ToolPhotometry, Cmd::ImageInfo, Cmd::HelpWizard, Cmd::HideTools})
        action(c)->setCheckable(true);
    for (std::size_t i = 0; i < recentActions_.size(); ++i) {
        recentActions_[i] = new QAction(this);
        connect(recentActions_[i], &QAction::triggered, this, [this, i] {
            QStringList files = app_.recentFiles();
            if (static_cast<int>(i) < files.size()) app_.openDocument(files[static_cast<int>(i)]);
        });
    }
}

void CMainFrame::createMenus() {
    auto add = [this](QMenu* m, std::initializer_list<Cmd> cmds) {
        for (Cmd c : cmds) m->addAction(action(c));
    };
    auto fileMenu = [&](bool full) {
        auto* m = new QMenu(tr("&Datei"), this);
        add(m, {Cmd::FileNew, Cmd::FileOpen});
        if (full) {
            add(m, {Cmd::FileClose, Cmd::FileCloseAll});
            m->addSeparator();
            add(m, {Cmd::FileSave, Cmd::FileSaveAs, Cmd::FileExport});
            m->addSeparator();
            add(m, {Cmd::PageSetup, Cmd::PrintPreview, Cmd::Print});
        }
        add(m, {Cmd::PrintSetup});
        m->addSeparator();
        QMenu* set = m->addMenu(tr("Einstellungen"));
        add(set, {Cmd::SettingsToolbar, Cmd::SettingsMemory, Cmd::SettingsLanguage,
                  Cmd::ArrangeToolWindows});
        m->addSeparator();
        m->addAction(action(Cmd::RecentPlaceholder));
        m->addSeparator();
        add(m, {Cmd::Exit});
        fileMenus_[full ? 1 : 0] = m;
        return m;
    };
    auto compositeMenu = [&](QMenu* parent) {
        QMenu* k = parent->addMenu(tr("&Komposit / Summenbild erstellen"));
        add(k, {Cmd::CompositeGrey, Cmd::CompositeRgb, Cmd::CompositeLrgb, Cmd::CompositeCmy,
                Cmd::CompositeUser, Cmd::FrameAnalysis});
    };
    auto toolsMenu = [&] {
        auto* m = new QMenu(tr("&Tools"), this);
        add(m, {Cmd::ToolNavigator, Cmd::ToolScaling, Cmd::ToolHistogram, Cmd::ToolPhotometry});
        m->addSeparator();
        add(m, {Cmd::HideTools});
        return m;
    };
    auto helpMenu = [&] {
        auto* m = new QMenu(tr("&?"), this);
        add(m, {Cmd::HelpTopics, Cmd::HelpWizard});
        m->addSeparator();
        add(m, {Cmd::About});
        return m;
    };

    // Without documents: Datei, Aktionen (the composite starts from files), Tools, ?.
    smallMenus_ << fileMenu(false);
    auto* actionsSmall = new QMenu(tr("&Aktionen"), this);
    compositeMenu(actionsSmall);
    smallMenus_ << actionsSmall << toolsMenu() << helpMenu();

    fullMenus_ << fileMenu(true);
    auto* edit = new QMenu(tr("&Bearbeiten"), this);
    add(edit, {Cmd::EditUndo, Cmd::EditRedo});
    edit->addSeparator();
    add(edit, {Cmd::EditCopy, Cmd::EditCopyAll});
    fullMenus_ << edit;

    auto* image = new QMenu(tr("B&ild"), this);
    QMenu* conv = image->addMenu(tr("&Konvertieren"));
    add(conv, {Cmd::ConvertGrey, Cmd::ConvertRgb});
    add(image, {Cmd::Debayer});
    add(image, {Cmd::LrgbBias, Cmd::EditMapping});
    image->addSeparator();
    QMenu* mirror = image->addMenu(tr("&Spiegeln"));
    add(mirror, {Cmd::MirrorHorizontal, Cmd::MirrorVertical});
    QMenu* rotate = image->addMenu(tr("D&rehen"));
    add(rotate, {Cmd::RotateRight, Cmd::RotateLeft, Cmd::Rotate180});
    add(image, {Cmd::Resize, Cmd::Crop});
    image->addSeparator();
    add(image, {Cmd::AddOverlay, Cmd::RemoveOverlay});
    image->addSeparator();
    add(image, {Cmd::ImageInfo});
    fullMenus_ << image;

    auto* actionsFull = new QMenu(tr("&Aktionen"), this);
    compositeMenu(actionsFull);
    add(actionsFull, {Cmd::SplitLayers});
    actionsFull->addSeparator();
    add(actionsFull, {Cmd::DarkFlat, Cmd::RepairRow, Cmd::RepairColumn});
    actionsFull->addSeparator();
    add(actionsFull, {Cmd::Astrometry, Cmd::CatalogLabels});
    fullMenus_ << actionsFull;

    auto* filter = new QMenu(tr("Fi&lter"), this);
    add(filter, {Cmd::Highpass, Cmd::Lowpass, Cmd::SpecialFilter});
    filter->addSeparator();
    add(filter, {Cmd::NoiseFilter, Cmd::UnsharpMask, Cmd::LucyRichardson});
    add(filter, {Cmd::BackgroundExtraction});
    addLibraryCommandEntries(*this, image, filter); // library commands without a Cmd of their own
    fullMenus_ << filter;

    auto* view = new QMenu(tr("&Ansicht"), this);
    add(view, {Cmd::NewView, Cmd::CloseViews});
    view->addSeparator();
    add(view, {Cmd::ShowOverlay, Cmd::NightMode});
    view->addSeparator();
    add(view, {Cmd::ZoomIn, Cmd::ZoomOut, Cmd::ZoomOptimal, Cmd::Zoom100});
    view->addSeparator();
    add(view, {Cmd::ArrangeAllWindows});
    QMenu* full = view->addMenu(tr("&Vollbild"));
    add(full, {Cmd::FullScreenMain, Cmd::FullScreenAll});
    fullMenus_ << view;

    fullMenus_ << toolsMenu();

    windowMenu_ = new QMenu(tr("&Fenster"), this);
    connect(windowMenu_, &QMenu::aboutToShow, this, [this] {
        windowMenu_->clear();
        windowMenu_->addAction(action(Cmd::WindowCascade));
        windowMenu_->addAction(action(Cmd::WindowTile));
        windowMenu_->addAction(action(Cmd::WindowArrangeIcons));
        windowMenu_->addSeparator(); // the docks: each one's toggle, then the arrangement
        for (Cmd c : {Cmd::ToolNavigator, Cmd::ToolScaling, Cmd::ToolHistogram, Cmd::ToolPhotometry,
                      Cmd::ImageInfo, Cmd::HelpWizard, Cmd::WindowDefaultLayout})
            windowMenu_->addAction(action(c));
        const auto subs = mdi_->subWindowList();
        if (!subs.isEmpty()) windowMenu_->addSeparator();
        int n = 0;
        for (QMdiSubWindow* s : subs) {
            QString t = s->windowTitle().replace(
                QStringLiteral("[*]"), s->isWindowModified() ? QStringLiteral("*") : QString());
            QAction* a = windowMenu_->addAction(QStringLiteral("&%1 %2").arg(++n).arg(t));
            a->setCheckable(true);
            a->setChecked(s == mdi_->activeSubWindow());
            connect(a, &QAction::triggered, this, [this, s] { mdi_->setActiveSubWindow(s); });
        }
    });
    windowMenu_->addAction(action(Cmd::WindowCascade));
    fullMenus_ << windowMenu_;
    fullMenus_ << helpMenu();
    setMenuBarFull(false);
}

void CMainFrame::setMenuBarFull(bool full) {
    if (full == fullMenu_ && !menuBar()->actions().isEmpty()) return;
    fullMenu_ = full;
    menuBar()->clear();
    for (QMenu* m : full ? fullMenus_ : smallMenus_) menuBar()->addMenu(m);
}

QStringList CMainFrame::toolBarGroupNames() {
    QStringList names;
    for (const ToolBarGroup& g : toolBarGroups())
        names << QCoreApplication::translate("ToolBarGroups", g.name);
    return names;
}

void CMainFrame::createToolBar() {
    toolBar_ = addToolBar(tr("Symbolleiste"));
    toolBar_->setObjectName(QStringLiteral("Symbolleiste"));
    toolBar_->setIconSize(QSize(20, 20));
    zoomBox_ = new QComboBox(this);
    zoomBox_->setObjectName(QStringLiteral("zoomBox"));
    zoomBox_->setEditable(true);
    zoomBox_->setInsertPolicy(QComboBox::NoInsert);
    zoomBox_->addItems({QStringLiteral("Optimal"), QStringLiteral("10%"), QStringLiteral("25%"),
                        QStringLiteral("50%"), QStringLiteral("75%"), QStringLiteral("100%"),
                        QStringLiteral("200%"), QStringLiteral("400%")});
    zoomBox_->setCurrentIndex(5);
    zoomBox_->setMinimumContentsLength(7);
    zoomBox_->setEnabled(false);
    zoomBox_->setCompleter(nullptr); // typed text is applied as typed
    // Return is seen by the box (real key presses) or by its line edit (sent to it directly).
    zoomBox_->installEventFilter(this);
    zoomBox_->lineEdit()->installEventFilter(this);
    connect(zoomBox_, &QComboBox::activated, this,
            [this](int index) { applyZoomBox(zoomBox_->itemText(index)); });
    // The toolbar shows the box through an action of our own, so that leaving the zoom group
    // out does not delete the box.
    auto* boxAction = new QWidgetAction(this);
    boxAction->setDefaultWidget(zoomBox_);
    zoomBoxAction_ = boxAction;
    showToolBarGroups(static_cast<unsigned>(app_.settings().toolbarHiddenGroups));
}

void CMainFrame::showToolBarGroups(unsigned hidden) {
    toolBar_->clear();
    bool first = true;
    const auto groups = toolBarGroups();
    for (int g = 0; g < static_cast<int>(groups.size()); ++g) {
        if (hidden & (1u << g)) continue;
        if (!first) toolBar_->addSeparator();
        first = false;
        for (Cmd c : groups[std::size_t(g)].commands) toolBar_->addAction(action(c));
        if (g == kZoomToolBarGroup) toolBar_->addAction(zoomBoxAction_);
    }
}

void CMainFrame::createStatusBar() {
    QStatusBar* sb = statusBar();
    auto* pane0 = new QWidget(sb);
    auto* lay = new QHBoxLayout(pane0);
    lay->setContentsMargins(0, 0, 0, 0);
    panes_[0] = new QLabel(tr("Bereit"), pane0);
    auto* progressBar = new QProgressBar(pane0);
    progressBar->setMaximumHeight(14);
    cancelButton_ = new QToolButton(pane0);
    cancelButton_->setText(tr("Abbrechen"));
    cancelButton_->setToolTip(tr("Laufende Aktion abbrechen (Esc)"));
    cancelButton_->setObjectName(QStringLiteral("cancelJob"));
    lay->addWidget(panes_[0], 1);
    lay->addWidget(progressBar);
    lay->addWidget(cancelButton_);
    sb->addWidget(pane0, 1);
    // Panes 1..5: the readout R, G, B, x, y; 6: selection; 7: zoom; 8: image size.
    const int widths[9] = {0, 70, 70, 70, 62, 62, 130, 60, 110};
    for (int i = 1; i < 9; ++i) {
        panes_[static_cast<std::size_t>(i)] = new QLabel(sb);
        panes_[static_cast<std::size_t>(i)]->setMinimumWidth(widths[i]);
        panes_[static_cast<std::size_t>(i)]->setFrameShape(QFrame::StyledPanel);
        sb->addPermanentWidget(panes_[static_cast<std::size_t>(i)]);
    }
    progress_ = std::make_unique<StatusProgress>(panes_[0], progressBar, pane0);
    jobs_ = new JobRunner(*progress_, cancelButton_, this);
    connect(jobs_, &JobRunner::busyChanged, this, &CMainFrame::onJobsBusy);
}

void CMainFrame::onJobsBusy(bool busy) {
    // Input is held back while a job runs; greyed menus and toolbar say so.
    menuBar()->setEnabled(!busy);
    toolBar_->setEnabled(!busy);
    if (!busy) updateActions();
}

void CMainFrame::onDocumentChanged() {
    tools_->refreshAll();
    updateActions();
}

void CMainFrame::showPixel(bool valid, int x, int y, int r, int g, int b) {
    if (!valid) return;
    panes_[1]->setText(QString::asprintf("R= %d", r));
    panes_[2]->setText(QString::asprintf("G= %d", g));
    panes_[3]->setText(QString::asprintf("B= %d", b));
    panes_[4]->setText(QString::asprintf("x = %d", x));
    panes_[5]->setText(QString::asprintf("y = %d", y));
}

CWinQuillonView* CMainFrame::activeView() const {
    QMdiSubWindow* s = mdi_->activeSubWindow();
    if (!s && !mdi_->subWindowList().isEmpty()) s = mdi_->currentSubWindow();
    return s ? qobject_cast<CWinQuillonView*>(s->widget()) : nullptr;
}

CWinQuillonDoc* CMainFrame::activeDocument() const {
    CWinQuillonView* v = activeView();
    return v ? v->document() : nullptr;
}

CWinQuillonView* CMainFrame::createView(CWinQuillonDoc* doc, CWinQuillonView* copyFrom) {
    auto* view = new CWinQuillonView(doc, copyFrom);
    auto* child = new CChildFrame(app_, view);
    mdi_->addSubWindow(child);
    connect(view, &CWinQuillonView::zoomChanged, this, &CMainFrame::onViewZoomChanged);
    connect(view, &CWinQuillonView::pixelInfo, this, &CMainFrame::showPixel);
    trackSkyPosition(*this, view);
    connect(view, &CWinQuillonView::escapePressed, this, &CMainFrame::leaveFullScreen);
    connect(view, &CWinQuillonView::selectionChanged, this, [this, view] {
        if (view != activeView()) return;
        QRect s = view->selection();
        panes_[6]->setText(view->hasSelection()
                               ? tr("Auswahl: %1 × %2").arg(s.width()).arg(s.height())
                               : QString());
        updateActions(); // "&Ausschnitt" needs a large enough selection
    });
    connect(doc, &CWinQuillonDoc::imageChanged, this, &CMainFrame::onDocumentChanged,
            Qt::UniqueConnection);
    connect(doc, &CWinQuillonDoc::displayChanged, this, &CMainFrame::onDocumentChanged,
            Qt::UniqueConnection);
    connect(doc, &CWinQuillonDoc::historyChanged, this, &CMainFrame::updateActions,
            Qt::UniqueConnection);
    connect(doc, &CWinQuillonDoc::pixelsMoved, this, &CMainFrame::followPixels,
            Qt::UniqueConnection);
    connect(view, &QObject::destroyed, this,
            [this] { QTimer::singleShot(0, this, &CMainFrame::updateActions); });
    // The tool windows follow zoom and scrolling of the active view.
    auto followView = [this, view] {
        if (view == activeView()) tools_->refreshAll();
    };
    connect(view, &CWinQuillonView::zoomChanged, this, followView);
    connect(view, &CWinQuillonView::displayChanged, this, followView);
    connect(view, &CWinQuillonView::hideToolsRequested, this, &CMainFrame::hideTools);
    connect(view, &CWinQuillonView::photometryTrack, this, [this, view](int x, int y, bool fix) {
        // The fixing entry opens the photometry window when it is not shown.
        if (fix && !tools_->isVisible(Tool::Photometry) && !toolsHidden_)
            toggleTool(Tool::Photometry);
        if (!tools_->isVisible(Tool::Photometry)) return;
        if (auto* w = qobject_cast<PhotometryWindow*>(tools_->window(Tool::Photometry)))
            w->track(view, x, y, fix);
    });
    connect(view, &CWinQuillonView::psfStarRequested, this,
            [this, view](QPointF p) { addReferenceStar(view, p); });
    connect(view, &CWinQuillonView::lrgbBiasRequested, this,
            [this, view](QPointF at) { runLrgbBiasDialog(*this, view, at); });
    connect(view->horizontalScrollBar(), &QScrollBar::valueChanged, this, followView);
    connect(view->verticalScrollBar(), &QScrollBar::valueChanged, this, followView);
    if (copyFrom) {
        if (auto* src = qobject_cast<QMdiSubWindow*>(copyFrom->parentWidget()))
            child->setGeometry(src->geometry().translated(24, 24));
        child->show();
    } else {
        child->resize(std::min(640, mdi_->width() - 20), std::min(480, mdi_->height() - 20));
        child->show();
    }
    view->setFocus();
    mdi_->setActiveSubWindow(child);
    updateActions();
    return view;
}

void CMainFrame::onSubWindowActivated(QMdiSubWindow* w) {
    CWinQuillonView* v = w ? qobject_cast<CWinQuillonView*>(w->widget()) : nullptr;
    if (v) {
        v->document()->setActiveView(v);
    }
    updateActions();
    if (w || mdi_->subWindowList().isEmpty()) tools_->setActiveView(v);
}

void CMainFrame::onViewZoomChanged() {
    CWinQuillonView* v = activeView();
    if (v && sender() == v) zoomBox_->setEditText(QString::asprintf("%.0f%%", v->zoom() * 100.0));
    if (v) panes_[7]->setText(QString::asprintf("%.0f%%", v->zoom() * 100.0));
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* e) {
    if (contextHelp_ && handleContextHelpEvent(e)) return true;
    // Return in the zoom box applies the typed text (and nothing else sees the key).
    if ((watched == zoomBox_ || watched == zoomBox_->lineEdit()) && e->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            applyZoomBox(zoomBox_->lineEdit()->text());
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

void CMainFrame::applyZoomBox(const QString& text) {
    CWinQuillonView* v = activeView();
    if (!v) return;
    QString shown = v->applyZoomBoxText(text);
    zoomBox_->setEditText(shown);
}

void CMainFrame::updateActions() {
    const int docs = static_cast<int>(app_.documents().size());
    setMenuBarFull(docs > 0);
    CWinQuillonView* v = activeView();
    CWinQuillonDoc* d = v ? v->document() : nullptr;
    auto enable = [this](Cmd c, bool on) { action(c)->setEnabled(commandInfo(c).built && on); };
    for (CommandTable module : commandModules())
        for (const CommandRow& row : module)
            if (row.enabled) enable(row.cmd, row.enabled(row.cmd, v));
    for (Cmd c : {Cmd::NewView, Cmd::ZoomOptimal, Cmd::FullScreenMain, Cmd::WindowCascade,
                  Cmd::WindowTile, Cmd::WindowArrangeIcons})
        enable(c, v != nullptr);
    enable(Cmd::FullScreenAll, v && QGuiApplication::screens().size() >= 2);
    action(Cmd::ShowOverlay)->setChecked(v && v->renderer().params().showOverlay);
    action(Cmd::NightMode)->setChecked(nightMode());
    action(Cmd::HelpWizard)->setChecked(toolShown(Tool::HelpWizard));
    // While hidden, the toggles show what "Tools &ausblenden" will bring back.
    auto toolChecked = [this](Tool t) {
        return toolsHidden_ ? (hiddenTools_ & (1u << static_cast<unsigned>(t))) != 0 : toolShown(t);
    };
    for (auto [c, t] : {std::pair{Cmd::ToolNavigator, Tool::Navigator},
                        std::pair{Cmd::ToolScaling, Tool::Scaling},
                        std::pair{Cmd::ToolHistogram, Tool::Histogram},
                        std::pair{Cmd::ToolPhotometry, Tool::Photometry},
                        std::pair{Cmd::ImageInfo, Tool::ImageInfo}}) {
        action(c)->setChecked(toolChecked(t));
        enable(c, !toolsHidden_);
    }
    enable(Cmd::HideTools, true);
    updateUndoActions();
    action(Cmd::HideTools)->setChecked(toolsHidden_);
    if (!v) tools_->setActiveView(nullptr);
    zoomBox_->setEnabled(v != nullptr);
    if (v) {
        zoomBox_->setEditText(QString::asprintf("%.0f%%", v->zoom() * 100.0));
        panes_[7]->setText(QString::asprintf("%.0f%%", v->zoom() * 100.0));
        panes_[8]->setText(
            QStringLiteral("%1 × %2").arg(d->image().width()).arg(d->image().height()));
    } else {
        zoomBox_->setEditText(QStringLiteral("100%")); // as at the start, until a view is active
        for (int i = 1; i < 9; ++i) panes_[static_cast<std::size_t>(i)]->clear();
    }
}

void CMainFrame::rebuildRecentMenu() {
    const QStringList files = app_.recentFiles();
    for (QMenu* m : fileMenus_) {
        if (!m) continue;
        for (QAction* a : recentActions_) m->removeAction(a);
        QAction* placeholder = action(Cmd::RecentPlaceholder);
        placeholder->setVisible(files.isEmpty());
        for (int i = 0; i < files.size() && i < static_cast<int>(recentActions_.size()); ++i) {
            QAction* a = recentActions_[static_cast<std::size_t>(i)];
            a->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(files[i]));
            m->insertAction(placeholder, a);
        }
    }
}

unsigned CMainFrame::toolBits() const {
    unsigned bits = 0;
    for (std::size_t i = 0; i < toolShown_.size(); ++i)
        if (toolShown_[i]) bits |= 1u << i;
    return bits;
}

} // namespace quillon::ui
