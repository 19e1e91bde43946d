// The composite window's group for how the exposures are combined: mean, median or sum, the
// rejection method with its two thresholds, the normalisation, the weighting, and saving the
// last run's unrounded result as a 32-bit float FITS.
#pragma once

#include "composite/job.h"
#include "composite/sample_sums.h"

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace quillon::ui {

class NumberField;

// The unrounded result of the last composite run (empty before the first).
SampleSums& lastCompositeSums();

// Writes the last run's unrounded result to `path` as a BITPIX -32 FITS; throws Error when
// there is none or the file cannot be written.
void saveLastCompositeFloat(const std::string& path);

class StackOptionsGroup : public QGroupBox {
    Q_OBJECT
public:
    // Shows and edits `options`; the window's "Bilder mitteln" and "Artefakte entfernen"
    // boxes are kept in step with the combine and the rejection choice.
    StackOptionsGroup(CompositeOptions& options, QCheckBox* averaging, QCheckBox* artefacts,
                      QWidget* parent = nullptr);
    // Takes the group's values into the options (after the window read its own boxes); false
    // when a threshold field refuses its text.
    bool apply();

    QComboBox* combineBox() const { return combine_; }
    QComboBox* rejectionBox() const { return rejection_; }
    QPushButton* saveFloatButton() const { return saveFloat_; }

private:
    void showThresholds();
    void saveFloat();

    CompositeOptions& options_;
    QCheckBox* averaging_;
    QCheckBox* artefacts_;
    QComboBox* combine_;
    QComboBox* rejection_;
    QComboBox* normalization_;
    QComboBox* weighting_;
    QLabel* thresholdLabel_;
    NumberField* low_;
    NumberField* high_;
    QPushButton* saveFloat_;
};

} // namespace quillon::ui
