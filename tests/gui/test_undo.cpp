// Undo and redo through the menu: every in-place command goes back and forth bit for bit with
// its name in the entry, twenty steps back to the saved state, running out of memory while
// recording, and the dialog "Speicherausnutzung".
#include "gui_test_support.h"
#include "support/test_images.h"
#include "support/whole_image.h"

#include "composite/job.h"
#include "core/memory.h"
#include "formats/fits_writer.h"
#include "ui/composite/composite_window.h"
#include "ui/dialogs/calibration_dialog.h"
#include "ui/dialogs/layer_matrix_dialog.h"
#include "ui/dialogs/layer_select_dialog.h"
#include "ui/dialogs/memory_dialog.h"
#include "ui/photometry/photometry_window.h"
#include "ui/tools/image_info_window.h"
#include "ui/tools/tool_window.h"

#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>

using namespace quillon;
using namespace quillon::test;
using quillon::ui::Cmd;
Q_DECLARE_METATYPE(quillon::ui::Cmd)

class UndoTest : public QObject {
    Q_OBJECT
private slots:
    void everyInPlaceCommandGoesBackAndForth_data();
    void everyInPlaceCommandGoesBackAndForth();
    void twentyStepsBackClearTheModifiedMark();
    void outOfMemoryWhileRecordingStillChangesAndTellsOnce();
    void memoryDialogStoresBothLimits();
    void referenceStarsAndMagnitudeCalibrationOutliveUndo();
    void turnsMovePsfPhotometryAndReferencePoints();
};

namespace {

ui::CWinQuillonDoc* richDocument(Shell& s, bool overlay, std::uint16_t type = RGB_IMAGE) {
    ui::CWinQuillonDoc* d = s.newImage(40, 30, type, overlay);
    testkit::fillNoise(d->image(), 11);
    testkit::giveMetadata(d->image());
    d->setModified(false);
    return d;
}

QMenu* editMenu(ui::CMainFrame* frame) {
    for (QAction* a : frame->menuBar()->actions())
        if (a->text() == QStringLiteral("&Bearbeiten")) return a->menu();
    return nullptr;
}

// Runs the command with whatever its dialog or question needs.
void runCommand(Shell& s, Cmd c, const QTemporaryDir& dir) {
    ui::CWinQuillonView* v = s.frame->activeView();
    switch (c) {
    case Cmd::RepairRow:
    case Cmd::RepairColumn:
        v->setSelection(c == Cmd::RepairRow ? QRect(2, 5, 12, 1) : QRect(7, 2, 1, 9));
        Shell::settle();
        whenModal<ui::LayerChoiceDialog>([](ui::LayerChoiceDialog* d) { d->accept(); });
        break;
    case Cmd::DarkFlat: {
        Image dark;
        testkit::makeImage(dark, 40, 30, BW_IMAGE, testkit::constant(300));
        CalibrationParams values;
        values.darkEnabled = true;
        values.darkFile = dir.filePath(QStringLiteral("dark.fts")).toStdString();
        writeFits(dark, values.darkFile, Progress::none());
        values.storeInto(s.app->settings());
        whenModal<ui::DarkFlatDialog>([](ui::DarkFlatDialog* d) { d->okButton()->click(); });
        break;
    }
    case Cmd::EditMapping:
        whenModal<ui::LayerMatrixDialog>([](ui::LayerMatrixDialog* d) {
            d->grid()->item(1, 1)->setText(QStringLiteral("Hα"));
            d->accept();
        });
        break;
    case Cmd::ImageInfo: {
        s.frame->action(Cmd::ImageInfo)->trigger();
        auto* w =
            qobject_cast<ui::ImageInfoWindow*>(s.frame->toolWindows()->window(ui::Tool::ImageInfo));
        QVERIFY(w);
        QApplication::setActiveWindow(w);
        w->activateWindow();
        QTest::keyClicks(w->exposureField(), QStringLiteral("5"));
        w->commentBox()->setPlainText(QStringLiteral("neu"));
        w->applyButton()->setFocus();
        QVERIFY(w->apply());
        return;
    }
    default: break;
    }
    s.frame->action(c)->trigger();
    Shell::settle();
}

} // namespace

