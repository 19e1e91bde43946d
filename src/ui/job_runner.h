// JobRunner: runs a long operation on a worker thread while the window stays responsive.
//
// The interface thread calls run(), which starts the work on a worker thread and waits in a
// local event loop until it is over. Meanwhile the windows repaint, the status bar shows the
// operation's progress and the "Abbrechen" button and the Esc key ask the work to stop; every
// other input to the program's windows is held back, so no document can change or close
// under the work. Only the interface thread touches widgets and documents: work that needs to
// show an intermediate result asks for it with onInterfaceThread(), which runs on the
// interface thread while the worker waits.
#pragma once

#include "core/progress.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>

class QAbstractButton;
class QWidget;

namespace quillon::ui {

struct JobResult {
    enum Kind { Done, Cancelled, Failed, OutOfMemory };
    Kind kind = Done;
    QString message; // the Error's text for Failed
    bool ok() const { return kind == Done; }
};

class JobRunner : public QObject {
    Q_OBJECT
public:
    using Work = std::function<void(Progress&)>;

    // display shows the progress (the status bar); cancel is the button that stops a job,
    // shown only while one runs.
    JobRunner(ProgressSink& display, QAbstractButton* cancel, QObject* parent = nullptr);
    ~JobRunner() override;

    // Runs work on a worker thread and returns when it has ended. A quillon::Error becomes
    // Failed with its text, std::bad_alloc OutOfMemory, Cancelled (the user stopped it)
    // Cancelled. Called while a job runs, the new job runs inside the first one.
    JobResult run(const Work& work);

    bool busy() const { return depth_ > 0; }
    // Asks the running job to stop at its next progress report.
    void cancel();
    bool cancelRequested() const { return cancel_.load(); }

    // From the work: runs fn on the interface thread and waits until it has run (redraws of
    // an intermediate result). Runs fn at once when called on the interface thread. Whatever
    // fn throws (std::bad_alloc, Error, Cancelled) comes out of this call on the worker, so
    // the job ends as run() describes and nothing escapes into the event loop.
    void onInterfaceThread(const std::function<void()>& fn);

    // Runs work on the calling thread with progress reported to sink (may be null) and the
    // exceptions turned into a result as run() does.
    static JobResult execute(const Work& work, ProgressSink* sink);

signals:
    void busyChanged(bool busy);

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    class Sink;
    void beginBusy();
    void endBusy();
    bool isCancelControl(QObject* o) const;

    ProgressSink& display_;
    QPointer<QAbstractButton> cancelButton_;
    std::atomic<bool> cancel_{false};
    int depth_ = 0;
};

// Runs work through the runner, or on this thread when there is none (no main window).
JobResult runJob(JobRunner* runner, const JobRunner::Work& work);

// Shows the message of a failed job (outOfMemory for OutOfMemory); nothing for success and
// cancel, which is not a failure.
void reportFailure(const JobResult& r, const char* outOfMemory, QWidget* parent = nullptr);

} // namespace quillon::ui
