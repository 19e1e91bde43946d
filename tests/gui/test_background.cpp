// "Hintergrund extrahieren": the dialog's samples, method switch and preview rule, a frame
// without usable sky, and the whole command from the menu as one undo step.
#include "gui_test_support.h"
#include "support/test_images.h"
#include "support/whole_image.h"

#include "ui/dialogs/background_dialog.h"
#include "ui/dialogs/preview_window.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

using namespace quillon;
using namespace quillon::test;
using quillon::ui::Cmd;

namespace {

// Sky 2000 with a strong gradient (light pollution from the left, a dome from the top-left
// corner) and a little seeded noise on every layer.
int skyWithGradient(int p, int x, int y) {
    const double u = x / 239.0, v = y / 179.0;
    return int(2000 + 900 * (1 - u) + 600 * ((1 - u) * (1 - u) + (1 - v) * (1 - v)) +
               testkit::noise(5, -20, 20)(p, x, y));
}

ui::CWinQuillonDoc* gradientDocument(Shell& s) {
    ui::CWinQuillonDoc* d = s.newImage(240, 180);
    testkit::fill(d->image(), skyWithGradient);
    // A display that shows the gradient (and after extraction the flat sky at its mean).
    const std::array<std::int16_t, 3> black{2200, 2200, 2200}, white{3600, 3600, 3600};
    ui::CWinQuillonView* v = s.frame->activeView();
    v->renderer().setPoints(&black, &white);
    v->renderer().rebuildLut();
    d->refreshViews(false);
    Shell::settle();
    return d;
}

// Samples the fit kept, or (offered) those offered to it.
int usedCount(const ui::BackgroundDialog& dlg, bool offered = false) {
    int n = 0;
    for (const BackgroundSample& x : dlg.samples()) n += (offered ? x.used() : x.kept()) ? 1 : 0;
    return n;
}

} // namespace

class BackgroundTest : public QObject {
    Q_OBJECT
private slots:
    void samplesMethodAndPreview();
    void frameWithoutSkyGivesAMessage();
    void commandIsOneUndoStep();
};

void BackgroundTest::samplesMethodAndPreview() {
    Shell s;
    gradientDocument(s);
    ui::CWinQuillonView* v = s.frame->activeView();
    ui::BackgroundDialog dlg(v, s.app->settings(), s.app->layerSelection(), s.frame);
    QVERIFY(dlg.fitted());
    QVERIFY(dlg.okButton()->isEnabled());
    const int used = usedCount(dlg);
    QCOMPARE(dlg.statusLabel()->text(),
             QStringLiteral("%1 von %2 Proben benutzt.").arg(used).arg(16 * 16));

    // A click on a used sample switches it off; one between samples adds one, a second
    // click there takes it away again.
    const BackgroundSample first = dlg.samples()[20];
    QVERIFY(first.kept());
    const int offered = usedCount(dlg, true);
    dlg.toggleSample(first.x, first.y);
    QVERIFY(!dlg.samples()[20].used());
    QCOMPARE(usedCount(dlg, true), offered - 1);
    dlg.toggleSample(first.x, first.y);
    QCOMPARE(usedCount(dlg, true), offered);
    QCOMPARE(usedCount(dlg), used);
    const int gx = (dlg.samples()[0].x + dlg.samples()[1].x) / 2;
    dlg.toggleSample(gx, dlg.samples()[0].y);
    QCOMPARE(int(dlg.samples().size()), 16 * 16 + 1);
    dlg.toggleSample(gx, dlg.samples()[0].y);
    QCOMPARE(int(dlg.samples().size()), 16 * 16);
    // The same clicks on the document view: a sample off and on again, a new one between.
    const BackgroundSample other = dlg.samples()[21];
    QVERIFY(other.used());
    QWidget* onView = dlg.viewSamples();
    QVERIFY(onView && onView->isVisible() && onView->parentWidget() == v->viewport());
    QTest::mouseClick(onView, Qt::LeftButton, {}, dlg.viewPosition(other.x, other.y));
    QVERIFY(!dlg.samples()[21].used());
    QTest::mouseClick(onView, Qt::LeftButton, {}, dlg.viewPosition(other.x, other.y));
    QVERIFY(dlg.samples()[21].used());
    QTest::mouseClick(onView, Qt::LeftButton, {}, dlg.viewPosition(gx, dlg.samples()[0].y));
    QCOMPARE(int(dlg.samples().size()), 16 * 16 + 1);
    QTest::mouseClick(onView, Qt::LeftButton, {}, dlg.viewPosition(gx, dlg.samples()[0].y));
    QCOMPARE(int(dlg.samples().size()), 16 * 16);
    QTest::mouseClick(onView, Qt::LeftButton, {}, dlg.viewPosition(other.x, other.y));
    QVERIFY(!dlg.samples()[21].used());

    // The method switch enables its own parameter and keeps a model.
    QVERIFY(dlg.degreeBox()->isEnabled());
    QVERIFY(!dlg.smoothingBox()->isEnabled());
    dlg.surfaceButton()->setChecked(true);
    QVERIFY(!dlg.degreeBox()->isEnabled());
    QVERIFY(dlg.smoothingBox()->isEnabled());
    QVERIFY(dlg.fitted());
    QCOMPARE(dlg.options().method, BackgroundMethod::Spline);
    dlg.polynomialButton()->setChecked(true);

    // The preview of a piece uses the model of the whole image at the piece's place: the
    // result is flat, the model follows the gradient there.
    const PreviewPiece piece{150, 100, 60, 50};
    ui::PreviewResult result = dlg.preview(piece);
    QVERIFY(result.image);
    dlg.showModelBox()->setChecked(true);
    ui::PreviewResult model = dlg.preview(piece);
    QVERIFY(model.image);
    for (int p = 0; p < 3; ++p) {
        const int x = 30, y = 25;
        const double truth = skyWithGradient(p, piece.left + x, piece.top + y) -
                             testkit::noise(5, -20, 20)(p, piece.left + x, piece.top + y);
        QVERIFY(std::abs(model.image->row(p, y)[x] - truth) < 15);
        // The flattened sky sits at the mean level of the model, the same everywhere.
        QVERIFY(std::abs(result.image->row(p, 0)[0] - result.image->row(p, 49)[59]) < 60);
    }
    shot(&dlg, "background-dialog");
}