void UndoTest::everyInPlaceCommandGoesBackAndForth_data() {
    QTest::addColumn<Cmd>("command");
    QTest::addColumn<QString>("name");
    QTest::newRow("mirror rows") << Cmd::MirrorHorizontal << "Horizontal spiegeln";
    QTest::newRow("mirror columns") << Cmd::MirrorVertical << "Vertikal spiegeln";
    QTest::newRow("turn right") << Cmd::RotateRight << "90° Rechts";
    QTest::newRow("turn left") << Cmd::RotateLeft << "90° Links";
    QTest::newRow("turn half") << Cmd::Rotate180 << "180° (Kopfstehend)";
    QTest::newRow("add overlay") << Cmd::AddOverlay << "leeres Overlay hinzufügen";
    QTest::newRow("remove overlay") << Cmd::RemoveOverlay << "Overlay entfernen";
    QTest::newRow("repair row") << Cmd::RepairRow << "Zeile reparieren";
    QTest::newRow("repair column") << Cmd::RepairColumn << "Spalte reparieren";
    QTest::newRow("calibration") << Cmd::DarkFlat << "Dunkelstrom / Flatfieldkorrektur";
    QTest::newRow("image information") << Cmd::ImageInfo << "Bildinformation";
    QTest::newRow("layer names") << Cmd::EditMapping << "Abbildungsvorschrift bearbeiten";
}

void UndoTest::everyInPlaceCommandGoesBackAndForth() {
    QFETCH(Cmd, command);
    QFETCH(QString, name);
    Shell s;
    MessageRecorder messages;
    messages.answer = QMessageBox::Ok; // "Soll die Overlay-Ebene ... gelöscht werden?"
    QTemporaryDir dir;
    ui::CWinQuillonDoc* d = richDocument(
        s, command != Cmd::AddOverlay, command == Cmd::EditMapping ? USERDEFINED_IMAGE : RGB_IMAGE);
    QAction* undo = s.frame->action(Cmd::EditUndo);
    QAction* redo = s.frame->action(Cmd::EditRedo);
    QVERIFY(!undo->isEnabled());
    const Image before = d->image().clone();
    const QString title = d->title();

    runCommand(s, command, dir);
    const Image after = d->image().clone();
    const QString changedTitle = d->title();
    QVERIFY(!testkit::wholeImageDifference(before, after).empty());
    QVERIFY(d->isModified());
    QVERIFY(undo->isEnabled());
    QCOMPARE(undo->text(), QStringLiteral("&Rückgängig: %1\tStrg+Z").arg(name));
    if (command == Cmd::RotateRight) {
        QMenu* m = editMenu(s.frame);
        QVERIFY(m);
        m->popup(s.frame->mapToGlobal(QPoint(60, 30)));
        Shell::settle();
        shot(m, "edit-menu-undo");
        m->close();
    }

    undo->trigger();
    Shell::settle();
    QCOMPARE(QString::fromStdString(testkit::wholeImageDifference(d->image(), before)), QString());
    QCOMPARE(d->title(), title);
    QVERIFY(!d->isModified());
    QVERIFY(!undo->isEnabled());
    QCOMPARE(redo->text(), QStringLiteral("&Wiederherstellen: %1\tStrg+Y").arg(name));

    redo->trigger();
    Shell::settle();
    QCOMPARE(QString::fromStdString(testkit::wholeImageDifference(d->image(), after)), QString());
    QCOMPARE(d->title(), changedTitle);
    QVERIFY(d->isModified());
    QVERIFY(!redo->isEnabled());
    QVERIFY2(messages.texts.size() <= 1, qPrintable(messages.texts.join('|')));
}

