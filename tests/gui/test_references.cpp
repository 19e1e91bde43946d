// The window "Referenzpunkte setzen" over a composite job (series run by itself, stop at a
// failed check, positions carried across sizes, marks, context entry, typed cells, closed
// windows, stored settings) and the dialog "LRGB Bias-Werte".
#include "gui_test_support.h"

#include "analysis/lrgb_bias.h"
#include "composite/job.h"
#include "core/settings_record.h"
#include "formats/fits_writer.h"
#include "ui/composite/composite_window.h"
#include "ui/composite/lrgb_bias_dialog.h"
#include "ui/composite/reference_window.h"
#include "ui/tools/scaling_window.h"
#include "ui/tools/tool_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cmath>

using namespace quillon;
using namespace quillon::test;

namespace {

struct Star {
    double x, y, amplitude;
};

// A grey star field: Gaussian stars (sigma 1.5) on a background of 100.
void paintStars(Image& img, const std::vector<Star>& stars) {
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            double v = 100;
            for (const Star& s : stars)
                v += s.amplitude *
                     std::exp(-((x - s.x) * (x - s.x) + (y - s.y) * (y - s.y)) / (2 * 1.5 * 1.5));
            img.row(0, y)[x] = static_cast<Sample>(v);
        }
}

Image starField(int w, int h, const std::vector<Star>& stars) {
    Image img;
    img.Define(w, h, BW_IMAGE, false, 0);
    img.AllocateSamples(true);
    paintStars(img, stars);
    return img;
}

// The two reference stars and a faint one, shifted by (dx, dy).
std::vector<Star> shifted(double dx, double dy) {
    return {{40 + dx, 40 + dy, 3000}, {120 + dx, 80 + dy, 2500}, {90 + dx, 25 + dy, 400}};
}

void expectNear(ReferencePoint p, double x, double y, const char* what) {
    QVERIFY2(std::abs(p.x - x) < 0.05 && std::abs(p.y - y) < 0.05,
             qPrintable(QStringLiteral("%1: (%2, %3) instead of (%4, %5)")
                            .arg(QLatin1String(what))
                            .arg(double(p.x))
                            .arg(double(p.y))
                            .arg(x)
                            .arg(y)));
}

} // namespace

class ReferencesTest : public QObject {
    Q_OBJECT
private:
    // A grey job of two reference points over files of the frames; the first entry's points
    // are rough guesses near the stars.
    CompositeJob& fileJob(Shell& s, const QTemporaryDir& dir,
                          const std::vector<std::vector<Star>>& frames) {
        CompositeJob& job = s.frame->compositeJob();
        job = CompositeJob{};
        job.configure(BW_IMAGE, 0, CalibrationParams{});
        job.options.referencePointCount = 2;
        for (std::size_t i = 0; i < frames.size(); ++i) {
            Image img = starField(160, 120, frames[i]);
            const std::string path = dir.filePath(QStringLiteral("f%1.fts").arg(i)).toStdString();
            writeFits(img, path, Progress::none());
            job.addFile(0, path);
        }
        job.lists[0].entries[0].points[0] = {41.6f, 38.7f};
        job.lists[0].entries[0].points[1] = {118.8f, 81.4f};
        return job;
    }

private slots:
    void oneNextRunsThroughAShiftingSeries() {
        Shell s;
        QTemporaryDir dir;
        std::vector<std::vector<Star>> frames;
        for (int i = 0; i < 5; ++i) frames.push_back(shifted(3 * i, -2 * i));
        CompositeJob& job = fileJob(s, dir, frames);
        // A file that does not open is dropped without a message.
        MessageRecorder rec;
        CompositeEntry missing = job.newEntry(0);
        missing.name = dir.filePath(QStringLiteral("fehlt.fts")).toStdString();
        job.lists[0].entries.insert(job.lists[0].entries.begin() + 2, missing);
        ui::ReferenceWindow* w = ui::openReferenceWindowAt(*s.frame, 0, 0);
        QVERIFY(w);
        QCOMPARE(w->row()->item(0, 0)->text(), QStringLiteral("6/6"));
        QCOMPARE(w->listTypeField()->text(), QStringLiteral("Weiss"));
        QVERIFY(!w->previousButton()->isEnabled());
        QCOMPARE(s.app->documents().size(), 1); // the file of the entry, opened for showing
        w->autoContinueBox()->setChecked(true);
        QVERIFY(w->carryBox()->isChecked());
        QTest::mouseClick(w->nextButton(), Qt::LeftButton);
        QTRY_COMPARE(w->currentIndex(), 4);
        Shell::settle();
        QCOMPARE(w->currentIndex(), 4);
        QVERIFY(w->lastCheckPassed());
        QVERIFY(!w->nextButton()->isEnabled());
        QCOMPARE(w->row()->item(0, 0)->text(), QStringLiteral("1/5"));
        QCOMPARE(s.app->documents().size(), 1); // each file closed when left
        shot(s.frame, "reference_series");
        bool back = false; // the composite window comes back on the job
        whenModal<ui::CompositeWindow>([&back](ui::CompositeWindow* d) {
            back = true;
            d->reject();
        });
        QTest::mouseClick(w->endButton(), Qt::LeftButton);
        Shell::settle();
        QTRY_VERIFY(back);
        QVERIFY(!ui::referenceWindowOf(*s.frame));
        QCOMPARE(s.app->documents().size(), 0);
        QVERIFY(rec.texts.isEmpty());
        QCOMPARE(job.lists[0].entries.size(), std::size_t{5});
        for (int i = 0; i < 5; ++i) {
            const auto& e = job.lists[0].entries[static_cast<std::size_t>(i)];
            expectNear(e.points[0], 40 + 3 * i, 40 - 2 * i, "star 1");
            expectNear(e.points[1], 120 + 3 * i, 80 - 2 * i, "star 2");
            QVERIFY(e.pointsSet);
        }
    }

