// The filter dialogs: "Ebenen auswählen" and the button text, the preview window's zoom and
// scroll rules, recomputation on release, the commands' size limits and the whole command
// from dialog to new document.
#include "gui_test_support.h"
#include "support/test_images.h"

#include "filters/filter.h"
#include "ui/commands/filter_commands.h"
#include "ui/dialogs/filter_dialogs.h"
#include "ui/dialogs/layer_matrix_dialog.h"
#include "ui/dialogs/layer_select_dialog.h"
#include "ui/dialogs/number_field.h"
#include "ui/dialogs/preview_window.h"

#include <QButtonGroup>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTableWidget>

#include <functional>

using namespace quillon;
using namespace quillon::test;
using namespace quillon::testkit;
using quillon::ui::Cmd;

namespace {} // namespace

class FiltersTest : public QObject {
    Q_OBJECT
private slots:
    void layerSelectionButtonTextFollowsTheDialog();
    void previewZoomIsClampedAndStepsKeepTheCentre();
    void slidersAndScrollBoxRecomputeOnlyOnRelease();
    void commandsNeedTheirMinimumImageSize();
    void menusAndDialogsFollowTheCommandTable();
    void highpassCommandMakesSmallerDocumentWithSelectedLayers();
    void zeroSumResultIsShownCentredOnZero();
    void thresholdNoiseFilterReportsReplacedPixels();
    void unsharpButtonsStepTheFactorsAndOkStoresThem();
    void previewReopensWhereItWasAndStoresItsPosition();
    void layerMappingPreviewUsesTheGridMatrix();
};

void FiltersTest::layerSelectionButtonTextFollowsTheDialog() {
    Shell s;
    s.newImage(40, 30);
    ui::CWinQuillonView* v = s.frame->activeView();
    LayerSelection& sel = s.app->layerSelection();
    QCOMPARE(sel.mask, 0u);
    ui::RecordDialog dlg(*filterOperation(FilterCommand::Highpass), v, s.app->settings(), sel,
                         s.frame);
    QCOMPARE(dlg.layersButton()->text(), QStringLiteral("Ebenen: Alle"));

    auto choose = [&](std::function<void(ui::LayerSelectDialog*)> act) {
        whenModal<ui::LayerSelectDialog>(act);
        dlg.chooseLayers();
    };
    // Mask 0 opens with every layer marked; taking one out gives a user selection.
    choose([](ui::LayerSelectDialog* d) {
        QCOMPARE(d->windowTitle(), QStringLiteral("Ebenen auswählen"));
        QCOMPARE(d->list()->count(), 3);
        QCOMPARE(d->list()->selectedItems().size(), 3);
        d->list()->item(1)->setSelected(false);
        shot(d, "layer-select");
        d->accept();
    });
    QCOMPARE(sel.mask, 0b101u);
    QCOMPARE(dlg.layersButton()->text(), QStringLiteral("Ebenen: Benutzerdefiniert"));
    // Opening again marks exactly the selected layers; Cancel changes nothing.
    choose([](ui::LayerSelectDialog* d) {
        QVERIFY(d->list()->item(0)->isSelected());
        QVERIFY(!d->list()->item(1)->isSelected());
        d->clearButton()->click();
        d->reject();
    });
    QCOMPARE(sel.mask, 0b101u);
    // Every entry marked, or none, both mean all layers.
    choose([](ui::LayerSelectDialog* d) {
        d->selectAllButton()->click();
        d->accept();
    });
    QCOMPARE(sel.mask, 0u);
    QCOMPARE(dlg.layersButton()->text(), QStringLiteral("Ebenen: Alle"));
    sel.mask = 0b10;
    choose([](ui::LayerSelectDialog* d) {
        d->clearButton()->click();
        d->accept();
    });
    QCOMPARE(sel.mask, 0u);
}

