// The photometry window: following the mouse, fixing and releasing, the calibration shared by
// the views of an image, the reference list and the CSV record; screenshots on the sample.
#include "gui_test_support.h"

#include "core/progress.h"
#include "formats/demo_image.h"
#include "formats/fits_writer.h"
#include "ui/photometry/photometry_window.h"
#include "ui/tools/tool_window.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

using namespace quillon;
using namespace quillon::test;
using quillon::ui::Cmd;
using quillon::ui::Tool;

namespace {

ui::PhotometryWindow* openPhotometry(Shell& s) {
    s.frame->action(Cmd::ToolPhotometry)->trigger();
    Shell::settle();
    return qobject_cast<ui::PhotometryWindow*>(s.frame->toolWindows()->window(Tool::Photometry));
}

// The mouse moved over the view to the image pixel.
void moveTo(ui::CWinQuillonView* v, QPoint pixel) {
    const QPoint w = v->toWindow(pixel);
    QMouseEvent e(QEvent::MouseMove, QPointF(w), QPointF(v->viewport()->mapToGlobal(w)),
                  Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(v->viewport(), &e);
}

// The brightest star of the sample whose peak is not saturated in any layer: the largest
// green local maximum away from the borders with every layer below 30000 and lit neighbours.
QPoint brightest(const Image& img) {
    QPoint best(100, 100);
    int top = -32768;
    for (int y = 40; y < img.height() - 40; ++y)
        for (int x = 40; x < img.width() - 40; ++x) {
            const int g = img.row(1, y)[x];
            bool peak = g > top;
            for (int dy = -1; dy <= 1 && peak; ++dy)
                for (int dx = -1; dx <= 1 && peak; ++dx) peak = img.row(1, y + dy)[x + dx] <= g;
            // A star, not a hot pixel: its neighbours are lit too.
            peak = peak && img.row(1, y)[x - 1] > g / 3 && img.row(1, y - 1)[x] > g / 3;
            for (int l = 0; l < img.layerCount() && peak; ++l) peak = img.row(l, y)[x] < 30000;
            if (peak) {
                top = g;
                best = {x, y};
            }
        }
    return best;
}

} // namespace

class PhotometryTest : public QObject {
    Q_OBJECT
private slots:
    void followsTheMouseUntilFixedAndReleasesOnViewChange();
    void calibrationIsSharedByTheViewsOfAnImage();
};

void PhotometryTest::followsTheMouseUntilFixedAndReleasesOnViewChange() {
    Shell s;
    auto* w = openPhotometry(s);
    QVERIFY(w && w->isVisible());
    QVERIFY(!w->body()->isEnabled()); // no view yet
    QVERIFY(w->magnifier()->picture().isNull());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sample.fts"));
    {
        Image demo;
        makeDemoImage(demo);
        writeFits(demo, path.toStdString(), Progress::none());
    }
    QVERIFY(s.app->openDocument(path));
    Shell::settle();
    ui::CWinQuillonView* v = s.frame->activeView();
    v->setZoomAndRedraw(1.0);
    Shell::settle();
    QVERIFY(w->body()->isEnabled());
    const QPoint star = brightest(v->renderer().image());
    v->setVisibleTopLeft(star - QPoint(100, 100));
    Shell::settle();

    moveTo(v, star);
    QCOMPARE(w->area().x, star.x());
    QCOMPARE(w->area().y, star.y());
    QCOMPARE(w->field(0)->text(), QString::number(star.x()));
    QVERIFY(w->statistics()->toPlainText().contains(QStringLiteral("rel.Pixelsumme:")));
    QVERIFY(w->totalLabel()->text().toInt() > 0);
    QVERIFY(!w->magnifier()->picture().isNull());
    shot(w, "photometry_following_star");

    // Fixed by the context entry: the mouse no longer moves it.
    emit v->photometryTrack(star.x(), star.y(), true);
    QVERIFY(w->fixed() && w->fixedBox()->isChecked());
    moveTo(v, star + QPoint(7, 3));
    QCOMPARE(w->area().x, star.x());
    shot(w, "photometry_fixed_star");
    // Calibrated on this star as magnitude 8: the magnitude with its estimated error.
    QVERIFY(typeInto(w->presetField(), QStringLiteral("8")));
    QTest::mouseClick(w->addButton(), Qt::LeftButton);
    QCOMPARE(w->magnitudeLabel()->text(), QStringLiteral("8.00"));
    QVERIFY(w->errorLabel()->text().startsWith(QStringLiteral("± 0.0")));
    shot(w, "photometry_calibrated");

    // A second view takes over: the position is released and follows the mouse again.
    s.frame->action(Cmd::NewView)->trigger();
    Shell::settle();
    QVERIFY(s.frame->activeView() != v);
    QVERIFY(!w->fixed() && !w->fixedBox()->isChecked());
    ui::CWinQuillonView* v2 = s.frame->activeView();
    moveTo(v2, star + QPoint(2, 1));
    QCOMPARE(w->area().x, star.x() + 2);

    // x = 0 typed is kept inside: ex / 2 + rx.
    QVERIFY(typeInto(w->field(0), QStringLiteral("0")));
    QCOMPARE(w->field(0)->text(), QStringLiteral("6"));

    // Without a view everything is disabled.
    s.app->closeAllDocuments();
    Shell::settle();
    QVERIFY(!w->body()->isEnabled());
}

void PhotometryTest::calibrationIsSharedByTheViewsOfAnImage() {
    Shell s;
    auto* w = openPhotometry(s);
    ui::CWinQuillonDoc* d = s.newImage(80, 60, BW_IMAGE);
    Image& img = d->image();
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 80; ++x) img.row(0, y)[x] = 100;
    img.row(0, 30)[40] = 1100; // a one-pixel star of 1000 above the sky
    ui::CWinQuillonView* v = s.frame->activeView();
    emit v->photometryTrack(40, 30, true);
    QCOMPARE(w->totalLabel()->text(), QStringLiteral("3000"));
    QCOMPARE(w->magnitudeLabel()->text(), QStringLiteral("-----"));

