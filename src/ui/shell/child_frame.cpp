// CChildFrame: closing a view's window, with the save question for the last view.
#include "ui/shell/child_frame.h"

#include "ui/document.h"
#include "ui/shell/quillon_app.h"
#include "ui/view.h"

#include <QCloseEvent>

namespace quillon::ui {

CChildFrame::CChildFrame(CWinQuillonApp& app, CWinQuillonView* view) : app_(app), view_(view) {
    setWidget(view);
    setAttribute(Qt::WA_DeleteOnClose);
}

void CChildFrame::closeEvent(QCloseEvent* e) {
    CWinQuillonDoc* doc = view_->document();
    // The last view of a document closes the document: ask about unsaved changes first,
    // unless the document is already being closed as a whole.
    if (doc->views().size() == 1 && !doc->property("closing").toBool()) {
        if (!doc->saveModified(this, app_.jobs())) {
            e->ignore();
            return;
        }
    }
    e->accept();
    QMdiSubWindow::closeEvent(e);
}

} // namespace quillon::ui
