// The window "Bildanalyse": the stars of every used exposure of the composite job measured,
// shown as a sortable table and as curves over the series, and the poor frames unticked by
// hand, by selection rules ("fwhm<3.5") or by keeping the best share by quality.
#pragma once

#include "composite/frame_analysis.h"

#include <QDialog>
#include <QWidget>

#include <functional>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace quillon::ui {

class NumberField;

// Four small curves over the frame number: FWHM, roundness, star count and background. A
// frame that is unticked is drawn hollow.
class SeriesPlot : public QWidget {
    Q_OBJECT
public:
    explicit SeriesPlot(QWidget* parent = nullptr);
    void setFrames(const std::vector<FrameQuality>& frames, const std::vector<bool>& used);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    std::vector<FrameQuality> frames_;
    std::vector<bool> used_;
};

class FrameAnalysisWindow : public QDialog {
    Q_OBJECT
public:
    // Measures the used entries of the job (on the job runner); false when cancelled or failed
    // (the failure already shown).
    using Measure = std::function<bool(std::vector<FrameAnalysis>& frames)>;
    // Shows the exposure of an entry (opens its file or activates its window).
    using OpenFrame = std::function<void(const CompositeEntry& entry)>;

    enum Column {
        ColFile,
        ColStars,
        ColFwhm,
        ColFwhmArcsec,
        ColRoundness,
        ColBackground,
        ColNoise,
        ColScore,
        ColReason,
        ColumnCount
    };

    FrameAnalysisWindow(CompositeJob& job, Measure measure, OpenFrame open,
                        QWidget* parent = nullptr);

    // Measures the job's used entries again and fills the table; false when cancelled.
    bool measure();
    // Unticks the rows that fail the typed rules or fall outside the best share; false (with
    // the reason shown) when a rule cannot be read.
    bool applySelection();
    // Ticks or unticks the entry of a table row.
    void setRowUsed(int row, bool used);

    QTableWidget* table() const { return table_; }
    SeriesPlot* plot() const { return plot_; }
    QLineEdit* rulesField() const { return rules_; }
    QCheckBox* keepBestBox() const { return keepBest_; }
    QSpinBox* keepBestPercent() const { return keepPercent_; }
    NumberField* pixelScaleField() const { return scale_; }
    const std::vector<FrameAnalysis>& frames() const { return frames_; }

private:
    void fillTable();
    void refreshPlot();
    void rowChanged(int row, int column);
    CompositeEntry& entryOf(const FrameAnalysis& f);
    int frameOfRow(int row) const;

    CompositeJob& job_;
    Measure measure_;
    OpenFrame open_;
    std::vector<FrameAnalysis> frames_;
    bool filling_ = false;

    QTableWidget* table_;
    SeriesPlot* plot_;
    QLineEdit* rules_;
    QCheckBox* keepBest_;
    QSpinBox* keepPercent_;
    NumberField* scale_;
    QLabel* summary_;
};

} // namespace quillon::ui
