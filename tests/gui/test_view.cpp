// Views: zoom commands and limits, the zoom box text rule, the window title, scrolling,
// the selection rectangle, black/white point picking and full screen.
#include "gui_test_support.h"

#include "core/picture.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMimeData>
#include <QScrollBar>
#include <QStatusBar>

using namespace quillon;
using namespace quillon::test;
using quillon::ui::Cmd;

class ViewTest : public QObject {
    Q_OBJECT
private slots:
    void zoomBoxTextRule();
    void zoomCommandsStepAndClamp();
    void zoomLimitsOfSmallAndWideImages();
    void titleShowsZoomTypeAndOverlay();
    void keyboardScrolling();
    void selectionByDragMoveAndClick();
    void ctrlClickOutsideTheImageShowsTheMessage();
    void fullScreenAndEscape();
    void newViewCopiesZoomAndPosition();
    void statusBarReadoutAndProgress();
    void droppedFilesAreOpened();
    void nightModeTurnsTheScreenRedAndBack();
    void arrangeAllWindowsShowsEveryDocument();
};

static ui::CWinQuillonView* openView(Shell& s, int w, int h, std::uint16_t type = RGB_IMAGE,
                                     bool overlay = false) {
    ui::CWinQuillonDoc* d = s.newImage(w, h, type, overlay);
    if (!d || d->views().isEmpty()) return nullptr;
    ui::CWinQuillonView* v = d->views().first();
    QTest::qWait(20); // the first view fits itself once it is shown
    Shell::settle();
    return v;
}

void ViewTest::zoomBoxTextRule() {
    MessageRecorder msgs;
    Shell s;
    ui::CWinQuillonView* v = openView(s, 400, 300);
    QVERIFY(v);
    QComboBox* box = s.frame->zoomBox();
    QVERIFY(box->isEnabled());
    auto type = [&](const QString& text) {
        box->lineEdit()->selectAll();
        QTest::keyClicks(box->lineEdit(), text);
        QTest::keyClick(box->lineEdit(), Qt::Key_Return);
        Shell::settle();
    };
    type(QStringLiteral("200"));
    QCOMPARE(v->zoom(), 2.0);
    QCOMPARE(box->currentText(), QStringLiteral("200%"));
    type(QStringLiteral("abc"));
    QCOMPARE(v->zoom(), 2.0);
    QCOMPARE(box->currentText(), QStringLiteral("200%"));
    type(QStringLiteral("0"));
    QCOMPARE(box->currentText(), QStringLiteral("200%"));
    type(QStringLiteral("37.5%"));
    QCOMPARE(v->zoom(), 0.375);
    QCOMPARE(box->currentText(), QStringLiteral("38%"));
    type(QStringLiteral("Opt"));
    QVERIFY(v->zoom() != 0.375);
    QCOMPARE(box->currentText(), QString::asprintf("%.0f%%", v->zoom() * 100));
    // Choosing a list entry applies it as well.
    emit box->activated(box->findText(QStringLiteral("400%")));
    QCOMPARE(v->zoom(), 4.0);
    QCOMPARE(box->itemText(0), QStringLiteral("Optimal"));
    QCOMPARE(box->count(), 8);
}