void FiltersTest::previewZoomIsClampedAndStepsKeepTheCentre() {
    Shell s;
    s.newImage(1000, 1000, BW_IMAGE);
    ui::CWinQuillonView* v = s.frame->activeView();
    ui::RecordDialog dlg(*filterOperation(FilterCommand::Noise), v, s.app->settings(),
                         s.app->layerSelection(), s.frame);
    dlg.show();
    ui::PreviewWindow* p = dlg.previewWindow();
    QVERIFY(p && p->isVisible());
    QCOMPARE(p->zoom(), 100.0f);
    // Opened centred on the image.
    QVERIFY(std::abs(p->centre().x() - 500.0) <= 0.5);
    QVERIFY(std::abs(p->centre().y() - 500.0) <= 0.5);
    QVERIFY(!p->resultPanel()->picture().isNull());

    QVERIFY(typeInto(p->zoomField(), QStringLiteral("10")));
    QCOMPARE(p->zoom(), 50.0f);
    QCOMPARE(p->zoomField()->text(), QStringLiteral("50.0"));
    // 3000 % is more than 1638.3 % allowed for 1000 pixels, and 20 image pixels must fill
    // the 135-pixel panel height: 675 %.
    QVERIFY(typeInto(p->zoomField(), QStringLiteral("3000")));
    QCOMPARE(p->zoom(), 675.0f);
    // Outside 50 … 3000 the field itself refuses.
    MessageRecorder msgs;
    QVERIFY(!typeInto(p->zoomField(), QStringLiteral("4000")));
    QCOMPARE(msgs.texts.size(), 1);

    QVERIFY(typeInto(p->zoomField(), QStringLiteral("100")));
    p->zoomInButton()->click();
    QCOMPARE(p->zoom(), 200.0f);
    p->zoomInButton()->click();
    QCOMPARE(p->zoom(), 300.0f);
    QVERIFY(std::abs(p->centre().x() - 500.0) < 1.0);
    p->zoomOutButton()->click();
    p->zoomOutButton()->click();
    p->zoomOutButton()->click();
    QCOMPARE(p->zoom(), 50.0f);
    QVERIFY(std::abs(p->centre().y() - 500.0) <= 1.0); // one zoomed pixel at 50 %
    // Scroll ranges cover the zoomed image with a page of one panel.
    QCOMPARE(p->horizontalBar()->maximum(), 500 - ui::PreviewWindow::kPanelWidth);
    QCOMPARE(p->verticalBar()->pageStep(), ui::PreviewWindow::kPanelHeight);

    // A small image is never shown smaller than the panel.
    s.newImage(30, 30, BW_IMAGE);
    ui::RecordDialog small(*filterOperation(FilterCommand::Noise), s.frame->activeView(),
                           s.app->settings(), s.app->layerSelection(), s.frame);
    small.show();
    QCOMPARE(small.previewWindow()->zoom(), 700.0f);
}

void FiltersTest::slidersAndScrollBoxRecomputeOnlyOnRelease() {
    Shell s;
    Image& img = s.newImage(800, 600)->image();
    fill(img, [](int, int x, int) { return x % 256; });
    ui::RecordDialog dlg(*filterOperation(FilterCommand::Lowpass), s.frame->activeView(),
                         s.app->settings(), s.app->layerSelection(), s.frame);
    dlg.show();
    ui::PreviewWindow* p = dlg.previewWindow();
    QVERIFY(p);
    const int n = p->computeCount();
    QSlider* strength = dlg.slider("staerke");
    strength->setSliderDown(true);
    strength->setValue(2);
    strength->setValue(3);
    QCOMPARE(p->computeCount(), n);
    strength->setSliderDown(false);
    QCOMPARE(p->computeCount(), n + 1);
    dlg.slider("groesse")->setValue(2); // keyboard or click: at once
    QCOMPARE(p->computeCount(), n + 2);

    QScrollBar* h = p->horizontalBar();
    const QImage before = p->originalPanel()->picture();
    h->setSliderDown(true);
    h->setValue(h->value() + 100);
    QCOMPARE(p->computeCount(), n + 2);
    QVERIFY(p->originalPanel()->picture() != before); // the original follows the drag
    h->setSliderDown(false);
    QCOMPARE(p->computeCount(), n + 3);
    h->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(p->computeCount(), n + 4);
}

