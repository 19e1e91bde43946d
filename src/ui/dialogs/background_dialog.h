// "Hintergrund extrahieren": the dialog (grid density, rejection strength, method, subtract or
// divide, the layers, a preview of the result or of the model) and the command that applies
// the extraction in place as one undo step.
#pragma once

#include "filters/background.h"
#include "ui/dialogs/filter_dialog.h"

#include <QPointer>

#include <vector>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QRadioButton;
class QSpinBox;

namespace quillon {
class Image;
}

namespace quillon::ui {

class BackgroundViewSamples;
class CommandContext;

class BackgroundDialog : public FilterDialog {
    Q_OBJECT
public:
    BackgroundDialog(CWinQuillonView* view, SettingsRecord& settings, LayerSelection& layers,
                     QWidget* parent = nullptr);
    ~BackgroundDialog() override;

    // The filter of the preview: the model fitted to the whole image; null when it cannot be
    // fitted (the dialog says why).
    std::unique_ptr<Filter> filter() const override;
    // The parameters go into the settings record (kept across sessions).
    void storeSettings(SettingsRecord& s) const override;
    PreviewResult preview(const PreviewPiece& piece) const override;
    void parametersChanged() override;

    BackgroundOptions options() const;
    const std::vector<BackgroundSample>& samples() const { return samples_; }
    // A click on the image at (x, y): toggles the sample there or adds one.
    void toggleSample(int x, int y);
    // Whether the current samples give a model (OK is enabled only then).
    bool fitted() const { return model_ != nullptr; }

    QSpinBox* gridBox() const { return grid_; }
    QDoubleSpinBox* rejectionBox() const { return rejection_; }
    QRadioButton* polynomialButton() const { return polynomial_; }
    QRadioButton* surfaceButton() const { return surface_; }
    QSpinBox* degreeBox() const { return degree_; }
    QDoubleSpinBox* smoothingBox() const { return smoothing_; }
    QRadioButton* subtractButton() const { return subtract_; }
    QRadioButton* divideButton() const { return divide_; }
    QCheckBox* showModelBox() const { return showModel_; }
    QLabel* statusLabel() const { return status_; }
    // The samples as squares over the document view (green used, red rejected); a click on
    // the view toggles the sample there or adds one. Null without a view.
    QWidget* viewSamples() const;
    // The position on the view (its viewport) of an image pixel.
    QPoint viewPosition(int x, int y) const;

private:
    // New samples (grid or rejection or layers changed), then the fit.
    void resample();
    void refit();

    QSpinBox* grid_ = nullptr;
    QDoubleSpinBox* rejection_ = nullptr;
    QRadioButton* polynomial_ = nullptr;
    QRadioButton* surface_ = nullptr;
    QSpinBox* degree_ = nullptr;
    QDoubleSpinBox* smoothing_ = nullptr;
    QRadioButton* subtract_ = nullptr;
    QRadioButton* divide_ = nullptr;
    QCheckBox* showModel_ = nullptr;
    QLabel* status_ = nullptr;
    QPointer<BackgroundViewSamples> map_;
    std::vector<BackgroundSample> samples_;
    std::unique_ptr<BackgroundModel> model_;
    LayerMask sampledMask_ = 0;
};

// "Filter" > "Hintergrund extrahieren...": the dialog, then the extraction on the active
// document's image as a job, one undo step.
void runBackgroundCommand(CommandContext& ctx);

} // namespace quillon::ui