    void automaticContinuationStopsWhereTheCheckFails() {
        Shell s;
        QTemporaryDir dir;
        std::vector<std::vector<Star>> frames;
        for (int i = 0; i < 4; ++i) frames.push_back(shifted(2 * i, i));
        frames[2][1].x += 4; // the second star of frame 2 moved: the distance changes
        fileJob(s, dir, frames);
        ui::ReferenceWindow* w = ui::openReferenceWindowAt(*s.frame, 0, 0);
        QVERIFY(w);
        w->autoContinueBox()->setChecked(true);
        w->next();
        Shell::settle();
        QCOMPARE(w->currentIndex(), 2);
        QVERIFY(!w->lastCheckPassed());
        // The user closes the shown file: its row is kept and the next exposure comes.
        w->locateAt(1, QPointF(128, 82));
        s.app->closeDocument(w->shownView()->document());
        Shell::settle();
        QCOMPARE(w->currentIndex(), 3);
        QCOMPARE(s.app->documents().size(), 1);
        QCOMPARE(s.frame->compositeJob().lists[0].entries[2].points[1].x, 128.0f);
        // Switching the carried positions off also ends the continuation.
        w->carryBox()->setChecked(false);
        QVERIFY(!w->autoContinueBox()->isChecked());
        // Closing the main window closes the reference window the regular way: the row is taken
        // over and the search settings are stored.
        w->searchTable()->item(2, 0)->setText(QStringLiteral("3"));
        QVERIFY(s.frame->close());
        QVERIFY(s.frame->compositeJob().lists[0].entries[3].pointsSet);
        QCOMPARE(s.app->settings().setReferenceGravity[0], 3);
        Shell::settle();
    }

    // Quitting with the reference window open, cancelled at the save question: the reference
    // window has ended, but the composite window must not come up over the main window.
    void cancelledQuitBringsNoCompositeWindow() {
        Shell s;
        QTemporaryDir dir;
        MessageRecorder messages;
        messages.answer = QMessageBox::Cancel;
        fileJob(s, dir, {shifted(0, 0), shifted(2, 1)});
        s.newImage(30, 20)->setModified(true);
        QVERIFY(ui::openReferenceWindowAt(*s.frame, 0, 0));
        bool composite = false;
        QTimer::singleShot(300, s.frame, [&] {
            if (auto* c = qobject_cast<ui::CompositeWindow*>(QApplication::activeModalWidget())) {
                composite = true;
                c->reject();
            }
        });
        QVERIFY(!s.frame->close());
        QTest::qWait(500);
        QCOMPARE(messages.texts.size(), 1);
        QVERIFY(!composite);
        QVERIFY(!ui::referenceWindowOf(*s.frame));
    }

