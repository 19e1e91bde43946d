// CMainFrame: the main window as a frame: document area, menus, toolbar, zoom box, status bar,
// full screen, context help and the tool-window flags. The command modules (ui/commands/ and
// the rooms) say what the commands do; the frame walks their tables to connect and enable.
#pragma once

#include "ui/command_context.h"
#include "ui/commands.h"
#include "ui/shell/status_progress.h"

#include <QMainWindow>
#include <QPointF>
#include <QPointer>

#include <array>
#include <memory>

class QComboBox;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QToolButton;

namespace quillon {
class Filter;
struct CompositeJob;
enum class FilterCommand;
} // namespace quillon

namespace quillon::ui {

class CWinQuillonApp;
class FilterDialog;
class HelpViewer;
class HelpWizard;
class PrintSession;
class ToolWindows;

enum class Tool { Navigator = 0, Scaling, Histogram, Photometry, ImageInfo, HelpWizard }; // bits

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(CWinQuillonApp& app);
    ~CMainFrame() override;

    CWinQuillonApp& app() const { return app_; }
    QAction* action(Cmd c) const { return actions_[static_cast<std::size_t>(c)]; }
    QMdiArea* mdiArea() const { return mdi_; }
    QComboBox* zoomBox() const { return zoomBox_; }
    QLabel* pane(int i) const { return panes_[static_cast<std::size_t>(i)]; }
    ProgressSink* progressSink() { return progress_.get(); }
    StatusProgress& statusProgress() { return *progress_; }
    JobRunner& jobs() { return *jobs_; }
    QToolButton* cancelButton() const { return cancelButton_; }
    HelpWizard* helpWizard() const { return wizard_; }
    HelpViewer* helpViewer() const { return help_; }

    CWinQuillonView* activeView() const;
    CWinQuillonDoc* activeDocument() const;
    CWinQuillonView* createView(CWinQuillonDoc* doc, CWinQuillonView* copyFrom);
    // Opens each file as by "Öffnen" (drag and drop, command line, second start).
    void openFiles(const QStringList& files);
    bool showsFullMenu() const { return fullMenu_; } // the large menu bar (documents open)
    void updateActions();
    // The zoom box text rule applied to the active view (choosing or typing and Return).
    void applyZoomBox(const QString& text);

    bool toolShown(Tool t) const { return toolShown_[static_cast<std::size_t>(t)]; }
    unsigned toolBits() const;
    // Opens the tool windows whose bits are set, in the order scaling, navigator, help
    // wizard, image information, photometry, histogram.
    void openToolWindows(unsigned bits);
    void toggleTool(Tool t);
    void arrangeToolWindows(int desktopWidth = 0); // 0: this desktop; < 0: default arrangement
    // "Tools &ausblenden": closes the open tool windows, the second use reopens them.
    void hideTools();
    bool toolsHidden() const { return toolsHidden_; }
    ToolWindows* toolWindows() const { return tools_; }
    // The toolbar's button groups, as "&Toolbar..." lists them; bit g of `hidden` hides group g.
    static QStringList toolBarGroupNames();
    void showToolBarGroups(unsigned hidden);
    void showHelpTopic(int topic);
    bool inContextHelpMode() const { return contextHelp_; }
    void enterFullScreen(bool allMonitors); // main or all monitors; Esc or the entry leaves
    void leaveFullScreen();
    bool isInFullScreen() const { return fullScreen_; }
    void applyNightMode(bool on); // "Nachtmodus" on or off, stored in the settings
    // The commands' own entry points, reached through the frame as their context.
    bool changeInPlace(const CommandContext::ImageWork& work);
    std::unique_ptr<FilterDialog> makeFilterDialog(FilterCommand command, CWinQuillonView* view);
    CWinQuillonDoc* applyFilterToNewDocument(const Filter& filter, CWinQuillonView* view);
    void addReferenceStar(CWinQuillonView* view, QPointF imagePoint);
    CompositeJob& compositeJob();
    PrintSession& printing();

protected:
    void closeEvent(QCloseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    friend class CommandContext; // names undo steps after the command last chosen

    void createActions();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void connectCommands(); // the frame's own commands, then every module's rows
    void updateUndoActions();
    void rebuildRecentMenu();
    void onSubWindowActivated(QMdiSubWindow* w);
    void onViewZoomChanged();
    void onDocumentChanged();
    void onJobsBusy(bool busy);
    void showPixel(bool valid, int x, int y, int r, int g, int b); // panes 1..5
    void followPixels(Movement m, int width, int height);
    bool handleContextHelpEvent(QEvent* e);
    void endContextHelp();
    void setMenuBarFull(bool full);

    CWinQuillonApp& app_;
    QMdiArea* mdi_ = nullptr;
    std::array<QAction*, static_cast<std::size_t>(Cmd::Count)> actions_{};
    QList<QMenu*> smallMenus_, fullMenus_;
    QMenu* windowMenu_ = nullptr;
    std::array<QMenu*, 2> fileMenus_{};
    std::array<QAction*, 4> recentActions_{};
    QComboBox* zoomBox_ = nullptr;
    std::array<QLabel*, 9> panes_{};
    std::unique_ptr<StatusProgress> progress_;
    QToolButton* cancelButton_ = nullptr;
    JobRunner* jobs_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QAction* zoomBoxAction_ = nullptr;
    std::array<bool, 6> toolShown_{};
    HelpWizard* wizard_ = nullptr;
    ToolWindows* tools_ = nullptr;
    unsigned hiddenTools_ = 0; // tools open when "Tools &ausblenden" closed them
    HelpViewer* help_ = nullptr;
    Cmd lastCommand_ = Cmd::Count; // the menu command last chosen, for naming undo steps
    bool fullMenu_ = false, toolsHidden_ = false, contextHelp_ = false, fullScreen_ = false;
    QByteArray savedGeometry_;
    Qt::WindowStates savedState_;
    QPointer<CWinQuillonView> fullScreenView_;
};

} // namespace quillon::ui
