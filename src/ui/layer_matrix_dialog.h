// LayerMatrixDialog ("Ebenennamen / Abbildungsvorschrift"): layer names and the mapping
// matrix of a user-defined image's view.
#pragma once

#include <QDialog>

#include <vector>

class QPushButton;
class QTableWidget;

namespace quillon::ui {

class CWinQuillonView;

class LayerMatrixDialog : public QDialog {
    Q_OBJECT
public:
    LayerMatrixDialog(CWinQuillonView* view, QWidget* parent = nullptr);

    QTableWidget* grid() const { return grid_; }
    QPushButton* normaliseButton() const { return normalise_; }
    QPushButton* previewButton() const { return preview_; }
    QPushButton* okButton() const { return ok_; }
    // The coefficients of the grid (3 rows of layerCount, row-major); false with a message
    // when a cell holds no number.
    bool readMatrix(std::vector<float>& m);
    // "Normalisieren": every column divided by its sum, shown again with three decimals.
    void normalise();
    // "OK": matrix into the view, names into the image, views redrawn. False when a cell was
    // refused (the dialog stays open).
    bool store();

    void accept() override;

private:
    CWinQuillonView* view_;
    int layers_;
    QTableWidget* grid_ = nullptr;
    QPushButton* normalise_ = nullptr;
    QPushButton* preview_ = nullptr;
    QPushButton* ok_ = nullptr;
};

} // namespace quillon::ui