void FiltersTest::commandsNeedTheirMinimumImageSize() {
    Shell s;
    s.newImage(20, 20);
    s.frame->updateActions();
    QVERIFY(s.frame->action(Cmd::Highpass)->isEnabled());
    QVERIFY(s.frame->action(Cmd::UnsharpMask)->isEnabled());
    s.newImage(19, 20);
    s.frame->updateActions();
    QVERIFY(!s.frame->action(Cmd::Highpass)->isEnabled());
    QVERIFY(!s.frame->action(Cmd::Lowpass)->isEnabled());
    QVERIFY(!s.frame->action(Cmd::UnsharpMask)->isEnabled());
    QVERIFY(s.frame->action(Cmd::NoiseFilter)->isEnabled());
    QVERIFY(s.frame->action(Cmd::SpecialFilter)->isEnabled());
    QVERIFY(s.frame->action(Cmd::LucyRichardson)->isEnabled()); // no size limit
}

// Every entry of the library's command table is linked to one menu command, which shows the
// table's text; the filter entries open the dialog the table names.
void FiltersTest::menusAndDialogsFollowTheCommandTable() {
    Shell s;
    s.newImage(40, 30);
    ui::CWinQuillonView* view = s.frame->activeView();
    QVERIFY(view);
    // Every action the menu bar reaches, through submenus too.
    QList<QAction*> reachable;
    std::function<void(const QList<QAction*>&)> collect = [&](const QList<QAction*>& actions) {
        for (QAction* a : actions) {
            reachable << a;
            if (a->menu()) collect(a->menu()->actions());
        }
    };
    collect(s.frame->menuBar()->actions());
    for (const FilterCommandInfo& e : filterCommands()) {
        // A row is reached through its linked command's action or through one entry made for it.
        int links = 0;
        Cmd cmd = Cmd::Count;
        for (const ui::OperationLink& l : ui::operationLinks())
            if (l.command == e.command) ++links, cmd = l.cmd;
        QList<QAction*> entries;
        for (QAction* a : reachable)
            if (a->property(ui::kLibraryCommandProperty) == QVariant(int(e.command))) entries << a;
        QCOMPARE(links + int(entries.size()), 1);
        QAction* shown = links ? s.frame->action(cmd) : entries.front();
        QVERIFY2(reachable.contains(shown), e.menuText);
        QCOMPARE(shown->text(), QString::fromUtf8(e.menuText));
        if (links) QVERIFY(ui::operationOf(cmd) == e.command);
        if (e.menu != CommandMenu::Filter) continue;
        const std::unique_ptr<ui::FilterDialog> dlg = s.frame->makeFilterDialog(e.command, view);
        QCOMPARE(dlg ? dlg->windowTitle() : QString(),
                 e.dialog ? QString::fromUtf8(e.dialog) : QString());
    }
}

void FiltersTest::highpassCommandMakesSmallerDocumentWithSelectedLayers() {
    Shell s;
    ui::CWinQuillonDoc* src = s.newImage(40, 30);
    Image& img = src->image();
    fill(img, Ramp{.dx = 1, .dy = 1, .dp = 100});
    src->setModified(false);
    s.app->layerSelection().mask = 0b001; // only the red layer
    whenModal<ui::RecordDialog>([](ui::RecordDialog* d) {
        QVERIFY(d->previewWindow() && d->previewWindow()->isVisible());
        d->slider("staerke")->setValue(3);
        d->slider("groesse")->setValue(1);
        QStringList texts; // the record's labels and the sliders' values
        for (const QLabel* l : d->findChildren<QLabel*>()) texts << l->text();
        for (const char* t : {"Stärke:", "4", "Maskengröße:", "5 x 5"})
            QVERIFY2(texts.contains(QString::fromUtf8(t)), t);
        d->okButton()->click();
    });
    s.frame->action(Cmd::Highpass)->trigger();
    Shell::settle();
    ui::CWinQuillonDoc* d = s.frame->activeDocument();
    QVERIFY(d && d != src);
    QCOMPARE(d->title(), QStringLiteral("Hochpassfilter"));
    QVERIFY(d->isModified());
    QVERIFY(!src->isModified());
    QCOMPARE(d->image().width(), 36); // 5 × 5 mask
    QCOMPARE(d->image().height(), 26);
    QCOMPARE(s.app->settings().highpassStrength, 3);
    QCOMPARE(s.app->settings().highpassSize, 1);
    // Unselected layers are the source's centre region.
    for (int y = 0; y < 26; y += 5)
        for (int x = 0; x < 36; x += 7) {
            QCOMPARE(d->image().row(1, y)[x], img.row(1, y + 2)[x + 2]);
            QCOMPARE(d->image().row(2, y)[x], img.row(2, y + 2)[x + 2]);
        }
    // A linear ramp is a plane; every high-pass kernel is symmetric, so it is kept.
    QCOMPARE(d->image().row(0, 10)[10], img.row(0, 12)[12]);
    QVERIFY(s.frame->statusProgress().lastText().find("Maskenfilter") != std::string::npos);
}

