// CMainFrame: the main window with its MDI area, menus, toolbar, zoom box, status bar,
// full screen and the tool-window flags.
#pragma once

#include "ops/undo_record.h"
#include "ui/commands.h"
#include "ui/status_progress.h"

#include <QMainWindow>
#include <QPointF>
#include <QPointer>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QComboBox;
class QLabel;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QProgressBar;
class QToolButton;

namespace quillon {
class Filter;
class Image;
struct ConvertedDisplay;
struct NewDocumentParams;
enum class FilterCommand;
struct CompositeJob;
struct CompositeResult;
} // namespace quillon

namespace quillon::ui {

class CWinQuillonApp;
class CWinQuillonDoc;
class CWinQuillonView;
class FilterDialog;
class HelpViewer;
class HelpWizard;
class JobRunner;
class PrintSession;
class ToolWindows;
struct OpenViewChoice;

// Tool windows in the order of their bits.
enum class Tool { Navigator = 0, Scaling, Histogram, Photometry, ImageInfo, HelpWizard };

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
    // Long operations run here, off the interface thread, with progress and cancel.
    JobRunner& jobs() { return *jobs_; }
    QToolButton* cancelButton() const { return cancelButton_; }
    HelpWizard* helpWizard() const { return wizard_; }
    HelpViewer* helpViewer() const { return help_; }

    CWinQuillonView* activeView() const;
    CWinQuillonDoc* activeDocument() const;
    // A new child window with a view of the document.
    CWinQuillonView* createView(CWinQuillonDoc* doc, CWinQuillonView* copyFrom);
    // Opens each file as by "Öffnen" (drag and drop, command line, second start).
    void openFiles(const QStringList& files);

    // The menu bar currently shown: true for the large one (documents open).
    bool showsFullMenu() const { return fullMenu_; }
    void updateActions();
    // The zoom box text rule applied to the active view (choosing or typing and Return).
    void applyZoomBox(const QString& text);

    // Tool windows: shown flags, the bit set, toggles.
    bool toolShown(Tool t) const { return toolShown_[static_cast<std::size_t>(t)]; }
    unsigned toolBits() const;
    // Opens the tool windows whose bits are set, in the order scaling, navigator, help
    // wizard, image information, photometry, histogram.
    void openToolWindows(unsigned bits);
    void toggleTool(Tool t);
    // desktopWidth 0: the width of the current desktop.
    void arrangeToolWindows(int desktopWidth = 0);
    // "Tools &ausblenden": closes the open tool windows, the second use reopens them.
    void hideTools();
    bool toolsHidden() const { return toolsHidden_; }
    ToolWindows* toolWindows() const { return tools_; }
    // The toolbar's button groups, as "&Toolbar..." lists them; bit g of `hidden` hides group g.
    static QStringList toolBarGroupNames();
    void showToolBarGroups(unsigned hidden);
    void showHelpTopic(int topic);
    bool inContextHelpMode() const { return contextHelp_; }

    // Full screen on the main monitor or on all monitors; Esc or the menu entry leaves it.
    void enterFullScreen(bool allMonitors);
    void leaveFullScreen();
    // "Nachtmodus": the night look on or off, stored in the settings.
    void applyNightMode(bool on);
    bool isInFullScreen() const { return fullScreen_; }

    // Work that fills or changes an image, run as a job.
    using ImageWork = std::function<void(Image&, Progress&)>;
    // Mirror, rotation and every other change of the active document's image: the work runs
    // on a copy, which replaces the image only when the work has finished. A failure shows
    // its message and a cancel says nothing; both leave the image exactly as it was.
    // True when the image was replaced. Every change made here becomes an undo step, named
    // after the menu command last chosen unless `name` is given (CWinQuillonDoc::changeInPlace).
    bool changeInPlace(const ImageWork& work);
    bool changeInPlace(const ImageWork& work, const QString& name,
                       Reversal reversal = Reversal::None);
    // The name of an undo step made by the command: its menu text without "&", "..." and
    // accelerator ("90° Rechts").
    static QString undoName(Cmd c);
    // Resize, crop and the filters: a new image described by the source view's image with the
    // given size, filled by `fill` as a job; the document titled `title` appears only when the
    // fill has finished. Null after a failure (message shown), a cancel (nothing shown) or
    // when the document could not be created.
    CWinQuillonDoc* makeDerivedDocument(CWinQuillonView* source, const QString& title, int width,
                                        int height, const ImageWork& fill);
    // The same for a new image of another description (conversions, split layers); `display`,
    // when given, sets the weights and points of the new view instead of the source view's.
    CWinQuillonDoc* makeDerivedDocument(CWinQuillonView* source, const QString& title,
                                        const NewDocumentParams& description, const ImageWork& fill,
                                        const ConvertedDisplay* display = nullptr);