void ViewTest::zoomCommandsStepAndClamp() {
    Shell s;
    ui::CWinQuillonView* v = openView(s, 400, 300);
    QVERIFY(v);
    s.frame->action(Cmd::Zoom100)->trigger();
    QCOMPARE(v->zoom(), 1.0);
    const double in[] = {2, 3, 4, 5, 6, 8, 10};
    for (double z : in) {
        s.frame->action(Cmd::ZoomIn)->trigger();
        QCOMPARE(v->zoom(), z);
    }
    s.frame->action(Cmd::Zoom100)->trigger();
    const double out[] = {1.0 / 2, 1.0 / 3, 1.0 / 4,  1.0 / 5, 1.0 / 6,
                          1.0 / 7, 1.0 / 8, 1.0 / 10, 1.0 / 12};
    for (double z : out) {
        s.frame->action(Cmd::ZoomOut)->trigger();
        QVERIFY2(qFuzzyCompare(v->zoom(), z), qPrintable(QString::number(v->zoom())));
    }
    v->setZoomAndRedraw(0.37);
    s.frame->action(Cmd::ZoomIn)->trigger();
    QCOMPARE(v->zoom(), 0.5);
    v->setZoomAndRedraw(0.37);
    s.frame->action(Cmd::ZoomOut)->trigger();
    QVERIFY(qFuzzyCompare(v->zoom(), 1.0 / 3));
    // Far out: the minimum keeps the image 10 pixels wide.
    for (int i = 0; i < 40; ++i) s.frame->action(Cmd::ZoomOut)->trigger();
    QCOMPARE(v->zoom(), 10.0 / 300);
}

void ViewTest::zoomLimitsOfSmallAndWideImages() {
    Shell s;
    ui::CWinQuillonView* small = openView(s, 10, 10);
    QVERIFY(small);
    small->setZoomAndRedraw(0.5);
    QCOMPARE(small->zoom(), 1.0);
    small->setZoomAndRedraw(400);
    QCOMPARE(small->zoom(), 50.0);
    ui::CWinQuillonView* wide = openView(s, 14000, 10, BW_IMAGE);
    QVERIFY(wide);
    QCOMPARE(s.frame->activeView(), wide);
    emit s.frame->zoomBox()->activated(7);
    QCOMPARE(wide->zoom(), 16383.0 / 14000);
    QCOMPARE(s.frame->zoomBox()->currentText(), QStringLiteral("117%"));
}

void ViewTest::titleShowsZoomTypeAndOverlay() {
    Shell s;
    ui::CWinQuillonView* v = openView(s, 200, 100, LRGB_IMAGE, true);
    v->setZoomAndRedraw(0.5);
    QCOMPARE(v->titleText(), QStringLiteral("Bild1[*] @ 50% (LRGB + Overlay)"));
    v->setZoomAndRedraw(1.0 / 3);
    QCOMPARE(v->titleText(), QStringLiteral("Bild1[*] @ 33% (LRGB + Overlay)"));
    ui::CWinQuillonView* g = openView(s, 200, 100, BW_IMAGE);
    g->setZoomAndRedraw(2);
    QCOMPARE(g->titleText(), QStringLiteral("Bild2[*] @ 200% (Graubild)"));
    QVERIFY(g->parentWidget()->isWindowModified());
}

void ViewTest::keyboardScrolling() {
    Shell s;
    ui::CWinQuillonView* v = openView(s, 2000, 1500);
    v->setZoomAndRedraw(1);
    v->setFocus();
    QScrollBar* h = v->horizontalScrollBar();
    QScrollBar* vb = v->verticalScrollBar();
    QVERIFY(h->maximum() > 0 && vb->maximum() > 0);
    QTest::keyClick(v, Qt::Key_End);
    QCOMPARE(h->value(), h->maximum());
    QCOMPARE(vb->value(), vb->maximum());
    QTest::keyClick(v, Qt::Key_Home);
    QCOMPARE(h->value(), 0);
    QCOMPARE(vb->value(), 0);
    QTest::keyClick(v, Qt::Key_PageDown); // one page to the right
    QCOMPARE(h->value(), std::min(h->maximum(), v->viewport()->width()));
    QCOMPARE(vb->value(), 0);
    QTest::keyClick(v, Qt::Key_PageUp);
    QCOMPARE(h->value(), 0);
    QTest::keyClick(v, Qt::Key_Down);
    QCOMPARE(vb->value(), std::max(1, v->viewport()->height() / 32));
    QTest::keyClick(v, Qt::Key_Right);
    QCOMPARE(h->value(), std::max(1, v->viewport()->width() / 32));
    // The visible rectangle follows the scroll position in zoomed coordinates.
    QCOMPARE(v->visibleRect().topLeft(), QPoint(h->value(), vb->value()));
    QCOMPARE(v->toImage(QPoint(0, 0)), QPoint(h->value(), vb->value()));
}

