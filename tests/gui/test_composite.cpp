// The composite window and the composite run through it: lists and columns, the editing rules
// the window adds to the job, the stored options, whole runs with their messages, display
// weights, cancel and report, and a run matching the command line's stack sample for sample.
#include "gui_test_support.h"
#include "support/test_images.h"

#include "analysis/lrgb_bias.h"
#include "composite/run.h"
#include "formats/demo_image.h"
#include "formats/fits_writer.h"
#include "formats/open.h"
#include "ops/calibration.h"
#include "ui/composite/auto_align.h"
#include "ui/composite/composite_report.h"
#include "ui/composite/composite_window.h"
#include "ui/composite/overlay_forming_dialog.h"
#include "ui/composite/stack_options_group.h"
#include "ui/dialogs/calibration_dialog.h"
#include "ui/dialogs/layer_matrix_dialog.h"
#include "ui/job_runner.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>

#include <bit>
#include <fstream>

using namespace quillon;
using namespace quillon::test;
using namespace quillon::testkit;
using quillon::ui::Cmd;
using quillon::ui::CompositeWindow;

namespace {

// Opens the composite window by its menu command and runs `fn` on it; `fn` closes it.
void withWindow(Shell& s, Cmd command, const std::function<void(CompositeWindow*)>& fn) {
    whenModal<CompositeWindow>(fn);
    s.frame->action(command)->trigger();
    Shell::settle();
}

QStringList listNames(CompositeWindow* w) {
    QStringList out;
    for (int i = 0; i < w->listChooser()->count(); ++i) out << w->listChooser()->itemText(i);
    return out;
}

QStringList headers(CompositeWindow* w) {
    QStringList out;
    for (int c = 0; c < w->table()->columnCount(); ++c)
        if (!w->table()->isColumnHidden(c)) out << w->table()->horizontalHeaderItem(c)->text();
    return out;
}

// "Geöffnetes Bild hinzufügen" with the first open window chosen.
void addFirstView(CompositeWindow* w) {
    whenModal<ui::OpenViewChooser>([](ui::OpenViewChooser* c) {
        c->table()->selectRow(0);
        c->accept();
    });
    w->addViewsButton()->click();
}

// The current list calibrates with the dark frame at `path`.
void setDark(CompositeWindow* w, const std::string& path) {
    whenModal<ui::DarkFlatDialog>([path](ui::DarkFlatDialog* d) {
        d->darkBox()->setChecked(true);
        d->darkPath()->setText(QString::fromStdString(path));
        d->okButton()->click();
    });
    w->calibrationButton()->click();
}

void addFiles(CompositeWindow* w, const QStringList& files) {
    w->setFileChooser([files](QWidget*) { return files; });
    w->addFilesButton()->click();
}

// "Verarbeitung starten" acts only once it has the focus: the first press moves it there.
void pressStart(CompositeWindow* w) {
    QApplication::setActiveWindow(w); // also back from a nested dialog
    w->startButton()->click();
    QVERIFY(w->isVisible()); // the first press only took the focus
    w->startButton()->click();
    if (w->isVisible()) {
        w->reject();
        QFAIL("the second press did not start");
    }
}

std::string writeFrame(const QTemporaryDir& dir, const QString& name, Image& img) {
    const std::string path = dir.filePath(name).toStdString();
    writeFits(img, path, Progress::none());
    return path;
}

QStringList writeSeries(const QTemporaryDir& dir, int count, int w, int h, std::uint16_t type) {
    QStringList files;
    for (int i = 0; i < count; ++i) {
        Image img;
        makeImage(img, w, h, type, [i](int p, int x, int y) { return 100 * (p + 1) + x + y + i; });
        files << QString::fromStdString(writeFrame(dir, QStringLiteral("e%1.fts").arg(i), img));
    }
    return files;
}

} // namespace

class CompositeTest : public QObject {
    Q_OBJECT
private slots:
    void listsAndColumnsOfGreyAndLrgbJobs();
    void typeChangeDiscardsAndCancelKeepsEntries();
    void pointCountSetAllAndCalibrationCopy();
    void startNeedsFocusAndStoresTheOptions();
    void rgbRunWeightsMismatchMessageAndReport();
    void cancelledRunLeavesNoResult();
    void overlayListLandsOnTheCroppedResult();
    void userDefinedAsksLayersAndEndsWithTheMapping();
    void runMatchesTheCommandLineStack();
    void lrgbRunEndsWithTheBias();
    void failedCalibrationOfAnOpenWindowRecordsNothing();
    void winsorizedRunKeepsTheFloatResult();
    void unconfiguredJobOpensWithoutExposures();
};

