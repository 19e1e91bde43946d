// PsfDialog: the cut-out picture with the box and ring, the size fields and the PSF buttons.
#include "ui/dialogs/psf_dialog.h"

#include "core/error.h"
#include "display/renderer.h"
#include "filters/psf.h"
#include "ui/dialogs/number_field.h"
#include "ui/dialogs/preview_window.h"
#include "ui/document.h"
#include "ui/messages.h"
#include "ui/shell/night_mode.h"
#include "ui/view.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillon::ui {

namespace {
constexpr int kScale = 5; // screen pixels per cut-out pixel

QImage renderCutout(Image& cutout, const ImageRenderer& display) {
    try {
        const std::unique_ptr<ImageRenderer> r = rendererLike(cutout, display);
        Picture pic;
        RenderOptions opt;
        if (r->renderRect(0, 0, cutout.width(), cutout.height(), &pic, opt) != RENDER_OK ||
            pic.empty())
            return {};
        return atNight(
            QImage(pic.bits(), pic.width(), pic.height(), pic.bytesPerLine(), QImage::Format_RGB32)
                .copy());
    } catch (const std::bad_alloc&) {
        return {};
    }
}
} // namespace

PsfDialog::PsfDialog(CWinQuillonView* view, std::optional<Image> cutout, SettingsRecord& settings,
                     QWidget* parent)
    : QDialog(parent), view_(view), cutout_(std::move(cutout)), settings_(settings) {
    setWindowTitle(QString::fromUtf8(kPsfDialogTitle));
    const Image& image = view->document()->image();
    if (image.psfCount() > 0 && image.psf()[0].width > 0) {
        width_ = image.psf()[0].width;
        height_ = image.psf()[0].height;
    } else {
        width_ = normalisePsfSide(settings.lucyPsfX);
        height_ = normalisePsfSide(settings.lucyPsfY);
    }
    if (cutout_) cutoutPicture_ = renderCutout(*cutout_, view->renderer());

    auto* l = new QVBoxLayout(this);
    picture_ = new QLabel(this);
    picture_->setFixedSize(kPsfCutoutSize * kScale, kPsfCutoutSize * kScale);
    picture_->setFrameShape(QFrame::Box);
    auto* top = new QHBoxLayout;
    top->addWidget(picture_);
    maxima_ = new QLabel(this);
    maxima_->setWordWrap(true);
    maxima_->setMinimumWidth(220);
    maxima_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    top->addWidget(maxima_, 1);
    l->addLayout(top);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Größe:"), this), 0, 0);
    // Any whole number is taken and made odd within 3 … 39 (see sizeEdited).
    widthField_ = new NumberField(-1e9, 1e9, -1, this);
    heightField_ = new NumberField(-1e9, 1e9, -1, this);
    widthField_->setValue(width_);
    heightField_->setValue(height_);
    grid->addWidget(widthField_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("x"), this), 0, 2);
    grid->addWidget(heightField_, 0, 3);
    grid->addWidget(new QLabel(tr("Anzahl bisheriger PSF:"), this), 1, 0);
    count_ = new QLabel(this);
    grid->addWidget(count_, 1, 1);
    l->addLayout(grid);

    auto* row = new QHBoxLayout;
    add_ = new QPushButton(tr("Hinzufügen"), this);
    auto* cancel = new QPushButton(tr("Abbrechen"), this);
    clear_ = new QPushButton(tr("Bisherige PSF löschen"), this);
    add_->setDefault(true);
    row->addWidget(add_);
    row->addWidget(cancel);
    row->addStretch(1);
    row->addWidget(clear_);
    l->addLayout(row);
    add_->setEnabled(cutout_.has_value());

    connect(widthField_, &NumberField::committed, this, &PsfDialog::sizeEdited);
    connect(heightField_, &NumberField::committed, this, &PsfDialog::sizeEdited);
    connect(add_, &QPushButton::clicked, this, &PsfDialog::addStar);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(clear_, &QPushButton::clicked, this, &PsfDialog::clearPsf);
    refresh();
}

PsfDialog::~PsfDialog() = default;

void PsfDialog::sizeEdited() {
    width_ = normalisePsfSide(static_cast<int>(widthField_->value()));
    height_ = normalisePsfSide(static_cast<int>(heightField_->value()));
    widthField_->setValue(width_);
    heightField_->setValue(height_);
    refresh();
}

void PsfDialog::refresh() {
    const int n = view_ ? view_->document()->image().psfCount() : 0;
    count_->setText(QString::number(n));
    widthField_->setEnabled(n == 0);
    heightField_->setEnabled(n == 0);
    if (!cutout_) {
        picture_->clear();
        maxima_->clear();
        return;
    }
    maxima_->setText(QString::fromStdString(psfMaximaText(*cutout_, width_, height_)));
    if (cutoutPicture_.isNull()) return;
    QImage shown = cutoutPicture_.scaled(kPsfCutoutSize * kScale, kPsfCutoutSize * kScale);
    QPainter p(&shown);
    const PsfBox b = psfBox(width_, height_);
    // The box and the one-pixel ring around it, each outlined on its pixel edges.
    p.setPen(QPen(QColor(255, 64, 64), 1));
    p.drawRect(b.left * kScale, b.top * kScale, b.width * kScale - 1, b.height * kScale - 1);
    p.setPen(QPen(QColor(64, 160, 255), 1));
    p.drawRect((b.left - 1) * kScale, (b.top - 1) * kScale, (b.width + 2) * kScale - 1,
               (b.height + 2) * kScale - 1);
    p.end();
    picture_->setPixmap(QPixmap::fromImage(shown));
}

void PsfDialog::addStar() {
    // Typed but not yet confirmed sizes count.
    if (widthField_->isEnabled()) {
        if (!widthField_->validate() || !heightField_->validate()) return;
        sizeEdited();
    }
    if (!view_ || !cutout_) return;
    try {
        addReferenceStar(view_->document()->image(), *cutout_, width_, height_);
    } catch (const Error& e) {
        showMessage(this, QString::fromUtf8(e.what()));
        return;
    }
    settings_.lucyPsfX = width_;
    settings_.lucyPsfY = height_;
    accept();
}

void PsfDialog::clearPsf() {
    if (view_) view_->document()->image().setPsfCount(0);
    refresh();
}

} // namespace quillon::ui
