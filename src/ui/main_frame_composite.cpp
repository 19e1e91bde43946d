// CMainFrame: the composite window and the composite run.
#include "ui/main_frame.h"

namespace quillon::ui {

void CMainFrame::showCompositeWindow(std::uint16_t, int, bool) {}

} // namespace quillon::ui
