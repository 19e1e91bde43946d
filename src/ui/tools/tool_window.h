// ToolWindow: the common part of the tool windows (follows the active view, disables its
// controls without one, remembers its position), and ToolWindows, which owns them.
#pragma once

#include "core/settings_record.h"
#include "ui/shell/main_frame.h"

#include <QPointer>
#include <QWidget>

#include <array>

namespace quillon::ui {

class CWinQuillonView;

class ToolWindow : public QWidget {
    Q_OBJECT
public:
    ToolWindow(QWidget* owner, SettingsRecord& settings, WindowSlot slot, const QString& title);

    CWinQuillonView* view() const { return view_; }
    WindowSlot slot() const { return slot_; }
    // Follows the active view (null: every control disabled) and redraws.
    void setView(CWinQuillonView* v);
    // Shows the current state of the view; called on view changes and display changes.
    virtual void refresh() = 0;
    // Places the window at its stored point / stores where it is now.
    void placeAtStoredPoint();
    void storePoint();
    // The area holding every control; disabled while there is no view.
    QWidget* body() const { return body_; }

signals:
    // This window changed the display parameters of its view.
    void displayEdited(CWinQuillonView* view);
    // The user closed the window with its close button.
    void closedByUser();

protected:
    // Rebuilds nothing itself: redraws the view and tells the other tool windows.
    void afterDisplayEdit();
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;

    SettingsRecord& settings_;

private:
    QPointer<CWinQuillonView> view_;
    WindowSlot slot_;
    QWidget* body_;
    bool closingFromCode_ = false;
    friend class ToolWindows;
};

// The tool windows of the main window, created on first use (the help wizard lives
// elsewhere).
class ToolWindows : public QObject {
    Q_OBJECT
public:
    ToolWindows(QWidget* owner, SettingsRecord& settings);

    // Null when the tool has no window of its own here or was not created yet.
    ToolWindow* window(Tool t) const { return windows_[static_cast<std::size_t>(t)]; }
    bool hasWindow(Tool t) const;
    bool isVisible(Tool t) const;
    // Creates the window when needed, places it at its stored point and shows it.
    ToolWindow* open(Tool t);
    // Stores its position and hides it.
    void close(Tool t);
    void setActiveView(CWinQuillonView* v);
    // Redraws every open window (the active view or its display changed).
    void refreshAll();

signals:
    void closedByUser(Tool t);

private:
    QWidget* owner_;
    SettingsRecord& settings_;
    QPointer<CWinQuillonView> active_;
    std::array<ToolWindow*, 6> windows_{};
};

} // namespace quillon::ui