void CompositeTest::listsAndColumnsOfGreyAndLrgbJobs() {
    Shell s;
    withWindow(s, Cmd::CompositeGrey, [](CompositeWindow* w) {
        QCOMPARE(listNames(w), QStringList({"Gesamtbild: Graubild", "Overlay"}));
        QCOMPARE(headers(w).mid(3), QStringList({"Dateiname", "Faktor", "Ref 1: X", "Ref 1: Y",
                                                 "Ref 2: X", "Ref 2: Y"}));
        QVERIFY(!w->weightField(0)->isEnabled());
        w->selectList(1);
        QVERIFY(!w->calibrationButton()->isEnabled());
        QCOMPARE(headers(w).mid(3, 2), QStringList({"Dateiname", "Ref 1: X"}));
        w->cancelButton()->click();
    });
    withWindow(s, Cmd::CompositeLrgb, [](CompositeWindow* w) {
        QCOMPARE(listNames(w),
                 QStringList({"Farbkanal: Helligkeit", "Farbkanal: Rot", "Farbkanal: Gruen",
                              "Farbkanal: Blau", "Gesamtbild: LRGB", "Overlay"}));
        w->selectList(4);
        QCOMPARE(headers(w).mid(4, 4), QStringList({"Faktor: Helligkeit", "Faktor: Rot",
                                                    "Faktor: Gruen", "Faktor: Blau"}));
        QVERIFY(w->weightField(0)->isEnabled());
        w->cancelButton()->click();
    });
}

void CompositeTest::typeChangeDiscardsAndCancelKeepsEntries() {
    Shell s;
    QTemporaryDir dir;
    const QStringList files = writeSeries(dir, 3, 16, 16, BW_IMAGE);
    ui::CWinQuillonDoc* open = s.newImage(16, 16, BW_IMAGE);
    withWindow(s, Cmd::CompositeRgb, [&](CompositeWindow* w) {
        addFiles(w, files);
        whenModal<ui::OpenViewChooser>([](ui::OpenViewChooser* c) {
            QCOMPARE(c->table()->rowCount(), 1);
            QCOMPARE(c->table()->item(0, 0)->text(), QStringLiteral("  1"));
            c->table()->selectRow(0);
            c->accept();
        });
        w->addViewsButton()->click();
        QCOMPARE(w->table()->rowCount(), 4);
        // The icon column tells a file from an open window.
        QVERIFY(w->table()->item(0, 2)->toolTip() != w->table()->item(3, 2)->toolTip());
        shot(w, "composite_window");
        w->cancelButton()->click();
    });
    QCOMPARE(s.frame->compositeJob().lists[0].entries.size(), std::size_t{4});
    withWindow(s, Cmd::CompositeRgb, [&](CompositeWindow* w) {
        QCOMPARE(w->table()->rowCount(), 4);
        QCOMPARE(w->table()->item(1, 3)->text(), files[1]);
        w->cancelButton()->click();
    });
    // A closed window's entry is dropped at the next opening; the files stay.
    open->setModified(false);
    s.app->closeDocument(open);
    Shell::settle();
    withWindow(s, Cmd::CompositeRgb, [](CompositeWindow* w) {
        QCOMPARE(w->table()->rowCount(), 3);
        w->cancelButton()->click();
    });
    withWindow(s, Cmd::CompositeLrgb, [](CompositeWindow* w) {
        QCOMPARE(w->table()->rowCount(), 0);
        w->cancelButton()->click();
    });
    for (const auto& l : s.frame->compositeJob().lists) QVERIFY(l.entries.empty());
}

