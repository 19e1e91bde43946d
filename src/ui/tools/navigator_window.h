// NavigatorWindow ("Zoomnavigator"): thumbnail of the active view's image with the frame of
// the visible part, the zoom field, the 200-position slider and "auto resize".
#pragma once

#include "ui/tools/tool_window.h"

#include <QImage>

class QCheckBox;
class QPushButton;
class QSlider;

namespace quillon::ui {

class NumberField;
class NavigatorWindow;

class NavigatorPicture : public QWidget {
    Q_OBJECT
public:
    explicit NavigatorPicture(NavigatorWindow* w);
    QSize sizeHint() const override { return {200, 150}; }
    // Thumbnail offset inside the widget and its scale; set by the window.
    QImage thumb;
    QPoint offset;
    QRect frame; // widget coordinates

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    NavigatorWindow* window_;
    bool dragging_ = false;
    QPoint start_;
    QPoint end_;
};

class NavigatorWindow : public ToolWindow {
    Q_OBJECT
public:
    NavigatorWindow(QWidget* owner, SettingsRecord& settings);
    void refresh() override;

    NavigatorPicture* picture() const { return picture_; }
    NumberField* percentField() const { return percent_; }
    QSlider* slider() const { return slider_; }
    QPushButton* minusButton() const { return minus_; }
    QPushButton* plusButton() const { return plus_; }
    QCheckBox* autoResizeBox() const { return autoResize_; }
    // A rectangle dragged on the picture (widget coordinates).
    void applyDrag(const QRect& r);
    // Sets the view's zoom from this window (auto resize applied).
    void setZoom(double z);

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    NavigatorPicture* picture_ = nullptr;
    NumberField* percent_ = nullptr;
    QSlider* slider_ = nullptr;
    QPushButton* minus_ = nullptr;
    QPushButton* plus_ = nullptr;
    QCheckBox* autoResize_ = nullptr;
    double scale_ = 1.0;
    bool filling_ = false;
};

} // namespace quillon::ui
