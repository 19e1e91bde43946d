// "Dunkelstrom- / Flatfieldkorrektur": the dialog of the dark/flat calibration and the
// parameter record it takes and returns (also what a composite list keeps for its exposures).
#pragma once

#include "core/settings_record.h"
#include "ops/calibration.h"

#include <QDialog>

#include <functional>
#include <string>

class QCheckBox;
class QPushButton;

namespace quillon::ui {

class NumberField;
class TextField;

using quillon::kDarkFlatAutoBit;
using quillon::kDarkFlatDarkBit;
using quillon::kDarkFlatFlatBit;

class DarkFlatDialog : public QDialog {
    Q_OBJECT
public:
    // Chooses one file to read (empty: cancelled); the program's open dialog by default.
    using FileChooser = std::function<QString(QWidget* parent)>;

    explicit DarkFlatDialog(const CalibrationParams& initial, QWidget* parent = nullptr);

    // The values shown; after accept() the confirmed ones.
    CalibrationParams values() const;

    void setFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }
    // "Datei wählen..." beside the dark (true) or flat path: a chosen file fills the field
    // and switches its "durchführen" box on.
    void chooseFile(bool dark);

    QCheckBox* darkBox() const { return darkBox_; }
    QCheckBox* flatBox() const { return flatBox_; }
    QCheckBox* autoBox() const { return autoBox_; }
    TextField* darkPath() const { return darkPath_; }
    TextField* flatPath() const { return flatPath_; }
    QPushButton* darkChooseButton() const { return darkChoose_; }
    QPushButton* flatChooseButton() const { return flatChoose_; }
    NumberField* divisorField() const { return divisor_; }
    NumberField* factorField() const { return factor_; }
    NumberField* offsetField() const { return offset_; }
    QPushButton* okButton() const { return ok_; }

    // OK: every enabled field is checked (a refused entry keeps the dialog open).
    void accept() override;

private:
    QCheckBox* darkBox_;
    QCheckBox* flatBox_;
    QCheckBox* autoBox_;
    TextField* darkPath_;
    TextField* flatPath_;
    QPushButton* darkChoose_;
    QPushButton* flatChoose_;
    NumberField* divisor_;
    NumberField* factor_;
    NumberField* offset_;
    QPushButton* ok_;
    FileChooser chooser_;
};

} // namespace quillon::ui
