// The tool windows: following the active view, the scaling controls and their prompts, the
// histogram controls, the navigator, "Tools ausblenden" and "Fenster Anordnen".
#include "gui_test_support.h"

#include "display/histogram.h"
#include "ui/dialogs/layer_matrix_dialog.h"
#include "ui/dialogs/number_field.h"
#include "ui/tools/histogram_window.h"
#include "ui/tools/image_info_window.h"
#include "ui/tools/navigator_window.h"
#include "ui/tools/scaling_window.h"
#include "ui/tools/tool_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTableWidget>

using namespace quillon;
using namespace quillon::test;
using quillon::ui::Cmd;
using quillon::ui::Tool;

namespace {

// Sets all three black and white points of the view and shows them in the tool windows.
void setPoints(ui::CMainFrame* frame, int black, int white) {
    ImageRenderer& r = frame->activeView()->renderer();
    Points b{static_cast<std::int16_t>(black), static_cast<std::int16_t>(black),
             static_cast<std::int16_t>(black)};
    Points w{static_cast<std::int16_t>(white), static_cast<std::int16_t>(white),
             static_cast<std::int16_t>(white)};
    r.setPoints(&b, &w);
    r.setWeights({1.0f, 1.0f, 1.0f});
    r.rebuildLut();
    frame->toolWindows()->refreshAll();
}

ui::ScalingWindow* openScaling(Shell& s) {
    s.frame->action(Cmd::ToolScaling)->trigger();
    auto* w = qobject_cast<ui::ScalingWindow*>(s.frame->toolWindows()->window(Tool::Scaling));
    return w;
}

} // namespace

class ToolsTest : public QObject {
    Q_OBJECT
private slots:
    void windowsFollowTheActiveViewAndDisableWithoutOne();
    void redWhitePointWithKeepRatioOffAndOn();
    void pickedWhitePointShowsInTheScalingWindow();
    void brightnessPlusMovesBothPoints();
    void gammaStopsAtItsLimits();
    void outOfRangeInputShowsTheRangePrompt();
    void presetListReturnsToItsFirstEntry();
    void greyImagesForceKeepRatioAndEnableThePalette();
    void histogramDrawsAndFollowsItsRangeControls();
    void navigatorShowsZoomAndSliderAndSetsZoom();
    void hideToolsTwiceRestoresExactlyWhatWasOpen();
    void arrangeOn1280DesktopPlacesTheNavigator();
    void positionsAreRememberedWhenClosed();
    void firstStartDocksEveryToolWindowSideBySide();
    void floatedDockComesBackWhereItWasAfterARestart();
    void defaultArrangementComesBack();
    void normaliseDividesEachColumnBySum();
    void layerMatrixOkStoresMatrixAndNames();
    void imageInfoRefusesLatitude91AndStaysInEditMode();
    void imageInfoCommentLinesAndApplyFocusRule();
    void imageInfoCancelRestoresAndReenablesTheMainWindow();
};

void ToolsTest::windowsFollowTheActiveViewAndDisableWithoutOne() {
    Shell s;
    MessageRecorder rec; // answers the save question with "Nein"
    QVERIFY(s.frame->action(Cmd::ToolScaling)->isEnabled());
    auto* w = openScaling(s);
    QVERIFY(w && w->isVisible());
    QVERIFY(s.frame->action(Cmd::ToolScaling)->isChecked());
    QVERIFY(!w->body()->isEnabled());
    QVERIFY(!w->stepButton(0)->isEnabled());

    ui::CWinQuillonDoc* a = s.newImage(64, 48);
    QCOMPARE(w->view(), s.frame->activeView());
    QVERIFY(w->stepButton(0)->isEnabled());
    setPoints(s.frame, 5, 77);
    QCOMPARE(w->pointField(0, true)->text(), QStringLiteral("77"));

    // A second document's view takes over; its own values are shown.
    s.newImage(32, 32);
    QCOMPARE(w->view(), s.frame->activeView());
    setPoints(s.frame, 1, 99);
    QCOMPARE(w->pointField(2, false)->text(), QStringLiteral("1"));
    s.frame->mdiArea()->setActiveSubWindow(s.frame->mdiArea()->subWindowList().first());
    Shell::settle();
    QCOMPARE(w->view()->document(), a);
    QCOMPARE(w->pointField(0, true)->text(), QStringLiteral("77"));

    // Closing every document leaves every control disabled.
    s.app->closeAllDocuments();
    Shell::settle();
    QVERIFY(w->view() == nullptr);
    QVERIFY(!w->stepButton(0)->isEnabled());
    QVERIFY(!w->pointField(0, true)->isEnabled());

    // The close button clears the check mark.
    s.frame->toolWindows()->docks().dock(ui::Dock::Scaling)->close();
    QVERIFY(!s.frame->toolShown(Tool::Scaling));
    QVERIFY(!s.frame->action(Cmd::ToolScaling)->isChecked());
}

