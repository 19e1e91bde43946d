// "Automatisch ausrichten (alle Sterne)": the composite window's choice to register the series
// by all of its stars instead of by placed reference points, and the measuring of a job's
// exposures on the job runner that both it and the window "Bildanalyse" use.
#pragma once

#include "analysis/star_register.h"
#include "composite/frame_analysis.h"

#include <QWidget>

#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QPushButton;

namespace quillon {
struct SettingsRecord;
}

namespace quillon::ui {

class CommandContext;

struct AutoAlignChoice {
    bool on = false;
    RegistrationModel model = RegistrationModel::Similarity;
};

// The choice kept in the settings record (0: off, similarity).
AutoAlignChoice autoAlignChoice(const SettingsRecord& settings);
void storeAutoAlignChoice(SettingsRecord& settings, AutoAlignChoice choice);

// The composite window's row: the switch, the transform and the button "Bildanalyse...".
class AutoAlignRow : public QWidget {
    Q_OBJECT
public:
    explicit AutoAlignRow(const SettingsRecord& settings, QWidget* parent = nullptr);
    AutoAlignChoice choice() const;
    QCheckBox* switchBox() const { return on_; }
    QComboBox* transformBox() const { return transform_; }
    QPushButton* analysisButton() const { return analysis_; }

signals:
    void analysisRequested();

private:
    QCheckBox* on_;
    QComboBox* transform_;
    QPushButton* analysis_;
};

// Measures the used entries of the job on the job runner (open windows' images as they are,
// files read for the time of their measurement). False when cancelled or failed; a failure
// is shown.
bool measureJobFrames(const CommandContext& ctx, const CompositeJob& job,
                      std::vector<FrameAnalysis>& frames);

// Measures the job's exposures and registers them on the best-scored one by all their stars
// (autoRegisterJob): the entries get reference points carrying the fitted transforms, and
// frames that cannot be had or matched are unticked. `leftOut` lists them with the reason,
// one line each. False when cancelled or when no reference frame is usable (shown).
bool autoAlignJob(const CommandContext& ctx, CompositeJob& job, RegistrationModel model,
                  QString& leftOut);

// After a run: the frames the registration left out, with their reasons.
void showAutoAlignLeftOut(QWidget* parent, const QString& leftOut);

} // namespace quillon::ui
