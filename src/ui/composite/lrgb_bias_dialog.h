// LrgbBiasDialog ("LRGB Bias-Werte"): the old and new LRGB bias of a view, found automatically
// or at a clicked point, previewed and applied.
#pragma once

#include "analysis/lrgb_bias.h"
#include "ui/command_context.h"
#include "ui/dialogs/preview_dialog.h"

#include <QDialog>
#include <QPointF>

#include <array>
#include <memory>
#include <optional>

class QLineEdit;
class QPushButton;

namespace quillon::ui {

class CWinQuillonView;
class NumberField;

class LrgbBiasDialog : public PreviewDialog {
    Q_OBJECT
public:
    // "Neu" starts at `start`; the preview opens with the dialog. `ctx` runs the automatic
    // determination with its progress.
    LrgbBiasDialog(const CommandContext& ctx, CWinQuillonView* view, const LrgbBiasValues& start);
    ~LrgbBiasDialog() override;

    LrgbBiasValues newValues() const;
    QLineEdit* oldField(int i) const { return old_[static_cast<std::size_t>(i)]; }
    NumberField* newField(int i) const { return new_[static_cast<std::size_t>(i)]; }
    QPushButton* automaticButton() const { return automatic_; }
    QPushButton* previewButton() const { return preview_; }
    QPushButton* applyButton() const { return apply_; }
    QPushButton* okButton() const { return ok_; }

    // "Automatisch ermitteln": the whole-image bias into "Neu"; the fields stay on failure.
    void determineAutomatically();
    // "Übernehmen": the new values into the view's renderer, every view of the document
    // redrawn. False when a field holds a refused value.
    bool apply();
    PreviewResult preview(const PreviewPiece& piece) const override;

    void accept() override;

protected:
private:
    void setNewValues(const LrgbBiasValues& v);

    // A copy: the context may be a temporary made from the main window for the call.
    const CommandContext ctx_;
    CWinQuillonView* view_;
    std::array<QLineEdit*, 4> old_{};
    std::array<NumberField*, 4> new_{};
    QPushButton* automatic_ = nullptr;
    QPushButton* preview_ = nullptr;
    QPushButton* apply_ = nullptr;
    QPushButton* ok_ = nullptr;
};

// "LRGB-Bias Werte setzen..." (no position) and "&LRGB Bias hier ermitteln..." (the clicked
// image position): the dialog for an LRGB view. A position without image pixels shows the
// outside message instead.
void runLrgbBiasDialog(const CommandContext& ctx, CWinQuillonView* view,
                       std::optional<QPointF> at = std::nullopt);

// The end of an LRGB composite run: the whole-image bias set on the result view and the
// result's views redrawn; nothing when it cannot be determined.
void openLrgbBiasAfterComposite(const CommandContext& ctx, CWinQuillonView* result);

} // namespace quillon::ui