void UndoTest::twentyStepsBackClearTheModifiedMark() {
    Shell s;
    ui::CWinQuillonDoc* d = richDocument(s, true);
    // A step made before saving stays undoable, but only the saved state clears the mark.
    s.frame->action(Cmd::MirrorVertical)->trigger();
    d->setModified(false);
    const Image saved = d->image().clone();
    const Cmd steps[] = {Cmd::RotateRight, Cmd::MirrorHorizontal, Cmd::RemoveOverlay,
                         Cmd::AddOverlay, Cmd::Rotate180};
    MessageRecorder messages;
    messages.answer = QMessageBox::Ok;
    for (int k = 0; k < 20; ++k) {
        s.frame->action(steps[k % 5])->trigger();
        Shell::settle();
    }
    QVERIFY(messages.texts.size() == 4); // the question before each overlay removal
    const Image last = d->image().clone();
    for (int k = 0; k < 20; ++k) {
        QVERIFY(d->isModified());
        s.frame->action(Cmd::EditUndo)->trigger();
    }
    QVERIFY(!d->isModified());
    QCOMPARE(QString::fromStdString(testkit::wholeImageDifference(d->image(), saved)), QString());
    s.frame->action(Cmd::EditUndo)->trigger(); // past the saved state
    QVERIFY(d->isModified());
    for (int k = 0; k < 21; ++k) s.frame->action(Cmd::EditRedo)->trigger();
    QCOMPARE(QString::fromStdString(testkit::wholeImageDifference(d->image(), last)), QString());
    QVERIFY(d->isModified());
    // A new document was never saved: undoing back to its creation keeps the mark.
    ui::CWinQuillonDoc* fresh = s.newImage(20, 20);
    s.frame->action(Cmd::MirrorVertical)->trigger();
    s.frame->action(Cmd::EditUndo)->trigger();
    QVERIFY(fresh->isModified());
}

void UndoTest::outOfMemoryWhileRecordingStillChangesAndTellsOnce() {
    Shell s;
    MessageRecorder messages;
    ui::CWinQuillonDoc* d = s.newImage(400, 300, RGB_IMAGE, false);
    testkit::fillNoise(d->image(), 5);
    s.frame->action(Cmd::MirrorHorizontal)->trigger();
    QVERIFY(s.frame->action(Cmd::EditUndo)->isEnabled());
    // The copy with its new overlay fits; the record of the overlay plane does not.
    const std::size_t plane = 400u * 300u * sizeof(Sample);
    {
        memory::ScopedLimit limit(memory::inUse() + 4 * plane + plane / 2);
        s.frame->action(Cmd::AddOverlay)->trigger();
        Shell::settle();
    }
    QVERIFY(d->image().hasOverlay());
    QVERIFY(d->isModified());
    QCOMPARE(messages.texts, QStringList{QString::fromUtf8(ui::kNotUndoable)});
    QVERIFY(!s.frame->action(Cmd::EditUndo)->isEnabled());
    QVERIFY(!s.frame->action(Cmd::EditRedo)->isEnabled());
    // The next step is recorded again, and undoing it does not pretend to reach a saved state.
    s.frame->action(Cmd::MirrorVertical)->trigger();
    s.frame->action(Cmd::EditUndo)->trigger();
    QVERIFY(d->isModified());
    QCOMPARE(messages.texts.size(), 1);
}

void UndoTest::memoryDialogStoresBothLimits() {
    Shell s;
    MessageRecorder messages;
    s.app->settings().settingsRam = 64;
    s.app->settings().settingsUndoRam = 512;
    bool stayedOpen = false;
    whenModal<ui::MemoryDialog>([&](ui::MemoryDialog* dlg) {
        // The focus rules need the dialog to be the active window, which a loaded machine
        // may not have made it yet.
        QApplication::setActiveWindow(dlg);
        shot(dlg, "memory-dialog");
        QCOMPARE(dlg->undoField()->text(), QStringLiteral("512"));
        typeInto(dlg->artefactField(), QStringLiteral("2000")); // refused with the range prompt
        typeInto(dlg->artefactField(), QStringLiteral("128"));
        dlg->undoField()->setFocus();
        dlg->undoField()->setText(QStringLiteral("100"));
        dlg->undoField()->setModified(true);
        // Enter in a field only moves the focus to OK; Enter there stores.
        QTest::keyClick(dlg->undoField(), Qt::Key_Return);
        stayedOpen = dlg->isVisible();
        QTest::keyClick(dlg->okButton(), Qt::Key_Return);
    });
    s.frame->action(Cmd::SettingsMemory)->trigger();
    QVERIFY(stayedOpen);
    QCOMPARE(messages.texts.size(), 1);
    QVERIFY(messages.texts.first().contains(QStringLiteral("1024")));
    QCOMPARE(s.app->settings().settingsRam, 128);
    QCOMPARE(s.app->settings().settingsUndoRam, 100);
    QCOMPARE(ui::undoBudget().limit(), std::size_t{100} << 20);
    ui::undoBudget().setLimit(UndoBudget::kDefaultLimit);
}

