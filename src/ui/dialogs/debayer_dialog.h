// "Debayer": pattern and method of the debayer step with a live preview.
#pragma once

#include "core/settings_record.h"
#include "ops/convert.h"
#include "ops/debayer.h"
#include "ui/dialogs/preview_dialog.h"

#include <QDialog>
#include <QPointer>

#include <memory>
#include <optional>

class QComboBox;
class QPushButton;

namespace quillon::ui {

class CWinQuillonView;

class DebayerDialog : public PreviewDialog {
    Q_OBJECT
public:
    // "Automatisch" is chosen when the image's cards name a pattern; without one it is
    // disabled and RGGB is chosen. The preview opens with the dialog.
    DebayerDialog(CWinQuillonView* view, SettingsRecord& settings, QWidget* parent = nullptr);
    ~DebayerDialog() override;

    // The pattern in image coordinates (the cards' one for "Automatisch").
    BayerPattern pattern() const;
    DebayerMethod method() const;

    // The piece debayered (with a margin, so its edges match the whole image) and drawn with
    // the automatic display of the new document; super-pixels drawn at twice their size.
    PreviewResult preview(const PreviewPiece& piece) const override;

    QComboBox* patternBox() const { return pattern_; }
    QComboBox* methodBox() const { return method_; }
    QPushButton* okButton() const { return ok_; }

protected:
private:
    QPointer<CWinQuillonView> view_;
    std::optional<BayerPattern> fromCards_;
    QComboBox* pattern_ = nullptr;
    QComboBox* method_ = nullptr;
    QPushButton* ok_ = nullptr;
};

// "Debayer..." is enabled for an active view of a one-layer image.
bool debayerAvailable(const CWinQuillonView* view);

// The display of the new document's view: the mosaic view's black and white points in all
// three channels, weights 1 (the colours keep the mosaic's brightness scale).
ConvertedDisplay debayerDisplay(const ImageRenderer& source);

// The preview piece of a debayer: `piece` of the mosaic debayered as the whole image would be.
std::unique_ptr<Image> debayerPiece(const Image& mosaic, const PreviewPiece& piece,
                                    BayerPattern pattern, DebayerMethod method);

} // namespace quillon::ui