void ViewTest::selectionByDragMoveAndClick() {
    Shell s;
    ui::CWinQuillonView* v = openView(s, 200, 150);
    v->setZoomAndRedraw(2);
    v->setVisibleTopLeft({0, 0});
    QWidget* vp = v->viewport();
    QVERIFY(!v->hasSelection());
    // Drag from image pixel (10, 5) to (30, 20): window position = pixel × 2 + 1.
    QTest::mousePress(vp, Qt::LeftButton, {}, v->toWindow({10, 5}) + QPoint(1, 1));
    QTest::mouseMove(vp, v->toWindow({20, 12}) + QPoint(1, 1));
    QTest::mouseMove(vp, v->toWindow({30, 20}) + QPoint(1, 1));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, v->toWindow({30, 20}) + QPoint(1, 1));
    QVERIFY(v->hasSelection());
    QCOMPARE(v->selection(), QRect(QPoint(10, 5), QPoint(29, 19)));
    QCOMPARE(s.frame->pane(6)->text(), QStringLiteral("Auswahl: 20 × 15"));
    // A drag from column 10 to 11 gives width 1.
    QTest::mousePress(vp, Qt::LeftButton, {}, v->toWindow({60, 60}) + QPoint(1, 1));
    QTest::mouseMove(vp, v->toWindow({61, 70}) + QPoint(1, 1));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, v->toWindow({61, 70}) + QPoint(1, 1));
    QCOMPARE(v->selection().width(), 1);
    QCOMPARE(v->selection().height(), 10);
    // Dragging inside the selection moves it by whole image pixels.
    v->setSelection(QRect(QPoint(10, 10), QPoint(49, 39)));
    QTest::mousePress(vp, Qt::LeftButton, {}, v->toWindow({20, 20}));
    QTest::mouseMove(vp, v->toWindow({25, 27}));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, v->toWindow({25, 27}));
    QCOMPARE(v->selection(), QRect(QPoint(15, 17), QPoint(54, 46)));
    // A click without a move removes it.
    QTest::mouseClick(vp, Qt::LeftButton, {}, v->toWindow({120, 120}));
    QVERIFY(!v->hasSelection());
    QCOMPARE(v->selection(), QRect(QPoint(-1, -1), QPoint(-1, -1)));
    // The dashes move while the view has the focus.
    v->setSelection(QRect(5, 5, 20, 20));
    v->setFocus();
    QApplication::setActiveWindow(s.frame);
    const int phase = v->dashPhase();
    QTRY_VERIFY_WITH_TIMEOUT(v->dashPhase() != phase, 1000);
}

void ViewTest::ctrlClickOutsideTheImageShowsTheMessage() {
    MessageRecorder msgs;
    Shell s;
    ui::CWinQuillonView* v = openView(s, 50, 40);
    v->setZoomAndRedraw(1); // 50 × 40 centred in a larger window: the border is outside
    QTest::mouseClick(v->viewport(), Qt::LeftButton, Qt::ControlModifier, QPoint(2, 2));
    QCOMPARE(msgs.texts, QStringList{QString::fromUtf8(ui::kOutsideImage)});
    QTest::mouseClick(v->viewport(), Qt::RightButton, Qt::ControlModifier, QPoint(2, 2));
    QCOMPARE(msgs.texts.size(), 2);
    // Inside the image both succeed without a message.
    QPoint inside = v->toWindow({25, 20});
    QTest::mouseClick(v->viewport(), Qt::LeftButton, Qt::ControlModifier, inside);
    QTest::mouseClick(v->viewport(), Qt::RightButton, Qt::ControlModifier, inside);
    QCOMPARE(msgs.texts.size(), 2);
    QVERIFY(v->pickBlackPoint({-1, 5})); // the disc of radius 5 still reaches the image
    QVERIFY(!v->pickBlackPoint({-7, 5}));
    QVERIFY(!v->pickWhitePoint({50, 5}));
    QVERIFY(v->pickWhitePoint({49.5, 39.5}));
}

