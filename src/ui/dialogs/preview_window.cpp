// PreviewWindow: piece arithmetic, rendering of both panels, zoom buttons and scrolling.
#include "ui/dialogs/preview_window.h"

#include "core/sample.h"
#include "ui/dialogs/number_field.h"
#include "ui/shell/night_mode.h"
#include "ui/view.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <new>

namespace quillon::ui {

namespace {
const QColor kPanelBackground(192, 192, 192);

int roundToInt(double v) {
    return static_cast<int>(v + 0.5);
}

// Renders the zoomed rectangle [left, right) × [top, bottom) into a QImage of its own.
QImage renderPart(const ImageRenderer& r, int left, int top, int right, int bottom, double f) {
    Picture pic;
    RenderOptions opt;
    opt.zoomX = f;
    opt.background = 0xC0C0C0;
    int rc = RENDER_OUT_OF_MEMORY;
    try {
        rc = r.renderRect(left, top, right, bottom, &pic, opt);
    } catch (const std::bad_alloc&) {
        return {};
    }
    if (rc != RENDER_OK || pic.empty()) return {};
    return atNight(
        QImage(pic.bits(), pic.width(), pic.height(), pic.bytesPerLine(), QImage::Format_RGB32)
            .copy());
}
} // namespace

std::unique_ptr<ImageRenderer> rendererLike(Image& image, const ImageRenderer& source) {
    auto r = std::make_unique<ImageRenderer>(image);
    r->copyFromRenderer(source);
    return r;
}

// --- PreviewPanel --------------------------------------------------------------------------

PreviewPanel::PreviewPanel(QWidget* parent) : QWidget(parent) {
    setFixedSize(PreviewWindow::kPanelWidth, PreviewWindow::kPanelHeight);
}

QSize PreviewPanel::sizeHint() const {
    return {PreviewWindow::kPanelWidth, PreviewWindow::kPanelHeight};
}

void PreviewPanel::setPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void PreviewPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), kPanelBackground);
    if (!picture_.isNull())
        p.drawImage(QPoint((width() - picture_.width()) / 2, (height() - picture_.height()) / 2),
                    picture_);
}

// --- PreviewWindow -------------------------------------------------------------------------

