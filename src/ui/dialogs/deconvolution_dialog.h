// DeconvolutionDialog "Lucy-Richardson Deconv.": iterations with "+"/"-", the PSF's size and
// count, the time estimate and the preview that follows only while it is cheap.
#pragma once

#include "ui/dialogs/filter_dialog.h"

class QLabel;

namespace quillon::ui {

class NumberField;

class DeconvolutionDialog : public FilterDialog {
    Q_OBJECT
public:
    DeconvolutionDialog(CWinQuillonView* view, SettingsRecord& settings, LayerSelection& layers,
                        QWidget* parent = nullptr);
    // The preview's filter: the whole image's minima shift the piece.
    std::unique_ptr<Filter> filter() const override;
    void storeSettings(SettingsRecord& s) const override;
    // Computes the preview only while it follows every change, or on "Vorschau berechnen";
    // otherwise scrolling and zooming keep the picture shown and a changed parameter clears it.
    PreviewResult preview(const PreviewPiece& piece) const override;
    void parametersChanged() override;

    int iterations() const { return iterations_; }
    // Sets the count as if typed (pulled into 1 … 1000).
    void setIterations(long long n);
    bool previewFollowsChanges() const;

    NumberField* iterationsField() const { return iterationsField_; }
    QPushButton* plusButton() const { return plus_; }
    QPushButton* minusButton() const { return minus_; }
    QPushButton* computeButton() const { return compute_; }
    QLabel* timeLabel() const { return time_; }
    QLabel* sizeLabel() const { return size_; }
    QLabel* countLabel() const { return count_; }

private:
    void updateEstimate();

    int iterations_ = 1;
    bool requested_ = false; // "Vorschau berechnen" is computing
    bool changing_ = false;  // a parameter or the layer selection changed
    NumberField* iterationsField_ = nullptr;
    QPushButton* plus_ = nullptr;
    QPushButton* minus_ = nullptr;
    QPushButton* compute_ = nullptr;
    QLabel* time_ = nullptr;
    QLabel* size_ = nullptr;
    QLabel* count_ = nullptr;
};

} // namespace quillon::ui