void ViewTest::fullScreenAndEscape() {
    Shell s;
    ui::CWinQuillonView* v = openView(s, 2000, 1500);
    v->setZoomAndRedraw(2);
    v->setVisibleTopLeft({50, 40});
    const QPoint top = v->visibleRect().topLeft();
    s.frame->action(Cmd::FullScreenMain)->trigger();
    QVERIFY(s.frame->isInFullScreen());
    QVERIFY(v->isFullScreen());
    QVERIFY(!s.frame->statusBar()->isVisible());
    QVERIFY(s.frame->menuBar()->isVisible()); // only toolbar and status bar make room
    QVERIFY(v->zoom() != 2.0);                // "Optimal" over the whole area
    QTest::keyClick(v, Qt::Key_Escape);
    QVERIFY(!s.frame->isInFullScreen());
    QVERIFY(!v->isFullScreen());
    QCOMPARE(v->zoom(), 2.0);
    QCOMPARE(v->visibleRect().topLeft(), top);
    QVERIFY(s.frame->statusBar()->isVisible());
    QCOMPARE(s.frame->action(Cmd::FullScreenAll)->isEnabled(),
             QGuiApplication::screens().size() >= 2);
}

void ViewTest::newViewCopiesZoomAndPosition() {
    Shell s;
    ui::CWinQuillonView* v = openView(s, 1000, 800);
    v->setZoomAndRedraw(2);
    v->setVisibleTopLeft({100, 60});
    s.frame->action(Cmd::NewView)->trigger();
    Shell::settle();
    QCOMPARE(v->document()->views().size(), 2);
    ui::CWinQuillonView* w = v->document()->views().last();
    QCOMPARE(w->zoom(), 2.0);
    QCOMPARE(w->visibleRect().topLeft(), QPoint(100, 60));
    QVERIFY(w->titleText().startsWith(QStringLiteral("Bild1:2[*]")));
}

void ViewTest::statusBarReadoutAndProgress() {
    Shell s;
    ui::CWinQuillonView* v = openView(s, 60, 40);
    v->setZoomAndRedraw(4);
    ImageHeader h;
    QCOMPARE(v->document()->image().BeginSampleWrite(h), 0);
    v->document()->image().row(0, 7)[12] = 1234;
    v->document()->image().row(1, 7)[12] = -5;
    v->document()->image().row(2, 7)[12] = 32767;
    v->document()->image().EndSampleWrite();
    QTest::mouseMove(v->viewport(), v->toWindow({12, 7}) + QPoint(2, 2));
    QCOMPARE(s.frame->pane(1)->text(), QStringLiteral("R= 1234"));
    QCOMPARE(s.frame->pane(2)->text(), QStringLiteral("G= -5"));
    QCOMPARE(s.frame->pane(3)->text(), QStringLiteral("B= 32767"));
    QCOMPARE(s.frame->pane(4)->text(), QStringLiteral("x = 12"));
    QCOMPARE(s.frame->pane(5)->text(), QStringLiteral("y = 7"));
    // Outside the image nothing is written.
    v->setZoomAndRedraw(1);
    QTest::mouseMove(v->viewport(), QPoint(1, 1));
    QCOMPARE(s.frame->pane(4)->text(), QStringLiteral("x = 12"));

    // The library's progress text appears in the first pane with its bar.
    Progress p(s.frame->progressSink());
    p.begin("Maskenfilter", 100, 1);
    p.step(50);
    QCOMPARE(s.frame->pane(0)->text(), QStringLiteral("   Maskenfilter  50% "));
    p.end();
    QCOMPARE(s.frame->pane(0)->text(), QStringLiteral("Bereit"));
}

