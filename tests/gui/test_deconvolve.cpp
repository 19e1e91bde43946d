// The Lucy-Richardson commands: the PSF dialog from the context entry, the deconvolution
// dialog's numbers and preview rule, and the whole command into a new document; with
// QUILLON_SHOT_DIR set, the bundled sample blurred by a lopsided star before and after.
#include "display/histogram.h"
#include "filters/deconvolve.h"
#include "filters/psf.h"
#include "formats/demo_image.h"
#include "gui_test_support.h"
#include "support/test_images.h"
#include "ui/dialogs/deconvolution_dialog.h"
#include "ui/dialogs/preview_window.h"
#include "ui/dialogs/psf_dialog.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

#include <algorithm>
#include <vector>

using namespace quillon;
using namespace quillon::test;
using namespace quillon::testkit;
using quillon::ui::Cmd;

namespace {

// A one-sided star profile: a core with a tail to the lower right.
std::vector<float> lopsidedKernel() {
    std::vector<float> k(49, 0.0f);
    const int cells[][3] = {{3, 3, 30}, {3, 4, 18}, {4, 4, 16}, {4, 5, 12}, {5, 5, 10},
                            {5, 6, 6},  {6, 6, 4},  {2, 3, 2},  {3, 2, 2}};
    for (const auto& c : cells) k[static_cast<std::size_t>(c[0] * 7 + c[1])] = c[2] / 100.0f;
    return k;
}

// Every colour layer convolved with the kernel (the star profile laid over each point).
void blurLopsided(Image& img) {
    const std::vector<float> k = lopsidedKernel();
    const std::vector<float> turned(k.rbegin(), k.rend());
    const std::size_t n = static_cast<std::size_t>(img.width()) * img.height();
    std::vector<float> in(n), out(n);
    for (int layer = 0; layer < img.layerCount(); ++layer) {
        std::transform(img.planeData(layer), img.planeData(layer) + n, in.begin(),
                       [](Sample s) { return static_cast<float>(s); });
        correlatePlane(in.data(), out.data(), img.width(), img.height(), turned.data(), 7, 7);
        std::transform(out.begin(), out.end(), img.planeData(layer),
                       [](float v) { return toSample(v); });
    }
}

// Bright but unsaturated single stars of layer 0: local maxima, far from edges and each other.
std::vector<QPointF> brightStars(const Image& img, int count) {
    struct Peak {
        int x, y, v;
    };
    std::vector<Peak> peaks;
    for (int y = 30; y < img.height() - 30; ++y)
        for (int x = 30; x < img.width() - 30; ++x) {
            const int v = img.row(0, y)[x];
            if (v > 20000) continue;
            bool top = true;
            for (int dy = -3; dy <= 3 && top; ++dy)
                for (int dx = -3; dx <= 3 && top; ++dx)
                    if ((dx || dy) && img.row(0, y + dy)[x + dx] >= v) top = false;
            if (top) peaks.push_back({x, y, v});
        }
    std::sort(peaks.begin(), peaks.end(), [](const Peak& a, const Peak& b) { return a.v > b.v; });
    std::vector<QPointF> stars;
    for (const Peak& p : peaks) {
        bool alone = true;
        for (const QPointF& s : stars)
            if (std::abs(s.x() - p.x) < 40 && std::abs(s.y() - p.y) < 40) alone = false;
        if (alone) stars.emplace_back(p.x, p.y);
        if (static_cast<int>(stars.size()) == count) break;
    }
    return stars;
}

} // namespace

class DeconvolveTest : public QObject {
    Q_OBJECT
private slots:
    void psfDialogAddsRefusesAndClears();
    void dialogNumbersAndPreviewRule();
    void requestedPreviewStaysWhileScrolledAndZoomed();
    void commandMakesTheDocumentTheLibraryComputes();
    void sampleBlurredByALopsidedStarIsSharpened();
};

