// "Overlayeigenschaften": method, "Transparent" and "Invertiert" of overlay forming.
#include "ui/composite/overlay_forming_dialog.h"

#include "ui/document.h"
#include "ui/view.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quillon::ui {

OverlayFormingDialog::OverlayFormingDialog(CWinQuillonView* view, int stored, QWidget* parent)
    : QDialog(parent), view_(view) {
    setWindowTitle(tr("Overlayeigenschaften"));
    const OverlayForming init = OverlayForming::unpack(stored);
    auto* l = new QVBoxLayout(this);
    auto* group = new QGroupBox(tr("Inaktive Overlaybereiche sind"), this);
    auto* gl = new QVBoxLayout(group);
    static const char* const kNames[] = {QT_TR_NOOP("Weiss"), QT_TR_NOOP("heller als Grau"),
                                         QT_TR_NOOP("dunkler als Grau"), QT_TR_NOOP("Schwarz")};
    for (std::size_t m = 0; m < methods_.size(); ++m) {
        methods_[m] = new QRadioButton(tr(kNames[m]), group);
        gl->addWidget(methods_[m]);
    }
    methods_[static_cast<std::size_t>(init.method >= 0 && init.method < 4 ? init.method : 0)]
        ->setChecked(true);
    l->addWidget(group);
    transparent_ = new QCheckBox(tr("Transparent"), this);
    transparent_->setChecked(init.transparent);
    invert_ = new QCheckBox(tr("Invertiert"), this);
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
