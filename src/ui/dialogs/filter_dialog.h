// FilterDialog: what every filter dialog shares: the "Ebenen" and "Vorschau..." buttons,
// OK/"Abbrechen", the preview window that opens with the dialog, and the preview contract.
#pragma once

#include "core/settings_record.h"
#include "filters/filter.h"
#include "ui/dialogs/preview_dialog.h"

#include <QDialog>
#include <QPointF>
#include <QPointer>

#include <memory>
#include <optional>

class QPushButton;
class QVBoxLayout;

namespace quillon::ui {

class CWinQuillonView;

// A preview piece cropped out of the source (colour layers only), drawn with a copy of the
// source view's display. Empty when the piece cannot be had.
PreviewResult plainPreview(CWinQuillonView* source, const PreviewPiece& piece);

// Shows a zero-sum result centred on 0 with the contrast the source view has.
void centreDisplayOnZero(ImageRenderer& result, const ImageRenderer& source);

class FilterDialog : public PreviewDialog {
    Q_OBJECT
public:
    FilterDialog(CWinQuillonView* view, SettingsRecord& settings, LayerSelection& layers,
                 const QString& title, QWidget* parent = nullptr);
    ~FilterDialog() override;

    // The filter with the dialog's current parameters.
    virtual std::unique_ptr<Filter> filter() const = 0;
    // OK: the parameters go into the settings.
    virtual void storeSettings(SettingsRecord& s) const = 0;

    // makeDocument clear: the filter over the piece, wrapped in a renderer with the view's
    // display (centred on 0 for zero-sum results). Empty when the filter cannot work on it.
    PreviewResult preview(const PreviewPiece& piece) const override;

    QPushButton* layersButton() const { return layersButton_; }
    QPushButton* previewButton() const { return previewButton_; }
    QPushButton* okButton() const { return ok_; }
    // "Ebenen": the layer selection dialog; on OK the button text and the preview follow.
    void chooseLayers();
    // A parameter changed: the preview is computed again.
    virtual void parametersChanged();

    void accept() override;

protected:
    // Where the dialog's own controls go, above the common buttons.
    QVBoxLayout* body() const { return body_; }
    CWinQuillonView* view() const { return view_; }
    SettingsRecord& settings() const { return settings_; }
    const LayerSelection& layerSelection() const { return layers_; }

private:
    void updateLayersText();

    QPointer<CWinQuillonView> view_;
    SettingsRecord& settings_;
    LayerSelection& layers_;
    QVBoxLayout* body_ = nullptr;
    QPushButton* layersButton_ = nullptr;
    QPushButton* previewButton_ = nullptr;
    QPushButton* ok_ = nullptr;
};

} // namespace quillon::ui