// Lucy-Richardson reference stars and the magnitude calibration are set on the image between
// steps, never by one: undo and redo of a step recorded by difference leave them as they are.
void UndoTest::referenceStarsAndMagnitudeCalibrationOutliveUndo() {
    Shell s;
    ui::CWinQuillonDoc* d = s.newImage(30, 20);
    d->changeInPlace(
        QStringLiteral("Füllen"), [](Image& img, Progress&) { testkit::fillNoise(img, 3); },
        s.frame, nullptr);
    Image& img = d->image();
    img.psf()[0] = PsfKernel{3, 3, std::vector<float>(9, 1.0f / 9)};
    img.setPsfCount(1);
    img.photometry() = PhotometricCalibration{21.5f, 2};
    for (Cmd c : {Cmd::EditUndo, Cmd::EditRedo}) {
        s.frame->action(c)->trigger();
        QCOMPARE(int{d->image().psfCount()}, 1);
        QCOMPARE(d->image().psf()[0].values.size(), std::size_t{9});
        QCOMPARE(d->image().photometry().coefficient, 21.5f);
        QCOMPARE(int{d->image().photometry().referenceCount}, 2);
    }
}

// The PSF, the fixed photometry position and the composite reference points of the document
// turn with its pixels and go back with undo.
void UndoTest::turnsMovePsfPhotometryAndReferencePoints() {
    Shell s;
    ui::CWinQuillonDoc* d = s.newImage(60, 40, BW_IMAGE);
    PsfKernel k{5, 3, {}};
    for (int i = 0; i < 15; ++i) k.values.push_back(static_cast<float>(i));
    d->image().psf()[0] = k;
    d->image().setPsfCount(1);
    CompositeJob& job = s.frame->compositeJob();
    job.configure(BW_IMAGE, 0, CalibrationParams{});
    job.addDocument(0, ui::documentIdOf(d), "Bild").points[1] = {7, 30};
    s.frame->action(Cmd::ToolPhotometry)->trigger();
    Shell::settle();
    auto* w =
        qobject_cast<ui::PhotometryWindow*>(s.frame->toolWindows()->window(ui::Tool::Photometry));
    QVERIFY(w);
    emit s.frame->activeView()->photometryTrack(20, 14, true);

    s.frame->action(Cmd::RotateRight)->trigger(); // (x, y) -> (39 - y, x)
    const PsfKernel turned = d->image().psf()[0];
    QCOMPARE(int{turned.width}, 3);
    QCOMPARE(turned.row(0)[2], 0.0f); // the top left cell goes to the top right
    QCOMPARE(turned.row(4)[0], 14.0f);
    QCOMPARE(job.lists[0].entries[0].points[1], (ReferencePoint{9, 7}));
    QCOMPARE(QPoint(w->area().x, w->area().y), QPoint(25, 20));

    s.frame->action(Cmd::EditUndo)->trigger();
    QCOMPARE(d->image().psf()[0].values, k.values);
    QCOMPARE(int{d->image().psf()[0].width}, 5);
    QCOMPARE(job.lists[0].entries[0].points[1], (ReferencePoint{7, 30}));
    QCOMPARE(QPoint(w->area().x, w->area().y), QPoint(20, 14));
    s.frame->action(Cmd::EditRedo)->trigger();
    QCOMPARE(d->image().psf()[0].values, turned.values);
}

QTEST_MAIN(UndoTest)

#include "test_undo.moc"
