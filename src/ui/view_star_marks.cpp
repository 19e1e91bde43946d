// CWinQuillonView: the star marks of "Sterne markieren".
#include "analysis/star_measure.h"
#include "core/error.h"
#include "core/progress.h"
#include "ui/document.h"
#include "ui/job_runner.h"
#include "ui/shell/quillon_app.h"
#include "ui/view.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace quillon::ui {

void CWinQuillonView::toggleStarMarks() {
    if (!starMarks_.empty()) {
        starMarks_.clear();
        viewport()->update();
        return;
    }
    StarField field;
    const Image& image = doc_->image();
    const JobResult r = runJob(CWinQuillonApp::instance()->jobs(), [&](Progress& p) {
        p.begin("Sterne markieren", 1, 1);
        field = measureStars(image);
        p.step();
        p.end();
    });
    if (!r.ok()) {
        reportFailure(r, msg::kOutOfMemory, this);
        return;
    }
    starMarks_.reserve(field.stars.size());
    for (const MeasuredStar& s : field.stars)
        starMarks_.push_back({static_cast<float>(s.x), static_cast<float>(s.y),
                              static_cast<float>(s.fwhmMajor > 0 ? s.fwhmMajor : s.fwhm),
                              static_cast<float>(s.fwhmMinor > 0 ? s.fwhmMinor : s.fwhm),
                              static_cast<float>(s.angle), static_cast<float>(s.roundness)});
    viewport()->update();
}

void CWinQuillonView::paintStarMarks(QPainter& p) const {
    if (starMarks_.empty()) return;
    const QPoint o = origin();
    const double z = display_.zoom();
    const QRectF visible = QRectF(viewport()->rect()).adjusted(-40, -40, 40, 40);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(Qt::NoBrush);
    for (const StarMark& s : starMarks_) {
        // Screen position of the star's centre; integer image positions are pixel centres.
        const QPointF c((s.x + 0.5) * z - o.x(), (s.y + 0.5) * z - o.y());
        if (!visible.contains(c)) continue;
        // Round (1) is green, 0.5 and below red.
        const double t = std::clamp((s.roundness - 0.5) / 0.5, 0.0, 1.0);
        p.setPen(QPen(QColor::fromHsv(static_cast<int>(std::lround(120 * t)), 255, 255), 1.5));
        // The ellipse reaches one FWHM from the centre along each axis, at least a few pixels
        // on screen so that small stars stay visible when zoomed out.
        const double major = std::max(s.major * z, 1e-3);
        const double grow = std::max(1.0, 4.0 / major);
        p.save();
        p.translate(c);
        p.rotate(s.angle);
        p.drawEllipse(QPointF(0, 0), major * grow, std::max(s.minor * z, 1e-3) * grow);
        p.restore();
    }
    p.restore();
}

} // namespace quillon::ui
