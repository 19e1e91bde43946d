// "Zu Graubild konvertieren": the colour factors of the grey conversion with a live preview.
#pragma once

#include "core/settings_record.h"
#include "ops/convert.h"
#include "ui/dialogs/preview_dialog.h"

#include <QDialog>
#include <QPointer>

#include <memory>

class QCheckBox;
class QPushButton;

namespace quillon::ui {

class CWinQuillonView;
class NumberField;

class GreyConvertDialog : public PreviewDialog {
    Q_OBJECT
public:
    // Starts from the stored factors and weight switch; the preview opens with the dialog.
    GreyConvertDialog(CWinQuillonView* view, SettingsRecord& settings, QWidget* parent = nullptr);
    ~GreyConvertDialog() override;

    // The factors shown (the confirmed ones after accept()).
    GreyFactors factors() const;
    bool useWeights() const;
    // What the conversion multiplies by: the factors, times the view's channel weights when
    // the box is on.
    GreyFactors effectiveFactors() const;

    // The piece converted, drawn with the display the new document's view would get.
    PreviewResult preview(const PreviewPiece& piece) const override;

    NumberField* redField() const { return fields_[0]; }
    NumberField* greenField() const { return fields_[1]; }
    NumberField* blueField() const { return fields_[2]; }
    QPushButton* naturalButton() const { return natural_; }
    QPushButton* normaliseButton() const { return normalise_; }
    QCheckBox* weightsBox() const { return weights_; }
    QPushButton* okButton() const { return ok_; }

    // OK: checks the fields, stores the four values in the settings.
    void accept() override;

protected:
private:
    void showFactors(const GreyFactors& f);
    void changed();

    QPointer<CWinQuillonView> view_;
    SettingsRecord& settings_;
    NumberField* fields_[3] = {};
    QPushButton* natural_ = nullptr;
    QPushButton* normalise_ = nullptr;
    QCheckBox* weights_ = nullptr;
    QPushButton* ok_ = nullptr;
};

// The display of a converted image's first view: weights and points as given, or the
// automatic preset when `display.automatic`.
void applyConvertedDisplay(ImageRenderer& renderer, const ConvertedDisplay& display);

} // namespace quillon::ui
