// The page setup and the extended printer dialog, and reading a printer's values.
#include "ui/print/print_dialogs.h"

#include "ui/dialogs/number_field.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPageLayout>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

namespace quillon::ui {

PrinterFacts readPrinterFacts(QPrinter& printer) {
    PrinterFacts f;
    const int res = printer.resolution();
    const QPageLayout layout = printer.pageLayout();
    const QRect paint = layout.paintRectPixels(res);
    const QRect full = layout.fullRectPixels(res);
    f.printableWidth = paint.width();
    f.printableHeight = paint.height();
    const QRectF paintMm = layout.paintRect(QPageLayout::Millimeter);
    f.printableWidthMm = paintMm.width();
    f.printableHeightMm = paintMm.height();
    f.dpiX = printer.logicalDpiX();
    f.dpiY = printer.logicalDpiY();
    f.pageWidth = full.width();
    f.pageHeight = full.height();
    f.offsetX = paint.left();
    f.offsetY = paint.top();
    // A printer set to grey counts as one reporting two colours: the automatic colour choice
    // then prints monochrome.
    f.colours = printer.colorMode() == QPrinter::GrayScale ? 2 : printer.colorCount();
    f.bitsPerPixel = printer.depth();
    f.technology = printer.outputFormat() == QPrinter::PdfFormat
                       ? PrinterPropertiesDialog::tr("PDF-Datei")
                       : PrinterPropertiesDialog::tr("Rasterdrucker");
    f.rasterCaps = QStringLiteral("–");
    return f;
}

namespace {

NumberField* intField(int lo, int hi, int value, QWidget* parent) {
    auto* f = new NumberField(lo, hi, -1, parent);
    f->setAlignment(Qt::AlignRight);
    f->setMaximumWidth(f->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 12);
    f->setValue(value);
    return f;
}

QRadioButton* radio(const QString& text, QButtonGroup* group, int id, QWidget* parent) {
    auto* b = new QRadioButton(text, parent);
    group->addButton(b, id);
    return b;
}

QString pair(double a, double b, int decimals = 0) {
    return QStringLiteral("%1 × %2").arg(a, 0, 'f', decimals).arg(b, 0, 'f', decimals);
}

} // namespace

PrinterPropertiesDialog::PrinterPropertiesDialog(const PrintSettings& settings,
                                                 const PrinterFacts& f, QWidget* parent)
    : QDialog(parent), values_(settings) {
    setWindowTitle(tr("Druckereigenschaften und Spezialeinstellungen"));
    auto* top = new QVBoxLayout(this);

    auto* printer = new QGroupBox(tr("Drucker"), this);
    auto* pg = new QGridLayout(printer);
    const std::pair<const char*, QString> rows[] = {
        {QT_TR_NOOP("Druckbarer Bereichs in Pixel"), pair(f.printableWidth, f.printableHeight)},
        {QT_TR_NOOP("Druckbaren Bereichs in mm "),
         pair(f.printableWidthMm, f.printableHeightMm, 1)},
        {QT_TR_NOOP("Pixel pro Inch"), pair(f.dpiX, f.dpiY)},
        {QT_TR_NOOP("Gesamtgröße in Pixel"), pair(f.pageWidth, f.pageHeight)},
        {QT_TR_NOOP("Offset zum druckbaren Bereich in Pixel"), pair(f.offsetX, f.offsetY)},
        {"TECHNOLOGY ID", f.technology},
        {"RASTERCAPS ID", f.rasterCaps},
        // Colour devices report no palette size: "–" as for more than 8 bits per pixel.
        {"NUMCOLORS ID",
         f.colours > 0 && f.colours <= 256 ? QString::number(f.colours) : QStringLiteral("–")},
        {"BITSPIXEL ID",
         f.bitsPerPixel > 0 ? QString::number(f.bitsPerPixel) : QStringLiteral("–")},
    };
    int row = 0;
    for (const auto& [label, value] : rows) {
        pg->addWidget(new QLabel(tr(label), printer), row, 0);
        auto* v = new QLabel(value, printer);
        v->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        pg->addWidget(v, row++, 1);
        facts_ << v;
    }
    top->addWidget(printer);

    auto* tiles = new QGroupBox(tr("Kacheln (Druckerpixel)"), this);
    auto* tg = new QGridLayout(tiles);
    const char* const tileLabels[] = {QT_TR_NOOP("Kachelgröße X"), QT_TR_NOOP("Kachelgröße Y")};
    const char* const overlapLabels[] = {QT_TR_NOOP("Kachelüberhang X"),
                                         QT_TR_NOOP("Kachelüberhang Y")};
    const int tileValues[] = {settings.tileX, settings.tileY};
    const int overlapValues[] = {settings.overlapX, settings.overlapY};
    for (int a = 0; a < 2; ++a) {
        const auto i = static_cast<std::size_t>(a);
        tile_[i] = intField(100, 1000, tileValues[a], tiles);
        overlap_[i] = intField(0, 100, overlapValues[a], tiles);
        tg->addWidget(new QLabel(tr(tileLabels[a]), tiles), a, 0);
        tg->addWidget(tile_[i], a, 1);
        tg->addWidget(new QLabel(tr(overlapLabels[a]), tiles), a, 2);
        tg->addWidget(overlap_[i], a, 3);
    }
    top->addWidget(tiles);

    auto* modes = new QHBoxLayout;
    auto* colour = new QGroupBox(tr("Bildausgabe auf dem Drucker"), this);
    auto* cl = new QVBoxLayout(colour);
    auto* colourGroup = new QButtonGroup(this);
    const char* const colourTexts[] = {QT_TR_NOOP("Automatisch Farbwahl"), QT_TR_NOOP("Farbig"),
                                       QT_TR_NOOP("S / W")};
    for (int m = 0; m < 3; ++m) {
        colour_[static_cast<std::size_t>(m)] = radio(tr(colourTexts[m]), colourGroup, m, colour);
        cl->addWidget(colour_[static_cast<std::size_t>(m)]);
    }
    auto* pixel = new QGroupBox(tr("Druckgröße"), this);
    auto* pl = new QVBoxLayout(pixel);
    auto* pixelGroup = new QButtonGroup(this);
    const char* const pixelTexts[] = {QT_TR_NOOP("Automatische Größe"),
                                      QT_TR_NOOP("1 Bildpixel = 1 Druckerpixel"),
                                      QT_TR_NOOP("1 Bildpixel = 4 Druckerpixel")};
    for (int m = 0; m < 3; ++m) {
        pixel_[static_cast<std::size_t>(m)] = radio(tr(pixelTexts[m]), pixelGroup, m, pixel);
        pl->addWidget(pixel_[static_cast<std::size_t>(m)]);
    }
    colour_[static_cast<std::size_t>(std::clamp(settings.colourMode, 0, 2))]->setChecked(true);
    pixel_[static_cast<std::size_t>(std::clamp(settings.pixelMode, 0, 2))]->setChecked(true);
    modes->addWidget(colour);
    modes->addWidget(pixel);
    top->addLayout(modes);

    auto* ok = new QPushButton(tr("OK"), this);
    auto* cancel = new QPushButton(tr("Abbrechen"), this);
    ok->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    top->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &PrinterPropertiesDialog::confirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QStringList PrinterPropertiesDialog::factTexts() const {
    QStringList out;
    for (const QLabel* l : facts_) out << l->text();
    return out;
}

void PrinterPropertiesDialog::confirm() {
    for (NumberField* f : {tile_[0], tile_[1], overlap_[0], overlap_[1]})
        if (!f->validate()) return;
    // Each tile must start further on than the one before: an overlap as large as the tile
    // would move the tiles one pixel at a time, millions of them for a page.
    for (std::size_t a = 0; a < 2; ++a) {
        const int tile = static_cast<int>(tile_[a]->value());
        if (overlap_[a]->value() < tile) continue;
        const int most = std::min(static_cast<int>(overlap_[a]->maximum()), tile - 1);
        refuseInput(overlap_[a],
                    tr("Geben Sie bitte eine ganze Zahl zwischen %1 und %2 ein.")
                        .arg(static_cast<int>(overlap_[a]->minimum()))
                        .arg(most),
                    prompting_);
        return;
    }
    values_.tileX = static_cast<int>(tile_[0]->value());
    values_.tileY = static_cast<int>(tile_[1]->value());
    values_.overlapX = static_cast<int>(overlap_[0]->value());
    values_.overlapY = static_cast<int>(overlap_[1]->value());
    for (int m = 0; m < 3; ++m) {
        if (colour_[static_cast<std::size_t>(m)]->isChecked()) values_.colourMode = m;
        if (pixel_[static_cast<std::size_t>(m)]->isChecked()) values_.pixelMode = m;
    }
    accept();
}

PageSetupDialog::PageSetupDialog(PrintSettings& settings, const PrinterFacts& facts,
                                 std::function<PrinterFacts()> setupPrinter, QWidget* parent)
    : QDialog(parent), settings_(settings), facts_(facts), setupPrinter_(std::move(setupPrinter)) {
    setWindowTitle(tr("Druck-Seite Einrichten"));
    auto* top = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    top->addLayout(left, 1);

    auto* place = new QGroupBox(tr("Bildplazierung"), this);
    auto* pg = new QGridLayout(place);
    auto* placeGroup = new QButtonGroup(this);
    placement_[0] = radio(tr("Automatisch"), placeGroup, 0, place);
    placement_[1] = radio(tr("Numerisch"), placeGroup, 1, place);
    auto* gridBox = new QWidget(place);
    auto* gg = new QGridLayout(gridBox);
    gg->setContentsMargins(0, 0, 0, 0);
    auto* gridGroup = new QButtonGroup(this);
    for (int p = 0; p < 9; ++p) {
        auto* b = radio(QString(), gridGroup, p, gridBox);
        b->setToolTip(tr("Position %1").arg(p));
        gg->addWidget(b, p / 3, p % 3);
        grid_[static_cast<std::size_t>(p)] = b;
    }
    pg->addWidget(placement_[0], 0, 0);
    pg->addWidget(gridBox, 0, 1, 1, 4, Qt::AlignLeft);
    pg->addWidget(placement_[1], 1, 0);
    pg->addWidget(new QLabel(tr("Offset von Seitenecke zu Bildecke"), place), 1, 1, 1, 4);
    offset_[0] = intField(-1000, 1000, 0, place);
    offset_[1] = intField(-1000, 1000, 0, place);
    pg->addWidget(new QLabel(QStringLiteral("X"), place), 2, 1);
    pg->addWidget(offset_[0], 2, 2);
    pg->addWidget(new QLabel(QStringLiteral("Y"), place), 2, 3);
    pg->addWidget(offset_[1], 2, 4);
    pg->addWidget(new QLabel(tr("in mm"), place), 2, 5);
    pg->setColumnStretch(6, 1);
    left->addWidget(place);

    auto* size = new QGroupBox(tr("Bildgröße"), this);
    auto* sg = new QGridLayout(size);
    auto* sizeGroup = new QButtonGroup(this);
    sizeMode_[0] = radio(tr("Automatisch"), sizeGroup, 0, size);
    sizeMode_[1] = radio(tr("Numerisch"), sizeGroup, 1, size);
    sg->addWidget(sizeMode_[0], 0, 0);
    sg->addWidget(new QLabel(tr("( größtmöglich )"), size), 0, 1, 1, 4);
    sg->addWidget(sizeMode_[1], 1, 0);
    sg->addWidget(new QLabel(tr("Gesamtgröße nach Ausdruck :"), size), 1, 1, 1, 4);
    size_[0] = intField(10, 1000, 100, size);
    size_[1] = intField(1, 1000000, 100, size);
    sg->addWidget(new QLabel(QStringLiteral("X"), size), 2, 1);
    sg->addWidget(size_[0], 2, 2);
    sg->addWidget(new QLabel(QStringLiteral("Y"), size), 2, 3);
    sg->addWidget(size_[1], 2, 4);
    sg->addWidget(new QLabel(tr("in mm"), size), 2, 5);
    sg->setColumnStretch(6, 1);
    left->addWidget(size);
    left->addStretch();

    auto* right = new QVBoxLayout;
    top->addLayout(right);
    auto add = [&](const char* text, auto fn) {
        auto* b = new QPushButton(tr(text), this);
        right->addWidget(b);
        buttons_ << b;
        connect(b, &QPushButton::clicked, this, fn);
        return b;
    };
    add(QT_TR_NOOP("OK"), [this] { finishWith(Ok); })->setDefault(true);
    add(QT_TR_NOOP("Abbrechen"), [this] { reject(); });
    right->addSpacing(12);
    add(QT_TR_NOOP("Drucker Einrichten"), [this] {
        if (!store()) return;
        if (setupPrinter_) facts_ = setupPrinter_();
        showValues(settings_);
    });
    add(QT_TR_NOOP("Erweitert..."), [this] { extended(); });
    right->addSpacing(12);
    add(QT_TR_NOOP("Seitenansicht"), [this] { finishWith(Preview); });
    add(QT_TR_NOOP("Drucken"), [this] { finishWith(Print); });
    right->addStretch();

    for (QButtonGroup* g : {placeGroup, sizeGroup})
        connect(g, &QButtonGroup::idToggled, this, [this] { updateEnabled(); });
    showValues(settings_);
}

QPushButton* PageSetupDialog::button(const QString& text) const {
    for (QPushButton* b : buttons_)
        if (b->text() == text) return b;
    return nullptr;
}

void PageSetupDialog::showValues(const PrintSettings& s) {
    placement_[s.placementMode == 1 ? 1 : 0]->setChecked(true);
    grid_[static_cast<std::size_t>(std::clamp(s.gridPosition, 0, 8))]->setChecked(true);
    offset_[0]->setValue(s.offsetX);
    offset_[1]->setValue(s.offsetY);
    sizeMode_[s.sizeMode == 1 ? 1 : 0]->setChecked(true);
    size_[0]->setValue(s.sizeX);
    size_[1]->setValue(s.sizeY);
    updateEnabled();
}

void PageSetupDialog::updateEnabled() {
    const bool numericPlace = placement_[1]->isChecked();
    for (QRadioButton* b : grid_) b->setEnabled(!numericPlace);
    for (NumberField* f : offset_) f->setEnabled(numericPlace);
    for (NumberField* f : size_) f->setEnabled(sizeMode_[1]->isChecked());
}

bool PageSetupDialog::store() {
    for (NumberField* f : {offset_[0], offset_[1], size_[0], size_[1]})
        if (f->isEnabled() && !f->validate()) return false;
    settings_.placementMode = placement_[1]->isChecked() ? 1 : 0;
    for (int p = 0; p < 9; ++p)
        if (grid_[static_cast<std::size_t>(p)]->isChecked()) settings_.gridPosition = p;
    settings_.offsetX = static_cast<int>(offset_[0]->value());
    settings_.offsetY = static_cast<int>(offset_[1]->value());
    settings_.sizeMode = sizeMode_[1]->isChecked() ? 1 : 0;
    settings_.sizeX = static_cast<int>(size_[0]->value());
    settings_.sizeY = static_cast<int>(size_[1]->value());
    return true;
}

void PageSetupDialog::extended() {
    if (!store()) return;
    PrinterPropertiesDialog dlg(settings_, facts_, this);
    if (dlg.exec() == QDialog::Accepted) settings_ = dlg.values();
}

void PageSetupDialog::finishWith(Result r) {
    if (!store()) return;
    done(r);
}

} // namespace quillon::ui
