// "Overlayeigenschaften": method, "Transparent" and "Invertiert" of overlay forming.
#include "ui/composite/overlay_forming_dialog.h"

#include "ui/document.h"
#include "ui/view.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quillon::ui {

OverlayFormingDialog::OverlayFormingDialog(CWinQuillonView* view, const SettingsRecord& settings,
                                           QWidget* parent)
    : QDialog(parent), view_(view) {
    setWindowTitle(tr("Overlayeigenschaften"));
    const auto fields = overlayFormingFields();
    const OverlayForming init = paramsFromSettings(fields, settings);
    auto text = [&](int field) {
        return QCoreApplication::translate("quillon", fields[field].dialog.label);
    };
    auto* l = new QVBoxLayout(this);
    auto* group = new QGroupBox(text(0), this);
    auto* gl = new QVBoxLayout(group);
    for (std::size_t m = 0; m < methods_.size(); ++m) {
        methods_[m] = new QRadioButton(
            QCoreApplication::translate("quillon", overlayMethodText(static_cast<int>(m))), group);
        gl->addWidget(methods_[m]);
    }
    methods_[static_cast<std::size_t>(init.method >= 0 && init.method < 4 ? init.method : 0)]
        ->setChecked(true);
    l->addWidget(group);
    transparent_ = new QCheckBox(text(1), this);
    transparent_->setChecked(init.transparent);
    invert_ = new QCheckBox(text(2), this);
    invert_->setChecked(view_ && view_->renderer().params().invert);
    l->addWidget(transparent_);
    l->addWidget(invert_);
    auto* buttons = new QHBoxLayout;
    ok_ = new QPushButton(tr("OK"), this);
    auto* cancel = new QPushButton(tr("Abbrechen"), this);
    ok_->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);
    l->addLayout(buttons);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(invert_, &QCheckBox::toggled, this, [this](bool on) {
        if (!view_) return;
        Switches s;
        s.invert = on;
        view_->renderer().setSwitches(s);
        view_->refresh(false);
    });
}

OverlayForming OverlayFormingDialog::choice() const {
    OverlayForming f;
    for (std::size_t m = 0; m < methods_.size(); ++m)
        if (methods_[m]->isChecked()) f.method = static_cast<int>(m);
    f.transparent = transparent_->isChecked();
    f.invert = invert_->isChecked();
    return f;
}

} // namespace quillon::ui
