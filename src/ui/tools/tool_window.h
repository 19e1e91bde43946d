// ToolWindow: the common part of the tool windows (follows the active view, disables its
// controls without one), and ToolWindows, which owns them and their docks.
#pragma once

#include "core/settings_record.h"
#include "ui/shell/dock_host.h"
#include "ui/shell/main_frame.h"

#include <QPointer>
#include <QWidget>

#include <array>

namespace quillon::ui {

class CWinQuillonView;

class ToolWindow : public QWidget {
    Q_OBJECT
public:
    // `owner` is the main window; the window itself lives in a dock of it.
    ToolWindow(QWidget* owner, SettingsRecord& settings, WindowSlot slot, const QString& title);

    CWinQuillonView* view() const { return view_; }
    WindowSlot slot() const { return slot_; }
    QWidget* owner() const { return owner_; }
    // Follows the active view (null: every control disabled) and redraws.
    void setView(CWinQuillonView* v);
    // Shows the current state of the view; called on view changes and display changes.
    virtual void refresh() = 0;
    // Its dock was closed (by the user or by a command).
    virtual void closed() {}
    // The area holding every control; disabled while there is no view.
    QWidget* body() const { return body_; }

signals:
    // This window changed the display parameters of its view.
    void displayEdited(CWinQuillonView* view);

protected:
    // Rebuilds nothing itself: redraws the view and tells the other tool windows.
    void afterDisplayEdit();
    void showEvent(QShowEvent* e) override;

    SettingsRecord& settings_;

private:
    QPointer<CWinQuillonView> view_;
    QWidget* owner_;
    WindowSlot slot_;
    QWidget* body_;
};

// The tool windows of the main window, created on first use, each in its dock; the help
// wizard's and the help pages' docks are here too.
class ToolWindows : public QObject {
    Q_OBJECT
public:
    ToolWindows(QMainWindow& owner, SettingsRecord& settings, QWidget* helpWizard,
                QWidget* helpPages);
    DockHost& docks() const { return *docks_; }

    // Null when the tool has no window of its own here or was not created yet.
    ToolWindow* window(Tool t) const { return windows_[static_cast<std::size_t>(t)]; }
    bool hasWindow(Tool t) const;
    // Its dock is open (possibly as a tab behind another); the help wizard counts too.
    bool isVisible(Tool t) const;
    // Creates the window when needed and opens its dock (a floating one where it was).
    ToolWindow* open(Tool t);
    // Closes its dock; a floating one leaves its position in the settings.
    void close(Tool t);
    // The stored arrangement of the docks; returns the tool bits of the docks it shows, whose
    // windows now exist. 0 when nothing was stored.
    unsigned restoreLayout();
    void setActiveView(CWinQuillonView* v);
    // Redraws every open window (the active view or its display changed).
    void refreshAll();

signals:
    void closedByUser(Tool t);

private:
    QWidget* owner_;
    SettingsRecord& settings_;
    DockHost* docks_;
    QPointer<CWinQuillonView> active_;
    std::array<ToolWindow*, 6> windows_{};
};

} // namespace quillon::ui
