// The composite window: lists, in-place editing of the list view, calibration per list and
// the options of the composite job.
#include "ui/composite/composite_window.h"

#include "core/image.h"
#include "core/image_type.h"
#include "core/settings_record.h"
#include "ui/composite/auto_align.h"
#include "ui/composite/stack_options_group.h"
#include "ui/dialogs/calibration_dialog.h"
#include "ui/dialogs/number_field.h"
#include "ui/dialogs/open_dialog.h"
#include "ui/document.h"
#include "ui/messages.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <limits>

namespace quillon::ui {
namespace {

constexpr int kNumberColumn = 0;
constexpr int kUsedColumn = 1;
constexpr int kIconColumn = 2;
constexpr int kNameColumn = 3;
constexpr int kAcceptedRole = Qt::UserRole + 1; // the last accepted text of an editable cell

QString qs(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QString factorText(double v) {
    return QString::asprintf("%.3f", v);
}

QString coordinateText(double v) {
    return QString::asprintf("%.2f", v);
}

// A decimal number (within float); unparsable text gives 0.
float cellNumber(const QTableWidgetItem* item) {
    if (!item) return 0.0f;
    constexpr double kAny = std::numeric_limits<double>::infinity();
    double v = 0;
    readTypedNumber(item->text(), -kAny, kAny, false, v);
    return static_cast<float>(v);
}

QTableWidgetItem* readOnly(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    return item;
}

QTableWidgetItem* editable(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setData(kAcceptedRole, text);
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

} // namespace

std::uint64_t documentIdOf(CWinQuillonDoc* doc) {
    static std::uint64_t last = 0;
    if (!doc) return 0;
    const QVariant id = doc->property("compositeDocumentId");
    if (id.isValid()) return id.toULongLong();
    doc->setProperty("compositeDocumentId", QVariant::fromValue<qulonglong>(++last));
    return last;
}

QString calibrationButtonText(const CalibrationParams& c) {
    return c.active() ? CompositeWindow::tr("Dunkel- und Flatfieldkorrektur: AKTIV")
                      : CompositeWindow::tr("Dunkel- und Flatfieldkorrektur: Aus");
}

OpenViewChooser::OpenViewChooser(const std::vector<OpenViewChoice>& views, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(tr("Liste aller Ansichten"));
    auto* l = new QVBoxLayout(this);
    table_ = new QTableWidget(static_cast<int>(views.size()), 2, this);
    table_->setHorizontalHeaderLabels({tr("Lfd. Nr."), tr("Ansicht")});
    table_->verticalHeader()->hide();
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setStretchLastSection(true);
    for (int i = 0; i < static_cast<int>(views.size()); ++i) {
        table_->setItem(i, 0, readOnly(QString::asprintf("%3.0i", i + 1)));
        table_->setItem(i, 1, readOnly(views[static_cast<std::size_t>(i)].title));
    }
    l->addWidget(table_);
    auto* buttons = new QHBoxLayout;
    auto* ok = new QPushButton(tr("OK"), this);
    auto* cancel = new QPushButton(tr("Abbrechen"), this);
    ok->setDefault(true);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    l->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(table_, &QTableWidget::cellDoubleClicked, this, &QDialog::accept);
    resize(420, 300);
}

std::vector<int> OpenViewChooser::picked() const {
    std::vector<int> rows;
    for (int i = 0; i < table_->rowCount(); ++i)
        if (table_->item(i, 0)->isSelected()) rows.push_back(i);
    return rows;
}

LayerCountDialog::LayerCountDialog(int initial, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Anzahl der Ebenen eingeben"));
    auto* l = new QGridLayout(this);
    field_ = new NumberField(2, kMaxUserLayers, -1, this);
    field_->setValue(std::clamp(initial, 2, kMaxUserLayers));
    l->addWidget(new QLabel(tr("Anzahl der Ebenen:"), this), 0, 0);
    l->addWidget(field_, 0, 1);
    auto* ok = new QPushButton(tr("OK"), this);
    auto* cancel = new QPushButton(tr("Abbrechen"), this);
    ok->setDefault(true);
    l->addWidget(ok, 1, 0);
    l->addWidget(cancel, 1, 1);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

int LayerCountDialog::value() const {
    return static_cast<int>(field_->value());
}

void LayerCountDialog::accept() {
    if (field_->validate()) QDialog::accept();
}

CompositeWindow::CompositeWindow(CompositeJob& job, SettingsRecord& settings, ViewLister views,
                                 QWidget* parent)
    : QDialog(parent), job_(job), settings_(settings), views_(std::move(views)),
      chooser_(openFilesDialog) {
    setWindowTitle(tr("Komposit / Summenbild erstellen"));
    // The window always shows a list: a job nobody has configured yet (it has no lists) gets
    // the grey target's empty ones, and a current list beyond the lists becomes the first.
    if (!job_.configured())
        (void)job_.configure(BW_IMAGE, 0, CalibrationParams::fromSettings(settings_));
    if (job_.currentList < 0 || job_.currentList >= job_.listCount()) job_.currentList = 0;
    auto* top = new QVBoxLayout(this);

    auto* chooserRow = new QHBoxLayout;
    chooserRow->addWidget(new QLabel(tr("Liste aller Bilder der Zilebene:"), this));
    lists_ = new QComboBox(this);
    for (int i = 0; i < job_.listCount(); ++i) lists_->addItem(qs(job_.listName(i)));
    chooserRow->addWidget(lists_, 1);
    top->addLayout(chooserRow);
    label_ = new QLabel(this);
    top->addWidget(label_);

    table_ = new QTableWidget(this);
    table_->verticalHeader()->hide();
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed |
                            QAbstractItemView::AnyKeyPressed);
    table_->setMinimumHeight(220);
    top->addWidget(table_, 1);

    auto* add = new QHBoxLayout;
    addFiles_ = new QPushButton(tr("Bild aus Datei hinzufügen"), this);
    addViews_ = new QPushButton(tr("Geöffnetes Bild hinzufügen"), this);
    clear_ = new QPushButton(tr("Alle Listen Löschen"), this);
    add->addWidget(addFiles_);
    add->addWidget(addViews_);
    add->addStretch();
    add->addWidget(clear_);
    top->addLayout(add);

    auto* grid = new QGridLayout;
    setAll_ = new QPushButton(tr("Alle Faktoren dieser Liste setzen auf:"), this);
    setAllValue_ = new NumberField(kMinFactor, kMaxFactor, 3, this);
    setAllValue_->setValue(job_.options.setAllValue);
    grid->addWidget(setAll_, 0, 0);
    grid->addWidget(setAllValue_, 0, 1);
    pointCount_ =
        new NumberField(std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), -1, this);
    pointCount_->setValue(job_.options.referencePointCount);
    grid->addWidget(new QLabel(tr("Anzahl der Referenzpunkte:"), this), 1, 0);
    grid->addWidget(pointCount_, 1, 1);
    sizeFactor_ = new NumberField(kMinSizeFactor, kMaxSizeFactor, 2, this);
    sizeFactor_->setValue(job_.options.sizeFactor);
    grid->addWidget(new QLabel(tr("Größenfaktor:"), this), 2, 0);
    grid->addWidget(sizeFactor_, 2, 1);
    for (NumberField* f : {setAllValue_, pointCount_, sizeFactor_}) f->setMaximumWidth(90);

    calibration_ = new QPushButton(this);
    copyCalibration_ =
        new QPushButton(tr("...D&&F Einstellungen für alle Ebenen übernehmen"), this);
    grid->addWidget(calibration_, 0, 2);
    grid->addWidget(copyCalibration_, 1, 2);

    auto* options = new QVBoxLayout;
    averaging_ = new QCheckBox(tr("Bilder mitteln (=Alle Faktoren ignorieren)"), this);
    borders_ = new QCheckBox(tr("Ränder automatisch entfernen"), this);
    artefacts_ = new QCheckBox(tr("Artefakte entfernen"), this);
    averaging_->setChecked(job_.options.averaging);
    borders_->setChecked(job_.options.removeBorders);
    artefacts_->setChecked(job_.options.removeArtefacts);
    for (QCheckBox* b : {averaging_, borders_, artefacts_}) options->addWidget(b);
    grid->addLayout(options, 2, 2, 2, 1);
    grid->setColumnStretch(2, 1);
    top->addLayout(grid);

    auto* weights = new QGroupBox(tr("R:G:B-Gewichtungsverhältnis der Einzelbilder (nur RGB und "
                                     "LRGB):"),
                                  this);
    auto* wl = new QHBoxLayout(weights);
    static const char* const kWeightNames[] = {"R:", "G:", "B:"};
    for (std::size_t c = 0; c < 3; ++c) {
        // The weights a job (and its file) can hold.
        weights_[c] = new NumberField(0, 1.0e6, 3, this);
        weights_[c]->setValue(job_.options.colourWeights[c]);
        weights_[c]->setMaximumWidth(90);
        wl->addWidget(new QLabel(QString::fromLatin1(kWeightNames[c]), weights));
        wl->addWidget(weights_[c]);
    }
    wl->addStretch();
    weights->setEnabled(job_.usesColourWeights());
    top->addWidget(weights);
    stackOptions_ = new StackOptionsGroup(job_.options, averaging_, artefacts_, this);
    top->addWidget(stackOptions_);
    autoAlign_ = new AutoAlignRow(settings_, this);
    top->addWidget(autoAlign_);
    connect(autoAlign_, &AutoAlignRow::analysisRequested, this, [this] {
        takeOver();
        // Only the lists before the overlay list hold exposures to measure.
        const auto first = job_.firstEntry();
        if (!first || first->first >= job_.overlayList()) {
            showMessage(this, QString::fromUtf8(kNoExposuresMessage));
            return;
        }
        if (analysisOpener_) analysisOpener_(this);
        showList();
    });

    auto* bottom = new QHBoxLayout;
    references_ = new QPushButton(tr("Alle Referenzpunkte setzen"), this);
    start_ = new QPushButton(tr("Verarbeitung starten"), this);
    cancel_ = new QPushButton(tr("Abbrechen"), this);
    start_->setDefault(true);
    bottom->addWidget(references_);
    bottom->addStretch();
    bottom->addWidget(start_);
    bottom->addWidget(cancel_);
    top->addLayout(bottom);

    connect(lists_, &QComboBox::activated, this, &CompositeWindow::selectList);
    connect(addFiles_, &QPushButton::clicked, this, &CompositeWindow::addFiles);
    connect(addViews_, &QPushButton::clicked, this, &CompositeWindow::addOpenViews);
    connect(clear_, &QPushButton::clicked, this, &CompositeWindow::clearAllLists);
    connect(setAll_, &QPushButton::clicked, this, &CompositeWindow::setAllFactors);
    connect(calibration_, &QPushButton::clicked, this, &CompositeWindow::editCalibrationParams);
    connect(copyCalibration_, &QPushButton::clicked, this,
            &CompositeWindow::copyCalibrationToLayers);
    connect(references_, &QPushButton::clicked, this, &CompositeWindow::requestAllReferences);
    connect(start_, &QPushButton::clicked, this, &CompositeWindow::start);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(table_, &QTableWidget::cellChanged, this, &CompositeWindow::cellChanged);
    connect(table_, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { requestReference(row); });
    connect(pointCount_, &NumberField::committed, this, [this](double v) {
        takeOver();
        job_.setReferencePointCount(static_cast<int>(v));
        pointCount_->setValue(job_.options.referencePointCount);
        showList();
    });
    connect(setAllValue_, &NumberField::committed, this,
            [this](double v) { job_.options.setAllValue = static_cast<float>(v); });
    connect(sizeFactor_, &NumberField::committed, this,
            [this](double v) { job_.options.sizeFactor = static_cast<float>(v); });
    for (std::size_t c = 0; c < 3; ++c)
        connect(weights_[c], &NumberField::committed, this,
                [this, c](double v) { job_.options.colourWeights[c] = static_cast<float>(v); });
    connect(averaging_, &QCheckBox::toggled, this,
            [this](bool on) { job_.options.averaging = on; });
    connect(borders_, &QCheckBox::toggled, this,
            [this](bool on) { job_.options.removeBorders = on; });
    connect(artefacts_, &QCheckBox::toggled, this,
            [this](bool on) { job_.options.removeArtefacts = on; });

    showList();
    resize(980, 640);
}

void CompositeWindow::showList() {
    const int list = job_.currentList;
    filling_ = true;
    lists_->setCurrentIndex(list);
    label_->setText(qs(compositeListLabel(job_.targetType, job_.layerCount, list)));
    const bool overlay = list == job_.overlayList();
    calibration_->setEnabled(!overlay);
    copyCalibration_->setEnabled(!overlay);
    calibration_->setText(
        overlay ? calibrationButtonText(CalibrationParams{})
                : calibrationButtonText(job_.calibrations[static_cast<std::size_t>(list)]));

    QStringList headers{tr("Lfd. Nr."), QString(), QString(), tr("Dateiname")};
    factorColumns_ = job_.factorSlots(list);
    if (job_.kind(list) == CompositeListKind::WholeImage && job_.targetType != BW_IMAGE) {
        for (int l = 0; l < factorColumns_; ++l)
            headers << tr("Faktor: ") + qs(std::string(ImageTypeName(job_.targetType, l).name));
    } else if (factorColumns_ > 0) {
        headers << tr("Faktor");
    }
    for (int i = 1; i <= job_.options.referencePointCount; ++i)
        headers << QString::asprintf("Ref %i: X", i) << QString::asprintf("Ref %i: Y", i);
    headers << tr("View-Pointer");
    table_->clear();
    table_->setColumnCount(static_cast<int>(headers.size()));
    table_->setHorizontalHeaderLabels(headers);
    table_->setColumnHidden(static_cast<int>(headers.size()) - 1, true);
    const auto& entries = job_.lists[static_cast<std::size_t>(list)].entries;
    table_->setRowCount(static_cast<int>(entries.size()));
    for (int r = 0; r < static_cast<int>(entries.size()); ++r)
        buildRow(r, entries[static_cast<std::size_t>(r)]);
    table_->resizeColumnsToContents();
    table_->setColumnWidth(kNameColumn, std::clamp(table_->columnWidth(kNameColumn), 160, 360));
    filling_ = false;
}

void CompositeWindow::buildRow(int row, const CompositeEntry& e) {
    table_->setItem(row, kNumberColumn, readOnly(QString::number(row + 1)));
    auto* used = new QTableWidgetItem;
    used->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable);
    used->setCheckState(e.used ? Qt::Checked : Qt::Unchecked);
    table_->setItem(row, kUsedColumn, used);
    auto* icon = readOnly(QString());
    icon->setIcon(
        style()->standardIcon(e.isFile() ? QStyle::SP_FileIcon : QStyle::SP_TitleBarNormalButton));
    icon->setToolTip(e.isFile() ? tr("Datei") : tr("Geöffnetes Bild"));
    table_->setItem(row, kIconColumn, icon);
    table_->setItem(row, kNameColumn, readOnly(qs(e.name)));
    int c = firstFactorColumn();
    for (int s = 0; s < factorColumns_; ++s, ++c) {
        const float f =
            s < static_cast<int>(e.factors.size()) ? e.factors[static_cast<std::size_t>(s)] : 1.0f;
        table_->setItem(row, c, editable(factorText(f)));
    }
    for (int i = 0; i < job_.options.referencePointCount; ++i) {
        const ReferencePoint& p = e.points[static_cast<std::size_t>(i)];
        table_->setItem(row, c++, editable(coordinateText(p.x)));
        table_->setItem(row, c++, editable(coordinateText(p.y)));
    }
    table_->setItem(row, c, readOnly(QString::number(e.documentId)));
}

void CompositeWindow::cellChanged(int row, int column) {
    if (filling_) return;
    QTableWidgetItem* item = table_->item(row, column);
    if (!item || column < firstFactorColumn() || column >= table_->columnCount() - 1) return;
    const bool factor = column < firstFactorColumn() + factorColumns_;
    // Factors within their range, coordinates within the image sizes a job can hold.
    const double lo = factor ? kMinFactor : 0.0;
    const double hi = factor ? kMaxFactor : kMaxImageSize;
    double v = 0;
    const NumberText read = readTypedNumber(item->text(), lo, hi, false, v);
    filling_ = true;
    if (read != NumberText::Ok) {
        item->setText(item->data(kAcceptedRole).toString());
        filling_ = false;
        showMessage(this, numberPrompt(read, lo, hi, false));
        return;
    }
    const QString text = factor ? factorText(v) : coordinateText(v);
    item->setText(text);
    item->setData(kAcceptedRole, text);
    filling_ = false;
}

void CompositeWindow::takeOver() {
    const int list = job_.currentList;
    if (list < 0 || list >= job_.listCount()) return;
    const auto& old = job_.lists[static_cast<std::size_t>(list)].entries;
    std::vector<CompositeEntry> rows;
    const int idColumn = table_->columnCount() - 1;
    for (int r = 0; r < table_->rowCount(); ++r) {
        CompositeEntry e = r < static_cast<int>(old.size()) ? old[static_cast<std::size_t>(r)]
                                                            : job_.newEntry(list);
        e.used = table_->item(r, kUsedColumn)->checkState() == Qt::Checked;
        e.documentId = table_->item(r, idColumn)->text().toULongLong();
        e.name = table_->item(r, kNameColumn)->text().toStdString();
        int c = firstFactorColumn();
        e.factors.resize(static_cast<std::size_t>(factorColumns_));
        for (int s = 0; s < factorColumns_; ++s, ++c)
            e.factors[static_cast<std::size_t>(s)] = cellNumber(table_->item(r, c));
        for (int i = 0; i < job_.options.referencePointCount && c + 1 < idColumn; ++i) {
            ReferencePoint p{cellNumber(table_->item(r, c)), cellNumber(table_->item(r, c + 1))};
            c += 2;
            auto& target = e.points[static_cast<std::size_t>(i)];
            if (!(p == target)) e.pointsSet = true;
            target = p;
        }
        rows.push_back(std::move(e));
    }
    job_.takeOverList(list, std::move(rows));
}

void CompositeWindow::selectList(int index) {
    takeOver();
    if (index < 0 || index >= job_.listCount()) return;
    job_.currentList = index;
    showList();
}

void CompositeWindow::addFiles() {
    takeOver();
    const QStringList files = chooser_(this);
    if (files.isEmpty()) return;
    QDir::setCurrent(QFileInfo(files.first()).absolutePath());
    for (const QString& f : files)
        job_.addFile(job_.currentList, QFileInfo(f).absoluteFilePath().toStdString());
    showList();
}

void CompositeWindow::addOpenViews() {
    takeOver();
    const std::vector<OpenViewChoice> views = views_ ? views_() : std::vector<OpenViewChoice>{};
    OpenViewChooser chooser(views, this);
    if (chooser.exec() != QDialog::Accepted) return;
    for (int i : chooser.picked()) {
        const OpenViewChoice& v = views[static_cast<std::size_t>(i)];
        job_.addDocument(job_.currentList, v.documentId, v.title.toStdString());
    }
    showList();
}

void CompositeWindow::setAllFactors() {
    takeOver();
    if (setAllValue_->isModified() && !setAllValue_->commit()) return;
    job_.options.setAllValue = static_cast<float>(setAllValue_->value());
    job_.setAllFactors(job_.currentList);
    showList();
}

void CompositeWindow::clearAllLists() {
    takeOver();
    job_.clearAllLists();
    showList();
}

void CompositeWindow::editCalibrationParams() {
    takeOver();
    const int list = job_.currentList;
    if (list >= job_.overlayList()) return;
    CalibrationParams& c = job_.calibrations[static_cast<std::size_t>(list)];
    c.storeInto(settings_);
    DarkFlatDialog dlg(CalibrationParams::fromSettings(settings_), this);
    if (dlg.exec() != QDialog::Accepted) return;
    dlg.values().storeInto(settings_);
    c = CalibrationParams::fromSettings(settings_);
    showList();
}

void CompositeWindow::copyCalibrationToLayers() {
    takeOver();
    const int list = job_.currentList;
    if (list >= job_.overlayList()) return;
    job_.calibrations[static_cast<std::size_t>(list)].storeInto(settings_);
    job_.copyCalibrationToLayers(list);
    showList();
}

void CompositeWindow::requestAllReferences() {
    takeOver();
    const auto first = job_.firstEntry();
    if (!first) {
        showMessage(this, QString::fromUtf8(kNoExposuresMessage));
        return;
    }
    request_ = *first;
    outcome_ = Outcome::References;
    accept();
}

void CompositeWindow::requestReference(int row) {
    takeOver();
    if (row < 0 || row >= table_->rowCount()) return;
    request_ = {job_.currentList, row};
    outcome_ = Outcome::References;
    accept();
}

void CompositeWindow::readOptions() {
    auto& o = job_.options;
    o.averaging = averaging_->isChecked();
    o.removeBorders = borders_->isChecked();
    o.removeArtefacts = artefacts_->isChecked();
    o.sizeFactor = static_cast<float>(sizeFactor_->value());
    o.setAllValue = static_cast<float>(setAllValue_->value());
    for (std::size_t c = 0; c < 3; ++c)
        o.colourWeights[c] = static_cast<float>(weights_[c]->value());
}

void CompositeWindow::start() {
    // Enter in a number field reaches the button too: that press only moves the focus here.
    if (!start_->hasFocus()) {
        start_->setFocus(Qt::OtherFocusReason);
        return;
    }
    for (NumberField* f : {setAllValue_, sizeFactor_, weights_[0], weights_[1], weights_[2]})
        if (f->isModified() && !f->commit()) return;
    takeOver();
    readOptions();
    if (!stackOptions_->apply()) return;
    job_.storeSettings(settings_);
    storeAutoAlignChoice(settings_, autoAlign_->choice());
    outcome_ = Outcome::Start;
    accept();
}

void CompositeWindow::done(int r) {
    takeOver();
    if (r != QDialog::Accepted) outcome_ = Outcome::Cancelled;
    QDialog::done(r);
}

} // namespace quillon::ui