void ToolsTest::redWhitePointWithKeepRatioOffAndOn() {
    Shell s;
    s.newImage(64, 48);
    auto* w = openScaling(s);
    setPoints(s.frame, 0, 200);
    const ImageRenderer& r = s.frame->activeView()->renderer();

    if (w->keepRatioBox()->isChecked()) w->keepRatioBox()->click();
    QVERIFY(!r.params().keepRatio);
    QVERIFY(typeInto(w->pointField(0, true), QStringLiteral("300")));
    QCOMPARE(r.params().whitePoint, (Points{300, 200, 200}));
    QCOMPARE(r.params().blackPoint, (Points{0, 0, 0}));
    QCOMPARE(w->pointField(1, true)->text(), QStringLiteral("200"));

    // With "beibehalten" on, switching balances at once and green and blue follow red.
    w->keepRatioBox()->click();
    QVERIFY(r.params().keepRatio);
    QCOMPARE(r.params().whitePoint, (Points{300, 300, 300}));
    QVERIFY(typeInto(w->pointField(0, true), QStringLiteral("400")));
    QCOMPARE(r.params().whitePoint, (Points{400, 400, 400}));
    QCOMPARE(w->pointField(1, true)->text(), QStringLiteral("400"));
    QCOMPARE(w->pointField(2, true)->text(), QStringLiteral("400"));
}

void ToolsTest::pickedWhitePointShowsInTheScalingWindow() {
    Shell s;
    ui::CWinQuillonDoc* d = s.newImage(16, 16);
    auto* w = openScaling(s);
    if (w->keepRatioBox()->isChecked()) w->keepRatioBox()->click();
    ImageHeader h;
    QCOMPARE(d->image().BeginSampleWrite(h), 0);
    h.planes[0][3][4] = 1234;
    h.planes[1][3][4] = 567;
    h.planes[2][3][4] = 89;
    d->image().EndSampleWrite();
    QVERIFY(s.frame->activeView()->pickWhitePoint(QPointF(4.5, 3.5)));
    QCOMPARE(w->pointField(0, true)->text(), QStringLiteral("1234"));
    QCOMPARE(w->pointField(1, true)->text(), QStringLiteral("567"));
    QCOMPARE(w->pointField(2, true)->text(), QStringLiteral("89"));
}

void ToolsTest::brightnessPlusMovesBothPoints() {
    Shell s;
    s.newImage(64, 48);
    auto* w = openScaling(s);
    setPoints(s.frame, 0, 200);
    QTest::mouseClick(w->stepButton(1), Qt::LeftButton);
    const ImageRenderer& r = s.frame->activeView()->renderer();
    QCOMPARE(r.params().blackPoint, (Points{-10, -10, -10}));
    QCOMPARE(r.params().whitePoint, (Points{190, 190, 190}));
    QCOMPARE(w->pointField(0, false)->text(), QStringLiteral("-10"));
    QCOMPARE(w->pointField(0, true)->text(), QStringLiteral("190"));
}

