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

struct DarkFlatSettings {
    bool dark = false;
    bool flat = false;
    bool autoFactor = true; // F from the flat's mean; f is not used
    std::string darkFile;
    std::string flatFile;
    double darkDivisor = 1.0;    // d, 0.1 … 100
    double flatFactor = 10000.0; // f, 1 … 32767
    int offset = 0;              // a, −32768 … 32767

    static DarkFlatSettings fromSettings(const SettingsRecord& s);
    // Values × 10000, truncated, and the switch bits.
    void storeInto(SettingsRecord& s) const;
    // What darkFlatCorrect takes: F = 0 with the automatic factor.
    CalibrationParams params() const;
};

class DarkFlatDialog : public QDialog {
    Q_OBJECT
public:
    // Chooses one file to read (empty: cancelled); the program's open dialog by default.
    using FileChooser = std::function<QString(QWidget* parent)>;

    explicit DarkFlatDialog(const DarkFlatSettings& initial, QWidget* parent = nullptr);

    // The values shown; after accept() the confirmed ones.
    DarkFlatSettings values() const;

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
