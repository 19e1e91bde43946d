// The open dialog's filter list and set-up.
#include "ui/open_dialog.h"

#include <QDir>
#include <QFileDialog>

namespace quillon::ui {
namespace {

struct FilterEntry {
    const char* description;
    const char* patterns;
};

constexpr FilterEntry kFilters[] = {
    {"FITS file", "*.fts;*.fit;*.fits"},
    {"OES-Astro file", "*.ast"},
    {"RAW file z.B. .crw ...", "*.*"},
    {"SBIG-Astro file", "*.st4;*.st5;*.st6;*.st7;*.st8;*.st9;*.st2k;*.stx"},
    {"BMP file", "*.bmp;*.dib;*.rle"},
    {"JPEG file", "*.jpg;*.jpeg;*.jif"},
    {"PNG file", "*.png"},
    {"PICT file", "*.pct"},
    {"TIFF file", "*.tif;*.eps"},
    {"TARGA file", "*.tga"},
    {"Windows Metafile", "*.wmf"},
    {"Windows Enhanced Metafile", "*.emf"},
    {"PCX file", "*.pcx"},
    {"Portable Greymap File", "*.pgm"},
};

QString qtPatterns(const QString& semicolonList) {
    return semicolonList.split(QLatin1Char(';'), Qt::SkipEmptyParts).join(QLatin1Char(' '));
}

} // namespace

QStringList openDialogFilters() {
    QStringList out;
    QStringList all;
    for (const auto& f : kFilters) {
        out << QStringLiteral("%1 (%2)").arg(QString::fromUtf8(f.description),
                                             qtPatterns(QString::fromLatin1(f.patterns)));
        all << QString::fromLatin1(f.patterns);
    }
    out << QStringLiteral("Alle unterstützten Grafikformate (%1)")
               .arg(qtPatterns(all.join(QLatin1Char(';'))));
    out << QStringLiteral("Alle Dateien (*.*)");
    return out;
}

QString preselectedOpenFilter() {
    return openDialogFilters().at(14);
}

QFileDialog* createOpenDialog(QWidget* parent) {
    auto* dlg = new QFileDialog(parent, QStringLiteral("Öffnen"), QDir::currentPath());
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
