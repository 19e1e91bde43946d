// The open dialog's filter list (generated from the library's open table) and set-up.
#include "ui/dialogs/open_dialog.h"

#include "formats/open.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>

namespace quillon::ui {
namespace {

// The entry that lists every supported file: right behind the file types.
qsizetype allSupportedIndex() {
    return static_cast<qsizetype>(openFileTypes().size());
}

} // namespace

QStringList openDialogFilters() {
    QStringList out;
    for (const OpenFileType& type : openFileTypes())
        out << QStringLiteral("%1 (%2)").arg(QString::fromUtf8(type.description),
                                             QString::fromStdString(openFilterPatterns(type)));
    out << QCoreApplication::translate("OpenDialog", "Alle unterstützten Grafikformate (%1)")
               .arg(QString::fromStdString(allSupportedPatterns()));
    out << QCoreApplication::translate("OpenDialog", "Alle Dateien (*.*)");
    return out;
}

QString preselectedOpenFilter() {
    return openDialogFilters().at(allSupportedIndex());
}

QFileDialog* createOpenDialog(QWidget* parent) {
    auto* dlg = new QFileDialog(parent, QCoreApplication::translate("OpenDialog", "Öffnen"),
                                QDir::currentPath());
    dlg->setFileMode(QFileDialog::ExistingFiles);
    dlg->setAcceptMode(QFileDialog::AcceptOpen);
    dlg->setOption(QFileDialog::ReadOnly, false);
    dlg->setNameFilters(openDialogFilters());
    dlg->selectNameFilter(preselectedOpenFilter());
    return dlg;
}

QStringList openFilesDialog(QWidget* parent) {
    QFileDialog* dlg = createOpenDialog(parent);
    QStringList files;
    if (dlg->exec() == QDialog::Accepted) files = dlg->selectedFiles();
    delete dlg;
    return files;
}

} // namespace quillon::ui
