// DockHost: the docks, their first-start arrangement, the stored arrangement and floating.
#include "ui/shell/dock_host.h"

#include <QCloseEvent>
#include <QDockWidget>
#include <QGuiApplication>
#include <QMainWindow>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>

#include <functional>

namespace quillon::ui {
namespace {

constexpr const char* kDockNames[kDockCount] = {"dockNavigator",  "dockScaling",   "dockHistogram",
                                                "dockPhotometry", "dockImageInfo", "dockHelpWizard",
                                                "dockHelp"};

// The settings slot that keeps a dock's floating point (the help pages have none).
constexpr WindowSlot kSlots[kDockCount - 1] = {
    WindowSlot::ZoomNavigator, WindowSlot::Scaling,   WindowSlot::Histogram,
    WindowSlot::Photometry,    WindowSlot::ImageInfo, WindowSlot::MiniWebBrowser};

// Widths of the left and right dock columns and heights of the lower docks in the first-start
// arrangement; they leave the document area most of a 1280 × 800 window.
constexpr int kLeftWidth = 330, kRightWidth = 250;
constexpr int kUpperLeftHeight = 450, kHistogramHeight = 250, kUpperRightHeight = 430,
              kNavigatorHeight = 270;

// A dock that tells its host when the user closes it, and whether the user floated it by a
// double click on its title (the mouse button is still down then, as in a drag).
class ToolDock : public QDockWidget {
public:
    using QDockWidget::QDockWidget;
    std::function<void()> onUserClose;
    bool floatedByDoubleClick = false;

protected:
    void closeEvent(QCloseEvent* e) override {
        QDockWidget::closeEvent(e);
        if (e->isAccepted() && onUserClose) onUserClose();
    }
    bool event(QEvent* e) override {
        if (e->type() == QEvent::MouseButtonDblClick) floatedByDoubleClick = true;
        const bool done = QDockWidget::event(e);
        if (e->type() == QEvent::MouseButtonDblClick) floatedByDoubleClick = false;
        return done;
    }
};

QRect desktop() {
    QScreen* s = QGuiApplication::primaryScreen();
    return QGuiApplication::screens().size() >= 2 ? s->virtualGeometry() : s->geometry();
}

} // namespace

DockHost::DockHost(QMainWindow& frame, SettingsRecord& settings)
    : QObject(&frame), frame_(frame), settings_(settings) {
    for (int i = 0; i < kDockCount; ++i) {
        auto* dock = new ToolDock(&frame);
        dock->setObjectName(QString::fromLatin1(kDockNames[i]));
        dock->hide();
        const auto d = static_cast<Dock>(i);
        dock->onUserClose = [this, d] {
            storePoint(d);
            emit closedByUser(d);
        };
        connect(dock, &QDockWidget::topLevelChanged, this, [this, d, dock](bool floating) {
            // A dock dragged out stays where the user drops it; the float button, a double
            // click and a call put it at its window's own place.
            const bool dragged =
                !dock->floatedByDoubleClick && QGuiApplication::mouseButtons() != Qt::NoButton;
            if (floating && !restoring_ && !dragged) placeFloating(d, true);
        });
        docks_[static_cast<std::size_t>(i)] = dock;
    }
    arrangeDefault();
}

void DockHost::setContent(Dock d, QWidget* content) {
    QDockWidget* dock = this->dock(d);
    if (dock->widget()) return;
    floatSizes_[static_cast<std::size_t>(d)] =
        content->testAttribute(Qt::WA_Resized) ? content->size() : content->sizeHint();
    dock->setWindowTitle(content->windowTitle());
    connect(content, &QWidget::windowTitleChanged, dock, &QWidget::setWindowTitle);
    if (d == Dock::HelpWizard || d == Dock::Help) {
        dock->setWidget(content); // scrolls by itself
    } else {
        // The docks may be narrower than a tool window: its controls scroll instead of
        // pushing the document area aside.
        auto* scroll = new QScrollArea(dock);
        scroll->setFrameShape(QFrame::NoFrame);
        scroll->setWidgetResizable(true);
        scroll->setWidget(content);
        dock->setWidget(scroll);
    }
    content->show();
}

bool DockHost::hasContent(Dock d) const {
    return dock(d)->widget() != nullptr;
}

bool DockHost::isOpen(Dock d) const {
    // A dock behind another tab is not visible, but it is not hidden either.
    return !dock(d)->isHidden();
}

void DockHost::open(Dock d) {
    if (isOpen(d)) return;
    // A floating one comes back at the point stored when it closed.
    if (dock(d)->isFloating()) placeFloating(d, false);
    QDockWidget* w = dock(d);
    w->show();
    w->raise();
    // A dock shown again among tabs gets its tab only when the layout runs; then it comes to
    // the front.
    QTimer::singleShot(0, w, [w] { w->raise(); });
}

void DockHost::close(Dock d) {
    if (!isOpen(d)) return;
    storePoint(d);
    dock(d)->hide();
}

void DockHost::arrangeDefault() {
    restoring_ = true;
    std::array<bool, kDockCount> wasOpen{};
    for (int i = 0; i < kDockCount; ++i) {
        QDockWidget* w = docks_[static_cast<std::size_t>(i)];
        wasOpen[static_cast<std::size_t>(i)] = !w->isHidden();
        storePoint(static_cast<Dock>(i));
        w->setFloating(false);
        frame_.removeDockWidget(w);
    }
    frame_.addDockWidget(Qt::LeftDockWidgetArea, dock(Dock::ImageInfo));
    frame_.addDockWidget(Qt::LeftDockWidgetArea, dock(Dock::Histogram));
    frame_.tabifyDockWidget(dock(Dock::ImageInfo), dock(Dock::Photometry));
    frame_.addDockWidget(Qt::RightDockWidgetArea, dock(Dock::Scaling));
    frame_.addDockWidget(Qt::RightDockWidgetArea, dock(Dock::Navigator));
    frame_.tabifyDockWidget(dock(Dock::Navigator), dock(Dock::HelpWizard));
    frame_.tabifyDockWidget(dock(Dock::HelpWizard), dock(Dock::Help));
    for (int i = 0; i < kDockCount; ++i)
        docks_[static_cast<std::size_t>(i)]->setVisible(wasOpen[static_cast<std::size_t>(i)]);
    restoring_ = false;
    frontsPending_ = true; // sizes and fronts once the tools are open (openToolWindows)
}

void DockHost::raiseDefaultFronts() {
    if (!frontsPending_) return;
    // Sizes apply to docks that are shown; the arrangement waits until the tools opened.
    if (!isOpen(Dock::ImageInfo) && !isOpen(Dock::Navigator)) return;
    frontsPending_ = false;
    // Fronts and sizes once the docks just shown have their place in the layout (after the
    // raise of each dock that opened).
    QTimer::singleShot(0, this, [this] {
        for (Dock d : {Dock::ImageInfo, Dock::Navigator})
            if (isOpen(d)) dock(d)->raise();
        frame_.resizeDocks({dock(Dock::ImageInfo), dock(Dock::Scaling)}, {kLeftWidth, kRightWidth},
                           Qt::Horizontal);
        frame_.resizeDocks(
            {dock(Dock::ImageInfo), dock(Dock::Histogram), dock(Dock::Scaling),
             dock(Dock::Navigator)},
            {kUpperLeftHeight, kHistogramHeight, kUpperRightHeight, kNavigatorHeight},
            Qt::Vertical);
    });
}

bool DockHost::restoreSaved() {
    if (settings_.dockState.empty()) return false;
    restoring_ = true;
    const bool ok = frame_.restoreState(
        QByteArray::fromBase64(QByteArray::fromStdString(settings_.dockState)), 1);
    restoring_ = false;
    if (ok) frontsPending_ = false;
    return ok;
}

void DockHost::store() {
    for (int i = 0; i < kDockCount; ++i)
        if (isOpen(static_cast<Dock>(i))) storePoint(static_cast<Dock>(i));
    settings_.dockState = frame_.saveState(1).toBase64().toStdString();
    settings_.frameGeometry = frame_.saveGeometry().toBase64().toStdString();
}

void DockHost::placeFloating(Dock d, bool standardSize) {
    QDockWidget* w = dock(d);
    const QSize size = floatSizes_[static_cast<std::size_t>(d)];
    if (standardSize && size.isValid()) w->resize(size);
    if (d == Dock::Help) {
        w->move(frame_.geometry().center() - QPoint(w->width() / 2, w->height() / 2));
        return;
    }
    const WindowSlot slot = kSlots[static_cast<std::size_t>(d)];
    WindowPoint p = settings_.windowPoint(slot);
    // The start-up check corrects stored points that lie off the desktop; a point never
    // stored nor checked (the absent default) gives the standard position.
    if (p.left >= kAbsentWindowPoint.left || p.top >= kAbsentWindowPoint.top)
        p = standardPosition(slot, desktop().width());
    w->move(p.left, p.top);
}

void DockHost::storePoint(Dock d) {
    QDockWidget* w = dock(d);
    if (d == Dock::Help || !w->isFloating()) return;
    settings_.setWindowPoint(kSlots[static_cast<std::size_t>(d)], {w->x(), w->y()});
}

bool showWithStoredGeometry(QMainWindow& frame, const SettingsRecord& settings) {
    if (settings.frameGeometry.empty()) return false;
    if (!frame.restoreGeometry(
            QByteArray::fromBase64(QByteArray::fromStdString(settings.frameGeometry))))
        return false;
    frame.show();
    return true;
}

} // namespace quillon::ui
