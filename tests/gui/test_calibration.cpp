// The calibration, repair, conversion and overlay commands: the dark/flat dialog's rules and
// stored values, the repair commands' enabling, and the commands through the menu.
#include "gui_test_support.h"
#include "support/test_images.h"

#include "formats/fits_writer.h"
#include "ui/commands/layer_commands.h"
#include "ui/dialogs/calibration_dialog.h"
#include "ui/dialogs/grey_dialog.h"
#include "ui/dialogs/layer_select_dialog.h"

#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

using namespace quillon;
using namespace quillon::test;
using namespace quillon::testkit;
using quillon::ui::Cmd;

namespace {

ui::CWinQuillonDoc* filledImage(Shell& s, int w, int h, std::uint16_t type, const PixelFn& f,
                                bool overlay = false) {
    ui::CWinQuillonDoc* d = s.newImage(w, h, type, overlay);
    fill(d->image(), f);
    d->setModified(false);
    return d;
}

std::string writeFrame(const QTemporaryDir& dir, const char* name, int w, int h, std::uint16_t type,
                       const PixelFn& f) {
    Image img;
    makeImage(img, w, h, type, f);
    const std::string path = dir.filePath(QString::fromLatin1(name)).toStdString();
    writeFits(img, path, Progress::none());
    return path;
}

// Runs the dark/flat command with these dialog values.
void calibrateThroughMenu(Shell& s, const CalibrationParams& v) {
    v.storeInto(s.app->settings());
    whenModal<ui::DarkFlatDialog>([](ui::DarkFlatDialog* d) { d->okButton()->click(); });
    s.frame->action(Cmd::DarkFlat)->trigger();
    Shell::settle();
}

} // namespace

class CalibrationTest : public QObject {
    Q_OBJECT
private slots:
    void darkFlatSettingsKeepTheirBitsAndScaledValues();
    void darkFlatDialogRules();
    void repairCommandsNeedAOnePixelLine();
    void repairThroughTheMenuAveragesTheNeighbours();
    void calibrationThroughTheMenu();
    void greyConversionThroughTheMenu();
    void overlayCommandsAskBeforeRemoving();
    void splitMakesOneDocumentPerLayerAndTheOverlay();
};

void CalibrationTest::darkFlatSettingsKeepTheirBitsAndScaledValues() {
    struct Case {
        int bits;
        bool dark, flat, autoFactor;
    };
    for (const Case c : {Case{0x111, true, true, true}, Case{0x100, true, false, false},
                         Case{0x010, false, true, false}, Case{0x001, false, false, true}}) {
        SettingsRecord s;
        s.darkFlatSwitches = c.bits;
        const CalibrationParams v = CalibrationParams::fromSettings(s);
        QCOMPARE(v.darkEnabled, c.dark);
        QCOMPARE(v.flatEnabled, c.flat);
        QCOMPARE(v.automaticFactor, c.autoFactor);
        SettingsRecord back;
        v.storeInto(back);
        QCOMPARE(back.darkFlatSwitches, c.bits);
    }
    // Values × 10000, truncated; the automatic factor passes F = 0.
    CalibrationParams v;
    v.darkDivisor = 0.33333;
    v.flatFactor = 1234.56789;
    v.offset = -250;
    SettingsRecord s;
    v.storeInto(s);
    QCOMPARE(s.darkFlatDarkDiv, 3333);
    QCOMPARE(s.darkFlatFlatFkt, 12345678);
    QCOMPARE(s.darkFlatAddVal, -250);
    QCOMPARE(v.appliedFlatFactor(), 0.0f);
    v.automaticFactor = false;
    QCOMPARE(v.appliedFlatFactor(), 1234.56789f);
}

