// "Druck-Seite Einrichten" (placement and size of the printed image) and "Druckereigenschaften
// und Spezialeinstellungen" (the printer's values, tiles, colour and pixel settings), with the
// printer values both show.
#pragma once

#include "display/print_layout.h"

#include <QDialog>
#include <QString>

#include <array>
#include <functional>

class QPrinter;
class QRadioButton;
class QLabel;
class QPushButton;

namespace quillon::ui {

class NumberField;

// What the printer reports, as the extended dialog shows it; info() is the part the layout uses.
struct PrinterFacts {
    int printableWidth = 0, printableHeight = 0; // pixels
    double printableWidthMm = 0, printableHeightMm = 0;
    int dpiX = 0, dpiY = 0;
    int pageWidth = 0, pageHeight = 0; // the whole sheet in pixels
    int offsetX = 0, offsetY = 0;      // printable area from the sheet's corner, pixels
    int colours = 0;                   // 2 when the printer prints grey only
    int bitsPerPixel = 0;
    QString technology; // the nearest facts to the system's device ids; "–" when none
    QString rasterCaps;
    PrinterInfo info() const { return {printableWidth, printableHeight, dpiX, dpiY, colours}; }
};

// Reads the facts of a printer (its current page layout and resolution).
PrinterFacts readPrinterFacts(QPrinter& printer);

// "Druckereigenschaften und Spezialeinstellungen": shows the facts; OK takes the tile,
// overlap, colour and pixel settings into values().
class PrinterPropertiesDialog : public QDialog {
    Q_OBJECT
public:
    PrinterPropertiesDialog(const PrintSettings& settings, const PrinterFacts& facts,
                            QWidget* parent = nullptr);
    const PrintSettings& values() const { return values_; }
    NumberField* tileField(int axis) const { return tile_[static_cast<std::size_t>(axis)]; }
    NumberField* overlapField(int axis) const { return overlap_[static_cast<std::size_t>(axis)]; }
    QRadioButton* colourButton(int mode) const { return colour_[static_cast<std::size_t>(mode)]; }
    QRadioButton* pixelButton(int mode) const { return pixel_[static_cast<std::size_t>(mode)]; }
    // The shown printer values, one text per label in the dialog's order.
    QStringList factTexts() const;
    // OK: every field must hold a valid value, and each overlap must be below its tile size.
    void confirm();

private:
    PrintSettings values_;
    std::array<NumberField*, 2> tile_{};
    std::array<NumberField*, 2> overlap_{};
    std::array<QRadioButton*, 3> colour_{};
    std::array<QRadioButton*, 3> pixel_{};
    QList<QLabel*> facts_;
    bool prompting_ = false; // an overlap prompt is showing
};

// "Druck-Seite Einrichten". The action buttons store the values first and close the dialog
// with their result code; "Drucker Einrichten" stores them, runs `setupPrinter` (the system's
// printer setup, returning the printer's new facts) and shows the stored values again.
class PageSetupDialog : public QDialog {
    Q_OBJECT
public:
    enum Result { Cancelled = 0, Ok = 1, Preview = 2, Print = 3 };
    PageSetupDialog(PrintSettings& settings, const PrinterFacts& facts,
                    std::function<PrinterFacts()> setupPrinter, QWidget* parent = nullptr);

    QRadioButton* placementButton(int mode) const {
        return placement_[static_cast<std::size_t>(mode)];
    }
    QRadioButton* gridButton(int position) const {
        return grid_[static_cast<std::size_t>(position)];
    }
    NumberField* offsetField(int axis) const { return offset_[static_cast<std::size_t>(axis)]; }
    QRadioButton* sizeButton(int mode) const { return sizeMode_[static_cast<std::size_t>(mode)]; }
    NumberField* sizeField(int axis) const { return size_[static_cast<std::size_t>(axis)]; }
    QPushButton* button(const QString& text) const;
    const PrinterFacts& facts() const { return facts_; }

    // Validates the fields and writes them into the settings; false after a field's prompt.
    bool store();
    // "Erweitert...": stores, then the extended dialog.
    void extended();

private:
    void showValues(const PrintSettings& s);
    void updateEnabled();
    void finishWith(Result r);

    PrintSettings& settings_;
    PrinterFacts facts_;
    std::function<PrinterFacts()> setupPrinter_;
    std::array<QRadioButton*, 2> placement_{};
    std::array<QRadioButton*, 9> grid_{};
    std::array<NumberField*, 2> offset_{};
    std::array<QRadioButton*, 2> sizeMode_{};
    std::array<NumberField*, 2> size_{};
    QList<QPushButton*> buttons_;
};

} // namespace quillon::ui
