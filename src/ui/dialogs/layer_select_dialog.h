// LayerSelectDialog ("Ebenen auswählen"): picks the colour layers the filters work on;
// LayerChoiceDialog ("Ebene auswählen"): one layer or all, for the repair commands.
#pragma once

#include "filters/layer_selection.h"

#include <QDialog>

class QListWidget;
class QPushButton;

namespace quillon {
class Image;
}

namespace quillon::ui {

class LayerSelectDialog : public QDialog {
    Q_OBJECT
public:
    // Lists the image's colour layers; the entries of `current` are marked (all for mask 0).
    LayerSelectDialog(const Image& image, LayerSelection current, QWidget* parent = nullptr);

    QListWidget* list() const { return list_; }
    QPushButton* selectAllButton() const { return all_; }
    QPushButton* clearButton() const { return none_; }
    // The mask the marked entries give: every entry or none marked is mask 0.
    LayerSelection selection() const;

private:
    QListWidget* list_ = nullptr;
    QPushButton* all_ = nullptr;
    QPushButton* none_ = nullptr;
};

// One entry "%i: %s" (number from 1, name) per colour layer, then "<Alle Ebenen>".
class LayerChoiceDialog : public QDialog {
    Q_OBJECT
public:
    // `choice` is a layer index, or the layer count for all layers; it is pulled into range.
    LayerChoiceDialog(const Image& image, int choice, QWidget* parent = nullptr);

    QListWidget* list() const { return list_; }
    // The entry chosen: a layer index, or the layer count for "<Alle Ebenen>".
    int choice() const;

private:
    QListWidget* list_ = nullptr;
};

} // namespace quillon::ui
