// PsfDialog "PSF für Lucy-Richardson-Deconvolution hinzufügen": the star's 41 × 41 cut-out
// with the PSF box, the box maxima and the buttons that add the star to the image's PSF.
#pragma once

#include "core/image.h"
#include "core/settings_record.h"

#include <QDialog>
#include <QImage>
#include <QPointer>

#include <optional>

class QLabel;
class QPushButton;

namespace quillon::ui {

class CWinQuillonView;
class NumberField;

class PsfDialog : public QDialog {
    Q_OBJECT
public:
    // `cutout` is null when it could not be allocated: no picture, nothing to add.
    PsfDialog(CWinQuillonView* view, std::optional<Image> cutout, SettingsRecord& settings,
              QWidget* parent = nullptr);
    ~PsfDialog() override;

    int psfWidth() const { return width_; }
    int psfHeight() const { return height_; }
    NumberField* widthField() const { return widthField_; }
    NumberField* heightField() const { return heightField_; }
    QLabel* countLabel() const { return count_; }
    QLabel* maximaLabel() const { return maxima_; }
    QLabel* pictureLabel() const { return picture_; }
    QPushButton* addButton() const { return add_; }
    QPushButton* clearButton() const { return clear_; }

    // "Hinzufügen": the star's PSF into every layer's kernel; a refused star shows why and
    // the dialog stays open.
    void addStar();
    // "Bisherige PSF löschen": the count goes to 0 at once and the size may change again.
    void clearPsf();

private:
    void sizeEdited();
    void refresh();

    QPointer<CWinQuillonView> view_;
    std::optional<Image> cutout_;
    SettingsRecord& settings_;
    QImage cutoutPicture_; // the cut-out through the view's display, one pixel per sample
    int width_ = 7;
    int height_ = 7;
    NumberField* widthField_ = nullptr;
    NumberField* heightField_ = nullptr;
    QLabel* count_ = nullptr;
    QLabel* maxima_ = nullptr;
    QLabel* picture_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* clear_ = nullptr;
};

} // namespace quillon::ui
