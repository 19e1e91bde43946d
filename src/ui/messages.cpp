// Message boxes and the save-name question, with the test hooks.
#include "ui/messages.h"
#include "formats/raster_export.h"
#include "ui/library_texts.h"

#include <QCoreApplication>
#include <QFileDialog>

namespace quillon::ui {
namespace {
MessageHandler& messageHandler() {
    static MessageHandler h;
    return h;
}
SaveNameHandler& saveNameHandler() {
    static SaveNameHandler h;
    return h;
}
} // namespace

void setMessageHandler(MessageHandler handler) {
    messageHandler() = std::move(handler);
}
void setSaveNameHandler(SaveNameHandler handler) {
    saveNameHandler() = std::move(handler);
}

QMessageBox::StandardButton showMessage(QWidget* parent, const QString& message, Ask kind) {
    // Fixed texts of the library come here untranslated; everything else already is.
    const QString text = trLibrary(message.toStdString());
    if (messageHandler()) return messageHandler()(text, kind);
    const QString title = QStringLiteral("Quillon");
    switch (kind) {
    case Ask::Info: return QMessageBox::information(parent, title, text);
    case Ask::Warning: return QMessageBox::warning(parent, title, text);
    case Ask::YesNoCancel:
        return QMessageBox::question(parent, title, text,
                                     QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                     QMessageBox::Yes);
    case Ask::OkCancel:
        return QMessageBox::warning(parent, title, text, QMessageBox::Ok | QMessageBox::Cancel,
                                    QMessageBox::Ok);
    }
    return QMessageBox::Ok;
}

QString askSaveFileName(QWidget* parent, const QString& proposed) {
    if (saveNameHandler()) return saveNameHandler()(proposed);
    QFileDialog dlg(parent, QCoreApplication::translate("Messages", "Speichern unter"), proposed);
    const QString plain = QStringLiteral("Astro Fits (*.fts)");
    const QString rice =
        QCoreApplication::translate("Messages", "FITS, Rice-komprimiert (*.fits.fz)");
    const QString xisf = QCoreApplication::translate("Messages", "XISF, zlib-komprimiert (*.xisf)");
    dlg.setNameFilters({plain, rice, xisf});
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setDefaultSuffix(QStringLiteral("fts"));
    // A name typed without an ending gets the ending of the chosen kind.
    QObject::connect(&dlg, &QFileDialog::filterSelected, &dlg,
                     [&dlg, rice, xisf](const QString& f) {
                         dlg.setDefaultSuffix(f == rice   ? QStringLiteral("fits.fz")
                                              : f == xisf ? QStringLiteral("xisf")
                                                          : QStringLiteral("fts"));
                     });
    dlg.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
    return dlg.selectedFiles().first();
}

QString askExportFileName(QWidget* parent, const QString& proposed) {
    if (saveNameHandler()) return saveNameHandler()(proposed);
    // The filter text is written as "description|pattern|..."; the descriptions already name
    // their patterns, which is what the Qt dialog wants.
    const QStringList parts = QString::fromStdString(rasterExport::dialogFilter())
                                  .split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QStringList filters;
    for (int i = 0; i < parts.size(); i += 2) filters << parts[i];
    QFileDialog dlg(parent, QCoreApplication::translate("Messages", "Exportieren"), proposed);
    dlg.setNameFilters(filters);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setDefaultSuffix(QString::fromUtf8(rasterExport::kDefaultExtension).mid(1));
    dlg.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return {};
    return dlg.selectedFiles().first();
}

} // namespace quillon::ui