    QVERIFY(typeInto(w->presetField(), QStringLiteral("10")));
    QTest::mouseClick(w->addButton(), Qt::LeftButton);
    QCOMPARE(img.photometry().coefficient, 3000.0f);
    QCOMPARE(w->countLabel()->text(), QStringLiteral("1"));
    QCOMPARE(w->magnitudeLabel()->text(), QStringLiteral("10.00"));
    QVERIFY(typeInto(w->presetField(), QStringLiteral("12")));
    QTest::mouseClick(w->addButton(), Qt::LeftButton);
    QCOMPARE(w->referenceList()->topLevelItemCount(), 2);

    // The other view of the image sees the same calibration.
    s.frame->action(Cmd::NewView)->trigger();
    Shell::settle();
    QCOMPARE(w->countLabel()->text(), QStringLiteral("2"));
    QCOMPARE(w->referenceList()->topLevelItemCount(), 2);

    // Removing the second reference leaves the first one's calibration.
    w->referenceList()->setCurrentItem(w->referenceList()->topLevelItem(1));
    QVERIFY(w->removeButton()->isEnabled());
    QTest::mouseClick(w->removeButton(), Qt::LeftButton);
    QCOMPARE(img.photometry().referenceCount, 1);
    QCOMPARE(img.photometry().coefficient, 3000.0f);

    // A typed coefficient within 0.1 % is ignored, another one stands for one reference.
    QVERIFY(typeInto(w->coefficientField(), QStringLiteral("3001")));
    QCOMPARE(img.photometry().coefficient, 3000.0f);
    QVERIFY(typeInto(w->coefficientField(), QStringLiteral("300")));
    QCOMPARE(img.photometry().coefficient, 300.0f);
    QCOMPARE(w->magnitudeLabel()->text(), QStringLiteral("7.50"));
    QCOMPARE(w->referenceList()->topLevelItemCount(), 0);

    QTest::mouseClick(w->resetButton(), Qt::LeftButton);
    QCOMPARE(img.photometry().coefficient, 0.0f);
    QCOMPARE(w->countLabel()->text(), QStringLiteral("0"));

    // The record: the fixed measurement and the two references, under one header.
    const QStringList lines = w->csvText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines[0].startsWith(QStringLiteral("x,y,ex,ey,rx,ry,")));
    QVERIFY(lines[1].startsWith(QStringLiteral("40,30,11,11,1,1,97,40,")));
    QTemporaryDir dir;
    QVERIFY(w->saveCsv(dir.filePath(QStringLiteral("m.csv"))));
}

QTEST_MAIN(PhotometryTest)
#include "test_photometry.moc"
