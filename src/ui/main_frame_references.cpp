// CMainFrame: the window "Referenzpunkte setzen" over the composite job.
#include "ui/main_frame.h"

namespace quillon::ui {

void CMainFrame::showReferenceWindow() {}

} // namespace quillon::ui
