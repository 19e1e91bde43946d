// "Bildgröße": the resize dialog (current size, new size in pixels and percent, the aspect box).
#pragma once

#include "ops/geometry.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

namespace quillon::ui {

class NumberField;

class ResizeDialog : public QDialog {
    Q_OBJECT
public:
    ResizeDialog(int sourceWidth, int sourceHeight, QWidget* parent = nullptr);

    // The current values (the confirmed ones after accept()).
    const ResizeFields& fields() const { return fields_; }

    QLabel* currentWidthLabel() const { return currentWidth_; }
    QLabel* currentHeightLabel() const { return currentHeight_; }
    NumberField* widthField() const { return width_; }
    NumberField* heightField() const { return height_; }
    NumberField* widthPercentField() const { return widthPercent_; }
    NumberField* heightPercentField() const { return heightPercent_; }
    QCheckBox* aspectBox() const { return aspect_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

    // OK: takes over a field still being edited, asks before creating a very large image
    // (Cancel there returns to the dialog) and accepts.
    void confirm();

private:
    void fieldEdited(ResizeField field, double value);
    void aspectToggled(bool on);
    void showFields();

    int sourceWidth_;
    int sourceHeight_;
    ResizeFields fields_;
    ResizeField lastEdited_ = ResizeField::Width;
    QLabel* currentWidth_;
    QLabel* currentHeight_;
    NumberField* width_;
    NumberField* height_;
    NumberField* widthPercent_;
    NumberField* heightPercent_;
    QCheckBox* aspect_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

} // namespace quillon::ui