void CompositeTest::pointCountSetAllAndCalibrationCopy() {
    Shell s;
    MessageRecorder messages;
    QTemporaryDir dir;
    const QStringList files = writeSeries(dir, 2, 16, 16, RGB_IMAGE);
    withWindow(s, Cmd::CompositeRgb, [&](CompositeWindow* w) {
        addFiles(w, files.mid(0, 1)); // list 0
        w->selectList(3);
        addFiles(w, files);
        for (const char* typed : {"5", "0"}) {
            QVERIFY(typeInto(w->pointCountField(), QString::fromLatin1(typed)));
            QCOMPARE(w->pointCountField()->text(), QStringLiteral("1"));
            QCOMPARE(headers(w).mid(7), QStringList({"Ref 1: X", "Ref 1: Y"}));
        }
        // A factor typed into its cell is shown with three decimals; one out of range is
        // refused with the range prompt.
        w->table()->item(0, 4)->setText(QStringLiteral("2,5"));
        QCOMPARE(w->table()->item(0, 4)->text(), QStringLiteral("2.500"));
        w->table()->item(0, 5)->setText(QStringLiteral("101"));
        QCOMPARE(w->table()->item(0, 5)->text(), QStringLiteral("1.000"));
        QCOMPARE(messages.texts.size(), 1);

        QVERIFY(typeInto(w->setAllField(), QStringLiteral("-2.5")));
        w->setAllButton()->click();
        for (int r = 0; r < 2; ++r)
            for (int c = 4; c < 7; ++c)
                QCOMPARE(w->table()->item(r, c)->text(), QStringLiteral("-2.500"));

        // The whole-image list's calibration goes to the three channel lists only.
        whenModal<ui::DarkFlatDialog>([](ui::DarkFlatDialog* d) {
            d->darkBox()->setChecked(true);
            d->darkPath()->setText(QStringLiteral("/tmp/dark.fts"));
            d->okButton()->click();
        });
        w->calibrationButton()->click();
        QCOMPARE(w->calibrationButton()->text(),
                 QStringLiteral("Dunkel- und Flatfieldkorrektur: AKTIV"));
        w->copyCalibrationButton()->click();
        w->selectList(0);
        QCOMPARE(w->calibrationButton()->text(),
                 QStringLiteral("Dunkel- und Flatfieldkorrektur: AKTIV"));
        QCOMPARE(w->table()->item(0, 4)->text(), QStringLiteral("1.000"));
        w->cancelButton()->click();
    });
    const CompositeJob& job = s.frame->compositeJob();
    for (int l = 0; l < 3; ++l) {
        QVERIFY(job.calibrations[static_cast<std::size_t>(l)] == job.calibrations[3]);
        QCOMPARE(job.calibrations[static_cast<std::size_t>(l)].darkFile,
                 std::string("/tmp/dark.fts"));
    }
    QCOMPARE(job.calibrations.size(), std::size_t{4});
}

void CompositeTest::startNeedsFocusAndStoresTheOptions() {
    Shell s;
    MessageRecorder messages;
    withWindow(s, Cmd::CompositeGrey, [](CompositeWindow* w) {
        w->bordersBox()->setChecked(false);
        w->averagingBox()->setChecked(false);
        w->artefactsBox()->setChecked(false);
        pressStart(w);
    });
    QCOMPARE(s.app->settings().compositeSwitches, 0);
    QCOMPARE(messages.texts, QStringList{QString::fromUtf8(kNoUsableExposureMessage)});
    MemorySettingsStore store;
    s.app->settings().save(store);
    s.app->settings().load(store);
    withWindow(s, Cmd::CompositeGrey, [](CompositeWindow* w) {
        QVERIFY(w->bordersBox()->isChecked());
        QVERIFY(!w->averagingBox()->isChecked());
        // Reference setting with every list empty stays in the window.
        w->referencesButton()->click();
        QVERIFY(w->isVisible());
        w->cancelButton()->click();
    });
    QCOMPARE(messages.texts.last(), QString::fromUtf8(kNoExposuresMessage));
}

