// "Debayer...": enabled for one-layer images, the dialog's pattern choice and preview, the new
// document, and a screenshot of a debayered star field next to its mosaic.
#include "gui_test_support.h"
#include "support/test_images.h"

#include "display/histogram.h"
#include "ops/debayer.h"
#include "ui/dialogs/debayer_dialog.h"

#include <QComboBox>
#include <QPushButton>
#include <QStandardItemModel>

using namespace quillon;
using namespace quillon::test;
using namespace quillon::testkit;
using quillon::ui::Cmd;

namespace {

// A colour star field (stars of three colours on a faint sky gradient) as a camera with an
// RGGB filter array takes it.
constexpr int kW = 240, kH = 160;
int starField(int c, int x, int y) {
    static const std::vector<Star> stars = {{40, 40, 0},  {120, 50, 0}, {190, 110, 0},
                                            {70, 120, 0}, {200, 30, 0}, {150, 130, 0}};
    static const double colour[6][3] = {{90000, 30000, 8000},  {20000, 40000, 90000},
                                        {60000, 60000, 60000}, {90000, 70000, 10000},
                                        {15000, 80000, 30000}, {50000, 20000, 80000}};
    std::vector<Star> s = stars;
    for (std::size_t i = 0; i < s.size(); ++i) s[i].flux = colour[i][c];
    return toSample(starValue(s, 1.8, 400 + x + (c == 2 ? y : 0), x, y));
}

ui::CWinQuillonDoc* mosaicDocument(Shell& s, bool cards) {
    ui::CWinQuillonDoc* d = s.newImage(kW, kH, BW_IMAGE);
    fill(d->image(),
         [](int, int x, int y) { return starField(bayerColour(BayerPattern::Rggb, x, y), x, y); });
    if (cards) {
        ImageInfo* info = nullptr;
        d->image().BeginInfoWrite(info);
        info->bayer.pattern = "RGGB";
        d->image().EndInfoWrite();
    }
    d->setModified(false);
    // The view was made for the empty image: it takes the automatic display of the star field.
    ImageRenderer& r = d->views().front()->renderer();
    d->image().samplesChanged();
    initFromImage(r);
    r.rebuildLut();
    d->refreshViews(false);
    return d;
}

} // namespace

class DebayerTest : public QObject {
    Q_OBJECT
private slots:
    void enabledForOneLayerImagesOnly();
    void previewPieceMatchesTheWholeResult();
    void debayerThroughTheMenu();
};

void DebayerTest::enabledForOneLayerImagesOnly() {
    Shell s;
    QVERIFY(!s.frame->action(Cmd::Debayer)->isEnabled());
    s.newImage(40, 30, RGB_IMAGE);
    QVERIFY(!s.frame->action(Cmd::Debayer)->isEnabled());
    s.newImage(40, 30, BW_IMAGE);
    QVERIFY(s.frame->action(Cmd::Debayer)->isEnabled());
}

void DebayerTest::previewPieceMatchesTheWholeResult() {
    // A piece at odd coordinates must show exactly the whole result's pixels (the pattern moves
    // with the piece, and its edges see the same neighbours); super-pixels at twice their size.
    Image m;
    makeImage(m, 60, 40, BW_IMAGE, noise(9, -3000, 3000));
    const PreviewPiece piece{13, 7, 21, 15};
    for (DebayerMethod method :
         {DebayerMethod::Bilinear, DebayerMethod::Vng, DebayerMethod::SuperPixel}) {
        const Image whole = debayerImage(m, BayerPattern::Gbrg, method);
        const auto got = ui::debayerPiece(m, piece, BayerPattern::Gbrg, method);
        QVERIFY(got);
        const int k = method == DebayerMethod::SuperPixel ? 2 : 1;
        const std::string diff = mismatch(*got, [&](int c, int x, int y) {
            return whole.row(c, (y + piece.top) / k)[(x + piece.left) / k];
        });
        QVERIFY2(diff.empty(), diff.c_str());
    }
}

void DebayerTest::debayerThroughTheMenu() {
    Shell s;
    ui::CWinQuillonDoc* bare = mosaicDocument(s, false);
    // Without BAYERPAT "Automatisch" cannot be chosen and RGGB is the choice.
    bool checked = false;
    whenModal<ui::DebayerDialog>([&](ui::DebayerDialog* d) {
        auto* model = qobject_cast<QStandardItemModel*>(d->patternBox()->model());
        checked = model && !model->item(0)->isEnabled() && d->patternBox()->currentIndex() == 1;
        d->reject();
    });
    s.frame->action(Cmd::Debayer)->trigger();
    Shell::settle();
    QVERIFY(checked);
    QCOMPARE(s.app->documents().size(), std::size_t(1));

    ui::CWinQuillonDoc* mosaic = mosaicDocument(s, true);
    s.frame->activeView()->setZoomAndRedraw(1.0);
    bool previewShown = false;
    whenModal<ui::DebayerDialog>([&](ui::DebayerDialog* d) {
        QCOMPARE(d->patternBox()->currentIndex(), 0);
        QVERIFY(d->patternBox()->currentText().contains(QStringLiteral("RGGB")));
        d->methodBox()->setCurrentIndex(static_cast<int>(DebayerMethod::Vng));
        ui::PreviewWindow* w = d->previewWindow();
        previewShown = w && !w->resultPanel()->picture().isNull();
        if (w) w->centreOn(QPointF(60, 50));
        shot(d, "debayer_dialog");
        if (w) shot(w, "debayer_preview");
        d->okButton()->click();
    });
    s.frame->action(Cmd::Debayer)->trigger();
    Shell::settle();
    QVERIFY(previewShown);
    ui::CWinQuillonDoc* colour = s.frame->activeDocument();
    QVERIFY(colour && colour != mosaic && colour != bare);
    QCOMPARE(colour->title(), QStringLiteral("Debayer"));
    const Image expected = debayerImage(mosaic->image(), BayerPattern::Rggb, DebayerMethod::Vng);
    QVERIFY(firstDifference(colour->image(), expected).empty());
    QVERIFY(!colour->image().info().bayer.present());
    QVERIFY(!s.frame->action(Cmd::Debayer)->isEnabled());

    // The star field next to its mosaic, at 200 %.
    QVERIFY(s.app->closeDocument(bare));
    Shell::settle();
    for (ui::CWinQuillonDoc* d : {mosaic, colour}) d->views().front()->setZoomAndRedraw(2.0);
    s.frame->action(Cmd::WindowTile)->trigger();
    Shell::settle();
    shot(s.frame, "debayer_star_field");
}

QTEST_MAIN(DebayerTest)
#include "test_debayer.moc"
