// PhotometryWindow ("Photometrische Eigenschaften"): measures the star under the mouse or at
// a fixed position of the active view, shows the statistics, the magnified area and the
// calibrated magnitude, and keeps the references and measurements for the user.
#pragma once

#include "analysis/photometry.h"
#include "ops/geometry.h"
#include "ui/tools/tool_window.h"

#include <QImage>
#include <QPointer>

#include <map>
#include <vector>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace quillon::ui {

class CWinQuillonDoc;
class NumberField;

// The magnified area with cross hair and the two ellipses.
class PhotometryPicture : public QWidget {
    Q_OBJECT
public:
    explicit PhotometryPicture(QWidget* parent);
    QSize sizeHint() const override { return {150, 150}; }
    // The rendered area, the zoom and the centre of the measured pixel in picture pixels;
    // a null picture draws an empty rectangle.
    void show(const QImage& picture, int zoom, QPointF centre, const PhotometryArea& area);
    const QImage& picture() const { return image_; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QImage image_;
    int zoom_ = 1;
    QPointF centre_;
    PhotometryArea area_;
};

class PhotometryWindow : public ToolWindow {
    Q_OBJECT
public:
    PhotometryWindow(QWidget* owner, SettingsRecord& settings);
    void refresh() override;
    // The mouse over a view (fix off) or "&Photometrie hier fixieren" (fix on).
    void track(CWinQuillonView* v, int x, int y, bool fix);

    // The pixels of `doc` (width × height before) moved: a position measured on it follows
    // them, and a quarter turn exchanges the ellipse's and ring's axes.
    void followMovement(const CWinQuillonDoc* doc, Movement m, int width, int height);

    bool fixed() const { return fixed_; }
    const PhotometryArea& area() const { return area_; }
    const PhotometryResult& result() const { return result_; }
    // The references of the active view's image, in the order they were added.
    const std::vector<PhotometryReference>& references() const;
    // Measurements recorded since the window opened, as CSV text (header lines included).
    QString csvText() const;

    NumberField* field(int i) const {
        return fields_[static_cast<std::size_t>(i)];
    } // x y ex ey rx ry
    QCheckBox* fixedBox() const { return fixedBox_; }
    QPlainTextEdit* statistics() const { return text_; }
    QLabel* colourLabel() const { return colour_; }
    QLabel* totalLabel() const { return total_; }
    QLabel* ratioLabel(int c) const { return ratio_[static_cast<std::size_t>(c)]; }
    NumberField* coefficientField() const { return coefficient_; }
    QLabel* countLabel() const { return count_; }
    QLabel* magnitudeLabel() const { return magnitude_; }
    QLabel* errorLabel() const { return error_; }
    NumberField* presetField() const { return preset_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* resetButton() const { return reset_; }
    QTreeWidget* referenceList() const { return refList_; }
    QPushButton* removeButton() const { return remove_; }
    QPushButton* csvButton() const { return csv_; }
    PhotometryPicture* magnifier() const { return picture_; }

    // "Referenzwert hinzu", "Reset", a typed coefficient, removing reference `index`.
    void addReference();
    void resetCalibration();
    void enterCoefficient(double value);
    void removeReference(int index);
    // Writes csvText() to the file; false (after a message) when it cannot be written.
    bool saveCsv(const QString& path);

private:
    void recompute(bool record);
    void showNumbers();
    void showPicture();
    void showReferences();
    void clearFields();
    std::vector<PhotometryReference>* referencesOfView();

    std::array<NumberField*, 6> fields_{};
    QCheckBox* fixedBox_ = nullptr;
    PhotometryPicture* picture_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QLabel* colour_ = nullptr;
    QLabel* total_ = nullptr;
    std::array<QLabel*, 3> ratio_{};
    NumberField* coefficient_ = nullptr;
    QLabel* count_ = nullptr;
    QLabel* magnitude_ = nullptr;
    QLabel* error_ = nullptr;
    NumberField* preset_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* reset_ = nullptr;
    QTreeWidget* refList_ = nullptr;
    QPushButton* remove_ = nullptr;
    QPushButton* csv_ = nullptr;

    PhotometryArea area_;
    PhotometryResult result_;
    bool fixed_ = false;
    bool filling_ = false;
    QPointer<CWinQuillonView> lastView_;
    // Per document: the references behind its calibration (the calibration itself lives in
    // the Image, so every view of the document shares it).
    std::map<const CWinQuillonDoc*, std::vector<PhotometryReference>> references_;
    // Recorded measurements: each with the header of its image's layers.
    std::vector<std::pair<std::string, std::string>> rows_;
};

} // namespace quillon::ui