void ViewTest::droppedFilesAreOpened() {
    MessageRecorder msgs;
    Shell s;
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/nonexistent/fallen.fts")),
                  QUrl::fromLocalFile(QStringLiteral("/nonexistent/zwei.CR2"))});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(s.frame, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(s.frame, &drop);
    Shell::settle();
    // Each dropped file went through the open step (neither exists: two reader messages).
    QCOMPARE(msgs.texts.size(), 2);
}

void ViewTest::nightModeTurnsTheScreenRedAndBack() {
    Shell s;
    ui::CWinQuillonView* v = openView(s, 60, 40);
    ImageHeader h;
    QCOMPARE(v->document()->image().BeginSampleWrite(h), 0);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x) v->document()->image().row(1, y)[x] = 32767;
    v->document()->image().EndSampleWrite();
    v->refresh(false);
    const QPoint at = v->toWindow({30, 20}) + QPoint(1, 1);
    auto shownAt = [&] {
        Shell::settle();
        return v->viewport()->grab().toImage().pixel(at);
    };
    const QRgb normal = shownAt();
    QVERIFY(qGreen(normal) > 100 && qRed(normal) == 0);
    const QPalette before = QApplication::palette();

    s.frame->action(Cmd::NightMode)->trigger();
    QVERIFY(s.frame->action(Cmd::NightMode)->isChecked());
    QCOMPARE(s.app->settings().nightMode, 1);
    const QPalette night = QApplication::palette();
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Text,
                                     QPalette::WindowText, QPalette::ButtonText}) {
        QCOMPARE(night.color(role).green(), 0);
        QCOMPARE(night.color(role).blue(), 0);
    }
    // The image keeps its brightness, in red only.
    const QRgb red = shownAt();
    QCOMPARE(qRed(red), greyOf(normal & 0xFFFFFFu));
    QCOMPARE(qGreen(red), 0);
    QCOMPARE(qBlue(red), 0);
    shot(s.frame, "night_mode_on");

    s.frame->action(Cmd::NightMode)->trigger();
    QCOMPARE(s.app->settings().nightMode, 0);
    QCOMPARE(QApplication::palette(), before);
    QCOMPARE(shownAt(), normal);
    shot(s.frame, "night_mode_off");
}

// "Alle Fenster anordnen": minimised and maximised document windows come back, none overlaps
// another, all lie inside the document area, and the active one stays active.
void ViewTest::arrangeAllWindowsShowsEveryDocument() {
    Shell s;
    std::vector<ui::CWinQuillonView*> views;
    for (int i = 0; i < 3; ++i) views.push_back(openView(s, 300 + 100 * i, 200));
    auto frameOf = [](ui::CWinQuillonView* v) {
        return qobject_cast<QMdiSubWindow*>(v->parentWidget());
    };
    frameOf(views[0])->showMinimized();
    frameOf(views[1])->showMaximized();
    s.frame->mdiArea()->setActiveSubWindow(frameOf(views[1]));
    Shell::settle();
    QVERIFY(s.frame->action(Cmd::ArrangeAllWindows)->isEnabled());
    s.frame->action(Cmd::ArrangeAllWindows)->trigger();
    Shell::settle();
    const QRect area = s.frame->mdiArea()->viewport()->rect();
    for (std::size_t i = 0; i < views.size(); ++i) {
        QMdiSubWindow* w = frameOf(views[i]);
        QVERIFY(!w->isMinimized() && !w->isMaximized() && w->isVisible());
        QVERIFY(area.contains(w->geometry()));
        for (std::size_t j = i + 1; j < views.size(); ++j)
            QVERIFY(!w->geometry().intersects(frameOf(views[j])->geometry()));
    }
    QCOMPARE(s.frame->activeView(), views[1]);
}

QTEST_MAIN(ViewTest)
#include "test_view.moc"
