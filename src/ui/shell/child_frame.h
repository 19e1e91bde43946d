// CChildFrame: the MDI child window around one view; asks the save question on close.
#pragma once

#include <QMdiSubWindow>

namespace quillon::ui {

class CWinQuillonApp;
class CWinQuillonView;

class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    CChildFrame(CWinQuillonApp& app, CWinQuillonView* view);
    CWinQuillonView* view() const { return view_; }

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    CWinQuillonApp& app_;
    CWinQuillonView* view_;
};

} // namespace quillon::ui