void CompositeTest::rgbRunWeightsMismatchMessageAndReport() {
    Shell s;
    MessageRecorder messages;
    QTemporaryDir dir;
    const QStringList files = writeSeries(dir, 1, 40, 30, RGB_IMAGE);
    Image dark;
    makeImage(dark, 20, 20, RGB_IMAGE, constant(5));
    const std::string darkPath = writeFrame(dir, QStringLiteral("dark.fts"), dark);
    withWindow(s, Cmd::CompositeRgb, [&](CompositeWindow* w) {
        w->selectList(3);
        // The second file is gone before the run: skipped, and marked in the report.
        addFiles(w, {files[0], dir.filePath(QStringLiteral("missing.fts"))});
        w->table()->item(0, 5)->setText(QStringLiteral("2"));
        setDark(w, darkPath);
        w->bordersBox()->setChecked(false);
        pressStart(w);
    });
    ui::CWinQuillonDoc* result = s.app->documents().last();
    QCOMPARE(result->title(), QStringLiteral("Komposit"));
    QCOMPARE(result->image().width(), 40);
    const auto& weights = result->views().first()->renderer().params().channelWeight;
    QCOMPARE(weights[0], 1.0f);
    QCOMPARE(weights[1], 0.5f);
    QCOMPARE(weights[2], 1.0f);
    // The dark of the wrong size: the exposure went in uncalibrated, one message at the end.
    QCOMPARE(messages.texts, QStringList{QString::fromUtf8(kCalibrationMismatchMessage)});
    QCOMPARE(int{result->image().row(1, 0)[0]}, 2 * 200);
    auto* report = s.frame->findChild<ui::CompositeReport*>(QStringLiteral("compositeReport"));
    QVERIFY(report);
    QCOMPARE(report->table()->rowCount(), 2);
    QCOMPARE(report->table()->item(0, 2)->text(), QStringLiteral("Referenzbild"));
    QCOMPARE(report->table()->item(1, 2)->text(), QStringLiteral("nicht verfügbar"));
    QCOMPARE(s.frame->compositeJob().lists[3].entries.size(), std::size_t{2});
    shot(report, "composite_report");
}

void CompositeTest::cancelledRunLeavesNoResult() {
    Shell s;
    MessageRecorder messages;
    QTemporaryDir dir;
    const QStringList files = writeSeries(dir, 4, 300, 200, BW_IMAGE);
    ui::CWinQuillonDoc* open = s.newImage(300, 200, BW_IMAGE);
    open->changeInPlace(
        QStringLiteral("Füllen"), [](Image& img, Progress&) { fill(img, constant(1000)); }, s.frame,
        nullptr);
    open->setModified(false);
    const QString title = open->title();
    Image dark;
    makeImage(dark, 300, 200, BW_IMAGE, constant(400));
    const std::string darkPath = writeFrame(dir, QStringLiteral("dark.fts"), dark);
    // Cancel as soon as the growing result appears.
    bool grew = false;
    QObject::connect(s.app.get(), &ui::CWinQuillonApp::documentsChanged, s.frame, [&] {
        if (s.app->documents().size() < 2) return;
        grew = true;
        s.frame->jobs().cancel();
    });
    withWindow(s, Cmd::CompositeGrey, [&](CompositeWindow* w) {
        addFirstView(w);
        addFiles(w, files);
        setDark(w, darkPath);
        pressStart(w);
    });
    Shell::settle();
    QVERIFY(grew);
    QCOMPARE(s.app->documents().size(), 1);
    QCOMPARE(int{open->image().row(0, 5)[5]}, 1000);
    QCOMPARE(open->title(), title);
    QVERIFY(!open->isModified());
    QVERIFY(messages.texts.isEmpty());

    // The same job run to its end calibrates the open window once, with its title label.
    QObject::disconnect(s.app.get(), &ui::CWinQuillonApp::documentsChanged, s.frame, nullptr);
    withWindow(s, Cmd::CompositeGrey, [](CompositeWindow* w) { pressStart(w); });
    QCOMPARE(s.app->documents().size(), 2);
    QCOMPARE(int{open->image().row(0, 5)[5]}, 600);
    QCOMPARE(open->title(), title + QString::fromStdString(calibrationTitleLabel(true, false)));
    QVERIFY(open->isModified());

    // The calibration is an undo step of its own behind the window's earlier ones: undo takes
    // back exactly it, the next undo the earlier step.
    open->undo(s.frame);
    QCOMPARE(int{open->image().row(0, 5)[5]}, 1000);
    QCOMPARE(open->title(), title);
    open->undo(s.frame);
    QCOMPARE(int{open->image().row(0, 5)[5]}, 0);
}