void ToolsTest::gammaStopsAtItsLimits() {
    Shell s;
    s.newImage(64, 48);
    auto* w = openScaling(s);
    const ImageRenderer& r = s.frame->activeView()->renderer();
    for (int i = 0; i < 100; ++i) QTest::mouseClick(w->stepButton(5), Qt::LeftButton);
    const float top = r.params().exponent;
    QVERIFY2(top >= 4.0f && top < 4.5f, qPrintable(QString::number(top)));
    QTest::mouseClick(w->stepButton(5), Qt::LeftButton);
    QCOMPARE(r.params().exponent, top);
    QCOMPARE(w->exponentField()->text(), QString::number(top, 'f', 2));
    for (int i = 0; i < 100; ++i) QTest::mouseClick(w->stepButton(4), Qt::LeftButton);
    const float bottom = r.params().exponent;
    QVERIFY2(bottom <= 0.2f && bottom > 0.15f, qPrintable(QString::number(bottom)));
    QTest::mouseClick(w->stepButton(4), Qt::LeftButton);
    QCOMPARE(r.params().exponent, bottom);
}

void ToolsTest::outOfRangeInputShowsTheRangePrompt() {
    Shell s;
    MessageRecorder rec;
    s.newImage(64, 48);
    auto* w = openScaling(s);
    setPoints(s.frame, 0, 200);
    const ImageRenderer& r = s.frame->activeView()->renderer();

    QVERIFY(!typeInto(w->pointField(1, false), QStringLiteral("40000")));
    QVERIFY(!typeInto(w->pointField(1, false), QStringLiteral("abc")));
    QCOMPARE(r.params().blackPoint[1], 0);
    QVERIFY(!typeInto(w->weightField(0), QStringLiteral("0")));
    QVERIFY(!typeInto(w->exponentField(), QStringLiteral("11")));
    QCOMPARE(rec.texts,
             (QStringList{QStringLiteral("Geben Sie bitte eine ganze Zahl zwischen -32768 und "
                                         "32767 ein."),
                          QStringLiteral("Geben Sie bitte eine Zahl ein."),
                          QStringLiteral("Geben Sie bitte eine Zahl zwischen 0.01 und 100 ein."),
                          QStringLiteral("Geben Sie bitte eine Zahl zwischen 0.1 und 10 ein.")}));

    // A decimal comma is accepted; weights are shown with two decimals.
    QVERIFY(typeInto(w->weightField(2), QStringLiteral("2,5")));
    QCOMPARE(r.params().channelWeight[2], 2.5f);
    QCOMPARE(w->weightField(2)->text(), QStringLiteral("2.50"));
}

void ToolsTest::presetListReturnsToItsFirstEntry() {
    Shell s;
    s.newImage(64, 48);
    auto* w = openScaling(s);
    const Points before = s.frame->activeView()->renderer().params().whitePoint;
    QComboBox* list = w->presetList();
    QCOMPARE(list->count(), 7);
    QCOMPARE(list->itemText(0), QStringLiteral("<auto-scaling...>"));
    QCOMPARE(list->itemText(6), QStringLiteral("Sonne"));
    list->setCurrentIndex(3);
    emit list->activated(3);
    QCOMPARE(list->currentIndex(), 0);
    QCOMPARE(w->lutTypeList()->itemText(2), QStringLiteral("Kontur"));

    // Reset returns to the image's stored display.
    setPoints(s.frame, 3, 4000);
    QTest::mouseClick(w->resetButton(), Qt::LeftButton);
    QCOMPARE(s.frame->activeView()->renderer().params().whitePoint, before);
}

void ToolsTest::greyImagesForceKeepRatioAndEnableThePalette() {
    Shell s;
    s.newImage(64, 48, BW_IMAGE);
    auto* w = openScaling(s);
    QVERIFY(w->keepRatioBox()->isChecked());
    QVERIFY(!w->keepRatioBox()->isEnabled());
    QVERIFY(!w->weightField(0)->isEnabled());
    QVERIFY(w->paletteList()->isEnabled());
    QVERIFY(!w->overlayBox()->isEnabled());
    w->paletteList()->setCurrentIndex(2);
    emit w->paletteList()->activated(2);
    QCOMPARE(s.frame->activeView()->renderer().params().palette, 2);
    w->invertBox()->click();
    QVERIFY(s.frame->activeView()->renderer().params().invert);

    s.newImage(64, 48, RGB_IMAGE, true);
    QVERIFY(w->keepRatioBox()->isEnabled());
    QVERIFY(!w->paletteList()->isEnabled());
    QVERIFY(w->overlayBox()->isEnabled());
}

