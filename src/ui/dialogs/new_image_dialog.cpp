// The new-image dialog.
#include "ui/dialogs/new_image_dialog.h"

#include "core/image_type.h"
#include "core/new_document.h"
#include "ui/dialogs/number_field.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace quillon::ui {

NewImageDialog::NewImageDialog(const NewImageChoice& init, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Neues Bilddokument erstellen:"));
    auto* grid = new QGridLayout(this);
    // Out-of-range input gets the range prompt when the field is left or OK is pressed.
    auto spin = [this](int lo, int hi, int value) {
        auto* s = new NumberField(lo, hi, -1, this);
        s->setValue(std::clamp(value, lo, hi));
        s->installEventFilter(this);
        return s;
    };
    width_ = spin(kMinImageSize, kMaxImageSize, init.width);
    height_ = spin(kMinImageSize, kMaxImageSize, init.height);
    type_ = new QComboBox(this);
    for (int t = 1; t <= 5; ++t) {
        auto n = ImageTypeName(static_cast<std::uint16_t>(t)).name;
        type_->addItem(QString::fromUtf8(n.data(), static_cast<qsizetype>(n.size())), t);
    }
    type_->setCurrentIndex(std::clamp(init.type, 1, 5) - 1);
    userLayers_ = std::clamp(init.layers, 1, kMaxUserLayers);
    layers_ = spin(1, kMaxUserLayers, userLayers_);
    overlay_ = new QCheckBox(tr("+ Beschriftungsebene"), this);
    overlay_->setChecked(init.overlay);
    pixels_ = new QLabel(this);
    memory_ = new QLabel(this);
    ok_ = new QPushButton(tr("OK"), this);
    cancel_ = new QPushButton(tr("Abbruch"), this);
    ok_->setDefault(true);

    int r = 0;
    grid->addWidget(new QLabel(tr("X-Größe:"), this), r, 0);
    grid->addWidget(width_, r++, 1);
    grid->addWidget(new QLabel(tr("Y-Größe:"), this), r, 0);
    grid->addWidget(height_, r++, 1);
    grid->addWidget(new QLabel(tr("Format:"), this), r, 0);
    grid->addWidget(type_, r++, 1);
    grid->addWidget(new QLabel(tr("Ebenen:"), this), r, 0);
    grid->addWidget(layers_, r++, 1);
    grid->addWidget(overlay_, r++, 1);
    grid->addWidget(new QLabel(tr("Pixelzahl:"), this), r, 0);
    grid->addWidget(pixels_, r++, 1);
    grid->addWidget(new QLabel(tr("Speicher (kB):"), this), r, 0);
    grid->addWidget(memory_, r++, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    grid->addLayout(buttons, r, 0, 1, 2);

    connect(type_, &QComboBox::currentIndexChanged, this, &NewImageDialog::recompute);
    connect(overlay_, &QCheckBox::toggled, this, &NewImageDialog::recompute);
    // Recomputed when a field is left (NumberField commits then).
    for (NumberField* s : {width_, height_})
        connect(s, &QLineEdit::editingFinished, this, &NewImageDialog::recompute);
    connect(layers_, &QLineEdit::editingFinished, this, [this] {
        if (type_->currentData().toInt() == USERDEFINED_IMAGE)
            userLayers_ = static_cast<int>(layers_->value());
        recompute();
    });
    connect(ok_, &QPushButton::clicked, this, &NewImageDialog::onOk);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    recompute();
}

void NewImageDialog::recompute() {
    const auto type = static_cast<std::uint16_t>(type_->currentData().toInt());
    const bool user = type == USERDEFINED_IMAGE;
    int layers = newImageLayerCount(type, userLayers_);
    if (user) userLayers_ = layers;
    layers_->setValue(layers);
    layers_->setEnabled(user);
    const int w = static_cast<int>(width_->value()), h = static_cast<int>(height_->value());
    pixels_->setText(QString::number(newImagePixelCount(w, h)));
    memory_->setText(QString::number(newImageMemoryKb(w, h, layers, overlay_->isChecked())));
}

bool NewImageDialog::eventFilter(QObject* watched, QEvent* e) {
    // Enter in a field commits it and moves the focus to OK (the first step of OK).
    if (e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
            (watched == width_ || watched == height_ || watched == layers_)) {
            if (static_cast<NumberField*>(watched)->commit()) onOk();
            return true;
        }
    }
    return QDialog::eventFilter(watched, e);
}

void NewImageDialog::onOk() {
    // Enter inside a field only leaves the field: OK acts when it already had the focus.
    if (!ok_->hasFocus()) {
        ok_->setFocus(Qt::OtherFocusReason);
        if (isActiveWindow()) return;
    }
    for (NumberField* f : {width_, height_, layers_})
        if (!f->validate()) return;
    recompute();
    accept();
}

NewImageChoice NewImageDialog::choice() const {
    NewImageChoice c;
    c.width = static_cast<int>(width_->value());
    c.height = static_cast<int>(height_->value());
    c.type = type_->currentData().toInt();
    c.layers = static_cast<int>(layers_->value());
    c.overlay = overlay_->isChecked();
    return c;
}

} // namespace quillon::ui
