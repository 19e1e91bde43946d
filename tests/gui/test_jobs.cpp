// Long operations as jobs: cancelling leaves everything as it was, and the windows keep
// painting while the work runs.
#include "gui_test_support.h"

#include "core/error.h"
#include "core/memory.h"
#include "core/parallel.h"
#include "filters/mask_filter.h"
#include "ui/job_runner.h"

#include <QLabel>
#include <QMenuBar>
#include <QToolButton>

#include <atomic>
#include <chrono>
#include <thread>

using namespace quillon;
using namespace quillon::test;

class JobsTest : public QObject {
    Q_OBJECT
private slots:
    void cancelledFilterMakesNoDocument_data();
    void cancelledFilterMakesNoDocument();
    void cancelledInPlaceWorkLeavesTheImage();
    void windowsPaintWhileAJobRuns();
    void failureOnTheInterfaceThreadEndsTheJob();
};

namespace {

// A checksum of every sample of every plane.
unsigned long long checksum(const Image& image) {
    unsigned long long h = 1469598103934665603ull;
    for (int p = 0; p < image.planeCount(); ++p)
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                h = (h ^ static_cast<std::uint16_t>(image.row(p, y)[x])) * 1099511628211ull;
    return h;
}

// Presses cancel (the button or Esc) once the job has shown its first progress.
void cancelWhenRunning(Shell& s, bool byKey) {
    auto* poll = new QTimer(s.frame);
    QObject::connect(poll, &QTimer::timeout, s.frame, [&s, poll, byKey] {
        if (!s.frame->jobs().busy() || s.frame->statusProgress().lastText().empty()) return;
        poll->stop();
        poll->deleteLater();
        if (byKey)
            QTest::keyClick(s.frame->activeView(), Qt::Key_Escape);
        else
            QTest::mouseClick(s.frame->cancelButton(), Qt::LeftButton);
    });
    poll->start(5);
}

} // namespace

void JobsTest::cancelledFilterMakesNoDocument_data() {
    QTest::addColumn<bool>("byKey");
    QTest::newRow("Abbrechen") << false;
    QTest::newRow("Esc") << true;
}

void JobsTest::cancelledFilterMakesNoDocument() {
    QFETCH(bool, byKey);
    MessageRecorder msgs;
    Shell s;
    ui::CWinQuillonDoc* src = s.newImage(4000, 3000, RGB_IMAGE, true);
    for (int p = 0; p < src->image().planeCount(); ++p)
        for (int y = 0; y < src->image().height(); y += 7)
            src->image().row(p, y)[(y * 13 + p) % 4000] = static_cast<Sample>(y - 1500);
    src->setModified(false);
    const unsigned long long before = checksum(src->image());
    ScopedThreadCount oneThread(1); // long enough to be cancelled half-way
    cancelWhenRunning(s, byKey);
    const ConvolutionFilter filter = ConvolutionFilter::lowpass(2, 3); // the largest kernel
    QVERIFY(s.frame->applyFilterToNewDocument(filter, s.frame->activeView()) == nullptr);
    Shell::settle();
    QVERIFY(!s.frame->jobs().busy());
    QCOMPARE(s.app->documents().size(), 1); // no half-made document, no save question
    QVERIFY(msgs.texts.isEmpty());
    QCOMPARE(checksum(src->image()), before);
    QVERIFY(!src->isModified());
    QVERIFY(s.frame->cancelButton()->isHidden());
    QVERIFY(s.frame->menuBar()->isEnabled());
}

void JobsTest::cancelledInPlaceWorkLeavesTheImage() {
    MessageRecorder msgs;
    Shell s;
    ui::CWinQuillonDoc* doc = s.newImage(200, 100, BW_IMAGE);
    doc->setModified(false);
    const unsigned long long before = checksum(doc->image());
    cancelWhenRunning(s, false);
    // Half of the change is done when the cancel arrives.
    s.frame->changeInPlace([](Image& image, Progress& p) {
        p.begin("Test", 1000, 1);
        for (int y = 0; y < image.height() / 2; ++y) image.row(0, y)[0] = 999;
        for (;;) {
            p.step();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    QCOMPARE(checksum(doc->image()), before);
    QVERIFY(!doc->isModified());
    QVERIFY(msgs.texts.isEmpty());
}

void JobsTest::windowsPaintWhileAJobRuns() {
    MessageRecorder msgs;
    Shell s;
    s.newImage(300, 200, RGB_IMAGE);
    ui::CWinQuillonView* view = s.frame->activeView();
    std::atomic<bool> release{false};
    long long paintsDuringJob = -1;
    QString shownText;
    bool menusEnabled = true;
    // While the work waits, the interface thread repaints the view and shows the progress.
    QTimer::singleShot(0, s.frame, [&] {
        struct Release {
            std::atomic<bool>& flag;
            ~Release() { flag = true; } // also when a check fails
        } guard{release};
        const long long before = view->paintCount();
        view->viewport()->update();
        QTRY_VERIFY_WITH_TIMEOUT(view->paintCount() > before, 5000);
        paintsDuringJob = view->paintCount() - before;
        QTRY_VERIFY_WITH_TIMEOUT(s.frame->pane(0)->text().contains(QStringLiteral("50%")), 5000);
        shownText = s.frame->pane(0)->text();
        menusEnabled = s.frame->menuBar()->isEnabled();
    });
    const ui::JobResult r = s.frame->jobs().run([&](Progress& p) {
        p.begin("Warten", 2, 1);
        p.step();
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        p.step();
    });
    QVERIFY(r.ok());
    QVERIFY(paintsDuringJob > 0);
    QCOMPARE(shownText, QStringLiteral("   Warten  50% "));
    QVERIFY(!menusEnabled); // input waits for the job
    QCOMPARE(s.frame->pane(0)->text(), QStringLiteral("Bereit"));
    QVERIFY(msgs.texts.isEmpty());
}

// Work a job runs on the interface thread that runs out of memory or fails ends the job with
// that failure (nothing of the work after it runs) instead of escaping into the event loop.
void JobsTest::failureOnTheInterfaceThreadEndsTheJob() {
    MessageRecorder msgs;
    Shell s;
    ui::JobRunner& jobs = s.frame->jobs();
    bool after = false;
    ui::JobResult r;
    {
        memory::ScopedLimit limit(memory::inUse() + 1024);
        r = jobs.run([&](Progress&) {
            jobs.onInterfaceThread([] { memory::Buffer<Sample> copy(4096); });
            after = true;
        });
    }
    QCOMPARE(r.kind, ui::JobResult::OutOfMemory);
    r = jobs.run([&](Progress&) {
        jobs.onInterfaceThread([] { throw Error("Fehler beim Zeichnen"); });
        after = true;
    });
    QCOMPARE(r.kind, ui::JobResult::Failed);
    QCOMPARE(r.message, QStringLiteral("Fehler beim Zeichnen"));
    QVERIFY(!after);
    QVERIFY(!jobs.busy());
    QVERIFY(msgs.texts.isEmpty());
}

QTEST_MAIN(JobsTest)
#include "test_jobs.moc"