void ToolsTest::histogramDrawsAndFollowsItsRangeControls() {
    Shell s;
    s.newImage(64, 48);
    s.frame->action(Cmd::ToolHistogram)->trigger();
    auto* h = qobject_cast<ui::HistogramWindow*>(s.frame->toolWindows()->window(Tool::Histogram));
    QVERIFY(h && h->isVisible());
    Shell::settle();
    HistogramView& r = s.frame->activeView()->display().histogram;
    QVERIFY(!h->area()->picture().isNull());
    QCOMPARE(h->area()->picture().size(), h->area()->size());
    const HistogramRange start = r.range();
    QCOMPARE(h->lowerField()->text(), QString::number(start.lo));
    QCOMPARE(h->scrollBar()->value(), start.lo + 32768);

    QTest::mouseClick(h->narrowButton(), Qt::LeftButton);
    const HistogramRange narrow = narrowHistogramRange(start);
    QCOMPARE(r.range().lo, narrow.lo);
    QCOMPARE(r.range().hi, narrow.hi);
    QCOMPARE(h->upperField()->text(), QString::number(narrow.hi));

    QVERIFY(typeInto(h->upperField(), QStringLiteral("1000")));
    QCOMPARE(r.range().hi, 1000);
    h->scrollBar()->setValue(32768 + 100);
    QCOMPARE(r.range().lo, 100);
    QCOMPARE(r.range().hi, 100 + 1000 - narrow.lo);

    h->channelBox(1)->click();
    QCOMPARE(r.channels(), (std::array<bool, 3>{true, false, true}));
}

void ToolsTest::navigatorShowsZoomAndSliderAndSetsZoom() {
    Shell s;
    s.newImage(400, 300);
    s.frame->action(Cmd::ToolNavigator)->trigger();
    auto* n = qobject_cast<ui::NavigatorWindow*>(s.frame->toolWindows()->window(Tool::Navigator));
    QVERIFY(n && n->isVisible());
    Shell::settle();
    ui::CWinQuillonView* v = s.frame->activeView();
    QCOMPARE(n->percentField()->text(), QString::number(std::lround(v->zoom() * 100)));
    QVERIFY(!n->picture()->thumb.isNull());

    QVERIFY(typeInto(n->percentField(), QStringLiteral("200")));
    QCOMPARE(v->zoom(), 2.0);
    NavigatorSlider slider(400, 300);
    QCOMPARE(n->slider()->value(), slider.positionFor(2.0));
    n->slider()->setValue(0);
    QCOMPARE(v->zoom(), slider.zoomAt(0));
    QTest::mouseClick(n->plusButton(), Qt::LeftButton);
    QCOMPARE(v->zoom(), zoomInStep(slider.zoomAt(0)));
    // The view's own zoom commands move the navigator along.
    v->zoomTo100();
    QCOMPARE(n->percentField()->text(), QStringLiteral("100"));
}

void ToolsTest::hideToolsTwiceRestoresExactlyWhatWasOpen() {
    Shell s;
    s.newImage(64, 48);
    s.frame->action(Cmd::ToolScaling)->trigger();
    s.frame->action(Cmd::ToolHistogram)->trigger();
    ui::ToolWindows* tw = s.frame->toolWindows();
    QVERIFY(tw->isVisible(Tool::Scaling) && tw->isVisible(Tool::Histogram));
    QVERIFY(!tw->isVisible(Tool::Navigator));

    s.frame->action(Cmd::HideTools)->trigger();
    QVERIFY(!tw->isVisible(Tool::Scaling) && !tw->isVisible(Tool::Histogram));
    QVERIFY(s.frame->toolsHidden());
    // The entries show what comes back and cannot be used meanwhile.
    QVERIFY(s.frame->action(Cmd::ToolScaling)->isChecked());
    QVERIFY(!s.frame->action(Cmd::ToolScaling)->isEnabled());
    QVERIFY(!s.frame->action(Cmd::ToolNavigator)->isChecked());

    s.frame->action(Cmd::HideTools)->trigger();
    QVERIFY(!s.frame->toolsHidden());
    QVERIFY(tw->isVisible(Tool::Scaling) && tw->isVisible(Tool::Histogram));
    QVERIFY(!tw->isVisible(Tool::Navigator));
    QVERIFY(s.frame->action(Cmd::ToolScaling)->isEnabled());
    QCOMPARE(s.frame->toolBits() & 0x1Fu, (1u << 1) | (1u << 2));
}

