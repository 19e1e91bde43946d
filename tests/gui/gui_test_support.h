// Shared pieces of the GUI tests: a recorder for message boxes, typing into number fields,
// answering modal dialogs and a started main window.
#pragma once

#include "ui/dialogs/number_field.h"
#include "ui/document.h"
#include "ui/messages.h"
#include "ui/shell/main_frame.h"
#include "ui/shell/quillon_app.h"
#include "ui/view.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace quillon::test {

// Records every message box and answers it with `answer`.
struct MessageRecorder {
    QStringList texts;
    QMessageBox::StandardButton answer = QMessageBox::No;
    MessageRecorder() {
        ui::setMessageHandler([this](const QString& t, ui::Ask) {
            texts << t;
            return answer;
        });
    }
    ~MessageRecorder() { ui::setMessageHandler({}); }
};

// Types text into a field as the user would and leaves it.
inline bool typeInto(ui::NumberField* f, const QString& text) {
    f->setText(text);
    f->setModified(true);
    return f->commit();
}

// Runs `fn` on the next modal dialog of type D as soon as it is shown. When none shows within
// `timeoutMs`, the test fails and whatever modal dialog is open is rejected, so that the test
// ends instead of hanging. The polling timer belongs to the application (nothing leaks when
// the test ends early) and deletes itself once it is done.
template <class D>
void whenModal(std::function<void(D*)> fn, int timeoutMs = 5000) {
    auto* timer = new QTimer(QCoreApplication::instance());
    auto poll = [timer, fn = std::move(fn), deadline = QDeadlineTimer(timeoutMs)] {
        auto* d = qobject_cast<D*>(QApplication::activeModalWidget());
        if (!d && !deadline.hasExpired()) return;
        timer->stop();
        timer->deleteLater();
        if (d) return fn(d);
        QTest::qFail("no modal dialog of the expected type appeared", __FILE__, __LINE__);
        if (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget())) open->reject();
    };
    QObject::connect(timer, &QTimer::timeout, timer, std::move(poll));
    timer->start(10);
}

// An application with its main window shown.
struct Shell {
    std::unique_ptr<ui::CWinQuillonApp> app = std::make_unique<ui::CWinQuillonApp>();
    ui::CMainFrame* frame = nullptr;
    Shell() {
        frame = app->createMainFrame();
        frame->resize(1200, 900);
        frame->show();
        QApplication::setActiveWindow(frame);
        QCoreApplication::processEvents();
    }
    // Lets queued work (deferred deletes, queued updates) run.
    static void settle() {
        for (int i = 0; i < 5; ++i) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
        }
    }
    ui::CWinQuillonDoc* newImage(int w, int h, std::uint16_t type = RGB_IMAGE,
                                 bool overlay = false) {
        auto& p = app->newParams();
        p.type = type;
        p.width = w;
        p.height = h;
        p.overlay = overlay;
        p.userLayerCount = 3;
        ui::CWinQuillonDoc* d = app->newDocument();
        settle();
        return d;
    }
};

// Screenshots for looking at the dialogs, when QUILLON_SHOT_DIR names a folder.
inline void shot(QWidget* w, const char* name) {
    const QString dir = qEnvironmentVariable("QUILLON_SHOT_DIR");
    if (dir.isEmpty() || !w) return;
    QCoreApplication::processEvents();
    w->grab().save(dir + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"));
}

} // namespace quillon::test
