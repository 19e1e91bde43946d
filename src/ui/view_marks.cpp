// CWinQuillonView: the reference marks of the window "Referenzpunkte setzen".
#include "ui/view.h"

#include <QPainter>

#include <algorithm>

#include <cmath>

namespace quillon::ui {

namespace {
// Frame colours of points 1 to 4: red, green, blue, olive.
const std::array<QColor, 4> kMarkColours{QColor(255, 0, 0), QColor(0, 255, 0), QColor(0, 0, 255),
                                         QColor(128, 128, 0)};
constexpr int kArmStart = 3;
constexpr int kArmEnd = 15;
constexpr int kFrame = 5; // half the side of the coloured frame
} // namespace

void CWinQuillonView::setReferenceMode(int count) {
    markCount_ = std::clamp(count, 0, 4);
    if (markCount_ == 0) marks_.fill(QPointF(NAN, NAN));
    viewport()->update();
}

void CWinQuillonView::setReferenceMark(int index, QPointF imagePos) {
    if (index < 0 || index >= 4) return;
    marks_[static_cast<std::size_t>(index)] = imagePos;
    viewport()->update();
}

void CWinQuillonView::paintReferenceMarks(QPainter& p) const {
    if (markCount_ == 0) return;
    const QPoint o = origin();
    const double z = display_.zoom();
    p.save();
    for (int k = 0; k < markCount_; ++k) {
        const QPointF m = marks_[static_cast<std::size_t>(k)];
        if (std::isnan(m.x()) || std::isnan(m.y())) continue;
        // Screen pixel of the point's centre.
        const int cx = static_cast<int>(std::floor((m.x() + 0.5) * z)) - o.x();
        const int cy = static_cast<int>(std::floor((m.y() + 0.5) * z)) - o.y();
        // The cross hair inverts what is below it, so it shows on any picture.
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.setPen(QPen(Qt::white, 1));
        p.drawLine(cx - kArmEnd, cy, cx - kArmStart, cy);
        p.drawLine(cx + kArmStart, cy, cx + kArmEnd, cy);
        p.drawLine(cx, cy - kArmEnd, cx, cy - kArmStart);
        p.drawLine(cx, cy + kArmStart, cx, cy + kArmEnd);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        p.setPen(QPen(kMarkColours[static_cast<std::size_t>(k)], 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(cx - kFrame, cy - kFrame, 2 * kFrame, 2 * kFrame);
    }
    p.restore();
}

} // namespace quillon::ui