void ToolsTest::arrangeOn1280DesktopPlacesTheNavigator() {
    Shell s;
    s.frame->arrangeToolWindows(1280);
    ui::ToolWindows* tw = s.frame->toolWindows();
    QVERIFY(tw->isVisible(Tool::Navigator));
    QCOMPARE(s.frame->toolBits(), kAllToolBits);
    // Docked now; floated, each goes to its standard position on that desktop.
    for (auto [d, at] : {std::pair{ui::Dock::Navigator, QPoint(1048, 95)},
                         std::pair{ui::Dock::Scaling, QPoint(1048, 73)},
                         std::pair{ui::Dock::Histogram, QPoint(1, 300)}}) {
        QVERIFY(!tw->docks().dock(d)->isFloating());
        tw->docks().dock(d)->setFloating(true);
        QCOMPARE(tw->docks().dock(d)->pos(), at);
    }
}

void ToolsTest::positionsAreRememberedWhenClosed() {
    Shell s;
    s.frame->action(Cmd::ToolHistogram)->trigger();
    QDockWidget* h = s.frame->toolWindows()->docks().dock(ui::Dock::Histogram);
    h->setFloating(true);
    h->move(123, 234);
    s.frame->action(Cmd::ToolHistogram)->trigger();
    QVERIFY(!h->isVisible());
    QCOMPARE(s.app->settings().windowPoint(WindowSlot::Histogram), (WindowPoint{123, 234}));
    s.app->settings().setWindowPoint(WindowSlot::Histogram, {40, 50});
    s.frame->action(Cmd::ToolHistogram)->trigger();
    QCOMPARE(h->pos(), QPoint(40, 50));
}

namespace {
QDockWidget* dockOf(ui::CMainFrame* f, ui::Dock d) {
    return f->toolWindows()->docks().dock(d);
}
// The document area and every dock on the screen, in main-window coordinates (a dock behind
// another's tab is moved out of the window).
QList<std::pair<QString, QRect>> shownAreas(ui::CMainFrame* f) {
    QList<std::pair<QString, QRect>> areas{{QStringLiteral("mdi"), f->mdiArea()->geometry()}};
    for (int i = 0; i < ui::kDockCount; ++i) {
        QDockWidget* d = dockOf(f, static_cast<ui::Dock>(i));
        if (d->isFloating() || (d->isVisible() && d->geometry().intersects(f->rect())))
            areas.append({d->objectName(), d->isFloating() ? QRect() : d->geometry()});
    }
    return areas;
}
// Equal names, rectangles equal within a few pixels (separators settle to the minimum sizes).
bool sameAreas(const QList<std::pair<QString, QRect>>& a,
               const QList<std::pair<QString, QRect>>& b) {
    if (a.size() != b.size()) return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        const QRect &p = a[i].second, &q = b[i].second;
        if (a[i].first != b[i].first || std::abs(p.left() - q.left()) > 8 ||
            std::abs(p.top() - q.top()) > 8 || std::abs(p.right() - q.right()) > 8 ||
            std::abs(p.bottom() - q.bottom()) > 8)
            return false;
    }
    return true;
}
} // namespace

void ToolsTest::firstStartDocksEveryToolWindowSideBySide() {
    for (QSize size : {QSize(1280, 800), QSize(1920, 1080)}) {
        Shell s;
        s.frame->resize(size);
        s.frame->openToolWindows(kAllToolBits); // as the first start does
        Shell::settle();
        for (int i = 0; i <= static_cast<int>(Tool::HelpWizard); ++i) {
            QDockWidget* d = dockOf(s.frame, static_cast<ui::Dock>(i));
            QVERIFY2(!d->isHidden() && !d->isFloating(), qPrintable(d->objectName()));
        }
        QVERIFY(s.frame->tabifiedDockWidgets(dockOf(s.frame, ui::Dock::ImageInfo))
                    .contains(dockOf(s.frame, ui::Dock::Photometry)));
        // Information, histogram, scaling and navigator in front; nothing over anything else.
        const auto areas = shownAreas(s.frame);
        QCOMPARE(areas.size(), 5);
        for (qsizetype i = 0; i < areas.size(); ++i) {
            QVERIFY2(s.frame->rect().contains(areas[i].second), qPrintable(areas[i].first));
            for (qsizetype j = i + 1; j < areas.size(); ++j)
                QVERIFY2(!areas[i].second.intersects(areas[j].second),
                         qPrintable(areas[i].first + QLatin1Char('/') + areas[j].first));
        }
        QVERIFY(s.frame->mdiArea()->width() >= size.width() / 2);
    }
}