void FiltersTest::zeroSumResultIsShownCentredOnZero() {
    Shell s;
    s.newImage(30, 30, BW_IMAGE);
    ImageRenderer& r = s.frame->activeView()->renderer();
    const Points b{100, 100, 100}, w{1100, 1100, 1100};
    r.setPoints(&b, &w);
    r.rebuildLut();
    whenModal<ui::RecordDialog>([](ui::RecordDialog* d) {
        QCOMPARE(d->choice("typ")->buttons().size(), 7);
        d->choice("typ")->button(4)->click(); // "Sobel (horizontal)"
        d->okButton()->click();
    });
    s.frame->action(Cmd::SpecialFilter)->trigger();
    Shell::settle();
    ui::CWinQuillonDoc* d = s.frame->activeDocument();
    QCOMPARE(d->title(), QStringLiteral("Spezialfilter"));
    QCOMPARE(d->image().width(), 28);
    const DisplayParams& p = d->views().first()->renderer().params();
    QCOMPARE(p.blackPoint[0], std::int16_t(-500));
    QCOMPARE(p.whitePoint[0], std::int16_t(500));
    QCOMPARE(s.app->settings().specialType, 4);
}

void FiltersTest::thresholdNoiseFilterReportsReplacedPixels() {
    Shell s;
    ui::CWinQuillonDoc* src = s.newImage(20, 20, BW_IMAGE);
    fill(src->image(), constant(1000));
    src->image().row(0, 10)[10] = 30000;
    MessageRecorder msgs;
    whenModal<ui::RecordDialog>([](ui::RecordDialog* d) {
        QVERIFY(!d->number("schwelle")->isEnabled());
        d->choice("art")->button(3)->click();
        QVERIFY(d->number("schwelle")->isEnabled());
        d->choice("maske")->button(2)->click();
        d->okButton()->click();
    });
    s.frame->action(Cmd::NoiseFilter)->trigger();
    Shell::settle();
    QCOMPARE(msgs.texts, QStringList{QStringLiteral("Es wurden 9 Pixel ersetzt !")});
    ui::CWinQuillonDoc* d = s.frame->activeDocument();
    QCOMPARE(d->title(), QStringLiteral("Rauschfilter"));
    QCOMPARE(d->image().width(), 18);
    QCOMPARE(d->image().row(0, 9)[9], Sample(1000));
    QCOMPARE(d->image().row(0, 8)[8], Sample(4625));
    // The swapped keys: the kind lands in the "mask" field, the mask in the "type" field.
    QCOMPARE(s.app->settings().noiseMask, 3);
    QCOMPARE(s.app->settings().noiseType, 2);
}