void DeconvolveTest::psfDialogAddsRefusesAndClears() {
    Shell s;
    MessageRecorder messages;
    ui::CWinQuillonDoc* d = s.newImage(120, 80, BW_IMAGE);
    fillStars(d->image(), {{40.3, 40.2, 30000}, {90.0, 35.0, 20000}}, 1.4, 300);
    ui::CWinQuillonView* v = s.frame->activeView();
    s.app->settings().lucyPsfX = 8; // an even stored size is made odd
    whenModal<ui::PsfDialog>([](ui::PsfDialog* dlg) {
        QCOMPARE(dlg->windowTitle(),
                 QStringLiteral("PSF für Lucy-Richardson-Deconvolution hinzufügen"));
        QCOMPARE(dlg->psfWidth(), 9);
        QCOMPARE(dlg->countLabel()->text(), QStringLiteral("0"));
        QVERIFY(dlg->widthField()->isEnabled());
        QVERIFY(dlg->pictureLabel()->pixmap().width() > 100);
        QVERIFY(dlg->maximaLabel()->text().startsWith(QStringLiteral("Maximalwerte im Rahmen:")));
        QVERIFY(typeInto(dlg->heightField(), QStringLiteral("4"))); // odd: 5
        QCOMPARE(dlg->psfHeight(), 5);
        shot(dlg, "psf-dialog");
        dlg->addButton()->click();
    });
    s.frame->addReferenceStar(v, {41, 39});
    QCOMPARE(d->image().psfCount(), 1);
    QCOMPARE(d->image().psf()[0].width, 9);
    QCOMPARE(d->image().psf()[0].height, 5);
    QCOMPARE(s.app->settings().lucyPsfY, 5);

    // A flat spot is refused with a message and the dialog stays; then the second star with
    // the size fixed; then "Bisherige PSF löschen" frees the size again.
    whenModal<ui::PsfDialog>([&](ui::PsfDialog* dlg) {
        QVERIFY(!dlg->widthField()->isEnabled());
        QCOMPARE(dlg->countLabel()->text(), QStringLiteral("1"));
        dlg->addButton()->click();
        QCOMPARE(messages.texts.size(), 1);
        QVERIFY(messages.texts[0].contains(QStringLiteral("nicht heller")));
        QVERIFY(dlg->isVisible());
        dlg->clearButton()->click();
        QCOMPARE(d->image().psfCount(), 0);
        QVERIFY(dlg->widthField()->isEnabled());
        dlg->reject();
    });
    s.frame->addReferenceStar(v, {10, 70});
    QCOMPARE(d->image().psfCount(), 0);
}

void DeconvolveTest::dialogNumbersAndPreviewRule() {
    Shell s;
    ui::CWinQuillonDoc* d = s.newImage(1000, 1000, BW_IMAGE);
    d->image().psf()[0] = PsfKernel{5, 5, std::vector<float>(25, 0.04f)};
    d->image().setPsfCount(2);
    s.app->settings().lucyIterations = 10;
    ui::DeconvolutionDialog dlg(s.frame->activeView(), s.app->settings(), s.app->layerSelection(),
                                s.frame);
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Lucy-Richardson Deconv."));
    QCOMPARE(dlg.timeLabel()->text(), QStringLiteral("14 sek."));
    QCOMPARE(dlg.sizeLabel()->text(), QStringLiteral("5 x 5 Pixel"));
    QCOMPARE(dlg.countLabel()->text(), QStringLiteral("2"));
    QVERIFY(dlg.previewFollowsChanges()); // 1 × 10 × 25 < 3000
    QVERIFY(typeInto(dlg.iterationsField(), QStringLiteral("0")));
    QCOMPARE(dlg.iterations(), 1);
    dlg.minusButton()->click();
    QCOMPARE(dlg.iterations(), 1);
    QVERIFY(typeInto(dlg.iterationsField(), QStringLiteral("5000")));
    QCOMPARE(dlg.iterations(), 1000);
    dlg.plusButton()->click();
    QCOMPARE(dlg.iterationsField()->text(), QStringLiteral("1000"));
    QCOMPARE(dlg.timeLabel()->text(), QStringLiteral("24 min."));
    // Beyond the limit the preview waits for "Vorschau berechnen".
    QVERIFY(!dlg.previewFollowsChanges());
    dlg.show();
    Shell::settle();
    ui::PreviewWindow* p = dlg.previewWindow();
    QVERIFY(p);
    p->recompute();
    QVERIFY(p->resultPanel()->picture().isNull());
    QVERIFY(typeInto(dlg.iterationsField(), QStringLiteral("2")));
    dlg.minusButton()->click();
    QVERIFY(dlg.previewFollowsChanges());
    QVERIFY(!p->resultPanel()->picture().isNull());
    dlg.okButton()->click();
    QCOMPARE(s.app->settings().lucyIterations, 1);
}

// A preview only computed on request: scrolling and zooming afterwards keep its picture; the
// next request computes the new place.
void DeconvolveTest::requestedPreviewStaysWhileScrolledAndZoomed() {
    Shell s;
    ui::CWinQuillonDoc* d = s.newImage(600, 400, BW_IMAGE);
    fillNoise(d->image(), 5);
    d->image().psf()[0] = PsfKernel{11, 11, std::vector<float>(121, 1.0f / 121)};
    d->image().setPsfCount(1);
    s.app->settings().lucyIterations = 25; // 25 × 121 ≥ 3000
    ui::DeconvolutionDialog dlg(s.frame->activeView(), s.app->settings(), s.app->layerSelection(),
                                s.frame);
    QVERIFY(!dlg.previewFollowsChanges());
    dlg.show();
    Shell::settle();
    ui::PreviewWindow* p = dlg.previewWindow();
    QVERIFY(p);
    p->setZoom(400);
    QVERIFY(p->resultPanel()->picture().isNull());
    dlg.computeButton()->click();
    const QImage computed = p->resultPanel()->picture();
    QVERIFY(!computed.isNull());
    p->horizontalBar()->setValue(p->horizontalBar()->value() + 60);
    QCOMPARE(p->resultPanel()->picture(), computed);
    p->zoomInButton()->click();
    QCOMPARE(p->resultPanel()->picture(), computed);
    dlg.computeButton()->click();
    QVERIFY(!p->resultPanel()->picture().isNull() && p->resultPanel()->picture() != computed);
    dlg.plusButton()->click(); // a changed parameter leaves nothing stale in view
    QVERIFY(p->resultPanel()->picture().isNull());
    dlg.reject();
}