void ToolsTest::floatedDockComesBackWhereItWasAfterARestart() {
    SettingsRecord saved;
    QRect where;
    {
        Shell s;
        s.frame->openToolWindows(kAllToolBits);
        QDockWidget* h = dockOf(s.frame, ui::Dock::Histogram);
        h->setFloating(true); // as the float button: its own place and size
        QCOMPARE(h->pos(), QPoint(1, 300));
        QCOMPARE(h->size(), QSize(300, 230));
        h->setGeometry(200, 150, 320, 260);
        h->close(); // the close button
        QVERIFY(!s.frame->toolShown(Tool::Histogram));
        s.frame->action(Cmd::ToolHistogram)->trigger();
        QVERIFY(h->isVisible() && h->isFloating());
        where = h->geometry();
        QCOMPARE(where.topLeft(), QPoint(200, 150));
        QVERIFY(s.frame->close());
        saved = s.app->settings();
    }
    // The next start reads the same settings.
    auto app = std::make_unique<ui::CWinQuillonApp>();
    app->settings() = saved;
    ui::CMainFrame* f = app->createMainFrame();
    f->show();
    f->openToolWindows(static_cast<unsigned>(saved.toolBits));
    Shell::settle();
    QDockWidget* h = dockOf(f, ui::Dock::Histogram);
    QVERIFY(h->isVisible() && h->isFloating());
    QCOMPARE(h->geometry(), where);
    QVERIFY(f->toolShown(Tool::Histogram) && f->action(Cmd::ToolHistogram)->isChecked());
    QCOMPARE(f->dockWidgetArea(dockOf(f, ui::Dock::Scaling)), Qt::RightDockWidgetArea);
    QVERIFY(f->toolWindows()->window(Tool::Histogram)->isVisible());
}

void ToolsTest::defaultArrangementComesBack() {
    Shell s;
    s.frame->resize(1280, 800);
    s.frame->openToolWindows(kAllToolBits);
    Shell::settle();
    const auto first = shownAreas(s.frame);
    dockOf(s.frame, ui::Dock::Scaling)->setFloating(true);
    s.frame->addDockWidget(Qt::RightDockWidgetArea, dockOf(s.frame, ui::Dock::Histogram));
    s.frame->action(Cmd::ToolNavigator)->trigger();
    dockOf(s.frame, ui::Dock::Photometry)->raise();
    Shell::settle();
    QVERIFY(!sameAreas(shownAreas(s.frame), first));
    s.frame->action(Cmd::WindowDefaultLayout)->trigger();
    Shell::settle();
    QVERIFY(sameAreas(shownAreas(s.frame), first));
    QCOMPARE(s.frame->toolBits(), kAllToolBits);
}

namespace {
ui::ImageInfoWindow* openInfo(Shell& s) {
    s.frame->action(Cmd::ImageInfo)->trigger();
    auto* w = qobject_cast<ui::ImageInfoWindow*>(s.frame->toolWindows()->window(Tool::ImageInfo));
    if (w) {
        QApplication::setActiveWindow(w);
        w->activateWindow();
    }
    return w;
}
// Presses "Übernehmen" as a click does: the button takes the focus, then applies.
bool clickApply(ui::ImageInfoWindow* w) {
    w->applyButton()->setFocus();
    return w->apply();
}
} // namespace

