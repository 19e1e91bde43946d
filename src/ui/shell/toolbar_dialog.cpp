// "Symbolleiste anpassen": one check box per button group; at least one group stays shown.
#include "ui/shell/toolbar_dialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace quillon::ui {

ToolbarDialog::ToolbarDialog(const QStringList& groups, unsigned hidden, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(tr("Symbolleiste anpassen"));
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(new QLabel(tr("Angezeigte Schaltflächengruppen:"), this));
    ok_ = new QPushButton(tr("OK"), this);
    auto* cancel = new QPushButton(tr("Abbrechen"), this);
    auto* all = new QPushButton(tr("Alle anzeigen"), this);
    auto refresh = [this] {
        ok_->setEnabled(std::any_of(boxes_.begin(), boxes_.end(),
                                    [](const QCheckBox* b) { return b->isChecked(); }));
    };
    for (int g = 0; g < groups.size(); ++g) {
        auto* box = new QCheckBox(groups[g], this);
        box->setChecked(!(hidden & (1u << g)));
        connect(box, &QCheckBox::toggled, this, refresh);
        outer->addWidget(box);
        boxes_ << box;
    }
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(all);
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);
    outer->addLayout(buttons);
    ok_->setDefault(true);
    connect(all, &QPushButton::clicked, this, [this] {
        for (QCheckBox* b : boxes_) b->setChecked(true);
    });
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    refresh();
}

unsigned ToolbarDialog::hiddenGroups() const {
    unsigned hidden = 0;
    for (int g = 0; g < boxes_.size(); ++g)
        if (!boxes_[g]->isChecked()) hidden |= 1u << g;
    return hidden;
}

} // namespace quillon::ui
