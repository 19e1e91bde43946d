// The window "Bildanalyse" on a generated star series, the composite run aligned by all stars
// without reference points, and the star marks of "Sterne markieren".
#include "gui_test_support.h"
#include "support/test_images.h"

#include "analysis/frame_quality.h"
#include "analysis/star_measure.h"
#include "core/settings_record.h"
#include "formats/fits_writer.h"
#include "ui/composite/auto_align.h"
#include "ui/composite/composite_window.h"
#include "ui/composite/frame_analysis_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <random>

using namespace quillon;
using namespace quillon::test;
using namespace quillon::testkit;
using quillon::ui::CompositeWindow;
using quillon::ui::FrameAnalysisWindow;

namespace {

constexpr int kSize = 320;
constexpr double kSigma = 1.4; // FWHM 3.3 px

// Frame i of the series: the same sky shifted by (3i, −2i) and turned a little, with
// noise; the frame `smeared` has stars twice as wide.
QStringList writeSeries(const QTemporaryDir& dir, int count, int smeared) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> pos(30, kSize - 30), flux(4000, 40000);
    std::vector<Star> sky;
    for (int k = 0; k < 45; ++k) sky.push_back({pos(rng), pos(rng), flux(rng)});
    QStringList files;
    for (int i = 0; i < count; ++i) {
        const double a = 0.01 * i, c = std::cos(a), s = std::sin(a), m = kSize / 2.0;
        std::vector<Star> stars;
        for (const Star& t : sky)
            stars.push_back({m + c * (t.x - m) - s * (t.y - m) + 3 * i,
                             m + s * (t.x - m) + c * (t.y - m) - 2 * i, t.flux});
        Image img;
        makeImage(img, kSize, kSize, BW_IMAGE, [](int, int, int) { return 0; });
        fillStars(img, stars, i == smeared ? 2 * kSigma : kSigma, 800);
        std::normal_distribution<double> noise(0, 12);
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x)
                img.row(0, y)[x] += static_cast<std::int16_t>(noise(rng));
        const QString path = dir.filePath(QStringLiteral("f%1.fts").arg(i));
        writeFits(img, path.toStdString(), Progress::none());
        files << path;
    }
    return files;
}

} // namespace

class FrameAnalysisTest : public QObject {
    Q_OBJECT
private slots:
    void analysisRanksUnticksAndAutoAlignStacks();
};

// The series through the composite window: the analysis ranks the smeared frame last by its
// score, unticking its row unticks the list entry, and the run aligned by all stars (no
// points placed) gives a composite whose stars are as sharp as a single frame's.
void FrameAnalysisTest::analysisRanksUnticksAndAutoAlignStacks() {
    Shell s;
    MessageRecorder messages;
    QTemporaryDir dir;
    const int smeared = 2;
    const QStringList files = writeSeries(dir, 5, smeared);
    whenModal<CompositeWindow>([&](CompositeWindow* win) {
        win->setFileChooser([&](QWidget*) { return files; });
        win->addFilesButton()->click();
        const auto& entries = s.frame->compositeJob().lists[0].entries;
        auto used = [](const CompositeEntry& e) { return e.used; };
        whenModal<FrameAnalysisWindow>(
            [&](FrameAnalysisWindow* a) {
                QTableWidget* t = a->table();
                QCOMPARE(t->rowCount(), 5);
                t->sortByColumn(FrameAnalysisWindow::ColScore, Qt::DescendingOrder);
                const int last = t->rowCount() - 1;
                QCOMPARE(t->item(last, FrameAnalysisWindow::ColFile)->text(),
                         QStringLiteral("f%1.fts").arg(smeared));
                QVERIFY(a->frames()[smeared].quality.fwhm > 1.6 * a->frames()[0].quality.fwhm);
                // By hand: the first row off and on again; by rule: the smeared frame off.
                a->setRowUsed(0, false);
                QCOMPARE(std::count_if(entries.begin(), entries.end(), used), 4);
                a->setRowUsed(0, true);
                a->rulesField()->setText(QStringLiteral("fwhm<5, roundness>0.8"));
                QVERIFY(a->applySelection());
                QCOMPARE(t->item(last, FrameAnalysisWindow::ColFile)->checkState(), Qt::Unchecked);
                QVERIFY(t->item(last, FrameAnalysisWindow::ColReason)->text().contains("fwhm<5"));
                shot(a, "frame_analysis");
                a->accept();
            },
            60000); // the window shows once the series is measured
        win->autoAlignRow()->analysisButton()->click();
        QCOMPARE(std::count_if(entries.begin(), entries.end(), used), 4);
        QVERIFY(!entries[smeared].used);
        QCOMPARE(win->table()->item(smeared, 1)->checkState(), Qt::Unchecked);
        win->autoAlignRow()->switchBox()->setChecked(true);
        win->autoAlignRow()->transformBox()->setCurrentIndex(1); // "Ähnlichkeit"
        QApplication::setActiveWindow(win);
        win->startButton()->click(); // the first press takes the focus
        win->startButton()->click();
        if (win->isVisible()) win->reject();
    });
    s.frame->action(ui::Cmd::CompositeGrey)->trigger();
    Shell::settle();
    QCOMPARE(messages.texts, QStringList());
    QCOMPARE(ui::autoAlignChoice(s.app->settings()).on, true);
    ui::CWinQuillonDoc* result = s.app->documents().last();
    QCOMPARE(result->title(), QStringLiteral("Komposit"));
    // A stack of misaligned frames would smear every star; aligned, they stay single-frame
    // sharp (FWHM 2.355 σ) and round.
    const StarField stacked = measureStars(result->image());
    const FrameQuality q = frameQuality(stacked);
    QVERIFY(q.stars >= 35);
    QVERIFY2(q.fwhm < 1.15 * 2.355 * kSigma, qPrintable(QString::number(q.fwhm)));
    QVERIFY2(q.roundness > 0.9, qPrintable(QString::number(q.roundness)));

    // Star marks on the first frame: one per star, off again on the second call.
    ui::CWinQuillonDoc* doc = s.app->openDocument(files[0]);
    QVERIFY(doc && !doc->views().isEmpty());
    ui::CWinQuillonView* view = doc->views().first();
    view->toggleStarMarks();
    QVERIFY(view->starMarkCount() >= 40);
    shot(s.frame, "star_marks");
    view->toggleStarMarks();
    QCOMPARE(view->starMarkCount(), 0);
}

QTEST_MAIN(FrameAnalysisTest)
#include "test_frame_analysis.moc"