void ToolsTest::normaliseDividesEachColumnBySum() {
    Shell s;
    s.newImage(32, 32, USERDEFINED_IMAGE);
    ui::CWinQuillonView* v = s.frame->activeView();
    QVERIFY(s.frame->action(Cmd::EditMapping)->isEnabled());
    ui::LayerMatrixDialog dlg(v, s.app->settings(), s.frame);
    QTableWidget* g = dlg.grid();
    QCOMPARE(g->rowCount(), 3);
    QCOMPARE(g->horizontalHeaderItem(1)->text(), QStringLiteral("Ebenen-Name"));
    QCOMPARE(g->item(0, 0)->text(), QStringLiteral(" 1"));
    const QStringList red{QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("2")};
    for (int i = 0; i < 3; ++i) {
        g->item(i, 2)->setText(red[i]);
        g->item(i, 3)->setText(QStringLiteral("0"));
    }
    QTest::mouseClick(dlg.normaliseButton(), Qt::LeftButton);
    QCOMPARE(g->item(0, 2)->text(), QStringLiteral("0.250"));
    QCOMPARE(g->item(1, 2)->text(), QStringLiteral("0.250"));
    QCOMPARE(g->item(2, 2)->text(), QStringLiteral("0.500"));
    // A column summing to 0 stays as it is.
    QCOMPARE(g->item(0, 3)->text(), QStringLiteral("0.000"));
    QVERIFY(dlg.previewButton()->isEnabled());

    s.newImage(32, 32, RGB_IMAGE);
    QVERIFY(!s.frame->action(Cmd::EditMapping)->isEnabled());
}

void ToolsTest::layerMatrixOkStoresMatrixAndNames() {
    Shell s;
    MessageRecorder rec;
    s.newImage(32, 32, USERDEFINED_IMAGE);
    ui::CWinQuillonView* v = s.frame->activeView();
    ui::LayerMatrixDialog dlg(v, s.app->settings(), s.frame);
    QTableWidget* g = dlg.grid();
    g->item(0, 1)->setText(QString(80, QLatin1Char('H')));
    g->item(1, 2)->setText(QStringLiteral("0,5"));
    g->item(2, 4)->setText(QStringLiteral("x"));
    QVERIFY(!dlg.store());
    QCOMPARE(rec.texts, QStringList{QStringLiteral("Geben Sie bitte eine Zahl ein.")});
    g->item(2, 4)->setText(QStringLiteral("2"));
    QVERIFY(dlg.store());
    const std::vector<float>& m = v->renderer().params().layerMatrix;
    QCOMPARE(m.size(), std::size_t{9});
    QCOMPARE(m[1], 0.5f);         // red row, layer 2
    QCOMPARE(m[2 * 3 + 2], 2.0f); // blue row, layer 3
    QCOMPARE(v->document()->image().layerName(0).size(), std::size_t{64});
    QVERIFY(!v->renderer().histogram().valid);
}

void ToolsTest::imageInfoRefusesLatitude91AndStaysInEditMode() {
    Shell s;
    MessageRecorder rec;
    s.newImage(64, 48);
    ui::ImageInfoWindow* w = openInfo(s);
    QVERIFY(w && w->isVisible());
    QCOMPARE(w->windowTitle(), QStringLiteral("Bildinformation - zur Ansicht"));
    QTest::keyClicks(w->latitudeField(), QStringLiteral("1"));
    QVERIFY(w->editing());
    QCOMPARE(w->windowTitle(), QStringLiteral("Bildinformation - in Bearbeitung"));
    QVERIFY(!s.frame->menuBar()->isEnabled());
    QVERIFY(!s.frame->mdiArea()->isEnabled());

    w->latitudeField()->setText(QStringLiteral("91"));
    QVERIFY(!clickApply(w));
    QCOMPARE(rec.texts,
             QStringList{QStringLiteral("Geben Sie bitte eine Zahl zwischen -90 und 90 ein.")});
    QVERIFY(w->editing());
    QCOMPARE(s.frame->activeDocument()->image().info().latitude, 0.0f);

    w->latitudeField()->setText(QStringLiteral("48.5"));
    QVERIFY(!typeInto(w->temperatureField(), QStringLiteral("-300")));
    QCOMPARE(rec.texts.last(),
             QStringLiteral("Geben Sie bitte eine Zahl zwischen -273 und 199 ein."));
    QVERIFY(!typeInto(w->julianField(), QStringLiteral("morgen")));
    QCOMPARE(rec.texts.last(), QStringLiteral("Geben Sie bitte eine Zahl ein."));
    w->temperatureField()->setText(QStringLiteral("-20"));
    w->julianField()->setText(QStringLiteral("2451545.25"));
    QVERIFY(clickApply(w));
    const ImageInfo& info = s.frame->activeDocument()->image().info();
    QCOMPARE(info.latitude, 48.5f);
    QCOMPARE(info.temperature, -20.0f);
    QCOMPARE(info.julianDate, 2451545.25);
    QVERIFY(!w->editing());
    QVERIFY(s.frame->menuBar()->isEnabled());
    QVERIFY(s.frame->activeDocument()->isModified());
}

