// "Neues Bilddokument erstellen:": size, type, layers, overlay, pixel count and memory.
#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace quillon::ui {

class NumberField;

struct NewImageChoice {
    int width = 800;
    int height = 600;
    int type = 2; // 1 grey .. 5 user-defined
    int layers = 3;
    bool overlay = false;
};

class NewImageDialog : public QDialog {
    Q_OBJECT
public:
    NewImageDialog(const NewImageChoice& initial, QWidget* parent = nullptr);

    // The confirmed values (valid after accept()).
    NewImageChoice choice() const;

    NumberField* widthField() const { return width_; }
    NumberField* heightField() const { return height_; }
    QComboBox* typeList() const { return type_; }
    NumberField* layersField() const { return layers_; }
    QCheckBox* overlayBox() const { return overlay_; }
    QLabel* pixelLabel() const { return pixels_; }
    QLabel* memoryLabel() const { return memory_; }
    QPushButton* okButton() const { return ok_; }

    // Recomputes the layer count, pixel count and memory display.
    void recompute();

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void onOk();

    NumberField* width_;
    NumberField* height_;
    QComboBox* type_;
    NumberField* layers_;
    QCheckBox* overlay_;
    QLabel* pixels_;
    QLabel* memory_;
    QPushButton* ok_;
    QPushButton* cancel_;
    int userLayers_ = 3; // the user's layer count, kept while another type is shown
};

} // namespace quillon::ui