void BackgroundTest::frameWithoutSkyGivesAMessage() {
    Shell s;
    ui::CWinQuillonDoc* d = s.newImage(120, 100);
    testkit::fill(d->image(), testkit::constant(kSampleMax));
    d->refreshViews(false);
    ui::BackgroundDialog dlg(s.frame->activeView(), s.app->settings(), s.app->layerSelection(),
                             s.frame);
    QVERIFY(!dlg.fitted());
    QVERIFY(!dlg.okButton()->isEnabled());
    QVERIFY(dlg.statusLabel()->text().startsWith(QStringLiteral("Zu wenige brauchbare")));
    QVERIFY(!dlg.preview({0, 0, 50, 50}).image);
}

void BackgroundTest::commandIsOneUndoStep() {
    Shell s;
    ui::CWinQuillonDoc* d = gradientDocument(s);
    const Image before = d->image().clone();
    QAction* a = s.frame->action(Cmd::BackgroundExtraction);
    QVERIFY(a->isEnabled());
    QCOMPARE(a->text(), QStringLiteral("&Hintergrund extrahieren..."));
    shot(s.frame, "background-before");
    // The dialog is not modal (the view takes the clicks on samples), but the main window's
    // commands are held back while it is open.
    QTimer::singleShot(50, [&s] {
        ui::BackgroundDialog* dlg = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* found = qobject_cast<ui::BackgroundDialog*>(w); found && found->isVisible())
                dlg = found;
        QVERIFY(dlg);
        QVERIFY(!QApplication::activeModalWidget());
        shot(s.frame, "background-samples-on-view");
        QTest::mouseClick(s.frame->menuBar(), Qt::LeftButton, {}, QPoint(10, 5));
        const bool menuOpened = QApplication::activePopupWidget() != nullptr;
        const bool closed = s.frame->close();
        dlg->gridBox()->setValue(12);
        dlg->smoothingBox()->setValue(0.0);
        dlg->accept();
        QVERIFY(!menuOpened);
        QVERIFY(!closed);
    });
    a->trigger();
    Shell::settle();
    // The parameters are in the settings record (a smoothing of 0 too); the next dialog
    // starts from them.
    QCOMPARE(s.app->settings().backgroundGrid, 12);
    QCOMPARE(s.app->settings().backgroundSmoothing, 0);
    {
        ui::BackgroundDialog next(s.frame->activeView(), s.app->settings(), s.app->layerSelection(),
                                  s.frame);
        QCOMPARE(next.gridBox()->value(), 12);
        QCOMPARE(next.smoothingBox()->value(), 0.0);
    }
    // The gradient is gone: left and right edges, top and bottom agree.
    for (int p = 0; p < 3; ++p) {
        auto mean = [&](int x0, int y0) {
            double sum = 0;
            for (int y = y0; y < y0 + 20; ++y)
                for (int x = x0; x < x0 + 20; ++x) sum += d->image().row(p, y)[x];
            return sum / 400;
        };
        QVERIFY(std::abs(mean(0, 0) - mean(220, 160)) < 10);
        QVERIFY(std::abs(mean(0, 160) - mean(220, 0)) < 10);
    }
    shot(s.frame, "background-after");
    QAction* undo = s.frame->action(Cmd::EditUndo);
    QCOMPARE(undo->text(), QStringLiteral("&Rückgängig: Hintergrund extrahieren\tStrg+Z"));
    undo->trigger();
    Shell::settle();
    QCOMPARE(QString::fromStdString(testkit::wholeImageDifference(d->image(), before)), QString());
}

QTEST_MAIN(BackgroundTest)
#include "test_background.moc"