void ToolsTest::imageInfoCommentLinesAndApplyFocusRule() {
    using ui::ImageInfoWindow;
    QCOMPARE(ImageInfoWindow::commentLines(QStringLiteral("eins\nzwei\n")),
             (QStringList{QStringLiteral("eins"), QStringLiteral("zwei")}));
    QCOMPARE(ImageInfoWindow::commentLines(QStringLiteral("eins\n\ndrei")),
             (QStringList{QStringLiteral("eins"), QStringLiteral(" "), QStringLiteral("drei")}));
    QCOMPARE(ImageInfoWindow::commentLines(QString(80, QLatin1Char('a'))).first().size(), 71);

    Shell s;
    s.newImage(64, 48);
    ImageInfoWindow* w = openInfo(s);
    w->commentBox()->setPlainText(QStringLiteral("erste Zeile\n") + QString(80, QLatin1Char('x')) +
                                  QStringLiteral("\n"));
    QVERIFY(w->editing());
    // Enter inside a field only moves the focus to the button; the second Enter applies.
    w->exposureField()->setFocus();
    QTest::keyClick(w->exposureField(), Qt::Key_Return);
    QVERIFY(w->editing());
    QVERIFY(w->applyButton()->hasFocus());
    QTest::keyClick(w->applyButton(), Qt::Key_Return);
    QVERIFY(!w->editing());
    const ImageInfo& info = s.frame->activeDocument()->image().info();
    QCOMPARE(info.comments.size(), std::size_t{2});
    QCOMPARE(std::string(textOf(info.comments[1])), std::string(71, 'x'));
    // Shown again as stored: every line followed by a line break.
    QCOMPARE(w->commentBox()->toPlainText(), QStringLiteral("erste Zeile\n") +
                                                 QString(71, QLatin1Char('x')) +
                                                 QStringLiteral("\n"));
    // A date of more than 8 characters gets the length prompt instead of lost keys, and an
    // umlaut line keeps 71 characters.
    MessageRecorder rec;
    w->dateField()->setText(QStringLiteral("08/12/2026"));
    w->commentBox()->setPlainText(QString(80, QChar(0xE4)));
    QVERIFY(!clickApply(w));
    QCOMPARE(rec.texts,
             QStringList{QStringLiteral("Geben Sie bitte nicht mehr als 8 Zeichen ein.")});
    w->dateField()->setText(QStringLiteral("08/12/26"));
    QVERIFY(clickApply(w));
    QCOMPARE(utf8Length(textOf(info.comments[0])), std::size_t{71});
}

void ToolsTest::imageInfoCancelRestoresAndReenablesTheMainWindow() {
    Shell s;
    s.newImage(64, 48, BW_IMAGE, true);
    ui::ImageInfoWindow* w = openInfo(s);
    QCOMPARE(w->typeLabel()->text(), QStringLiteral("Graubild + Overlay"));
    QTest::keyClicks(w->dateField(), QStringLiteral("12/03/26"));
    QVERIFY(w->editing());
    QTest::mouseClick(w->cancelButton(), Qt::LeftButton);
    QVERIFY(!w->editing());
    QCOMPARE(w->dateField()->text(), QString());
    QVERIFY(s.frame->menuBar()->isEnabled());
    QVERIFY(s.frame->activeDocument()->image().info().date[0] == '\0');
}

QTEST_MAIN(ToolsTest)
#include "test_tools.moc"
