// NavigatorWindow: thumbnail and frame through the library's navigator arithmetic, zoom
// field and slider through NavigatorSlider.
#include "ui/tools/navigator_window.h"

#include "display/zoom.h"
#include "ui/dialogs/number_field.h"
#include "ui/shell/night_mode.h"
#include "ui/view.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace quillon::ui {

NavigatorPicture::NavigatorPicture(NavigatorWindow* w) : QWidget(w), window_(w) {
    setMinimumSize(200, 150);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setCursor(Qt::CrossCursor);
}

void NavigatorPicture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    if (thumb.isNull()) return;
    p.drawImage(offset, thumb);
    QRect f = dragging_ ? QRect(start_, end_).normalized() : frame;
    if (f.isNull()) return;
    // Red and white dashes stay visible on bright and dark images alike.
    p.setPen(QPen(Qt::white, 1));
    p.drawRect(f.adjusted(0, 0, -1, -1));
    QPen red(Qt::red, 1, Qt::DashLine);
    p.setPen(red);
    p.drawRect(f.adjusted(0, 0, -1, -1));
}

void NavigatorPicture::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || thumb.isNull()) return;
    dragging_ = true;
    start_ = end_ = e->position().toPoint();
}

void NavigatorPicture::mouseMoveEvent(QMouseEvent* e) {
    if (!dragging_) return;
    end_ = e->position().toPoint();
    update();
}

void NavigatorPicture::mouseReleaseEvent(QMouseEvent* e) {
    if (!dragging_ || e->button() != Qt::LeftButton) return;
    dragging_ = false;
    end_ = e->position().toPoint();
    QRect r = QRect(start_, end_).normalized();
    // A click without dragging moves the current frame to the clicked point.
    if (r.width() < 3 || r.height() < 3) {
        r = frame;
        r.moveCenter(end_);
    }
    window_->applyDrag(r);
}

NavigatorWindow::NavigatorWindow(QWidget* owner, SettingsRecord& settings)
    : ToolWindow(owner, settings, WindowSlot::ZoomNavigator, tr("Zoomnavigator")) {
    auto* l = new QVBoxLayout(body());
    l->setContentsMargins(0, 0, 0, 0);
    picture_ = new NavigatorPicture(this);
    picture_->setParent(body());
    l->addWidget(picture_, 1);
    auto* row = new QHBoxLayout;
    percent_ = new NumberField(0.01, 100000, 0, body());
    percent_->setFixedWidth(56);
    row->addWidget(percent_);
    row->addWidget(new QLabel(QStringLiteral("%"), body()));
    minus_ = new QPushButton(QStringLiteral("-"), body());
    plus_ = new QPushButton(QStringLiteral("+"), body());
    minus_->setFixedWidth(24);
    plus_->setFixedWidth(24);
    slider_ = new QSlider(Qt::Horizontal, body());
    slider_->setRange(0, NavigatorSlider::kPositions - 1);
    row->addWidget(minus_);
    row->addWidget(slider_, 1);
    row->addWidget(plus_);
    l->addLayout(row);
    autoResize_ = new QCheckBox(tr("auto resize"), body());
    l->addWidget(autoResize_);

    connect(percent_, &NumberField::committed, this, [this](double v) {
        if (!filling_) setZoom(v / 100.0);
    });
    connect(slider_, &QSlider::valueChanged, this, [this](int pos) {
        if (filling_ || !view()) return;
        const Image& img = view()->renderer().image();
        setZoom(NavigatorSlider(img.width(), img.height()).zoomAt(pos));
    });
    connect(minus_, &QPushButton::clicked, this, [this] {
        if (view()) setZoom(zoomOutStep(view()->zoom()));
    });
    connect(plus_, &QPushButton::clicked, this, [this] {
        if (view()) setZoom(zoomInStep(view()->zoom()));
    });
    resize(220, 230);
}

void NavigatorWindow::setZoom(double z) {
    CWinQuillonView* v = view();
    if (!v) return;
    v->setZoomAndRedraw(z);
    if (autoResize_->isChecked()) v->redraw(true);
    refresh();
}

void NavigatorWindow::applyDrag(const QRect& r) {
    CWinQuillonView* v = view();
    if (!v) return;
    const Image& img = v->renderer().image();
    ViewState state = v->display().state;
    const QRect vis = v->visibleRect();
    state.visibleRect = {vis.left(), vis.top(), vis.right() + 1, vis.bottom() + 1};
    const QRect t = r.translated(-picture_->offset);
    const IntRect dragged{t.left(), t.top(), t.right() + 1, t.bottom() + 1};
    const QSize client = v->viewport()->size();
    NavigatorMove m = navigatorDrag(state, dragged, scale_, client.width(), client.height(),
                                    img.width(), img.height());
    if (m.zoom != v->zoom()) {
        v->setZoomAndRedraw(m.zoom);
        if (autoResize_->isChecked()) v->redraw(true);
    }
    v->setVisibleTopLeft({m.visibleRect.left, m.visibleRect.top});
    refresh();
}

void NavigatorWindow::refresh() {
    CWinQuillonView* v = view();
    if (!v) {
        picture_->thumb = QImage();
        picture_->update();
        percent_->clear();
        return;
    }
    filling_ = true;
    const ImageRenderer& r = v->renderer();
    Thumbnail& thumb = v->display().thumbnail;
    const Image& img = r.image();
    const int pw = picture_->width(), ph = picture_->height();
    if (!thumb.valid(r) || thumb.picture().width() > pw || thumb.picture().height() > ph ||
        (thumb.picture().width() < pw - 1 && thumb.picture().height() < ph - 1))
        thumb.render(r, pw, ph);
    const Picture& t = thumb.picture();
    if (t.width() > 0 && t.height() > 0 && t.format() == PictureFormat::Rgb32)
        picture_->thumb = atNight(QImage(reinterpret_cast<const uchar*>(t.rgbRow(0)), t.width(),
                                         t.height(), t.bytesPerLine(), QImage::Format_RGB32)
                                      .copy());
    scale_ = navigatorScale(pw, ph, img.width(), img.height());
    picture_->offset = {(pw - picture_->thumb.width()) / 2, (ph - picture_->thumb.height()) / 2};
    ViewState state = v->display().state;
    const QRect vis = v->visibleRect();
    state.visibleRect = {vis.left(), vis.top(), vis.right() + 1, vis.bottom() + 1};
    const IntRect f = navigatorFrame(state, scale_);
    picture_->frame = QRect(f.left, f.top, f.width(), f.height()).translated(picture_->offset);
    picture_->update();
    percent_->setValue(std::round(v->zoom() * 100.0));
    {
        const QSignalBlocker b(slider_);
        slider_->setValue(NavigatorSlider(img.width(), img.height()).positionFor(v->zoom()));
    }
    filling_ = false;
}

void NavigatorWindow::resizeEvent(QResizeEvent* e) {
    ToolWindow::resizeEvent(e);
    if (view() && isVisible()) refresh();
}

} // namespace quillon::ui
