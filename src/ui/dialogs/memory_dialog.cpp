// The dialog "Speicherausnutzung".
#include "ui/dialogs/memory_dialog.h"

#include "ui/dialogs/number_field.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace quillon::ui {

MemoryDialog::MemoryDialog(int artefactMb, int undoMb, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Speicherausnutzung"));
    auto* grid = new QGridLayout(this);
    auto text = [this](const char* t) {
        auto* l = new QLabel(tr(t), this);
        l->setWordWrap(true);
        return l;
    };
    auto field = [this](int lo, int hi, int value) {
        auto* f = new NumberField(lo, hi, -1, this);
        f->setValue(std::clamp(value, lo, hi));
        f->setFixedWidth(70);
        f->installEventFilter(this);
        return f;
    };
    artefact_ = field(kArtefactMemoryMin, kArtefactMemoryMax, artefactMb);
    undo_ = field(kUndoMemoryMin, kUndoMemoryMax, undoMb);
    ok_ = new QPushButton(tr("OK"), this);
    auto* cancel = new QPushButton(tr("Abbrechen"), this);
    ok_->setDefault(true);

    int r = 0;
    grid->addWidget(
        text(QT_TR_NOOP("Legen Sie fest, wieviel Speicher maximal für die Funktion \"Artefakte "
                        "entfernen\" zur Verfügung stehen soll.")),
        r++, 0, 1, 2);
    grid->addWidget(
        text(QT_TR_NOOP("Für die optimale Verarbeitungsgeschwindigkeit sollte eine maximale "
                        "Speichermenge eingestellt werden, die noch ohne "
                        "Festplatten-Auslagerung von Ihrem System bereitgestellt werden kann.")),
        r++, 0, 1, 2);
    grid->addWidget(
        text(QT_TR_NOOP("Für \"Artefakte entfernen\" verwendeter, maximaler Speicher (MB):")), r,
        0);
    grid->addWidget(artefact_, r++, 1);
    grid->addWidget(
        text(QT_TR_NOOP("Die Standarteinstellung ist 64 MB.  Weitere Informationen finden Sie in "
                        "der Hilfe. ( Stellen Sie sicher das das Fenster aktiviert ist und "
                        "drücken Sie die Taste [F1]  )")),
        r++, 0, 1, 2);
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    grid->addWidget(line, r++, 0, 1, 2);
    grid->addWidget(
        text(QT_TR_NOOP("Für \"Rückgängig\" verwendeter, maximaler Speicher aller Bilder (MB):")),
        r, 0);
    grid->addWidget(undo_, r++, 1);
    grid->addWidget(
        text(QT_TR_NOOP("Die Standarteinstellung ist 512 MB. Wird mehr gebraucht, fallen die "
                        "ältesten Schritte weg.")),
        r++, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, r, 0, 1, 2);
    grid->setColumnStretch(0, 1);
    setMinimumWidth(460);

    connect(ok_, &QPushButton::clicked, this, &MemoryDialog::onOk);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

int MemoryDialog::artefactMb() const {
    return static_cast<int>(artefact_->value());
}

int MemoryDialog::undoMb() const {
    return static_cast<int>(undo_->value());
}

bool MemoryDialog::eventFilter(QObject* watched, QEvent* e) {
    // Enter in a field commits it and moves the focus to OK (the first step of OK).
    if (e->type() == QEvent::KeyPress && (watched == artefact_ || watched == undo_)) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (static_cast<NumberField*>(watched)->commit()) onOk();
            return true;
        }
    }
    return QDialog::eventFilter(watched, e);
}

void MemoryDialog::onOk() {
    // OK acts only when it already had the focus: Enter inside a field only leaves the field.
    if (!ok_->hasFocus()) {
        ok_->setFocus(Qt::OtherFocusReason);
        if (isActiveWindow()) return;
    }
    for (NumberField* f : {artefact_, undo_})
        if (!f->validate()) return;
    accept();
}

} // namespace quillon::ui
