// DarkFlatDialog: the formula line, the two "durchführen" boxes with their files, d, f and a.
#include "ui/dialogs/calibration_dialog.h"

#include "ui/dialogs/number_field.h"
#include "ui/dialogs/open_dialog.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillon::ui {

namespace {
constexpr int kMaxPathChars = 256;

QString openOneFile(QWidget* parent) {
    QFileDialog* dlg = createOpenDialog(parent);
    dlg->setFileMode(QFileDialog::ExistingFile);
    QString file;
    if (dlg->exec() == QDialog::Accepted && !dlg->selectedFiles().isEmpty())
        file = dlg->selectedFiles().first();
    delete dlg;
    return file;
}
} // namespace

DarkFlatDialog::DarkFlatDialog(const CalibrationParams& initial, QWidget* parent)
    : QDialog(parent), chooser_(openOneFile) {
    setWindowTitle(tr("Dunkelstrom- / Flatfieldkorrektur"));
    auto* l = new QVBoxLayout(this);

    divisor_ = new NumberField(0.1, 100.0, 4, this);
    divisor_->setSignificantDigits(6);
    factor_ = new NumberField(1.0, 32767.0, 4, this);
    factor_->setSignificantDigits(7);
    offset_ = new NumberField(-32768, 32767, -1, this);
    for (NumberField* f : {divisor_, factor_, offset_}) f->setMaximumWidth(80);
    auto* formula = new QHBoxLayout;
    formula->addWidget(new QLabel(tr("Neu  =  ( Alt - D /"), this));
    formula->addWidget(divisor_);
    formula->addWidget(new QLabel(QStringLiteral(") / F *"), this));
    formula->addWidget(factor_);
    formula->addWidget(new QLabel(QStringLiteral("+"), this));
    formula->addWidget(offset_);
    formula->addStretch(1);
    l->addLayout(formula);

    auto fileGroup = [this, l](const QString& box, const QString& label, QCheckBox*& check,
                               TextField*& path, QPushButton*& choose) {
        auto* group = new QGroupBox(this);
        auto* g = new QGridLayout(group);
        check = new QCheckBox(box, group);
        path = new TextField(kMaxPathChars, group);
        path->setMinimumWidth(320);
        choose = new QPushButton(tr("Datei wählen..."), group);
        choose->setAutoDefault(false);
        g->addWidget(check, 0, 0, 1, 2);
        g->addWidget(new QLabel(label, group), 1, 0, 1, 2);
        g->addWidget(path, 2, 0);
        g->addWidget(choose, 2, 1);
        l->addWidget(group);
        return g;
    };
    fileGroup(tr("Dunkelstromkorrektur durchführen"), tr("Dunkelbilddatei:"), darkBox_, darkPath_,
              darkChoose_);
    QGridLayout* flatGrid = fileGroup(tr("Flatfieldkorrektur durchführen"), tr("Flatfielddatei:"),
                                      flatBox_, flatPath_, flatChoose_);
    autoBox_ = new QCheckBox(tr("Flatfield - Faktor aus Flatfield- Mittelwert"), this);
    flatGrid->addWidget(autoBox_, 3, 0, 1, 2);

    auto* row = new QHBoxLayout;
    ok_ = new QPushButton(tr("OK"), this);
    auto* cancel = new QPushButton(tr("Abbrechen"), this);
    cancel->setAutoDefault(false);
    ok_->setDefault(true);
    row->addStretch(1);
    row->addWidget(ok_);
    row->addWidget(cancel);
    l->addLayout(row);

    darkBox_->setChecked(initial.darkEnabled);
    flatBox_->setChecked(initial.flatEnabled);
    autoBox_->setChecked(initial.automaticFactor);
    darkPath_->setText(QString::fromStdString(initial.darkFile));
    flatPath_->setText(QString::fromStdString(initial.flatFile));
    divisor_->setValue(initial.darkDivisor);
    factor_->setValue(initial.flatFactor);
    offset_->setValue(initial.offset);
    factor_->setEnabled(!initial.automaticFactor);

    connect(autoBox_, &QCheckBox::toggled, factor_, [this](bool on) { factor_->setEnabled(!on); });
    connect(darkChoose_, &QPushButton::clicked, this, [this] { chooseFile(true); });
    connect(flatChoose_, &QPushButton::clicked, this, [this] { chooseFile(false); });
    connect(ok_, &QPushButton::clicked, this, &DarkFlatDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &DarkFlatDialog::reject);
}

void DarkFlatDialog::chooseFile(bool dark) {
    const QString file = chooser_ ? chooser_(this) : QString();
    if (file.isEmpty()) return;
    (dark ? darkPath_ : flatPath_)->setText(file);
    (dark ? darkBox_ : flatBox_)->setChecked(true);
}

CalibrationParams DarkFlatDialog::values() const {
    CalibrationParams v;
    v.darkEnabled = darkBox_->isChecked();
    v.flatEnabled = flatBox_->isChecked();
    v.automaticFactor = autoBox_->isChecked();
    v.darkFile = darkPath_->text().toStdString();
    v.flatFile = flatPath_->text().toStdString();
    v.darkDivisor = divisor_->value();
    v.flatFactor = factor_->value();
    v.offset = static_cast<int>(offset_->value());
    return v;
}

void DarkFlatDialog::accept() {
    for (NumberField* f : {divisor_, factor_, offset_})
        if (f->isEnabled() && !f->validate()) return;
    for (TextField* f : {darkPath_, flatPath_})
        if (!f->validate()) return;
    QDialog::accept();
}

} // namespace quillon::ui