    // The filter menu: the command's dialog for the view (null for commands without one),
    // the whole command, and the filter over the view's image into a new document (null when
    // the document could not be created).
    std::unique_ptr<FilterDialog> makeFilterDialog(FilterCommand command, CWinQuillonView* view);
    void runFilterCommand(FilterCommand command);
    CWinQuillonDoc* applyFilterToNewDocument(const Filter& filter, CWinQuillonView* view);
    // "Referenzstern Lucy Richardson...": the PSF dialog for the star near the image point.
    void addReferenceStar(CWinQuillonView* view, QPointF imagePoint);
    // "&Lucy-Richardson Deconvolution": the dialog, then a new document that shows every
    // iteration; a cancel keeps the iterations done so far. Null when nothing was made.
    CWinQuillonDoc* runDeconvolution(CWinQuillonView* view);

    // The composite job: it lives for the whole run of the program and is rebuilt only when
    // the type or layer count changes.
    CompositeJob& compositeJob() { return *compositeJob_; }
    // Opens the composite window for the type (user-defined: `userLayers` layers). With
    // `fromCommand` (a composite menu command) options and current list come from the
    // settings; false is the return from reference setting.
    void showCompositeWindow(std::uint16_t type, int userLayers, bool fromCommand);
    // Opens the window "Referenzpunkte setzen" over the composite job; closing it brings the
    // composite window back.
    void showReferenceWindow();
    // The mouse over a view or "&Photometrie hier fixieren" (fix): handed to the photometry
    // window, which the fixing entry opens when it is not shown.
    void trackPhotometry(CWinQuillonView* view, int x, int y, bool fix);
    // The pixels of the sending document moved (width × height before): the composite job's
    // reference points of the document and the photometry position follow them.
    void followPixels(Movement m, int width, int height);

    // Page setup, printing, preview and the clipboard copies, with the print settings.
    PrintSession& printing() { return *print_; }
    // Runs the composite job as the window's "Verarbeitung starten" does: the result document
    // "Komposit" (null after a failure or cancel), its overlay, display and report.
    CWinQuillonDoc* runCompositeJob();
    // The LRGB bias step at the end of an LRGB composite.
    void afterLrgbComposite(CWinQuillonView* result);
    // Every open view as "Geöffnetes Bild hinzufügen" lists it.
    std::vector<OpenViewChoice> openViewChoices() const;

    // Shows the view's pixel readout in panes 1..5.
    void showPixel(bool valid, int x, int y, int r, int g, int b);

protected:
    void closeEvent(QCloseEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void createActions();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void connectCommands();
    void connectGeometryCommands();
    void connectFilterCommands();
    // Conversions, overlay, dark/flat calibration and row/column repair.
    void connectLayerCommands();
    void connectPrintCommands();
    void connectCompositeCommands();
    // The overlay list of the composite job into the result, one "Overlayeigenschaften" each.
    void insertOverlayList(CWinQuillonDoc* result, const CompositeResult& run);
    // "&Rückgängig", "&Wiederherstellen" and "&Speicher...".
    void connectUndoCommands();
    // The undo entries name the active document's next steps.
    void updateUndoActions();
    // "Debayer..." (main_frame_debayer.cpp).
    void connectDebayerCommand();
    // Filter commands need an image of their minimum size.
    void enableFilterCommands(const Image* image);
    void rebuildRecentMenu();
    void onSubWindowActivated(QMdiSubWindow* w);
    void onViewZoomChanged();
    // A document's image or display changed: the tool windows and the commands follow.
    void onDocumentChanged();
    void onJobsBusy(bool busy);
    void about();
    int contextHelpTopicAt(QPoint globalPos) const;
    bool handleContextHelpEvent(QEvent* e);
    void endContextHelp();
    void saveActive(bool as);
    void exportActive();
    void setMenuBarFull(bool full);

    CWinQuillonApp& app_;
    QMdiArea* mdi_ = nullptr;
    std::array<QAction*, static_cast<std::size_t>(Cmd::Count)> actions_{};
    QList<QMenu*> smallMenus_;
    QList<QMenu*> fullMenus_;
    QMenu* windowMenu_ = nullptr;
    std::array<QMenu*, 2> fileMenus_{};
    std::array<QAction*, 4> recentActions_{};
    bool fullMenu_ = false;
    QComboBox* zoomBox_ = nullptr;
    std::array<QLabel*, 9> panes_{};
    QProgressBar* progressBar_ = nullptr;
    std::unique_ptr<StatusProgress> progress_;
    QToolButton* cancelButton_ = nullptr;
    JobRunner* jobs_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QAction* zoomBoxAction_ = nullptr;
    std::array<bool, 6> toolShown_{};
    HelpWizard* wizard_ = nullptr;
    ToolWindows* tools_ = nullptr;
    bool toolsHidden_ = false;
    unsigned hiddenTools_ = 0; // tools open when "Tools &ausblenden" closed them
    HelpViewer* help_ = nullptr;
    QPointer<CWinQuillonView> lastActiveView_;
    Cmd lastCommand_ = Cmd::Count; // the menu command last chosen, for naming undo steps

    bool contextHelp_ = false;
    bool fullScreen_ = false;
    QByteArray savedGeometry_;
    Qt::WindowStates savedState_;
    QPointer<CWinQuillonView> fullScreenView_;
    std::unique_ptr<CompositeJob> compositeJob_;
    std::unique_ptr<PrintSession> print_;
};

} // namespace quillon::ui