// A square on black: two shifted exposures (the result is cropped to their overlap) and an
// open window of the reference scene in the overlay list with "Schwarz" inactive. The overlay
// must cover exactly the square of the cropped result.
void CompositeTest::overlayListLandsOnTheCroppedResult() {
    Shell s;
    MessageRecorder messages;
    QTemporaryDir dir;
    auto square = [](int dx, int dy) {
        return [dx, dy](int, int x, int y) {
            return x >= 30 + dx && x < 36 + dx && y >= 15 + dy && y < 21 + dy ? 5000 : 0;
        };
    };
    QStringList files;
    for (int i = 0; i < 2; ++i) {
        Image img;
        makeImage(img, 60, 40, BW_IMAGE, square(3 * i, 2 * i));
        files << QString::fromStdString(writeFrame(dir, QStringLiteral("q%1.fts").arg(i), img));
    }
    ui::CWinQuillonDoc* drawing = s.newImage(60, 40, BW_IMAGE);
    fill(drawing->image(), square(0, 0));
    drawing->setModified(false);
    drawing->refreshViews(false);
    withWindow(s, Cmd::CompositeGrey, [&](CompositeWindow* w) {
        addFiles(w, files);
        QVERIFY(typeInto(w->pointCountField(), QStringLiteral("1")));
        for (int r = 0; r < 2; ++r) {
            w->table()->item(r, 5)->setText(QString::number(20 + 3 * r));
            w->table()->item(r, 6)->setText(QString::number(20 + 2 * r));
        }
        w->selectList(1);
        addFirstView(w);
        w->table()->item(0, 4)->setText(QStringLiteral("20"));
        w->table()->item(0, 5)->setText(QStringLiteral("20"));
        whenModal<ui::OverlayFormingDialog>([](ui::OverlayFormingDialog* d) {
            d->methodButton(OVERLAY_BLACK)->setChecked(true);
            d->okButton()->click();
        });
        pressStart(w);
    });
    QVERIFY(messages.texts.isEmpty());
    const Image& result = s.app->documents().last()->image();
    QVERIFY(result.width() < 60 && result.hasOverlay());
    int covered = 0;
    for (int y = 0; y < result.height(); ++y)
        for (int x = 0; x < result.width(); ++x) {
            const bool bright = result.row(0, y)[x] > 0;
            const bool marked = result.row(result.overlayPlane(), y)[x] != 0;
            if (bright != marked)
                QFAIL(qPrintable(QStringLiteral("overlay misplaced at %1,%2").arg(x).arg(y)));
            covered += marked ? 1 : 0;
        }
    QCOMPARE(covered, 36);
}

void CompositeTest::userDefinedAsksLayersAndEndsWithTheMapping() {
    Shell s;
    QTemporaryDir dir;
    const QStringList files = writeSeries(dir, 1, 20, 20, BW_IMAGE);
    whenModal<ui::LayerCountDialog>([](ui::LayerCountDialog* d) {
        QVERIFY(typeInto(d->field(), QStringLiteral("5")));
        d->accept();
    });
    bool mapping = false;
    withWindow(s, Cmd::CompositeUser, [&](CompositeWindow* w) {
        QCOMPARE(w->listChooser()->count(), 7);
        addFiles(w, files);
        whenModal<ui::LayerMatrixDialog>([&](ui::LayerMatrixDialog* d) {
            mapping = true;
            d->reject();
        });
        pressStart(w);
    });
    QVERIFY(mapping);
    QCOMPARE(s.app->settings().numberLayers, 5);
    QCOMPARE(s.app->documents().last()->image().layerCount(), 5);
}