void CalibrationTest::darkFlatDialogRules() {
    MessageRecorder messages;
    CalibrationParams init;
    init.darkDivisor = 2.5;
    ui::DarkFlatDialog dlg(init);
    dlg.show();
    shot(&dlg, "darkflat-dialog");
    // The automatic factor disables f.
    QVERIFY(!dlg.factorField()->isEnabled());
    dlg.autoBox()->setChecked(false);
    QVERIFY(dlg.factorField()->isEnabled());

    // Choosing a file fills the field and switches its box on; a cancelled choice does not.
    QString offered;
    dlg.setFileChooser([&](QWidget*) { return offered; });
    dlg.chooseFile(true);
    QVERIFY(!dlg.darkBox()->isChecked());
    offered = QStringLiteral("/daten/flat.fts");
    dlg.flatChooseButton()->click();
    QCOMPARE(dlg.flatPath()->text(), offered);
    QVERIFY(dlg.flatBox()->isChecked());
    QVERIFY(!dlg.darkBox()->isChecked());

    // Out-of-range entries are refused with the prompt, and OK stays in the dialog.
    QVERIFY(!typeInto(dlg.divisorField(), QStringLiteral("0.05")));
    QVERIFY(!typeInto(dlg.offsetField(), QStringLiteral("40000")));
    QVERIFY(!typeInto(dlg.factorField(), QStringLiteral("0.5")));
    QCOMPARE(messages.texts,
             (QStringList{
                 QStringLiteral("Geben Sie bitte eine Zahl zwischen 0.1 und 100 ein."),
                 QStringLiteral("Geben Sie bitte eine ganze Zahl zwischen -32768 und 32767 ein."),
                 QStringLiteral("Geben Sie bitte eine Zahl zwischen 1 und 32767 ein.")}));
    dlg.okButton()->click();
    QVERIFY(dlg.isVisible());
    // With the automatic factor on, the refused f no longer stands in the way.
    dlg.factorField()->setValue(100);
    dlg.divisorField()->setValue(2.5);
    dlg.offsetField()->setValue(7);
    dlg.autoBox()->setChecked(true);
    dlg.okButton()->click();
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    const CalibrationParams v = dlg.values();
    QVERIFY(v.flatEnabled && !v.darkEnabled && v.automaticFactor);
    QCOMPARE(v.flatFile, std::string("/daten/flat.fts"));
    QCOMPARE(v.offset, 7);
}

void CalibrationTest::repairCommandsNeedAOnePixelLine() {
    Shell s;
    s.newImage(40, 30);
    ui::CWinQuillonView* v = s.frame->activeView();
    struct Case {
        QRect selection;
        bool row, column;
    };
    const Case cases[] = {
        {QRect(5, 2, 1, 10), false, true}, {QRect(5, 2, 10, 1), true, false},
        {QRect(5, 2, 1, 1), false, false}, {QRect(5, 2, 2, 5), false, false},
        {QRect(5, 2, 2, 1), true, false},  {QRect(39, 0, 4, 8), false, true}, // cut at the edge
    };
    for (const Case& c : cases) {
        v->setSelection(c.selection);
        Shell::settle();
        QCOMPARE(s.frame->action(Cmd::RepairRow)->isEnabled(), c.row);
        QCOMPARE(s.frame->action(Cmd::RepairColumn)->isEnabled(), c.column);
    }
    v->clearSelection();
    Shell::settle();
    QVERIFY(!s.frame->action(Cmd::RepairColumn)->isEnabled());
}

void CalibrationTest::repairThroughTheMenuAveragesTheNeighbours() {
    Shell s;
    MessageRecorder messages;
    ui::CWinQuillonDoc* d =
        filledImage(s, 20, 12, RGB_IMAGE, [](int p, int x, int y) { return p * 100 + x * x + y; });
    s.frame->activeView()->setSelection(QRect(7, 2, 1, 5));
    Shell::settle();
    s.app->settings().selectLayer = 9; // out of range: "<Alle Ebenen>"
    QStringList entries;
    int initial = -1;
    whenModal<ui::LayerChoiceDialog>([&](ui::LayerChoiceDialog* dlg) {
        for (int i = 0; i < dlg->list()->count(); ++i) entries << dlg->list()->item(i)->text();
        initial = dlg->choice();
        shot(dlg, "layer-choice-dialog");
        dlg->list()->setCurrentRow(1);
        dlg->accept();
    });
    s.frame->action(Cmd::RepairColumn)->trigger();
    Shell::settle();
    QVERIFY2(messages.texts.isEmpty(), qPrintable(messages.texts.join('|')));
    QCOMPARE(entries, (QStringList{"1: Rot", "2: Gruen", "3: Blau", "<Alle Ebenen>"}));
    QCOMPARE(initial, 3);
    QCOMPARE(s.app->settings().selectLayer, 1);
    // Only layer 1, rows 2 … 6 of column 7: (36 + 64) / 2 + 100 + y instead of 149 + y.
    const std::string m = mismatch(d->image(), [](int p, int x, int y) {
        const bool repaired = p == 1 && x == 7 && y >= 2 && y < 7;
        return p * 100 + (repaired ? 50 : x * x) + y;
    });
    QVERIFY2(m.empty(), m.c_str());
    QVERIFY(d->isModified());
}