    void starMatchingFollowsAShiftBeyondTheSearchWindow() {
        Shell s;
        QTemporaryDir dir;
        // Ten stars; the second frame is shifted by (25, -18), beyond the search half-size 12.
        auto field = [](double dx, double dy) {
            std::vector<Star> stars = shifted(dx, dy);
            const double extra[][2] = {{20, 95}, {60, 70}, {140, 20}, {100, 100},
                                       {30, 15}, {75, 50}, {135, 105}};
            for (const auto& e : extra) stars.push_back({e[0] + dx, e[1] + dy, 900});
            return stars;
        };
        CompositeJob& job = fileJob(s, dir, {field(0, 0), field(25, -18)});
        job.options.referencePointCount = 4;
        job.lists[0].entries[0].points[2] = {61, 71};
        job.lists[0].entries[0].points[3] = {101, 99};
        ui::ReferenceWindow* w = ui::openReferenceWindowAt(*s.frame, 0, 0);
        QVERIFY(w);
        w->starMatchBox()->setChecked(true);
        w->next();
        QVERIFY(w->lastCheckPassed());
        QVERIFY(std::abs(w->rowPoint(3).x - 125) < 0.05f &&
                std::abs(w->rowPoint(3).y - 82) < 0.05f);
        shot(s.frame, "reference_marks");
        whenModal<ui::CompositeWindow>([](ui::CompositeWindow* d) { d->reject(); });
        w->finish();
        Shell::settle();
        expectNear(job.lists[0].entries[1].points[0], 65, 22, "star 1");
        expectNear(job.lists[0].entries[1].points[1], 145, 62, "star 2");
        w = ui::openReferenceWindowAt(*s.frame, 0, 0);
        QVERIFY(w->starMatchBox()->isChecked()); // kept for the run of the program
        QVERIFY(ui::referenceStarMatching());
        w->starMatchBox()->setChecked(false);
        whenModal<ui::CompositeWindow>([](ui::CompositeWindow* d) { d->reject(); });
        w->close();
        Shell::settle();
    }