PreviewWindow::PreviewWindow(CWinQuillonView* source, SettingsRecord& settings,
                             PreviewProvider provider, QWidget* owner)
    : QWidget(owner, Qt::Tool), source_(source), settings_(settings),
      provider_(std::move(provider)) {
    setWindowTitle(tr("Vorschau"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setSpacing(4);
    left_ = new PreviewPanel(this);
    right_ = new PreviewPanel(this);
    left_->setToolTip(tr("Original"));
    right_->setToolTip(tr("Vorschau"));
    hbar_ = new QScrollBar(Qt::Horizontal, this);
    vbar_ = new QScrollBar(Qt::Vertical, this);
    grid->addWidget(left_, 0, 0);
    grid->addWidget(right_, 0, 1);
    grid->addWidget(vbar_, 0, 2);
    grid->addWidget(hbar_, 1, 0, 1, 2);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(tr("Zoom:"), this));
    zoomField_ = new NumberField(50, 3000, 1, this);
    zoomField_->setRaiseToMinimum(true); // a zoom typed below 50 % becomes 50 %
    zoomField_->setMaximumWidth(70);
    row->addWidget(zoomField_);
    row->addWidget(new QLabel(QStringLiteral("%"), this));
    minus_ = new QPushButton(QStringLiteral("-"), this);
    plus_ = new QPushButton(QStringLiteral("+"), this);
    for (QPushButton* b : {minus_, plus_}) {
        b->setFixedWidth(32);
        b->setAutoDefault(false);
        row->addWidget(b);
    }
    row->addStretch(1);
    grid->addLayout(row, 2, 0, 1, 3);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    connect(zoomField_, &NumberField::committed, this,
            [this](double v) { setZoom(static_cast<float>(v)); });
    connect(plus_, &QPushButton::clicked, this, &PreviewWindow::zoomIn);
    connect(minus_, &QPushButton::clicked, this, &PreviewWindow::zoomOut);
    for (QScrollBar* bar : {hbar_, vbar_}) {
        // While the box is dragged only the original follows; the filter runs when it is
        // released or on any other scroll action.
        connect(bar, &QScrollBar::valueChanged, this, [this, bar] {
            if (bar->isSliderDown())
                drawOriginal();
            else
                onScroll();
        });
        connect(bar, &QScrollBar::sliderReleased, this, &PreviewWindow::onScroll);
    }

    const WindowPoint p = settings_.windowPoint(WindowSlot::Preview);
    move(p.left, p.top);
    if (source_) {
        const Image& img = source_->renderer().image();
        zoom_ = clampPreviewZoom(100.0f, img.width(), img.height(), kPanelWidth, kPanelHeight);
        zoomField_->setValue(static_cast<double>(zoom_));
        updateScrollRanges();
        centreOn(QPointF(img.width() / 2.0, img.height() / 2.0));
    }
}

int PreviewWindow::zoomedExtent(int imageExtent) const {
    return roundToInt(static_cast<double>(imageExtent) * static_cast<double>(zoom_) / 100.0);
}

void PreviewWindow::updateScrollRanges() {
    if (!source_) return;
    const Image& img = source_->renderer().image();
    const QSignalBlocker bh(hbar_), bv(vbar_);
    hbar_->setPageStep(kPanelWidth);
    vbar_->setPageStep(kPanelHeight);
    hbar_->setSingleStep(std::max(1, kPanelWidth / 8));
    vbar_->setSingleStep(std::max(1, kPanelHeight / 8));
    hbar_->setRange(0, std::max(0, zoomedExtent(img.width()) - kPanelWidth));
    vbar_->setRange(0, std::max(0, zoomedExtent(img.height()) - kPanelHeight));
}

PreviewPiece PreviewWindow::piece() const {
    if (!source_) return {};
    const Image& img = source_->renderer().image();
    return previewPiece(kPanelWidth, kPanelHeight, zoom_, hbar_->value(), vbar_->value(),
                        img.width(), img.height());
}

QPointF PreviewWindow::centre() const {
    const double f = static_cast<double>(zoom_) / 100.0;
    return {(hbar_->value() + kPanelWidth / 2.0) / f, (vbar_->value() + kPanelHeight / 2.0) / f};
}

void PreviewWindow::centreOn(QPointF imagePoint) {
    const double f = static_cast<double>(zoom_) / 100.0;
    {
        const QSignalBlocker bh(hbar_), bv(vbar_);
        hbar_->setValue(roundToInt(imagePoint.x() * f - kPanelWidth / 2.0));
        vbar_->setValue(roundToInt(imagePoint.y() * f - kPanelHeight / 2.0));
    }
    onScroll();
}

void PreviewWindow::setZoom(float requested) {
    if (!source_) return;
    const Image& img = source_->renderer().image();
    const float z =
        clampPreviewZoom(requested, img.width(), img.height(), kPanelWidth, kPanelHeight);
    const float old = zoom_;
    const int hs = hbar_->value(), vs = vbar_->value();
    zoom_ = z;
    updateScrollRanges();
    {
        const QSignalBlocker bh(hbar_), bv(vbar_);
        hbar_->setValue(scrollAfterZoom(hs, kPanelWidth, old, z, hbar_->maximum()));
        vbar_->setValue(scrollAfterZoom(vs, kPanelHeight, old, z, vbar_->maximum()));
    }
    zoomField_->setValue(static_cast<double>(zoom_));
    onScroll();
}

void PreviewWindow::zoomIn() {
    setZoom(previewZoomIn(zoom_ / 100.0f) * 100.0f);
}

void PreviewWindow::zoomOut() {
    setZoom(previewZoomOut(zoom_ / 100.0f) * 100.0f);
}

void PreviewWindow::onScroll() {
    drawOriginal();
    recompute();
}

void PreviewWindow::drawOriginal() {
    if (!source_) return;
    const int sx = hbar_->value(), sy = vbar_->value();
    left_->setPicture(renderPart(source_->renderer(), sx, sy, sx + kPanelWidth, sy + kPanelHeight,
                                 static_cast<double>(zoom_) / 100.0));
}

void PreviewWindow::recompute() {
    ++computeCount_;
    QImage shown;
    if (source_ && provider_) {
        PreviewResult r = provider_(piece());
        if (r.keepShown) return;
        if (r.image && r.renderer) {
            const double f = static_cast<double>(zoom_) / 100.0;
            shown = renderPart(*r.renderer, 0, 0, roundToInt(r.image->width() * f),
                               roundToInt(r.image->height() * f), f);
        }
    }
    right_->setPicture(shown);
}

void PreviewWindow::closeEvent(QCloseEvent* e) {
    settings_.setWindowPoint(WindowSlot::Preview, {x(), y()});
    QWidget::closeEvent(e);
    emit closed();
}

} // namespace quillon::ui