void CalibrationTest::calibrationThroughTheMenu() {
    QTemporaryDir dir;
    const std::string dark = writeFrame(dir, "dark.fts", 16, 12, BW_IMAGE, constant(100));
    Shell s;
    MessageRecorder messages;
    ui::CWinQuillonDoc* d = filledImage(s, 16, 12, RGB_IMAGE, perPlane({1000, 2000, 3000}));
    const QString title = d->title();

    // A dark of another size: the message, the image and its title unchanged.
    CalibrationParams v;
    v.darkEnabled = true;
    v.darkFile = writeFrame(dir, "small.fts", 15, 12, BW_IMAGE, constant(100));
    calibrateThroughMenu(s, v);
    QCOMPARE(messages.texts.size(), 1);
    QVERIFY(messages.texts[0].startsWith(QStringLiteral("Das Dunkelstrombild hat die falsche")));
    QVERIFY(mismatch(d->image(), perPlane({1000, 2000, 3000})).empty());
    QCOMPARE(d->title(), title);
    QVERIFY(!d->isModified());

    // A file that cannot be read: the open path's message, then the dark's own.
    messages.texts.clear();
    v.darkFile = dir.filePath(QStringLiteral("fehlt.fts")).toStdString();
    calibrateThroughMenu(s, v);
    QCOMPARE(messages.texts.size(), 2);
    QCOMPARE(messages.texts[1], QStringLiteral("Dunkelstrombild konnte nicht geladen werden!"));
    QVERIFY(d->isModified()); // nothing to apply still counts as done
    QCOMPARE(d->title(), title);

    // Grey dark 100, d = 2: every layer loses 50; the title gets its label.
    messages.texts.clear();
    v.darkFile = dark;
    v.darkDivisor = 2.0;
    calibrateThroughMenu(s, v);
    QVERIFY2(messages.texts.isEmpty(), qPrintable(messages.texts.join('|')));
    QVERIFY(mismatch(d->image(), perPlane({950, 1950, 2950})).empty());
    QCOMPARE(d->title(), title + QStringLiteral("<Dunkelkorr.>"));
    QCOMPARE(s.app->settings().darkFlatDarkDiv, 20000);
    QCOMPARE(s.app->settings().darkFlatSwitches & ui::kDarkFlatDarkBit, ui::kDarkFlatDarkBit);

    // An offset pushing past the range: the clamp notice.
    v.offset = 32000;
    calibrateThroughMenu(s, v);
    QCOMPARE(messages.texts.size(), 1);
    QVERIFY(mismatch(d->image(), perPlane({32767, 32767, 32767})).empty());
}

