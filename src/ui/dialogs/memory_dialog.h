// "Speicherausnutzung": the memory limit of "Artefakte entfernen" and of the undo history.
#pragma once

#include <QDialog>

class QPushButton;

namespace quillon::ui {

class NumberField;

inline constexpr int kArtefactMemoryMin = 10;
inline constexpr int kArtefactMemoryMax = 1024;
inline constexpr int kUndoMemoryMin = 16;
inline constexpr int kUndoMemoryMax = 16384;

class MemoryDialog : public QDialog {
    Q_OBJECT
public:
    // Both values in MB; values outside the ranges are shown limited to them.
    MemoryDialog(int artefactMb, int undoMb, QWidget* parent = nullptr);

    int artefactMb() const;
    int undoMb() const;
    NumberField* artefactField() const { return artefact_; }
    NumberField* undoField() const { return undo_; }
    QPushButton* okButton() const { return ok_; }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void onOk();

    NumberField* artefact_;
    NumberField* undo_;
    QPushButton* ok_;
};

} // namespace quillon::ui
