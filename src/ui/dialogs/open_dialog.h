// The open dialog of the document manager: its filter list, in order, and the dialog itself.
#pragma once

#include <QStringList>

class QFileDialog;
class QWidget;

namespace quillon::ui {

// "FITS file (*.fts *.fit *.fits)", ..., "Alle unterstützten Grafikformate (...)",
// "Alle Dateien (*.*)".
QStringList openDialogFilters();
// The preselected entry.
QString preselectedOpenFilter();

// A configured dialog: title "Öffnen", several existing files, initial folder the current
// directory, "Alle unterstützten Grafikformate" selected. The caller owns it.
QFileDialog* createOpenDialog(QWidget* parent);

// Runs the dialog; the chosen files (empty when cancelled).
QStringList openFilesDialog(QWidget* parent);

} // namespace quillon::ui
