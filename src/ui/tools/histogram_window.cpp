// HistogramWindow: counting through computeHistogram, pictures from drawBars / drawCurves,
// range buttons, fields and scroll bar through the library's range arithmetic.
#include "ui/tools/histogram_window.h"

#include "display/histogram.h"
#include "ui/dialogs/number_field.h"
#include "ui/shell/night_mode.h"
#include "ui/view.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace quillon::ui {

HistogramArea::HistogramArea(QWidget* parent) : QWidget(parent) {
    setMinimumSize(256, 140);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void HistogramArea::setPicture(const QImage& img) {
    image_ = img;
    update();
}

void HistogramArea::showBusy() {
    QImage img(size(), QImage::Format_RGB32);
    img.fill(Qt::black);
    QPainter p(&img);
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(20);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(img.rect(), Qt::AlignCenter, QString::fromUtf8(kHistogramBusyText));
    p.end();
    setPicture(img);
    repaint();
}

void HistogramArea::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (image_.isNull())
        p.fillRect(rect(), palette().window());
    else
        p.drawImage(0, 0, image_);
}

HistogramWindow::HistogramWindow(QWidget* owner, SettingsRecord& settings)
    : ToolWindow(owner, settings, WindowSlot::Histogram, tr("Histogramm")) {
    auto* l = new QVBoxLayout(body());
    l->setContentsMargins(0, 0, 0, 0);
    area_ = new HistogramArea(body());
    l->addWidget(area_, 1);
    scroll_ = new QScrollBar(Qt::Horizontal, body());
    l->addWidget(scroll_);
    auto* row = new QHBoxLayout;
    minus_ = new QPushButton(QStringLiteral("-"), body());
    plus_ = new QPushButton(QStringLiteral("+"), body());
    minus_->setFixedWidth(28);
    plus_->setFixedWidth(28);
    lo_ = new NumberField(-32768, 32767, -1, body());
    hi_ = new NumberField(-32768, 32767, -1, body());
    lo_->setFixedWidth(60);
    hi_->setFixedWidth(60);
    row->addWidget(minus_);
    row->addWidget(lo_);
    const char* names[] = {"R", "G", "B"};
    for (int c = 0; c < 3; ++c) {
        auto* b = new QCheckBox(QString::fromUtf8(names[c]), body());
        channels_[static_cast<std::size_t>(c)] = b;
        row->addWidget(b);
        connect(b, &QCheckBox::toggled, this, [this] {
            if (filling_ || !view()) return;
            view()->display().histogram.setChannels(
                channels_[0]->isChecked(), channels_[1]->isChecked(), channels_[2]->isChecked());
            refresh();
        });
    }
    row->addStretch(1);
    row->addWidget(hi_);
    row->addWidget(plus_);
    l->addLayout(row);

    connect(minus_, &QPushButton::clicked, this, [this] {
        if (!view()) return;
        HistogramRange r = widenHistogramRange(view()->display().histogram.range());
        setRange(r.lo, r.hi);
    });
    connect(plus_, &QPushButton::clicked, this, [this] {
        if (!view()) return;
        HistogramRange r = narrowHistogramRange(view()->display().histogram.range());
        setRange(r.lo, r.hi);
    });
    connect(lo_, &NumberField::committed, this, [this](double v) {
        if (filling_ || !view()) return;
        setRange(static_cast<int>(v), view()->display().histogram.range().hi);
    });
    connect(hi_, &NumberField::committed, this, [this](double v) {
        if (filling_ || !view()) return;
        setRange(view()->display().histogram.range().lo, static_cast<int>(v));
    });
    connect(scroll_, &QScrollBar::valueChanged, this, [this](int pos) {
        if (filling_ || !view()) return;
        HistogramRange r = scrollHistogramRange(view()->display().histogram.range(), pos);
        setRange(r.lo, r.hi);
    });
    resize(300, 230);
}

void HistogramWindow::setRange(int lo, int hi) {
    view()->display().histogram.setRange(lo, hi);
    refresh();
}

void HistogramWindow::showControls() {
    filling_ = true;
    const ImageRenderer& r = view()->renderer();
    const HistogramRange range = view()->display().histogram.range();
    lo_->setValue(range.lo);
    hi_->setValue(range.hi);
    const HistogramScroll s = histogramScroll(range);
    {
        const QSignalBlocker b(scroll_);
        // Qt's maximum is the last position of the thumb's start, i.e. without the page.
        scroll_->setRange(s.minimum, s.maximum - s.page);
        scroll_->setPageStep(s.pageStep);
        scroll_->setSingleStep(s.lineStep);
        scroll_->setValue(s.position);
    }
    const bool grey = r.image().type() == BW_IMAGE;
    for (std::size_t c = 0; c < 3; ++c) {
        const QSignalBlocker b(channels_[c]);
        channels_[c]->setChecked(grey || view()->display().histogram.channels()[c]);
        channels_[c]->setEnabled(!grey);
    }
    filling_ = false;
}

void HistogramWindow::drawPicture() {
    ImageRenderer& r = view()->renderer();
    if (!histogramValidFor(r.image(), r)) {
        area_->showBusy();
        if (computeHistogram(r) != 0) return; // only the message picture remains
    }
    const int w = area_->width(), h = area_->height();
    HistogramView& hv = view()->display().histogram;
    if (drawBars(hv, r, w, h) != 0 || drawCurves(hv, r) != 0) return;
    const Picture& pic = hv.pictures().curves;
    if (pic.width() == 0 || pic.height() == 0) return;
    QImage img(reinterpret_cast<const uchar*>(pic.rgbRow(0)), pic.width(), pic.height(),
               pic.bytesPerLine(), QImage::Format_RGB32);
    area_->setPicture(atNight(img.copy()));
}

void HistogramWindow::refresh() {
    if (!view()) {
        area_->setPicture(QImage());
        lo_->clear();
        hi_->clear();
        return;
    }
    showControls();
    if (isVisible()) drawPicture();
}

void HistogramWindow::resizeEvent(QResizeEvent* e) {
    ToolWindow::resizeEvent(e);
    if (view() && isVisible()) drawPicture();
}

} // namespace quillon::ui
