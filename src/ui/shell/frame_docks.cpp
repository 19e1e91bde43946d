// CMainFrame: the tool windows and help windows in their docks: opening them from the bits,
// the toggles, "Tools &ausblenden", the arrangements and the help pages.
#include "ui/shell/help_viewer.h"
#include "ui/shell/main_frame.h"
#include "ui/shell/quillon_app.h"
#include "ui/tools/tool_window.h"
#include "ui/view.h"

#include <QDockWidget>
#include <QGuiApplication>
#include <QScreen>

namespace quillon::ui {

namespace {
QRect desktopGeometry() {
    const auto screens = QGuiApplication::screens();
    if (screens.size() >= 2) return QGuiApplication::primaryScreen()->virtualGeometry();
    return QGuiApplication::primaryScreen()->geometry();
}
} // namespace

void CMainFrame::openToolWindows(unsigned bits) {
    // Creation order: scaling, navigator, help wizard, image information, photometry,
    // histogram. Tools without a window yet only keep their flag, so that it survives the
    // next exit.
    for (Tool t : {Tool::Scaling, Tool::Navigator, Tool::HelpWizard, Tool::ImageInfo,
                   Tool::Photometry, Tool::Histogram}) {
        if (!(bits & (1u << static_cast<unsigned>(t)))) continue;
        if (t == Tool::HelpWizard || tools_->hasWindow(t)) {
            if (!toolShown(t) || !tools_->isVisible(t)) {
                toolShown_[static_cast<std::size_t>(t)] = false;
                toggleTool(t);
            }
        } else {
            toolShown_[static_cast<std::size_t>(t)] = true;
        }
    }
    tools_->docks().raiseDefaultFronts();
    updateActions();
}

void CMainFrame::toggleTool(Tool t) {
    auto& shown = toolShown_[static_cast<std::size_t>(t)];
    if (t == Tool::HelpWizard || tools_->hasWindow(t)) {
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
        if (tools_->isVisible(Tool::HelpWizard)) tools_->docks().dock(Dock::HelpWizard)->raise();
    }
    updateActions();
}

void CMainFrame::arrangeToolWindows(int desktopWidth) {
    // "Fenster Anordnen" closes every tool window and puts the floating points back to their
    // standard positions; "Standardanordnung wiederherstellen" (a negative width) keeps both.
    // Either way the docks go back to the first-start arrangement with all six open.
    const bool reset = desktopWidth >= 0;
    if (reset) {
        for (Tool t : {Tool::Navigator, Tool::Scaling, Tool::Histogram, Tool::Photometry,
                       Tool::ImageInfo, Tool::HelpWizard})
            tools_->close(t);
        toolShown_.fill(false);
    }
    toolsHidden_ = false;
    hiddenTools_ = 0;
    tools_->docks().arrangeDefault();
    if (reset)
        app_.settings().resetPositions(desktopWidth > 0 ? desktopWidth : desktopGeometry().width());
    openToolWindows(kAllToolBits);
}

void CMainFrame::showHelpTopic(int topic) {
    help_->showTopic(topic);
    tools_->docks().open(Dock::Help);
    QDockWidget* dock = tools_->docks().dock(Dock::Help);
    dock->raise();
    dock->activateWindow();
}

} // namespace quillon::ui
