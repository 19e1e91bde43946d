// LayerSelectDialog: a multiple-selection list of layer names with "Alle auswählen" and
// "Auswahl aufheben"; LayerChoiceDialog: a single choice among the layers and all of them.
#include "ui/dialogs/layer_select_dialog.h"

#include "core/image.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace quillon::ui {

LayerSelectDialog::LayerSelectDialog(const Image& image, LayerSelection current, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(tr("Ebenen auswählen"));
    auto* l = new QVBoxLayout(this);
    list_ = new QListWidget(this);
    list_->setSelectionMode(QAbstractItemView::MultiSelection);
    const int n = image.layerCount();
    const std::vector<bool> marked = current.listSelection(n);
    for (int i = 0; i < n; ++i) {
        const auto name = image.layerName(i);
        auto* item = new QListWidgetItem(
            QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())), list_);
        item->setSelected(marked[static_cast<std::size_t>(i)]);
    }
    l->addWidget(list_, 1);
    auto* row = new QHBoxLayout;
    all_ = new QPushButton(tr("Alle auswählen"), this);
    none_ = new QPushButton(tr("Auswahl aufheben"), this);
    row->addWidget(all_);
    row->addWidget(none_);
    l->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Abbrechen"));
    l->addWidget(buttons);
    connect(all_, &QPushButton::clicked, list_, &QListWidget::selectAll);
    connect(none_, &QPushButton::clicked, list_, &QListWidget::clearSelection);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(260, 120 + 18 * std::min(n, 12));
}

LayerSelection LayerSelectDialog::selection() const {
    std::vector<bool> marked;
    for (int i = 0; i < list_->count(); ++i) marked.push_back(list_->item(i)->isSelected());
    return LayerSelection::fromList(marked);
}

LayerChoiceDialog::LayerChoiceDialog(const Image& image, int choice, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(tr("Ebene auswählen"));
    auto* l = new QVBoxLayout(this);
    list_ = new QListWidget(this);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    const int n = image.layerCount();
    for (int i = 0; i < n; ++i) {
        const auto name = image.layerName(i);
        list_->addItem(QStringLiteral("%1: %2").arg(i + 1).arg(
            QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()))));
    }
    list_->addItem(tr("<Alle Ebenen>"));
    list_->setCurrentRow(std::clamp(choice, 0, n));
    l->addWidget(list_, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Abbrechen"));
    l->addWidget(buttons);
    connect(list_, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    resize(260, 100 + 18 * std::min(n + 1, 12));
}

int LayerChoiceDialog::choice() const {
    return std::max(0, list_->currentRow());
}

} // namespace quillon::ui