void FiltersTest::unsharpButtonsStepTheFactorsAndOkStoresThem() {
    Shell s;
    s.newImage(40, 40);
    ui::RecordDialog dlg(*filterOperation(FilterCommand::Unsharp), s.frame->activeView(),
                         s.app->settings(), s.app->layerSelection(), s.frame);
    dlg.show();
    QCOMPARE(dlg.slider("maske")->value(), 2);
    QCOMPARE(dlg.number("m")->value(), 2.0);
    QCOMPARE(dlg.number("o")->value(), 3.0);
    QVERIFY(typeInto(dlg.number("m"), QStringLiteral("5")));
    dlg.action("stärker")->click();
    QCOMPARE(dlg.number("m")->value(), 6.0);
    QCOMPARE(dlg.number("o")->value(), 7.0);
    QVERIFY(typeInto(dlg.number("m"), QStringLiteral("20")));
    dlg.action("stärker")->click();
    QCOMPARE(dlg.number("m")->value(), 20.0);
    dlg.action("schwächer")->click();
    QCOMPARE(dlg.number("m")->value(), 19.0);
    QCOMPARE(dlg.number("o")->value(), 20.0);
    // A factor typed out of range keeps the dialog open.
    MessageRecorder msgs;
    dlg.number("o")->setText(QStringLiteral("1001"));
    dlg.accept();
    QVERIFY(dlg.isVisible());
    QCOMPARE(msgs.texts.size(), 1);
    QVERIFY(typeInto(dlg.number("o"), QStringLiteral("2.5")));
    dlg.slider("maske")->setValue(6);
    dlg.accept();
    QVERIFY(!dlg.isVisible());
    QCOMPARE(s.app->settings().unsharpMaskStrength, 6);
    QCOMPARE(s.app->settings().unsharpMask, 190000);
    QCOMPARE(s.app->settings().unsharpOriginal, 25000);
    QVERIFY(!dlg.previewWindow()); // closed with the dialog
}

void FiltersTest::previewReopensWhereItWasAndStoresItsPosition() {
    Shell s;
    s.newImage(600, 400, BW_IMAGE);
    ui::RecordDialog dlg(*filterOperation(FilterCommand::Highpass), s.frame->activeView(),
                         s.app->settings(), s.app->layerSelection(), s.frame);
    dlg.show();
    ui::PreviewWindow* p = dlg.previewWindow();
    QVERIFY(p);
    p->horizontalBar()->setValue(20);
    p->verticalBar()->setValue(30);
    const QPointF centre = p->centre();
    p->move(123, 77);
    p->close();
    Shell::settle();
    QVERIFY(!dlg.previewWindow());
    const WindowPoint stored = s.app->settings().windowPoint(WindowSlot::Preview);
    QCOMPARE(stored.left, 123);
    QCOMPARE(stored.top, 77);
    dlg.previewButton()->click();
    p = dlg.previewWindow();
    QVERIFY(p && p->isVisible());
    QCOMPARE(p->centre(), centre);
    QCOMPARE(p->pos(), QPoint(123, 77));
    shot(&dlg, "highpass-dialog");
    shot(p, "highpass-preview");
}

void FiltersTest::layerMappingPreviewUsesTheGridMatrix() {
    Shell s;
    ui::CWinQuillonDoc* doc = s.newImage(300, 200, USERDEFINED_IMAGE);
    fill(doc->image(), constant(200));
    ui::CWinQuillonView* v = s.frame->activeView();
    ui::LayerMatrixDialog dlg(v, s.app->settings(), s.frame);
    dlg.show();
    QVERIFY(dlg.previewButton()->isEnabled());
    QVERIFY(!dlg.previewWindow());
    dlg.previewButton()->click();
    ui::PreviewWindow* p = dlg.previewWindow();
    QVERIFY(p && p->isVisible());
    const QImage first = p->resultPanel()->picture();
    QVERIFY(!first.isNull());
    // Only layer 1 mapped to red: the preview turns red, the view is untouched.
    for (int row = 0; row < 3; ++row)
        for (int c = 0; c < 3; ++c)
            dlg.grid()
                ->item(row, 2 + c)
                ->setText(row == 0 && c == 0 ? QStringLiteral("1") : QStringLiteral("0"));
    const QImage red = p->resultPanel()->picture();
    QVERIFY(!red.isNull());
    const QRgb centre = red.pixel(red.width() / 2, red.height() / 2);
    QVERIFY(qRed(centre) > 0);
    QCOMPARE(qGreen(centre), 0);
    QCOMPARE(qBlue(centre), 0);
    shot(&dlg, "mapping-dialog");
    shot(p, "mapping-preview");
    dlg.grid()->item(0, 2)->setText(QStringLiteral("abc")); // no number: nothing to show
    QVERIFY(p->resultPanel()->picture().isNull());
    dlg.reject();
    QVERIFY(!dlg.previewWindow());
}

QTEST_MAIN(FiltersTest)
#include "test_filters.moc"
