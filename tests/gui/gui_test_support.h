// Shared pieces of the GUI tests: a recorder for message boxes and a started main window.
#pragma once

#include "ui/quillon_app.h"
#include "ui/document.h"
#include "ui/main_frame.h"
#include "ui/messages.h"
#include "ui/view.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>

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

} // namespace quillon::test
