// "Astrometrie (Bild lösen)...": a field rendered from the index's own stars at a known WCS is
// solved through the dialog as one undo step; the status bar then shows a known star's
// RA/Dec, and "Katalogsterne beschriften" draws into the overlay.
#include "gui_test_support.h"

#include "analysis/plate_solve.h"
#include "core/wcs.h"
#include "ui/dialogs/astrometry_dialog.h"
#include "ui/document.h"
#include "ui/view.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTest>

#include <cmath>
#include <random>

using namespace quillon;
using namespace quillon::test;
using quillon::ui::Cmd;

namespace {

// RA/Dec of a "RA hh:mm:ss.ss  Dek ±dd:mm:ss.s" text, degrees.
bool parseSky(const QString& text, double& ra, double& dec) {
    const QStringList f = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return f.size() == 4 && parseSexagesimal(f[1].toStdString(), true, ra) &&
           parseSexagesimal(f[3].toStdString(), false, dec);
}

} // namespace

class AstrometryTest : public QObject {
    Q_OBJECT
private slots:
    void solvesGeneratedFieldThroughTheDialog();
};

void AstrometryTest::solvesGeneratedFieldThroughTheDialog() {
    // Truth: 12"/px, turned by 30°, around M 31; 720 × 540 pixels (2.4° × 1.8°).
    const int w = 720, h = 540;
    WorldCoordinates truth;
    truth.present = true;
    truth.ctype1 = "RA---TAN";
    truth.ctype2 = "DEC--TAN";
    truth.crpix1 = (w + 1) / 2.0;
    truth.crpix2 = (h + 1) / 2.0;
    truth.crval1 = 10.7;
    truth.crval2 = 41.3;
    const double k = 12.0 / 3600, c = std::cos(0.5236), s = std::sin(0.5236);
    truth.cd11 = -k * c, truth.cd12 = k * s, truth.cd21 = k * s, truth.cd22 = k * c;
    truth.lonpole = 180;
    const std::vector<CatalogStar> stars = catalogStars(truth, w, h, {}, 200);
    QVERIFY(stars.size() >= 15);

    Shell shell;
    MessageRecorder messages;
    ui::CWinQuillonDoc* doc = shell.newImage(w, h, BW_IMAGE);
    {
        Image& img = doc->image();
        std::mt19937 rng(34);
        std::normal_distribution<double> noise(0, 10);
        std::vector<double> sky(static_cast<std::size_t>(w) * h, 1000);
        for (double& v : sky) v += noise(rng);
        for (const CatalogStar& st : stars) {
            const double flux = 20000 * std::pow(10, -0.4 * (st.magnitude - stars[0].magnitude));
            for (int y = std::max(0, int(st.y) - 6); y <= std::min(h - 1, int(st.y) + 6); ++y)
                for (int x = std::max(0, int(st.x) - 6); x <= std::min(w - 1, int(st.x) + 6); ++x)
                    sky[std::size_t(y) * w + x] +=
                        flux * std::exp(-((x - st.x) * (x - st.x) + (y - st.y) * (y - st.y)) / 4.0);
        }
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                img.row(0, y)[x] = Sample(std::min(32767.0, sky[std::size_t(y) * w + x]));
        img.samplesChanged();
        doc->refreshViews(false);
    }
    Shell::settle();
    const int stepsBefore = int(doc->history().count());

    whenModal<ui::AstrometryDialog>([](ui::AstrometryDialog* d) {
        d->scaleBox()->setChecked(true);
        d->scaleField()->setText(QStringLiteral("12"));
        d->centreBox()->setChecked(true);
        d->raField()->setText(QStringLiteral("00:43:30"));
        d->decField()->setText(QStringLiteral("+41:00:00"));
        d->radiusField()->setText(QStringLiteral("2"));
        d->timeoutField()->setText(QStringLiteral("30"));
        shot(d, "astrometry-dialog");
        d->accept();
    });
    shell.frame->action(Cmd::Astrometry)->trigger();
    Shell::settle();
    QVERIFY(doc->image().info().wcs.present);
    QCOMPARE(int(doc->history().count()), stepsBefore + 1);
    QVERIFY(!messages.texts.isEmpty());
    QVERIFY2(messages.texts.last().contains(QStringLiteral("Maßstab: 12.0")),
             qPrintable(messages.texts.last()));

    // The cursor over the brightest star: the status bar shows its catalogue position.
    ui::CWinQuillonView* view = shell.frame->activeView();
    const CatalogStar& star = stars[0];
    const int px = int(std::lround(star.x)), py = int(std::lround(star.y));
    emit view->pixelInfo(true, px, py, 0, 0, 0);
    const QString text = ui::skyPane(shell.frame->statusBar())->text();
    double ra = 0, dec = 0, tra = 0, tdec = 0;
    QVERIFY2(parseSky(text, ra, dec), qPrintable(text));
    SkyMapping(truth).pixelToSky(px, py, tra, tdec);
    const double off = std::hypot((ra - tra) * std::cos(tdec * M_PI / 180), dec - tdec) * 3600;
    QVERIFY2(off < 2.0, qPrintable(text + QStringLiteral(" off by %1\"").arg(off)));
    shot(shell.frame, "astrometry-status");
    // "Bildinformationen" shows the summary and the cursor's position as well.
    shell.frame->action(Cmd::ImageInfo)->trigger();
    Shell::settle();
    emit view->pixelInfo(true, px, py, 0, 0, 0);
    auto* cursor = shell.frame->findChild<QLabel*>(QStringLiteral("wcsCursor"));
    QVERIFY(cursor);
    QCOMPARE(cursor->text(), QStringLiteral("Cursor: ") + text);
    auto* summary = shell.frame->findChild<QLabel*>(QStringLiteral("wcsLabel"));
    QVERIFY(summary && summary->text().contains(QStringLiteral("Maßstab: 12.0")));

    // Catalogue stars into the overlay: one more undo step, marks at the stars.
    QVERIFY(ui::annotateCatalogStars(*shell.frame, {}));
    Shell::settle();
    const Image& img = doc->image();
    QVERIFY(img.hasOverlay());
    int marked = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) marked += img.row(img.overlayPlane(), y)[x] != 0;
    QVERIFY(marked > int(stars.size()) * 10);
    QCOMPARE(int(doc->history().count()), stepsBefore + 2);
    shot(shell.frame, "astrometry-catalog");
}

QTEST_MAIN(AstrometryTest)
#include "test_astrometry.moc"
