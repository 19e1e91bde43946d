// CMainFrame: the window "Referenzpunkte setzen" over the composite job.
#include "ui/main_frame.h"

#include "composite/job.h"
#include "ui/reference_window.h"

namespace quillon::ui {

void CMainFrame::showReferenceWindow() {
    const auto first = compositeJob().firstEntry();
    if (!first) return;
    openReferenceWindowAt(*this, first->first, first->second);
}

} // namespace quillon::ui
