// HistogramWindow ("Histogramm"): the library's bar-and-curve picture of the active view
// with the value range controls and the channel switches.
#pragma once

#include "ui/tools/tool_window.h"

#include <QImage>

#include <array>

class QCheckBox;
class QPushButton;
class QScrollBar;

namespace quillon::ui {

class NumberField;

// The drawing area: shows whatever picture the window hands it.
class HistogramArea : public QWidget {
    Q_OBJECT
public:
    explicit HistogramArea(QWidget* parent);
    void setPicture(const QImage& img);
    // The message picture shown while counting.
    void showBusy();
    const QImage& picture() const { return image_; }
    QSize sizeHint() const override { return {256, 140}; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QImage image_;
};

class HistogramWindow : public ToolWindow {
    Q_OBJECT
public:
    HistogramWindow(QWidget* owner, SettingsRecord& settings);
    void refresh() override;

    HistogramArea* area() const { return area_; }
    QPushButton* widenButton() const { return minus_; }
    QPushButton* narrowButton() const { return plus_; }
    NumberField* lowerField() const { return lo_; }
    NumberField* upperField() const { return hi_; }
    QScrollBar* scrollBar() const { return scroll_; }
    QCheckBox* channelBox(int c) const { return channels_[static_cast<std::size_t>(c)]; }

protected:
    void resizeEvent(QResizeEvent* e) override;

private:
    void setRange(int lo, int hi);
    void showControls();
    void drawPicture();

    HistogramArea* area_ = nullptr;
    QPushButton* minus_ = nullptr;
    QPushButton* plus_ = nullptr;
    NumberField* lo_ = nullptr;
    NumberField* hi_ = nullptr;
    QScrollBar* scroll_ = nullptr;
    std::array<QCheckBox*, 3> channels_{};
    bool filling_ = false;
};

} // namespace quillon::ui
