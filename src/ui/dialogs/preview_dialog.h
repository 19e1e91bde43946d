// PreviewDialog: the base of every dialog with a live preview (filters, debayer, grey
// conversion, LRGB bias, background extraction): the preview window opens with the dialog,
// "Vorschau..." brings it back, a parameter change recomputes it, and it closes with the
// dialog. A derived dialog supplies `preview` and calls `previewChanged` when a parameter
// changed.
#pragma once

#include "core/settings_record.h"
#include "ui/dialogs/preview_window.h"

#include <QDialog>
#include <QPointF>
#include <QPointer>

#include <memory>
#include <optional>

class QPushButton;

namespace quillon::ui {

class CWinQuillonView;

// The preview window of a dialog: opened with the dialog, brought back by "Vorschau...",
// reopened at the place it showed when closed, closed together with the dialog.
class PreviewHost {
public:
    PreviewHost(QWidget* owner, CWinQuillonView* view, SettingsRecord& settings,
                PreviewProvider provider);
    ~PreviewHost();
    // "Vorschau...": raises the open window or creates it again.
    void show();
    void close();
    void recompute();
    PreviewWindow* window() const { return window_; }

private:
    QWidget* owner_;
    QPointer<CWinQuillonView> view_;
    SettingsRecord& settings_;
    PreviewProvider provider_;
    QPointer<PreviewWindow> window_;
    std::optional<QPointF> centre_;
};

class PreviewDialog : public QDialog {
    Q_OBJECT
public:
    PreviewDialog(CWinQuillonView* view, SettingsRecord& settings, QWidget* parent);
    ~PreviewDialog() override;

    // The piece processed with the dialog's current parameters, drawn for the preview.
    virtual PreviewResult preview(const PreviewPiece& piece) const = 0;
    PreviewWindow* previewWindow() const;
    void done(int r) override;

protected:
    // A "Vorschau..." button (not the default) that brings the preview back.
    QPushButton* makePreviewButton();
    // The parameters changed: the open preview is computed again.
    void previewChanged();
    // The preview opens once, with the dialog.
    void showEvent(QShowEvent* e) override;

private:
    std::unique_ptr<PreviewHost> host_;
    bool shownOnce_ = false;
};

} // namespace quillon::ui
