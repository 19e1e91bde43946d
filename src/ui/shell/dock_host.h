// DockHost: the tool windows, the help wizard and the help pages live in dock widgets around
// the document area. It builds the first-start arrangement, keeps the arrangement and the main
// window's geometry in the settings (QMainWindow::saveState / restoreState), and puts a dock
// that the user floats at its window's stored point and standard size.
#pragma once

#include "core/settings_record.h"

#include <QObject>
#include <QSize>

#include <array>

class QDockWidget;
class QMainWindow;
class QWidget;

namespace quillon::ui {

// The first six follow the tool bits (navigator .. help wizard); Help shows the help pages.
enum class Dock { Navigator = 0, Scaling, Histogram, Photometry, ImageInfo, HelpWizard, Help };
inline constexpr int kDockCount = 7;

class DockHost : public QObject {
    Q_OBJECT
public:
    // Creates every dock, closed and empty, in the first-start arrangement.
    DockHost(QMainWindow& frame, SettingsRecord& settings);

    QDockWidget* dock(Dock d) const { return docks_[static_cast<std::size_t>(d)]; }
    // Puts the window into its dock (scrollable when the dock is smaller); the dock takes the
    // window's title and its size as the standard size when floating.
    void setContent(Dock d, QWidget* content);
    bool hasContent(Dock d) const;
    // Shown, possibly as a tab behind another dock.
    bool isOpen(Dock d) const;
    // Shows a closed dock and brings it to the front of its tabs; an open one stays as it is.
    void open(Dock d);
    // Hides the dock; a floating one leaves its position in its window's settings slot.
    void close(Dock d);

    // The first-start arrangement: information and photometry (tabbed) over the histogram on
    // the left, scaling over the navigator, help wizard and help pages (tabbed) on the right.
    // Floating docks come back; which docks are open stays as it was.
    void arrangeDefault();
    // The arrangement stored in the settings; false (nothing changed) when there is none or
    // it cannot be read. Docks that it shows keep their tab order; the caller fills them.
    bool restoreSaved();
    // After the tool windows opened at start-up or by an arrangement: the docks that front
    // their tabs in the first-start arrangement come to the front.
    void raiseDefaultFronts();
    // Stores the arrangement and the main window's geometry, and the point of every floating
    // dock in its window's slot.
    void store();

signals:
    // The user closed the dock (its close button).
    void closedByUser(Dock d);

private:
    // Moves a floating dock to its window's stored point, and to its standard size.
    void placeFloating(Dock d, bool standardSize);
    void storePoint(Dock d);

    QMainWindow& frame_;
    SettingsRecord& settings_;
    std::array<QDockWidget*, kDockCount> docks_{};
    std::array<QSize, kDockCount> floatSizes_{};
    bool restoring_ = false, frontsPending_ = false;
};

// Restores the main window's stored geometry (including maximised) and shows it; false, with
// nothing done, when none was stored.
bool showWithStoredGeometry(QMainWindow& frame, const SettingsRecord& settings);

} // namespace quillon::ui
