// Message boxes and file-name questions of the program, with a hook that tests use to answer
// them without a modal loop.
#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

namespace quillon::ui {

enum class Ask { Info, Warning, YesNoCancel, OkCancel };

// Shows the text in a message box. Returns the button pressed (QMessageBox::Ok for plain
// messages).
QMessageBox::StandardButton showMessage(QWidget* parent, const QString& text,
                                        Ask kind = Ask::Warning);

// Tests install a handler that records the text and returns the answer instead of a box.
using MessageHandler = std::function<QMessageBox::StandardButton(const QString&, Ask)>;
void setMessageHandler(MessageHandler handler);

// Asks for a file name to save to ("Speichern unter"). Empty when cancelled.
QString askSaveFileName(QWidget* parent, const QString& proposed);
using SaveNameHandler = std::function<QString(const QString& proposed)>;
void setSaveNameHandler(SaveNameHandler handler);

// Asks for the name of a raster file to export to (BMP, JPEG, PNG, TIFF; default ".bmp",
// overwrite prompt). Empty when cancelled. Tests answer through the same handler.
QString askExportFileName(QWidget* parent, const QString& proposed);

} // namespace quillon::ui
