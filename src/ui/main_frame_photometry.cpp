// CMainFrame: routing the view's mouse positions and the fixing entry to the photometry window.
#include "ui/main_frame.h"
#include "ui/photometry_window.h"
#include "ui/tool_window.h"
#include "ui/view.h"

namespace quillon::ui {

void CMainFrame::trackPhotometry(CWinQuillonView* view, int x, int y, bool fix) {
    if (fix && !tools_->isVisible(Tool::Photometry) && !toolsHidden_) toggleTool(Tool::Photometry);
    if (!tools_->isVisible(Tool::Photometry)) return;
    if (auto* w = qobject_cast<PhotometryWindow*>(tools_->window(Tool::Photometry)))
        w->track(view, x, y, fix);
}

} // namespace quillon::ui