// The bundled sample shifted into a short series: the window's run against `quillon-cli stack`
// with a job file of the same exposures and points (each taken as placed).
void CompositeTest::runMatchesTheCommandLineStack() {
    Shell s;
    MessageRecorder messages;
    QTemporaryDir dir;
    Image demo;
    makeDemoImage(demo);
    const int w = 400, h = 300;
    const int shifts[][2] = {{0, 0}, {7, -3}, {-4, 5}};
    QStringList files;
    for (const auto& d : shifts) {
        Image img;
        makeImage(img, w, h, RGB_IMAGE, [&](int p, int x, int y) {
            return static_cast<int>(demo.row(p, 200 + y - d[1])[300 + x - d[0]]);
        });
        files << QString::fromStdString(
            writeFrame(dir, QStringLiteral("s%1.fts").arg(files.size()), img));
    }
    withWindow(s, Cmd::CompositeRgb, [&](CompositeWindow* win) {
        win->selectList(3);
        addFiles(win, files);
        QVERIFY(typeInto(win->pointCountField(), QStringLiteral("1")));
        for (int r = 0; r < 3; ++r) {
            win->table()->item(r, 7)->setText(QString::number(100 + shifts[r][0]));
            win->table()->item(r, 8)->setText(QString::number(80 + shifts[r][1]));
        }
        pressStart(win);
    });
    QVERIFY(messages.texts.isEmpty());
    ui::CWinQuillonDoc* gui = s.app->documents().last();
    QCOMPARE(gui->title(), QStringLiteral("Komposit"));

    QString json = QStringLiteral(
        R"({"version": 1, "type": "rgb", "layers": 3, "options": {"referencePoints": 1,
        "sizeFactor": 1, "average": false, "setAllValue": 1, "removeBorders": true,
        "removeArtefacts": false, "weights": [1, 1, 1]}, "lists": [{"index": 3, "entries": [)");
    for (int r = 0; r < 3; ++r)
        json += QStringLiteral(R"(%1{"path": "%2", "points": [[%3, %4]]})")
                    .arg(r ? "," : "")
                    .arg(files[r])
                    .arg(100 + shifts[r][0])
                    .arg(80 + shifts[r][1]);
    json += QStringLiteral("]}]}");
    QFile job(dir.filePath(QStringLiteral("job.json")));
    QVERIFY(job.open(QIODevice::WriteOnly));
    job.write(json.toUtf8());
    job.close();
    const QString out = dir.filePath(QStringLiteral("cli.fts"));
    QProcess cli;
    cli.start(QStringLiteral(QUILLON_CLI),
              {QStringLiteral("stack"), out, QStringLiteral("--job"), job.fileName()});
    QVERIFY(cli.waitForFinished(60000));
    QCOMPARE(cli.exitCode(), 0);
    Image expected;
    openImage(out.toStdString(), expected, Progress::none());
    const Image& got = gui->image();
    QCOMPARE(got.width(), expected.width());
    QCOMPARE(got.height(), expected.height());
    QVERIFY(got.width() < w); // the borders were cut away
    shot(s.frame->findChild<ui::CompositeReport*>(QStringLiteral("compositeReport")),
         "composite_report_series");
    shot(s.frame, "composite_result");
    QCOMPARE(QString::fromStdString(firstDifference(got, expected)), QString());
}

// An LRGB run through the window: one exposure per channel list, each a background with its
// own most frequent value; the result's view shows the background as the bias step found it.
void CompositeTest::lrgbRunEndsWithTheBias() {
    Shell s;
    MessageRecorder messages;
    QTemporaryDir dir;
    const int backgrounds[4] = {300, 120, 90, 60};
    withWindow(s, Cmd::CompositeLrgb, [&](CompositeWindow* w) {
        QVERIFY(typeInto(w->pointCountField(), QStringLiteral("1")));
        for (int list = 0; list < 4; ++list) {
            Image img;
            makeImage(img, 40, 30, BW_IMAGE, [&](int, int x, int y) {
                return backgrounds[list] + ((x == 20 && y == 15) ? 2000 : (x + y) % 3 == 0);
            });
            w->selectList(list);
            addFiles(w, {QString::fromStdString(
                            writeFrame(dir, QStringLiteral("c%1.fts").arg(list), img))});
            for (int c = 0; c < w->table()->columnCount(); ++c) {
                const QString h = w->table()->horizontalHeaderItem(c)->text();
                if (h == QStringLiteral("Ref 1: X")) w->table()->item(0, c)->setText("20");
                if (h == QStringLiteral("Ref 1: Y")) w->table()->item(0, c)->setText("15");
            }
        }
        pressStart(w);
    });
    QCOMPARE(messages.texts, QStringList());
    ui::CWinQuillonDoc* result = s.app->documents().last();
    QCOMPARE(result->title(), QStringLiteral("Komposit"));
    QCOMPARE(result->image().type(), std::uint16_t{LRGB_IMAGE});
    const ui::CWinQuillonView* v = result->views().first();
    const LrgbBiasValues bias = v->renderer().params().lrgbBias;
    QCOMPARE(bias, determineBias(result->image(), kWholeImageBias, kWholeImageBias));
    shot(s.frame, "composite_lrgb_result");
}

// An open window whose list calibration fails (a dark of another size) goes in uncalibrated
// and keeps its title, its saved state and its undo history.
void CompositeTest::failedCalibrationOfAnOpenWindowRecordsNothing() {
    Shell s;
    MessageRecorder messages;
    QTemporaryDir dir;
    ui::CWinQuillonDoc* open = s.newImage(30, 20, BW_IMAGE);
    fill(open->image(), constant(500));
    open->setModified(false);
    const QString title = open->title();
    Image dark;
    makeImage(dark, 20, 20, BW_IMAGE, constant(5));
    const std::string darkPath = writeFrame(dir, QStringLiteral("dark.fts"), dark);
    withWindow(s, Cmd::CompositeGrey, [&](CompositeWindow* w) {
        addFirstView(w);
        setDark(w, darkPath);
        pressStart(w);
    });
    QCOMPARE(messages.texts, QStringList{QString::fromUtf8(kCalibrationMismatchMessage)});
    QCOMPARE(s.app->documents().size(), 2);
    QCOMPARE(open->title(), title);
    QVERIFY(!open->isModified());
    QVERIFY(!open->history().canUndo());
    QCOMPARE(int{open->image().row(0, 3)[3]}, 500);
}

// Winsorized rejection chosen in the window's combine group: the run keeps its unrounded mean,
// and "Ergebnis als 32-Bit-FITS speichern..." writes it as BITPIX -32. The exposures are
// 100 (p + 1) + x + y + i (i = 0, 1, 2); the default normalisation (addscale) takes each one's
// level step away, so the mean is the reference exposure's values exactly.
void CompositeTest::winsorizedRunKeepsTheFloatResult() {
    Shell s;
    MessageRecorder messages;
    QTemporaryDir dir;
    const QStringList files = writeSeries(dir, 3, 60, 40, RGB_IMAGE);
    withWindow(s, Cmd::CompositeRgb, [&](CompositeWindow* win) {
        win->selectList(3);
        addFiles(win, files);
        QVERIFY(typeInto(win->pointCountField(), QStringLiteral("1")));
        for (int r = 0; r < 3; ++r) {
            win->table()->item(r, 7)->setText(QStringLiteral("30"));
            win->table()->item(r, 8)->setText(QStringLiteral("20"));
        }
        ui::StackOptionsGroup* g = win->stackOptions();
        g->rejectionBox()->setCurrentIndex(static_cast<int>(Rejection::Winsorized));
        g->combineBox()->setCurrentIndex(0); // "Mittelwert"
        QVERIFY(win->averagingBox()->isChecked());
        shot(win, "composite_stack_options");
        pressStart(win);
    });
    QVERIFY(messages.texts.isEmpty());
    QCOMPARE(s.frame->compositeJob().options.rejection.method, Rejection::Winsorized);
    QVERIFY(!ui::lastCompositeSums().empty());
    const std::string path = dir.filePath(QStringLiteral("float.fts")).toStdString();
    ui::saveLastCompositeFloat(path);
    std::ifstream in(path, std::ios::binary);
    std::string header(2880, ' ');
    in.read(header.data(), 2880);
    QVERIFY(header.find("BITPIX  =                  -32") != std::string::npos);
    // Layer 0, row 0: 100 + x.
    for (int x = 0; x < 3; ++x) {
        unsigned char b[4] = {};
        in.read(reinterpret_cast<char*>(b), 4);
        const std::uint32_t bits = (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) |
                                   (std::uint32_t{b[2]} << 8) | b[3];
        QCOMPARE(std::bit_cast<float>(bits), 100.0f + static_cast<float>(x));
    }
}

// A window given a job nobody has configured shows the grey target's empty lists; without
// exposures "Bildanalyse..." and "Alle Referenzpunkte setzen" say so and nothing is measured.
void CompositeTest::unconfiguredJobOpensWithoutExposures() {
    Shell s;
    MessageRecorder messages;
    CompositeJob job;
    SettingsRecord settings;
    CompositeWindow w(job, settings, {});
    bool measured = false;
    w.setAnalysisOpener([&](QWidget*) { measured = true; });
    QCOMPARE(listNames(&w), QStringList({"Gesamtbild: Graubild", "Overlay"}));
    w.autoAlignRow()->analysisButton()->click();
    w.clearButton()->click();
    w.referencesButton()->click();
    QVERIFY(!measured);
    const QString none = QString::fromUtf8(kNoExposuresMessage);
    QCOMPARE(messages.texts, QStringList({none, none}));
}

QTEST_MAIN(CompositeTest)
#include "test_composite.moc"
