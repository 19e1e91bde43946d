// The background dialog's samples on the document view: a square over each sample box (green
// used, red rejected), and a left click on the view toggles the sample there or adds one.
// While it exists, input to the main window other than this view is held back (menus,
// toolbars, other documents, closing), so that the dialog, which is not modal, keeps its
// document as it was; the dialog itself, its preview and its own dialogs take input as usual.
#pragma once

#include <QPointer>
#include <QWidget>

namespace quillon::ui {

class BackgroundDialog;
class CWinQuillonView;

class BackgroundViewSamples : public QWidget {
    Q_OBJECT
public:
    BackgroundViewSamples(BackgroundDialog& dialog, CWinQuillonView& view);
    ~BackgroundViewSamples() override;

    // The position on the view (its viewport) of an image pixel.
    QPoint viewPosition(int x, int y) const;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // Whether input to `o` may pass: the view and this layer, and every window other than
    // the main window.
    bool takesInput(QObject* o, bool contextMenu) const;

    BackgroundDialog& dialog_;
    QPointer<CWinQuillonView> view_;
    QPointer<QWidget> mainWindow_;
};

} // namespace quillon::ui
