// The resize dialog: every committed field and the aspect box recompute the others.
#include "ui/dialogs/resize_dialog.h"

#include "core/image.h"
#include "ui/dialogs/number_field.h"
#include "ui/messages.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillon::ui {

namespace {
// The largest percentage that can matter: the largest image made from the smallest one.
constexpr double kMaxPercent = 100.0 * kMaxImageSize / kMinImageSize;
constexpr double kMinPercent = 0.1;
} // namespace

ResizeDialog::ResizeDialog(int sourceWidth, int sourceHeight, QWidget* parent)
    : QDialog(parent), sourceWidth_(sourceWidth), sourceHeight_(sourceHeight),
      fields_(initialResizeFields(sourceWidth, sourceHeight)) {
    setWindowTitle(tr("Bildgröße"));
    auto* top = new QVBoxLayout(this);

    auto* current = new QGroupBox(tr("Aktuelle Größe"), this);
    auto* cg = new QGridLayout(current);
    currentWidth_ = new QLabel(QString::asprintf("%i", sourceWidth), current);
    currentHeight_ = new QLabel(QString::asprintf("%i", sourceHeight), current);
    for (QLabel* l : {currentWidth_, currentHeight_})
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    cg->addWidget(new QLabel(tr("Breite:"), current), 0, 0);
    cg->addWidget(currentWidth_, 0, 1);
    cg->addWidget(new QLabel(tr("Pixel"), current), 0, 2);
    cg->addWidget(new QLabel(tr("Höhe:"), current), 1, 0);
    cg->addWidget(currentHeight_, 1, 1);
    cg->addWidget(new QLabel(tr("Pixel"), current), 1, 2);
    cg->setColumnStretch(3, 1);
    top->addWidget(current);

    auto* wanted = new QGroupBox(tr("Neue Größe"), this);
    auto* ng = new QGridLayout(wanted);
    auto field = [wanted](double lo, double hi, int decimals) {
        auto* f = new NumberField(lo, hi, decimals, wanted);
        f->setAlignment(Qt::AlignRight);
        f->setMinimumWidth(f->fontMetrics().horizontalAdvance(QStringLiteral("0000000.0")) + 12);
        return f;
    };
    width_ = field(kMinImageSize, kMaxImageSize, -1);
    height_ = field(kMinImageSize, kMaxImageSize, -1);
    widthPercent_ = field(kMinPercent, kMaxPercent, 1);
    heightPercent_ = field(kMinPercent, kMaxPercent, 1);
    ng->addWidget(new QLabel(tr("Breite:"), wanted), 0, 0);
    ng->addWidget(width_, 0, 1);
    ng->addWidget(new QLabel(tr("Pixel"), wanted), 0, 2);
    ng->addWidget(widthPercent_, 0, 3);
    ng->addWidget(new QLabel(QStringLiteral("%"), wanted), 0, 4);
    ng->addWidget(new QLabel(tr("Höhe:"), wanted), 1, 0);
    ng->addWidget(height_, 1, 1);
    ng->addWidget(new QLabel(tr("Pixel"), wanted), 1, 2);
    ng->addWidget(heightPercent_, 1, 3);
    ng->addWidget(new QLabel(QStringLiteral("%"), wanted), 1, 4);
    aspect_ = new QCheckBox(tr("Seitenverhältnis beibehalten"), wanted);
    aspect_->setChecked(fields_.keepAspect);
    ng->addWidget(aspect_, 2, 0, 1, 5);
    top->addWidget(wanted);

    ok_ = new QPushButton(tr("OK"), this);
    cancel_ = new QPushButton(tr("Abbruch"), this);
    ok_->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    top->addLayout(buttons);

    auto onCommit = [this](NumberField* f, ResizeField which) {
        connect(f, &NumberField::committed, this,
                [this, which](double v) { fieldEdited(which, v); });
    };
    onCommit(width_, ResizeField::Width);
    onCommit(height_, ResizeField::Height);
    onCommit(widthPercent_, ResizeField::WidthPercent);
    onCommit(heightPercent_, ResizeField::HeightPercent);
    connect(aspect_, &QCheckBox::toggled, this, &ResizeDialog::aspectToggled);
    connect(ok_, &QPushButton::clicked, this, &ResizeDialog::confirm);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    showFields();
}

void ResizeDialog::fieldEdited(ResizeField field, double value) {
    switch (field) {
    case ResizeField::Width: fields_.width = static_cast<int>(value); break;
    case ResizeField::Height: fields_.height = static_cast<int>(value); break;
    case ResizeField::WidthPercent: fields_.widthPercent = static_cast<float>(value); break;
    case ResizeField::HeightPercent: fields_.heightPercent = static_cast<float>(value); break;
    }
    lastEdited_ = field;
    fields_ = recomputeResize(fields_, sourceWidth_, sourceHeight_, field);
    showFields();
}

void ResizeDialog::aspectToggled(bool on) {
    fields_.keepAspect = on;
    fields_ = recomputeResize(fields_, sourceWidth_, sourceHeight_, lastEdited_);
    showFields();
}

void ResizeDialog::showFields() {
    width_->setValue(fields_.width);
    height_->setValue(fields_.height);
    widthPercent_->setValue(fields_.widthPercent);
    heightPercent_->setValue(fields_.heightPercent);
}

void ResizeDialog::confirm() {
    // A field still being edited counts as edited; refused input keeps the dialog open.
    for (NumberField* f : {width_, height_, widthPercent_, heightPercent_})
        if (!f->commit()) return;
    if (resizeNeedsConfirmation(fields_.width, fields_.height)) {
        const QString text =
            QString::fromStdString(resizeConfirmationText(fields_.width, fields_.height));
        if (showMessage(this, text, Ask::OkCancel) != QMessageBox::Ok) return;
    }
    accept();
}

} // namespace quillon::ui