void DeconvolveTest::commandMakesTheDocumentTheLibraryComputes() {
    Shell s;
    MessageRecorder messages;
    ui::CWinQuillonDoc* d = s.newImage(64, 48);
    fillStars(d->image(), {{20.0, 20.0, 40000}, {45.0, 30.0, 30000}}, 1.5, 400, 0);
    fillStars(d->image(), {{20.0, 20.0, 30000}, {45.0, 30.0, 20000}}, 1.5, 200, 1);
    fillStars(d->image(), {{20.0, 20.0, 20000}, {45.0, 30.0, 10000}}, 1.5, 100, 2);
    const int before = static_cast<int>(s.app->documents().size());
    // Without PSF the menu entry explains how to collect one and does nothing else.
    s.frame->updateActions();
    s.frame->action(Cmd::LucyRichardson)->trigger();
    QCOMPARE(messages.texts, QStringList{QString::fromUtf8(kNoPsfDefined)});
    QCOMPARE(static_cast<int>(s.app->documents().size()), before);

    Image& img = d->image();
    addReferenceStar(img, psfCutout(img, 20.0f, 20.0f), 7, 7);
    s.app->layerSelection().mask = 0b101;
    whenModal<ui::DeconvolutionDialog>([](ui::DeconvolutionDialog* dlg) {
        QVERIFY(typeInto(dlg->iterationsField(), QStringLiteral("4")));
        dlg->okButton()->click();
    });
    s.frame->action(Cmd::LucyRichardson)->trigger();
    QCOMPARE(static_cast<int>(s.app->documents().size()), before + 1);
    ui::CWinQuillonDoc* result = s.frame->activeDocument();
    QCOMPARE(result->title(), QStringLiteral("Lucy Richardson Deconv."));
    Image expected;
    makeImage(expected, 64, 48, RGB_IMAGE, constant(0));
    DeconvolveOptions o;
    o.iterations = 4;
    o.mask = 0b101;
    deconvolve(expected, img, o);
    QCOMPARE(QString::fromStdString(firstDifference(result->image(), expected)), QString());
}

void DeconvolveTest::sampleBlurredByALopsidedStarIsSharpened() {
    Shell s;
    ui::CWinQuillonDoc* d = s.newImage(1200, 900);
    Image& img = d->image();
    Image demo;
    makeDemoImage(demo);
    for (int p = 0; p < 3; ++p)
        std::copy(demo.planeData(p), demo.planeData(p) + 1200 * 900, img.planeData(p));
    blurLopsided(img);
    d->refreshViews(false);
    ui::CWinQuillonView* v = s.frame->activeView();
    initFromImage(v->renderer());
    const std::vector<QPointF> stars = brightStars(img, 6);
    QVERIFY(stars.size() >= 3);
    for (const QPointF& p : stars) {
        whenModal<ui::PsfDialog>([](ui::PsfDialog* dlg) {
            if (dlg->countLabel()->text() == QStringLiteral("0")) shot(dlg, "psf-dialog-sample");
            dlg->addButton()->click();
        });
        s.frame->addReferenceStar(v, p);
    }
    QVERIFY(img.psfCount() >= 3);
    whenModal<ui::DeconvolutionDialog>([](ui::DeconvolutionDialog* dlg) {
        QVERIFY(typeInto(dlg->iterationsField(), QStringLiteral("25")));
        shot(dlg, "deconvolution-dialog");
        dlg->okButton()->click();
    });
    s.frame->action(Cmd::LucyRichardson)->trigger();
    ui::CWinQuillonView* after = s.frame->activeView();
    QVERIFY(after && after != v);
    // The brightest star's peak rises and its tail shrinks: more light in the core pixel.
    const QPointF star = stars.front();
    const int x = static_cast<int>(star.x()), y = static_cast<int>(star.y());
    QVERIFY(after->document()->image().row(0, y)[x] > img.row(0, y)[x]);
    for (ui::CWinQuillonView* view : {v, after}) {
        view->parentWidget()->resize(560, 440);
        view->setZoomAndRedraw(2.0);
        const QRect r = view->visibleRect();
        view->setVisibleTopLeft(QPoint(x * 2 - r.width() / 2, y * 2 - r.height() / 2));
    }
    Shell::settle();
    shot(v->parentWidget(), "lucy-before");
    shot(after->parentWidget(), "lucy-after");
}

QTEST_MAIN(DeconvolveTest)
#include "test_deconvolve.moc"
