// "Overlayeigenschaften": how an exposure of the composite's overlay list forms overlay samples.
#pragma once

#include "display/overlay_record.h"

#include <QDialog>

#include <array>

class QCheckBox;
class QPushButton;
class QRadioButton;

namespace quillon::ui {

class CWinQuillonView;

class OverlayFormingDialog : public QDialog {
    Q_OBJECT
public:
    // Starts from the stored choices and the view's current invert switch; "Invertiert"
    // switches the view's invert at once, so the user sees the colours that will be used.
    OverlayFormingDialog(CWinQuillonView* view, const SettingsRecord& settings,
                         QWidget* parent = nullptr);

    OverlayForming choice() const;
    QRadioButton* methodButton(int method) const {
        return methods_[static_cast<std::size_t>(method)];
    }
    QCheckBox* transparentBox() const { return transparent_; }
    QCheckBox* invertBox() const { return invert_; }
    QPushButton* okButton() const { return ok_; }

private:
    CWinQuillonView* view_;
    std::array<QRadioButton*, 4> methods_{};
    QCheckBox* transparent_;
    QCheckBox* invert_;
    QPushButton* ok_;
};

} // namespace quillon::ui