    void positionsCarryAcrossSizesAndFollowTheUser() {
        Shell s;
        MessageRecorder rec;
        ui::CWinQuillonDoc* big = s.newImage(200, 160, BW_IMAGE);
        paintStars(big->image(), {{100, 80, 3000}, {150, 40, 3000}});
        big->refreshViews(false);
        ui::CWinQuillonDoc* small = s.newImage(100, 80, BW_IMAGE);
        paintStars(small->image(), {{50, 40, 3000}, {75, 20, 3000}});
        small->refreshViews(false);
        CompositeJob& job = s.frame->compositeJob();
        job = CompositeJob{};
        job.configure(RGB_IMAGE, 0, CalibrationParams{});
        job.options.referencePointCount = 2;
        job.addDocument(3, ui::documentIdOf(big), "big");
        job.addDocument(3, ui::documentIdOf(small), "small");
        job.lists[3].entries[0].points[0] = {101, 79};
        job.lists[3].entries[0].points[1] = {149, 41};
        ui::ReferenceWindow* w = ui::openReferenceWindowAt(*s.frame, 0, 0);
        QVERIFY(w);
        QCOMPARE(w->currentList(), 3); // the empty channel lists are passed over
        QCOMPARE(w->listTypeField()->text(), QStringLiteral("RGB"));
        QCOMPARE(w->row()->horizontalHeaderItem(4)->text(), QStringLiteral("Faktor: Rot"));
        QCOMPARE(w->shownView()->document(), big);
        QCOMPARE(w->shownView()->referenceMarkCount(), 2);
        w->next();
        // 200 × 160 → 100 × 80: the seeds are halved before the search.
        QCOMPARE(w->shownView()->document(), small);
        QVERIFY(w->lastCheckPassed());
        QVERIFY(std::abs(w->rowPoint(0).x - 50) < 0.05f && std::abs(w->rowPoint(0).y - 40) < 0.05f);
        QVERIFY(std::abs(w->rowPoint(1).x - 75) < 0.05f && std::abs(w->rowPoint(1).y - 20) < 0.05f);
        QCOMPARE(w->shownView()->referenceMark(1), QPointF(w->rowPoint(1).x, w->rowPoint(1).y));
        QCOMPARE(big->views().first()->referenceMarkCount(), 0);
        {
            // The frames are drawn over the grey picture: pure red and green pixels appear.
            const QImage shown = w->shownView()->viewport()->grab().toImage();
            bool red = false, green = false;
            for (int y = 0; y < shown.height(); ++y)
                for (int x = 0; x < shown.width(); ++x) {
                    const QRgb c = shown.pixel(x, y);
                    red |= c == qRgb(255, 0, 0);
                    green |= c == qRgb(0, 255, 0);
                }
            QVERIFY(red && green);
        }

        // A typed cell searches at once with the table's settings (point 1 over a larger
        // window); the context entry searches at the clicked position (point 2 by "Maximum").
        w->searchTable()->item(1, 0)->setText(QStringLiteral("30"));
        qobject_cast<QComboBox*>(w->searchTable()->cellWidget(0, 1))->setCurrentIndex(2);
        w->searchTable()->item(1, 1)->setText(QStringLiteral("9"));
        w->row()->item(0, 7)->setText(QStringLiteral("70"));
        QVERIFY(std::abs(w->rowPoint(0).x - 75) < 0.05f && std::abs(w->rowPoint(0).y - 20) < 0.05f);
        // The view's context menu offers one entry per point, beyond the count disabled.
        ui::CWinQuillonView* view = w->shownView();
        QStringList offered;
        QTimer::singleShot(50, [&offered] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu) return;
            QAction* second = nullptr;
            for (QAction* a : menu->actions()) {
                if (!a->text().startsWith(QStringLiteral("Referenzposition"))) continue;
                offered << a->text() + (a->isEnabled() ? QString() : QStringLiteral(" (aus)"));
                if (a->text().startsWith(QStringLiteral("Referenzposition 2"))) second = a;
            }
            menu->setActiveAction(second);
            QTest::keyClick(menu, Qt::Key_Return);
        });
        const QPoint at = view->toWindow(QPoint(52, 43));
        QContextMenuEvent ev(QContextMenuEvent::Mouse, at, view->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(view->viewport(), &ev);
        QCOMPARE(offered,
                 (QStringList{QStringLiteral("Referenzposition 1 hier setzen/suchen"),
                              QStringLiteral("Referenzposition 2 hier setzen/suchen"),
                              QStringLiteral("Referenzposition 3 hier setzen/suchen (aus)"),
                              QStringLiteral("Referenzposition 4 hier setzen/suchen (aus)")}));
        QCOMPARE(w->rowPoint(1).x, 50.0f);
        QCOMPARE(w->rowPoint(1).y, 40.0f);
        shot(w, "reference_window");

        // Closing the other window drops its entry.
        big->setModified(false);
        s.app->closeDocument(big);
        Shell::settle();
        QCOMPARE(job.lists[3].entries.size(), std::size_t{1});
        QCOMPARE(w->currentIndex(), 0);
        QVERIFY(!w->previousButton()->isEnabled());
        QCOMPARE(w->row()->item(0, 0)->text(), QStringLiteral("1/1"));
        whenModal<ui::CompositeWindow>([](ui::CompositeWindow* d) { d->reject(); });
        w->finish();
        Shell::settle();
        const CompositeEntry& e = job.lists[3].entries[0];
        expectNear(e.points[0], 75, 20, "typed");
        expectNear(e.points[1], 50, 40, "context entry");
        const SettingsRecord& st = s.app->settings();
        QCOMPARE(st.setReferenceMethods, 2 << 8);
        QCOMPARE(st.setReferenceSearch[0], 30);
        QCOMPARE(st.setReferenceSearch[1], 9);
        QCOMPARE(ui::referenceSearchFromSettings(st)[1].method, ReferenceMethod::Maximum);
        QVERIFY(rec.texts.isEmpty());
    }

    // A typed coordinate that is no position in an image is refused with the range prompt; the
    // entry keeps its point and the cell shows it again.
    void typedCoordinatesOutsideTheImageRangeAreRefused() {
        Shell s;
        QTemporaryDir dir;
        MessageRecorder rec;
        CompositeJob& job = fileJob(s, dir, {shifted(0, 0), shifted(2, 1)});
        ui::ReferenceWindow* w = ui::openReferenceWindowAt(*s.frame, 0, 0);
        QVERIFY(w);
        const ReferencePoint located = job.lists[0].entries[0].points[0];
        expectNear(located, 40, 40, "shown");
        QTableWidgetItem* x = w->row()->item(0, 5); // "Ref 1: X" after one factor column
        for (const char* typed : {"1e30", "inf", "nan", "-3", "abc"}) {
            x->setText(QString::fromLatin1(typed));
            QCOMPARE(job.lists[0].entries[0].points[0], located);
            QCOMPARE(x->text(), QString::asprintf("%.2f", double(located.x)));
        }
        QCOMPARE(rec.texts.size(), 5);
        QCOMPARE(rec.texts.front(),
                 QStringLiteral("Geben Sie bitte eine Zahl zwischen 0 und 14000 ein."));
        x->setText(QStringLiteral("37,5")); // a decimal comma searches like a point
        expectNear(job.lists[0].entries[0].points[0], 40, 40, "typed");
        QCOMPARE(rec.texts.size(), 5);
        whenModal<ui::CompositeWindow>([](ui::CompositeWindow* d) { d->reject(); });
        w->finish();
        Shell::settle();
    }

    void lrgbBiasDialogDeterminesPreviewsAndApplies() {
        Shell s;
        MessageRecorder rec;
        s.newImage(64, 48, RGB_IMAGE);
        QVERIFY(!s.frame->action(ui::Cmd::LrgbBias)->isEnabled());
        ui::CWinQuillonDoc* d = s.newImage(64, 48, LRGB_IMAGE);
        QVERIFY(s.frame->action(ui::Cmd::LrgbBias)->isEnabled());
        Image& img = d->image();
        for (int l = 0; l < 4; ++l)
            for (int y = 0; y < 48; ++y)
                for (int x = 0; x < 64; ++x)
                    img.row(l, y)[x] = static_cast<Sample>(200 + 40 * l + (x == 20 ? 5000 : x % 3));
        d->refreshViews(false);
        ui::CWinQuillonView* v = s.frame->activeView();
        d->setModified(false);

        ui::LrgbBiasDialog dlg(*s.frame, v, v->renderer().params().lrgbBias);
        dlg.show();
        Shell::settle();
        QVERIFY(dlg.previewWindow() && dlg.previewWindow()->isVisible());
        shot(&dlg, "lrgb_bias_dialog");
        QTest::mouseClick(dlg.automaticButton(), Qt::LeftButton);
        const LrgbBiasValues mode = determineBias(img, kWholeImageBias, kWholeImageBias);
        QCOMPARE(mode[3], std::int16_t{320}); // 0, 1, 2 equally often: the lowest
        for (int i = 0; i < 4; ++i)
            QCOMPARE(dlg.newField(i)->value(), double(mode[std::size_t(i)]));
        QCOMPARE(dlg.oldField(1)->text(), QStringLiteral("0"));
        QTest::mouseClick(dlg.applyButton(), Qt::LeftButton);
        QCOMPARE(v->renderer().params().lrgbBias, mode);
        QCOMPARE(dlg.oldField(1)->text(), QStringLiteral("240"));
        QVERIFY(dlg.isVisible()); // "Übernehmen" keeps the dialog open
        s.frame->action(ui::Cmd::ToolScaling)->trigger();
        auto* scaling =
            qobject_cast<ui::ScalingWindow*>(s.frame->toolWindows()->window(ui::Tool::Scaling));
        QVERIFY(scaling && scaling->lrgbBiasButton()->isEnabled());
        QVERIFY(scaling->lrgbBiasButton()->toolTip().contains(QStringLiteral("R=240")));
        QVERIFY(typeInto(dlg.newField(0), QStringLiteral("7")));
        dlg.reject(); // what was applied stays
        QCOMPARE(v->renderer().params().lrgbBias, mode);
        QVERIFY(!d->isModified());

        // The context entry starts from the disc at the point; a point off the image says so.
        whenModal<ui::LrgbBiasDialog>([](ui::LrgbBiasDialog* b) {
            QCOMPARE(b->newField(0)->value(), 201.0); // x 30..40 around 35: values 0, 1, 2
            QTest::mouseClick(b->okButton(), Qt::LeftButton);
        });
        ui::runLrgbBiasDialog(*s.frame, v, QPointF(35.5, 10.2));
        QVERIFY(d->isModified());
        ui::runLrgbBiasDialog(*s.frame, v, QPointF(-7, 10));
        QCOMPARE(rec.texts, QStringList{QString::fromUtf8(kOutsideImage)});

        // The end of an LRGB composite sets the whole-image bias on the result.
        v->renderer().setLrgbBias(0, 0, 0, 0);
        ui::openLrgbBiasAfterComposite(*s.frame, v);
        QCOMPARE(v->renderer().params().lrgbBias, mode);
    }
};

QTEST_MAIN(ReferencesTest)
#include "test_references.moc"
