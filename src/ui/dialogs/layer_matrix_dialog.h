// LayerMatrixDialog ("Ebenennamen / Abbildungsvorschrift"): layer names and the mapping
// matrix of a user-defined image's view.
#pragma once

#include "ui/dialogs/preview_window.h"

#include <QDialog>

#include <memory>
#include <vector>

class QPushButton;
class QTableWidget;

namespace quillon::ui {

class CWinQuillonView;
class PreviewHost;

class LayerMatrixDialog : public QDialog {
    Q_OBJECT
public:
    // `settings` keeps the preview window's position.
    LayerMatrixDialog(CWinQuillonView* view, SettingsRecord& settings, QWidget* parent = nullptr);
    ~LayerMatrixDialog() override;

    QTableWidget* grid() const { return grid_; }
    QPushButton* normaliseButton() const { return normalise_; }
    QPushButton* previewButton() const { return preview_; }
    QPushButton* okButton() const { return ok_; }
    // The coefficients of the grid (3 rows of layerCount, row-major); false with a message
    // when a cell holds no number.
    bool readMatrix(std::vector<float>& m);
    // "Vorschau...": the piece drawn by a copy of the view's renderer with the grid's matrix
    // (empty while a cell holds no number).
    PreviewResult preview(const PreviewPiece& piece);
    PreviewWindow* previewWindow() const;
    // "Normalisieren": every column divided by its sum, shown again with three decimals.
    void normalise();
    // "OK": matrix into the view, names into the image, views redrawn. False when a cell was
    // refused (the dialog stays open).
    bool store();

    void accept() override;
    void done(int r) override;

private:
    bool parseMatrix(std::vector<float>& m, bool prompt);

    CWinQuillonView* view_;
    int layers_;
    QTableWidget* grid_ = nullptr;
    QPushButton* normalise_ = nullptr;
    QPushButton* preview_ = nullptr;
    QPushButton* ok_ = nullptr;
    std::unique_ptr<PreviewHost> previewHost_;
};

} // namespace quillon::ui
