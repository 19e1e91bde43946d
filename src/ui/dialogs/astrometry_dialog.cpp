// "Astrometrie (Bild lösen)...", "Katalogsterne beschriften" and the sky pane of the status bar.
#include "ui/dialogs/astrometry_dialog.h"

#include "core/error.h"
#include "core/wcs.h"
#include "display/overlay.h"
#include "ops/geometry_wcs.h"
#include "ui/command_context.h"
#include "ui/commands/command_table.h"
#include "ui/document.h"
#include "ui/messages.h"
#include "ui/view.h"

#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QImage>
#include <QLineEdit>
#include <QMainWindow>
#include <QPainter>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

#include <cmath>
#include <memory>

namespace quillon::ui {
namespace {

// What was typed last time, for the next dialog of this session.
struct LastHints {
    bool useScale = false, useCentre = false;
    QString scale, focal, ra, dec, radius = QStringLiteral("5"), timeout = QStringLiteral("60");
    QString index = QString::fromLocal8Bit(qgetenv(kIndexFolderVariable));
};
LastHints& last() {
    static LastHints h;
    return h;
}

bool readNumber(const QLineEdit* f, double lo, double hi, double& v) {
    bool ok = false;
    v = f->text().trimmed().replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    return ok && std::isfinite(v) && v >= lo && v <= hi;
}

bool readAngle(const QLineEdit* f, bool hours, double lo, double hi, double& v) {
    const QString t = f->text().trimmed();
    if (t.contains(QLatin1Char(':')) || t.contains(QLatin1Char(' ')))
        return parseSexagesimal(t.toStdString(), hours, v) && v >= lo && v <= hi;
    return readNumber(f, lo, hi, v);
}

} // namespace

AstrometryDialog::AstrometryDialog(const Image& image, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Astrometrie (Bild lösen)"));
    auto* outer = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    const LastHints& h = last();
    auto field = [this](const QString& text) {
        auto* f = new QLineEdit(text, this);
        return f;
    };
    // The file's own cards (focal length, pixel size, where the telescope pointed) start the
    // hints whenever nothing was typed for them in this session.
    const PointingCards& file = image.info().pointing;
    auto number = [](double v) { return v > 0 ? QString::number(v, 'g', 6) : QString(); };
    const bool fileOptics = h.scale.isEmpty() && h.focal.isEmpty() && file.focalLengthMm > 0 &&
                            (file.pixelSizeUm > 0 || image.pixelWidth() > 0);
    const bool fileCentre =
        h.ra.isEmpty() && h.dec.isEmpty() && !file.ra.empty() && !file.dec.empty();
    useScale_ = new QCheckBox(tr("Bildmaßstab vorgeben"), this);
    useScale_->setChecked(h.useScale || fileOptics);
    scale_ = field(h.scale);
    focal_ = field(fileOptics ? number(file.focalLengthMm) : h.focal);
    pixel_ =
        field(file.pixelSizeUm > 0 ? number(file.pixelSizeUm) : number(double(image.pixelWidth())));
    form->addRow(useScale_);
    form->addRow(tr("Maßstab (\"/px, ±5 %):"), scale_);
    form->addRow(tr("oder Brennweite (mm):"), focal_);
    form->addRow(tr("und Pixelgröße (µm):"), pixel_);
    useCentre_ = new QCheckBox(tr("Bildmitte vorgeben"), this);
    useCentre_->setChecked(h.useCentre || fileCentre);
    ra_ = field(fileCentre ? QString::fromStdString(file.ra) : h.ra);
    dec_ = field(fileCentre ? QString::fromStdString(file.dec) : h.dec);
    radius_ = field(h.radius);
    form->addRow(useCentre_);
    form->addRow(tr("RA (Grad oder hh:mm:ss):"), ra_);
    form->addRow(tr("Dek (Grad oder ±dd:mm:ss):"), dec_);
    form->addRow(tr("Suchradius (Grad):"), radius_);
    timeout_ = field(h.timeout);
    index_ = field(h.index);
    form->addRow(tr("Zeitgrenze (s):"), timeout_);
    form->addRow(tr("Weiterer Indexordner:"), index_);
    outer->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(tr("Lösen"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Abbrechen"));
    connect(buttons, &QDialogButtonBox::accepted, this, &AstrometryDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &AstrometryDialog::reject);
    outer->addWidget(buttons);
}

bool AstrometryDialog::readHints(SolveHints& hints, QString& problem) const {
    hints = {};
    if (useScale_->isChecked()) {
        double scale = 0, focal = 0, pixel = 0;
        if (!scale_->text().trimmed().isEmpty()) {
            if (!readNumber(scale_, 0.01, 10000, scale)) {
                problem = tr("Bitte einen Maßstab von 0.01 bis 10000 \"/px eingeben.");
                return false;
            }
            hints.scaleLow = scale * 0.95;
            hints.scaleHigh = scale * 1.05;
        } else if (!readNumber(focal_, 1, 100000, focal) || !readNumber(pixel_, 0.1, 1000, pixel) ||
                   !scaleFromOptics(focal, pixel, hints)) {
            problem = tr("Bitte den Maßstab oder Brennweite und Pixelgröße eingeben.");
            return false;
        }
    }
    if (useCentre_->isChecked()) {
        hints.hasCentre = true;
        if (!readAngle(ra_, true, 0, 360, hints.ra) ||
            !readAngle(dec_, false, -90, 90, hints.dec) ||
            !readNumber(radius_, 0.01, 180, hints.radius)) {
            problem = tr("Bitte RA, Dek und Suchradius der Bildmitte prüfen.");
            return false;
        }
    }
    if (!readNumber(timeout_, 1, 3600, hints.timeout)) {
        problem = tr("Bitte eine Zeitgrenze von 1 bis 3600 s eingeben.");
        return false;
    }
    hints.extraIndexFolder = index_->text().trimmed().toStdString();
    return true;
}

void AstrometryDialog::accept() {
    SolveHints hints;
    QString problem;
    if (!readHints(hints, problem)) {
        showMessage(this, problem);
        return;
    }
    LastHints& h = last();
    h.useScale = useScale_->isChecked();
    h.useCentre = useCentre_->isChecked();
    h.scale = scale_->text();
    h.focal = focal_->text();
    h.ra = ra_->text();
    h.dec = dec_->text();
    h.radius = radius_->text();
    h.timeout = timeout_->text();
    h.index = index_->text();
    QDialog::accept();
}

QString solveSummary(const SolveResult& r, int width, int height) {
    const WcsSummary s = summarizeWcs(r.wcs, width, height);
    return AstrometryDialog::tr("Bildmitte: RA %1  Dek %2\n"
                                "Maßstab: %3\"/px\n"
                                "Drehung: %4°\n"
                                "Feld: %5° × %6°\n"
                                "Parität: %7\n"
                                "Abgeglichene Sterne: %8 (von %9)")
        .arg(QString::fromStdString(formatRa(s.centreRa)),
             QString::fromStdString(formatDec(s.centreDec)))
        .arg(s.scaleArcsec, 0, 'f', 3)
        .arg(s.rotation, 0, 'f', 2)
        .arg(s.fieldWidth, 0, 'f', 3)
        .arg(s.fieldHeight, 0, 'f', 3)
        .arg(s.mirrored ? AstrometryDialog::tr("gespiegelt") : AstrometryDialog::tr("normal"))
        .arg(r.matchedStars)
        .arg(r.starsUsed);
}

QString skyPositionText(const Image& image, double x, double y) {
    const WorldCoordinates& w = image.info().wcs;
    if (!w.present) return {};
    // One mapping kept for the last WCS asked about: the cursor asks many times in a row.
    static WorldCoordinates cached;
    static std::unique_ptr<SkyMapping> mapping;
    try {
        if (!mapping || !(cached == w)) {
            mapping = std::make_unique<SkyMapping>(w);
            cached = w;
        }
    } catch (const Error&) {
        mapping.reset();
        return {};
    }
    double ra = 0, dec = 0;
    if (!mapping->pixelToSky(x, y, ra, dec)) return {};
    if (w.ctype1.rfind("RA", 0) != 0) // galactic or ecliptic: the frame's names, in degrees
        return QStringLiteral("%1 %2°  %3 %4°")
            .arg(QString::fromStdString(w.ctype1.substr(0, 4)).remove(QLatin1Char('-')))
            .arg(ra, 0, 'f', 5)
            .arg(QString::fromStdString(w.ctype2.substr(0, 4)).remove(QLatin1Char('-')))
            .arg(dec, 0, 'f', 5);
    return AstrometryDialog::tr("RA %1  Dek %2")
        .arg(QString::fromStdString(formatRa(ra)), QString::fromStdString(formatDec(dec)));
}

QLabel* skyPane(QStatusBar* bar) {
    auto* pane = bar->findChild<QLabel*>(QStringLiteral("skyPane"));
    if (!pane) {
        pane = new QLabel(bar);
        pane->setObjectName(QStringLiteral("skyPane"));
        pane->setMinimumWidth(220);
        pane->setFrameShape(QFrame::StyledPanel);
        bar->addPermanentWidget(pane);
    }
    return pane;
}

void trackSkyPosition(QMainWindow& frame, CWinQuillonView* view) {
    QObject::connect(view, &CWinQuillonView::pixelInfo, &frame,
                     [&frame, view](bool valid, int x, int y, int, int, int) {
                         if (!valid) return;
                         const QString text = skyPositionText(view->document()->image(), x, y);
                         skyPane(frame.statusBar())->setText(text);
                         // "Bildinformationen", when open, shows it beside the image data.
                         for (auto* l : frame.findChildren<QLabel*>(QStringLiteral("wcsCursor")))
                             l->setText(text.isEmpty() ? QString()
                                                       : AstrometryDialog::tr("Cursor: ") + text);
                     });
}

bool solveActive(const CommandContext& ctx, const SolveHints& hints) {
    CWinQuillonView* view = ctx.activeView();
    if (!view || !view->document()->image().hasSamples()) return false;
    auto result = std::make_shared<SolveResult>();
    const bool done = ctx.changeInPlace(
        [hints, result](Image& image, Progress& p) {
            *result = solveImage(image, hints, p);
            setImageWcs(image, result->wcs);
        },
        AstrometryDialog::tr("Astrometrie"));
    if (!done) return false;
    const Image& image = view->document()->image();
    showMessage(ctx.parent(), AstrometryDialog::tr("Astrometrische Lösung:\n") +
                                  solveSummary(*result, image.width(), image.height()));
    return true;
}

bool annotateCatalogStars(const CommandContext& ctx, const std::string& extraIndexFolder) {
    CWinQuillonView* view = ctx.activeView();
    if (!view) return false;
    const Image& current = view->document()->image();
    if (!current.info().wcs.present) {
        showMessage(ctx.parent(),
                    AstrometryDialog::tr("Das Bild hat keine Weltkoordinaten. Bitte zuerst "
                                         "\"Astrometrie (Bild lösen)...\" ausführen."));
        return false;
    }
    return ctx.changeInPlace(
        [extraIndexFolder](Image& image, Progress& p) {
            p.begin(AstrometryDialog::tr("Katalogsterne").toStdString(), 1, 1);
            const std::vector<CatalogStar> stars =
                catalogStars(image.info().wcs, image.width(), image.height(), extraIndexFolder);
            if (!image.hasOverlay() && !image.SetOverlay(true)) throw std::bad_alloc();
            // Circles and magnitudes drawn in a picture of the image's size, then laid into
            // the overlay plane as opaque yellow.
            QImage marks(image.width(), image.height(), QImage::Format_ARGB32);
            marks.fill(Qt::transparent);
            {
                QPainter painter(&marks);
                painter.setPen(QPen(Qt::yellow, 1));
                QFont font = painter.font();
                font.setPixelSize(std::max(9, std::min(image.width(), image.height()) / 80));
                painter.setFont(font);
                const double r = std::max(4, std::min(image.width(), image.height()) / 150);
                for (const CatalogStar& s : stars) {
                    painter.drawEllipse(QPointF(s.x, s.y), r, r);
                    painter.drawText(QPointF(s.x + r + 2, s.y - r),
                                     QString::number(s.magnitude, 'f', 1));
                }
            }
            const Sample mark = overlaySampleFor(0xFFFF00u, false);
            const int plane = image.overlayPlane();
            for (int y = 0; y < image.height(); ++y) {
                const auto* line = reinterpret_cast<const QRgb*>(marks.constScanLine(y));
                Sample* row = image.row(plane, y);
                for (int x = 0; x < image.width(); ++x)
                    if (qAlpha(line[x]) >= 128) row[x] = mark;
            }
            p.step();
            p.end();
        },
        AstrometryDialog::tr("Katalogsterne beschriften"));
}

namespace {

void runAstrometry(CommandContext& ctx) {
    CWinQuillonView* view = ctx.activeView();
    if (!view || !view->document()->image().hasSamples()) return;
    SolveHints hints;
    {
        AstrometryDialog dlg(view->document()->image(), ctx.parent());
        if (dlg.exec() != QDialog::Accepted) return;
        QString problem;
        dlg.readHints(hints, problem);
    }
    solveActive(ctx, hints);
}

void runCatalogLabels(CommandContext& ctx) {
    annotateCatalogStars(ctx, last().index.trimmed().toStdString());
}

bool whenSolved(Cmd, const CWinQuillonView* view) {
    return whenSamples(Cmd::CatalogLabels, view) && view->document()->image().info().wcs.present;
}

constexpr CommandRow kRows[] = {
    {Cmd::Astrometry, runAstrometry, whenSamples},
    {Cmd::CatalogLabels, runCatalogLabels, whenSolved},
};

} // namespace

CommandTable astrometryCommands() {
    return kRows;
}

} // namespace quillon::ui
