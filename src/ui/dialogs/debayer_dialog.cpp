// DebayerDialog: the pattern ("Automatisch" or one of four), the method and the preview of the
// colour picture.
#include "ui/dialogs/debayer_dialog.h"

#include "core/error.h"
#include "filters/filter.h"
#include "ui/dialogs/filter_dialog.h"
#include "ui/dialogs/grey_dialog.h"
#include "ui/view.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShowEvent>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

namespace quillon::ui {

std::unique_ptr<Image> debayerPiece(const Image& mosaic, const PreviewPiece& piece,
                                    BayerPattern pattern, DebayerMethod method) {
    // Two more pixels on each side inside the image, so that the piece's edges are computed
    // from the same neighbours as in the whole image; super-pixel cells start on even pixels.
    constexpr int kMargin = 2;
    const int left = std::max(0, piece.left - kMargin) & ~1;
    const int top = std::max(0, piece.top - kMargin) & ~1;
    const int right = std::min(mosaic.width(), piece.left + piece.width + kMargin);
    const int bottom = std::min(mosaic.height(), piece.top + piece.height + kMargin);
    const PreviewPiece wide{left, top, right - left, bottom - top};
    std::unique_ptr<Image> cut = cropPreviewPiece(mosaic, wide);
    if (!cut) return nullptr;
    const BayerPattern shifted = shiftBayerPattern(pattern, left, top);
    Image colour = debayerImage(*cut, shifted, method);
    // Back to the piece; super-pixels repeated 2 × 2 so the picture matches the mosaic's.
    const int scale = method == DebayerMethod::SuperPixel ? 2 : 1;
    NewDocumentParams d = debayerDescription(mosaic, DebayerMethod::Bilinear);
    d.width = piece.width;
    d.height = piece.height;
    d.overlay = false;
    auto out = std::make_unique<Image>();
    createImage(d, *out);
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < piece.height; ++y) {
            const int sy = std::min((y + piece.top - top) / scale, colour.height() - 1);
            const Sample* in = colour.row(p, sy);
            Sample* o = out->row(p, y);
            for (int x = 0; x < piece.width; ++x)
                o[x] = in[std::min((x + piece.left - left) / scale, colour.width() - 1)];
        }
    return out;
}

ConvertedDisplay debayerDisplay(const ImageRenderer& source) {
    ConvertedDisplay d;
    d.weights = {1.0f, 1.0f, 1.0f};
    d.black.fill(source.params().blackPoint[0]);
    d.white.fill(source.params().whitePoint[0]);
    return d;
}

DebayerDialog::DebayerDialog(CWinQuillonView* view, SettingsRecord& settings, QWidget* parent)
    : PreviewDialog(view, settings, parent), view_(view) {
    setWindowTitle(tr("Debayer"));
    if (view) {
        const Image& mosaic = view->renderer().image();
        fromCards_ = bayerPatternFromCards(mosaic.info().bayer, mosaic.height());
    }
    auto* l = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    pattern_ = new QComboBox(this);
    pattern_->addItem(
        fromCards_ ? tr("Automatisch (%1)").arg(QString::fromLatin1(bayerPatternName(*fromCards_)))
                   : tr("Automatisch (keine Angabe in der Datei)"));
    for (int k = 0; k < 4; ++k)
        pattern_->addItem(QString::fromLatin1(bayerPatternName(static_cast<BayerPattern>(k))));
    if (!fromCards_) {
        // The automatic entry cannot be chosen without a BAYERPAT card.
        if (auto* model = qobject_cast<QStandardItemModel*>(pattern_->model()))
            model->item(0)->setEnabled(false);
        pattern_->setCurrentIndex(1);
    }
    method_ = new QComboBox(this);
    method_->addItem(tr("Bilinear"));
    method_->addItem(tr("VNG (kantenerhaltend)"));
    method_->addItem(tr("Superpixel (2 × 2, halbe Größe)"));
    method_->setCurrentIndex(static_cast<int>(DebayerParams{}.method));
    form->addRow(tr("Farbmuster:"), pattern_);
    form->addRow(tr("Verfahren:"), method_);
    l->addLayout(form);

    auto* row = new QHBoxLayout;
    QPushButton* previewButton = makePreviewButton();
    ok_ = new QPushButton(tr("OK"), this);
    auto* cancel = new QPushButton(tr("Abbrechen"), this);
    for (QPushButton* b : {previewButton, cancel}) b->setAutoDefault(false);
    ok_->setDefault(true);
    row->addWidget(previewButton);
    row->addStretch(1);
    row->addWidget(ok_);
    row->addWidget(cancel);
    l->addSpacing(6);
    l->addLayout(row);

    connect(ok_, &QPushButton::clicked, this, &DebayerDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &DebayerDialog::reject);
    for (QComboBox* box : {pattern_, method_})
        connect(box, &QComboBox::currentIndexChanged, this, [this] { previewChanged(); });
}

DebayerDialog::~DebayerDialog() = default;

BayerPattern DebayerDialog::pattern() const {
    const int i = pattern_->currentIndex();
    if (i <= 0) return fromCards_.value_or(BayerPattern::Rggb);
    return static_cast<BayerPattern>(i - 1);
}

DebayerMethod DebayerDialog::method() const {
    return static_cast<DebayerMethod>(std::clamp(method_->currentIndex(), 0, 2));
}

PreviewResult DebayerDialog::preview(const PreviewPiece& piece) const {
    if (!view_) return {};
    const ImageRenderer& source = view_->renderer();
    try {
        PreviewResult r;
        r.image = debayerPiece(source.image(), piece, pattern(), method());
        if (!r.image) return {};
        r.renderer = rendererLike(*r.image, source);
        applyConvertedDisplay(*r.renderer, debayerDisplay(source));
        return r;
    } catch (const Error&) {
        return {};
    } catch (const std::bad_alloc&) {
        return {};
    }
}

} // namespace quillon::ui
