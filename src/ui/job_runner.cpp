// JobRunner: the worker thread, the local event loop, input held back and cancel.
#include "ui/job_runner.h"

#include "core/error.h"
#include "ui/messages.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QThread>
#include <QWidget>

#include <exception>
#include <memory>
#include <new>

namespace quillon::ui {

void reportFailure(const JobResult& r, const char* outOfMemory, QWidget* parent) {
    if (r.kind == JobResult::Failed)
        showMessage(parent, r.message);
    else if (r.kind == JobResult::OutOfMemory)
        showMessage(parent, QString::fromUtf8(outOfMemory));
}

// Forwards the work's progress to the display and answers its cancel polls.
class JobRunner::Sink : public ProgressSink {
public:
    Sink(ProgressSink& display, const std::atomic<bool>& cancel)
        : display_(display), cancel_(cancel) {}
    void started(const std::string& title, const std::string& text) override {
        display_.started(title, text);
    }
    void update(const std::string& text, int percent) override { display_.update(text, percent); }
    void finished() override { display_.finished(); }
    bool cancelRequested() override { return cancel_.load(); }

private:
    ProgressSink& display_;
    const std::atomic<bool>& cancel_;
};

JobRunner::JobRunner(ProgressSink& display, QAbstractButton* cancel, QObject* parent)
    : QObject(parent), display_(display), cancelButton_(cancel) {
    if (cancelButton_) {
        cancelButton_->hide();
        connect(cancelButton_, &QAbstractButton::clicked, this, &JobRunner::cancel);
    }
}

JobRunner::~JobRunner() {
    if (depth_ > 0) qApp->removeEventFilter(this);
}

void JobRunner::cancel() {
    if (busy()) cancel_.store(true);
}

JobResult JobRunner::run(const Work& work) {
    if (depth_ == 0) cancel_.store(false);
    beginBusy();
    JobResult result;
    Sink sink(display_, cancel_);
    std::unique_ptr<QThread> worker(QThread::create([&] { result = execute(work, &sink); }));
    QEventLoop loop;
    connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    loop.exec();
    worker->wait();
    // A cancel asked for after the work had finished changes nothing.
    endBusy();
    return result;
}

JobResult JobRunner::execute(const Work& work, ProgressSink* sink) {
    JobResult result;
    Progress progress(sink);
    try {
        work(progress);
    } catch (const Cancelled&) {
        result.kind = JobResult::Cancelled;
    } catch (const Error& e) {
        result.kind = JobResult::Failed;
        result.message = QString::fromUtf8(e.what());
    } catch (const std::bad_alloc&) {
        result.kind = JobResult::OutOfMemory;
    } catch (const std::exception& e) {
        // A fault of the library: report it rather than take the program down.
        result.kind = JobResult::Failed;
        result.message = QString::fromUtf8(e.what());
    }
    progress.end(); // hides the bar also when the work stopped half-way
    return result;
}

JobResult runJob(JobRunner* runner, const JobRunner::Work& work) {
    return runner ? runner->run(work) : JobRunner::execute(work, nullptr);
}

void JobRunner::onInterfaceThread(const std::function<void()>& fn) {
    if (QThread::currentThread() == thread()) {
        fn();
        return;
    }
    // An exception must not pass through the event loop (Qt ends the program then): it is
    // caught there and thrown again here on the worker, where the job ends with it as with any
    // other failure of its work.
    std::exception_ptr failure;
    QMetaObject::invokeMethod(
        this,
        [&] {
            try {
                fn();
            } catch (...) {
                failure = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (failure) std::rethrow_exception(failure);
}

void JobRunner::beginBusy() {
    if (depth_++ > 0) return;
    qApp->installEventFilter(this);
    QApplication::setOverrideCursor(Qt::BusyCursor);
    if (cancelButton_) cancelButton_->show();
    emit busyChanged(true);
}

void JobRunner::endBusy() {
    if (--depth_ > 0) return;
    qApp->removeEventFilter(this);
    QApplication::restoreOverrideCursor();
    if (cancelButton_) cancelButton_->hide();
    cancel_.store(false);
    emit busyChanged(false);
}

bool JobRunner::isCancelControl(QObject* o) const {
    for (auto* w = qobject_cast<QWidget*>(o); w; w = w->parentWidget())
        if (w == cancelButton_) return true;
    return false;
}

bool JobRunner::eventFilter(QObject* watched, QEvent* e) {
    switch (e->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape) {
            cancel();
            return true;
        }
        [[fallthrough]];
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TouchBegin:
    case QEvent::TabletPress:
        // The work owns the documents until it ends: only the cancel button takes input.
        return !isCancelControl(watched);
    case QEvent::Close:
        // Closing a window would take its document away from the work.
        if (watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow()) {
            e->ignore();
            return true;
        }
        return false;
    default: return false;
    }
}

} // namespace quillon::ui
