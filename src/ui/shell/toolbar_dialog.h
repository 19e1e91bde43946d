// "Symbolleiste anpassen": which button groups the toolbar shows.
#pragma once

#include <QDialog>
#include <QList>

class QCheckBox;
class QPushButton;

namespace quillon::ui {

class ToolbarDialog : public QDialog {
    Q_OBJECT
public:
    // groups: the names in toolbar order; hidden: bit g set when group g is hidden.
    ToolbarDialog(const QStringList& groups, unsigned hidden, QWidget* parent = nullptr);
    unsigned hiddenGroups() const;
    QCheckBox* groupBox(int g) const { return boxes_[g]; }
    QPushButton* okButton() const { return ok_; }

private:
    QList<QCheckBox*> boxes_;
    QPushButton* ok_;
};

} // namespace quillon::ui
