// CChildFrame: the MDI child window around one view; asks the save question on close.
#pragma once

#include <QMdiSubWindow>

namespace quillon::app {
class CWinQuillonApp;
}

namespace quillon::ui {

class CWinQuillonView;

class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    CChildFrame(app::CWinQuillonApp& app, CWinQuillonView* view);
    CWinQuillonView* view() const { return view_; }

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    app::CWinQuillonApp& app_;
    CWinQuillonView* view_;
};

} // namespace quillon::ui