void CalibrationTest::greyConversionThroughTheMenu() {
    Shell s;
    MessageRecorder messages;
    filledImage(s, 30, 20, RGB_IMAGE, perPlane({1000, 2000, 3000}));
    ui::CWinQuillonView* source = s.frame->activeView();
    const Points black{1000, 0, 0};
    const Points white{1000, 2000, 3000};
    source->renderer().setPoints(&black, &white);
    source->renderer().rebuildLut();
    QVERIFY(!s.frame->action(Cmd::ConvertRgb)->isEnabled());
    SettingsRecord& st = s.app->settings();
    st.graypicRed = 10000;
    st.graypicGreen = 10000;
    st.graypicBlue = 20000;
    st.graypicWeight = 1;
    GreyFactors normalised;
    whenModal<ui::GreyConvertDialog>([&](ui::GreyConvertDialog* dlg) {
        shot(dlg, "grey-dialog");
        shot(dlg->previewWindow(), "grey-preview");
        dlg->normaliseButton()->click();
        normalised = dlg->factors();
        dlg->naturalButton()->click();
        dlg->weightsBox()->setChecked(false);
        dlg->okButton()->click();
    });
    s.frame->action(Cmd::ConvertGrey)->trigger();
    Shell::settle();
    QCOMPARE(normalised.red, 0.25f);
    QCOMPARE(normalised.blue, 0.5f);
    QVERIFY2(messages.texts.isEmpty(), qPrintable(messages.texts.join('|')));
    QCOMPARE(st.graypicRed, 3000);
    QCOMPARE(st.graypicBlue, 1100);
    QCOMPARE(st.graypicWeight, 0);
    ui::CWinQuillonDoc* grey = s.frame->activeDocument();
    QVERIFY(grey && grey->title() == QStringLiteral("Graubild"));
    QCOMPARE(grey->image().type(), std::uint16_t(BW_IMAGE));
    // 0.3·1000 + 0.59·2000 + 0.11·3000 = 1810; the points are weighted the same way.
    QVERIFY(mismatch(grey->image(), constant(1810)).empty());
    const DisplayParams& p = s.frame->activeView()->renderer().params();
    QCOMPARE(int(p.blackPoint[0]), 300);
    QCOMPARE(int(p.whitePoint[2]), 1810);
    QVERIFY(!s.frame->action(Cmd::ConvertGrey)->isEnabled());
    QVERIFY(s.frame->action(Cmd::ConvertRgb)->isEnabled());
}

void CalibrationTest::overlayCommandsAskBeforeRemoving() {
    Shell s;
    MessageRecorder messages;
    ui::CWinQuillonDoc* d = s.newImage(20, 20, RGB_IMAGE, false);
    d->setModified(false);
    QVERIFY(!s.frame->action(Cmd::RemoveOverlay)->isEnabled());
    s.frame->action(Cmd::AddOverlay)->trigger();
    Shell::settle();
    QVERIFY(d->image().hasOverlay() && d->isModified());
    QVERIFY(!s.frame->action(Cmd::AddOverlay)->isEnabled());
    d->setModified(false);
    messages.answer = QMessageBox::Cancel;
    s.frame->action(Cmd::RemoveOverlay)->trigger();
    QCOMPARE(messages.texts, QStringList{QStringLiteral(
                                 "Soll die Overlay-Ebene\nunwiederruflich gelöscht werden?")});
    QVERIFY(d->image().hasOverlay() && !d->isModified());
    messages.answer = QMessageBox::Ok;
    s.frame->action(Cmd::RemoveOverlay)->trigger();
    Shell::settle();
    QVERIFY(!d->image().hasOverlay() && d->isModified());
    QVERIFY(s.frame->action(Cmd::AddOverlay)->isEnabled());
}

void CalibrationTest::splitMakesOneDocumentPerLayerAndTheOverlay() {
    Shell s;
    MessageRecorder messages;
    ui::CWinQuillonDoc* d = filledImage(s, 20, 10, RGB_IMAGE, perPlane({10, 20, 30, 0x7FFF}), true);
    s.frame->action(Cmd::SplitLayers)->trigger();
    Shell::settle();
    QVERIFY2(messages.texts.isEmpty(), qPrintable(messages.texts.join('|')));
    QStringList titles;
    for (ui::CWinQuillonDoc* doc : s.app->documents())
        if (doc != d) titles << doc->title();
    QCOMPARE(titles, (QStringList{"Rot-Anteil", "Gruen-Anteil", "Blau-Anteil", "Overlay"}));
    ui::CWinQuillonDoc* overlay = s.app->documents().back();
    QVERIFY(mismatch(overlay->image(), constant(248)).empty());
    const DisplayParams& p = s.frame->activeView()->renderer().params();
    QCOMPARE(int(p.whitePoint[1]), 255);
    QVERIFY(mismatch(s.app->documents()[2]->image(), constant(20)).empty());
}

QTEST_MAIN(CalibrationTest)
#include "test_calibration.moc"
