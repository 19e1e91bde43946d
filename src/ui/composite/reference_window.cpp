// ReferenceWindow: the row of the current exposure, the search table, the stepping through
// the series with carried positions, the automatic check and continuation.
#include "ui/composite/reference_window.h"

#include "composite/job.h"
#include "core/image.h"
#include "core/image_type.h"
#include "core/settings_record.h"
#include "formats/open.h"
#include "ui/composite/composite_room.h"
#include "ui/composite/composite_window.h"
#include "ui/dialogs/number_field.h"
#include "ui/document.h"
#include "ui/messages.h"
#include "ui/shell/quillon_app.h"
#include "ui/view.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>

namespace quillon::ui {

namespace {

// Columns of the row: "%i/%i", used switch, icon, name, factors, then X and Y per point.
constexpr int kCounterColumn = 0;
constexpr int kUsedColumn = 1;
constexpr int kIconColumn = 2;
constexpr int kNameColumn = 3;
constexpr int kFactorColumn = 4;

// The star-matching switch keeps its state for the run of the program.
bool starMatchOn = false;

int methodShift(int point) {
    return 12 - 4 * point; // point 1 in bits 12..14, point 4 in bits 0..2
}

// Typed coordinates: the positions a job file keeps. Typed half-sizes: what the 16-bit
// settings hold (the search lowers them to the image).
constexpr double kMaxCoordinate = kMaxImageSize;
constexpr double kMaxHalfSize = 32767;
// The last accepted text of an editable cell, restored when a typed number is refused.
constexpr int kAcceptedRole = Qt::UserRole + 1;

QTableWidgetItem* editableCell(const QString& text) {
    auto* it = new QTableWidgetItem(text);
    it->setData(kAcceptedRole, text);
    return it;
}

// The number in a cell, or `fallback` when its text is no number within lo … hi.
double cellValue(const QTableWidgetItem* it, double lo, double hi, bool integer, double fallback) {
    double v = fallback;
    if (it) readTypedNumber(it->text(), lo, hi, integer, v);
    return v;
}

QString listTypeText(const CompositeJob& job, int list) {
    if (job.kind(list) == CompositeListKind::Overlay) return ReferenceWindow::tr("Overlay");
    const auto name = list < job.layerCount ? ImageTypeName(job.targetType, list).name
                                            : ImageTypeName(job.targetType).name;
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

QMdiSubWindow* frameOf(CWinQuillonView* v) {
    for (QWidget* p = v ? v->parentWidget() : nullptr; p; p = p->parentWidget())
        if (auto* s = qobject_cast<QMdiSubWindow*>(p)) return s;
    return nullptr;
}

} // namespace

CWinQuillonDoc* documentOfCompositeId(std::uint64_t id) {
    CWinQuillonApp* app = CWinQuillonApp::instance();
    if (!app || id == 0) return nullptr;
    for (CWinQuillonDoc* d : app->documents())
        if (documentIdOf(d) == id && !d->views().isEmpty()) return d;
    return nullptr;
}

ReferenceSearchSet referenceSearchFromSettings(const SettingsRecord& s) {
    ReferenceSearchSet out{};
    for (int k = 0; k < kMaxReferencePoints; ++k) {
        auto& p = out[static_cast<std::size_t>(k)];
        const int code = (s.setReferenceMethods >> methodShift(k)) & 7;
        p.method = code < kReferenceMethodCount ? static_cast<ReferenceMethod>(code)
                                                : ReferenceMethod::PositiveCentroid;
        p.searchHalfSize = s.setReferenceSearch[static_cast<std::size_t>(k)];
        p.centroidHalfSize = s.setReferenceGravity[static_cast<std::size_t>(k)];
    }
    return out;
}

void storeReferenceSearch(const ReferenceSearchSet& search, SettingsRecord& s) {
    int bits = 0;
    for (int k = 0; k < kMaxReferencePoints; ++k) {
        const auto& p = search[static_cast<std::size_t>(k)];
        bits |= (static_cast<int>(p.method) & 7) << methodShift(k);
        s.setReferenceSearch[static_cast<std::size_t>(k)] = p.searchHalfSize;
        s.setReferenceGravity[static_cast<std::size_t>(k)] = p.centroidHalfSize;
    }
    s.setReferenceMethods = bits;
}

ReferenceWindow::ReferenceWindow(const CommandContext& ctx, CompositeJob& job)
    : QWidget(ctx.parent(), Qt::Tool), ctx_(ctx), job_(job) {
    setObjectName(QStringLiteral("ReferenceWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(tr("Referenzpunkte setzen"));
    SettingsRecord& s = ctx_.settings();
    settings_ = referenceSearchFromSettings(s);

    auto* l = new QVBoxLayout(this);
    row_ = new QTableWidget(1, 0, this);
    row_->verticalHeader()->hide();
    row_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    row_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    l->addWidget(row_);

    auto* typeRow = new QHBoxLayout;
    typeRow->addWidget(new QLabel(tr("In der Liste des Typs:"), this));
    listType_ = new QLineEdit(this);
    listType_->setReadOnly(true);
    typeRow->addWidget(listType_, 1);
    l->addLayout(typeRow);

    search_ = new QTableWidget(3, 0, this);
    search_->setVerticalHeaderLabels({tr("Methode:"), tr("Such-Bereich:"), tr("Swp-Bereich:")});
    search_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    search_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    l->addWidget(search_);

    auto* boxes = new QHBoxLayout;
    carry_ = new QCheckBox(tr("Koordinaten übernehmen"), this);
    carry_->setChecked(true);
    autoContinue_ = new QCheckBox(tr("Automatisch fortfahren"), this);
    starMatch_ = new QCheckBox(tr("Sterne automatisch zuordnen"), this);
    starMatch_->setToolTip(
        tr("Die Startpositionen jedes weiteren Bildes werden über seine Sterne gefunden, auch bei "
           "großen Verschiebungen und Drehungen."));
    starMatch_->setChecked(starMatchOn);
    connect(starMatch_, &QCheckBox::toggled, this, [](bool on) { starMatchOn = on; });
    boxes->addWidget(carry_);
    boxes->addWidget(autoContinue_);
    boxes->addWidget(starMatch_);
    boxes->addStretch(1);
    l->addLayout(boxes);
    // Continuing by itself needs the carried positions, and without them it cannot go on.
    connect(autoContinue_, &QCheckBox::toggled, this, [this](bool on) {
        if (on) carry_->setChecked(true);
    });
    connect(carry_, &QCheckBox::toggled, this, [this](bool on) {
        if (!on) autoContinue_->setChecked(false);
    });

    auto* buttons = new QHBoxLayout;
    previous_ = new QPushButton(tr("<< vorheriges Bild"), this);
    next_ = new QPushButton(tr("nächstes Bild >>"), this);
    end_ = new QPushButton(tr("Beenden"), this);
    buttons->addWidget(previous_);
    buttons->addWidget(next_);
    buttons->addStretch(1);
    buttons->addWidget(end_);
    l->addLayout(buttons);
    connect(previous_, &QPushButton::clicked, this, &ReferenceWindow::previous);
    connect(next_, &QPushButton::clicked, this, &ReferenceWindow::next);
    connect(end_, &QPushButton::clicked, this, &ReferenceWindow::finish);
    connect(row_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* it) {
        if (!filling_ && it) onCellEdited(it);
    });
    connect(search_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* it) {
        if (!filling_ && it) acceptCell(it, 0, kMaxHalfSize, true);
    });
    if (CWinQuillonApp* app = CWinQuillonApp::instance())
        connect(app, &CWinQuillonApp::documentsChanged, this, &ReferenceWindow::onDocumentsChanged);

    buildSearchTable();
    resize(720, 320);
    const WindowPoint p = s.windowPoint(WindowSlot::SetReference);
    move(p.left, p.top);
}

ReferenceWindow::~ReferenceWindow() {
    if (shown_) {
        disconnect(shown_, nullptr, this, nullptr);
        shown_->setReferenceMode(0);
    }
}

// --- order of the entries ----------------------------------------------------------------

bool ReferenceWindow::normalise(Position& p) const {
    for (; p.list < job_.listCount(); ++p.list, p.index = 0)
        if (p.index < static_cast<int>(job_.lists[static_cast<std::size_t>(p.list)].entries.size()))
            return true;
    return false;
}

bool ReferenceWindow::hasEntryBefore() const {
    if (index_ > 0) return true;
    for (int l = 0; l < list_; ++l)
        if (!job_.lists[static_cast<std::size_t>(l)].entries.empty()) return true;
    return false;
}

bool ReferenceWindow::hasEntryAfter() const {
    Position p{list_, index_ + 1};
    return normalise(p);
}

void ReferenceWindow::updateButtons() {
    previous_->setEnabled(hasEntryBefore());
    next_->setEnabled(hasEntryAfter());
    if (row_->columnCount() > 0 && list_ < job_.listCount()) {
        const int n = static_cast<int>(job_.lists[static_cast<std::size_t>(list_)].entries.size());
        filling_ = true;
        if (QTableWidgetItem* it = row_->item(0, kCounterColumn))
            it->setText(QString::asprintf("%i/%i", n - index_, n));
        filling_ = false;
    }
}

// --- the row and the search table ---------------------------------------------------------

void ReferenceWindow::fillRow() {
    const CompositeEntry& e =
        job_.lists[static_cast<std::size_t>(list_)].entries[static_cast<std::size_t>(index_)];
    const int slotCount = job_.factorSlots(list_);
    const int count = job_.options.referencePointCount;
    QStringList headers{QString(), QString(), QString(), tr("Dateiname")};
    const bool named = job_.kind(list_) == CompositeListKind::WholeImage && job_.layerCount > 1;
    for (int f = 0; f < slotCount; ++f) {
        const auto layer = ImageTypeName(job_.targetType, f).name;
        headers << (named ? tr("Faktor: ") + QString::fromUtf8(layer.data(),
                                                               static_cast<qsizetype>(layer.size()))
                          : tr("Faktor"));
    }
    for (int k = 1; k <= count; ++k) headers << tr("Ref %1: X").arg(k) << tr("Ref %1: Y").arg(k);
    filling_ = true;
    row_->clear();
    row_->setColumnCount(static_cast<int>(headers.size()));
    row_->setHorizontalHeaderLabels(headers);
    auto readOnly = [this](int column, const QString& text) {
        auto* it = new QTableWidgetItem(text);
        it->setFlags(Qt::ItemIsEnabled);
        row_->setItem(0, column, it);
        return it;
    };
    readOnly(kCounterColumn, QString());
    auto* used = new QTableWidgetItem;
    used->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    used->setCheckState(e.used ? Qt::Checked : Qt::Unchecked);
    row_->setItem(0, kUsedColumn, used);
    QTableWidgetItem* icon = readOnly(kIconColumn, QString());
    icon->setIcon(
        style()->standardIcon(e.isFile() ? QStyle::SP_FileIcon : QStyle::SP_ComputerIcon));
    readOnly(kNameColumn, QString::fromStdString(e.name));
    for (int f = 0; f < slotCount; ++f) {
        const float v = static_cast<std::size_t>(f) < e.factors.size()
                            ? e.factors[static_cast<std::size_t>(f)]
                            : 1.0f;
        readOnly(kFactorColumn + f, QString::asprintf("%.3f", static_cast<double>(v)));
    }
    for (int k = 0; k < count; ++k) {
        const ReferencePoint& p = e.points[static_cast<std::size_t>(k)];
        row_->setItem(0, kFactorColumn + slotCount + 2 * k,
                      editableCell(QString::asprintf("%.2f", static_cast<double>(p.x))));
        row_->setItem(0, kFactorColumn + slotCount + 2 * k + 1,
                      editableCell(QString::asprintf("%.2f", static_cast<double>(p.y))));
    }
    filling_ = false;
    listType_->setText(listTypeText(job_, list_));
    updateButtons();
    row_->resizeColumnsToContents();
    row_->resizeRowsToContents();
    row_->setFixedHeight(row_->horizontalHeader()->sizeHint().height() + row_->rowHeight(0) +
                         row_->horizontalScrollBar()->sizeHint().height() + 2 * row_->frameWidth());
}

void ReferenceWindow::buildSearchTable() {
    const int count = job_.options.referencePointCount;
    filling_ = true;
    search_->clear();
    search_->setColumnCount(count);
    search_->setVerticalHeaderLabels({tr("Methode:"), tr("Such-Bereich:"), tr("Swp-Bereich:")});
    for (int k = 0; k < count; ++k) {
        const ReferenceSearchSettings& s = settings_[static_cast<std::size_t>(k)];
        search_->setHorizontalHeaderItem(k, new QTableWidgetItem(tr("Ref %1:").arg(k + 1)));
        auto* method = new QComboBox(search_);
        for (int m = 0; m < kReferenceMethodCount; ++m) {
            const auto name = referenceMethodName(static_cast<ReferenceMethod>(m));
            method->addItem(QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
        }
        method->setCurrentIndex(static_cast<int>(s.method));
        search_->setCellWidget(0, k, method);
        search_->setItem(1, k, editableCell(QString::asprintf("%i", s.searchHalfSize)));
        search_->setItem(2, k, editableCell(QString::asprintf("%i", s.centroidHalfSize)));
    }
    filling_ = false;
    search_->resizeColumnsToContents();
    search_->setFixedHeight(search_->horizontalHeader()->sizeHint().height() +
                            3 * search_->rowHeight(0) + 4);
}

ReferenceSearchSet ReferenceWindow::readSearchTable() {
    for (int k = 0; k < search_->columnCount() && k < kMaxReferencePoints; ++k) {
        ReferenceSearchSettings& s = settings_[static_cast<std::size_t>(k)];
        if (auto* method = qobject_cast<QComboBox*>(search_->cellWidget(0, k)))
            s.method = referenceMethodFromName(method->currentText().toStdString());
        // Typed numbers were checked when typed; the search limits them to the image.
        s.searchHalfSize = static_cast<int>(
            cellValue(search_->item(1, k), 0, kMaxHalfSize, true, s.searchHalfSize));
        s.centroidHalfSize = static_cast<int>(
            cellValue(search_->item(2, k), 0, kMaxHalfSize, true, s.centroidHalfSize));
    }
    return settings_;
}

CWinQuillonView* ReferenceWindow::shownView() const {
    return shown_;
}

CompositeEntry* ReferenceWindow::currentEntry() {
    if (list_ < 0 || list_ >= job_.listCount()) return nullptr;
    auto& entries = job_.lists[static_cast<std::size_t>(list_)].entries;
    if (index_ < 0 || index_ >= static_cast<int>(entries.size())) return nullptr;
    return &entries[static_cast<std::size_t>(index_)];
}

const CompositeEntry* ReferenceWindow::currentEntry() const {
    return const_cast<ReferenceWindow*>(this)->currentEntry();
}

ReferencePoint ReferenceWindow::rowPoint(int index) const {
    const CompositeEntry* e = currentEntry();
    if (!e || index < 0 || index >= kMaxReferencePoints) return {};
    return e->points[static_cast<std::size_t>(index)];
}

void ReferenceWindow::setRowPoint(int index, float x, float y) {
    if (CompositeEntry* e = currentEntry()) e->points[static_cast<std::size_t>(index)] = {x, y};
    const int c = kFactorColumn + job_.factorSlots(list_) + 2 * index;
    filling_ = true;
    for (int i = 0; i < 2; ++i) {
        const QString text = QString::asprintf("%.2f", static_cast<double>(i == 0 ? x : y));
        row_->item(0, c + i)->setText(text);
        row_->item(0, c + i)->setData(kAcceptedRole, text);
    }
    filling_ = false;
    if (shown_) shown_->setReferenceMark(index, QPointF(x, y));
}

void ReferenceWindow::locateAt(int index, QPointF imagePos) {
    if (!shown_ || index < 0 || index >= job_.options.referencePointCount) return;
    const ReferenceSearchSet s = readSearchTable();
    const ReferencePoint p =
        locateReference(shown_->document()->image(), s[static_cast<std::size_t>(index)],
                        static_cast<float>(imagePos.x()), static_cast<float>(imagePos.y()));
    setRowPoint(index, p.x, p.y);
}

bool ReferenceWindow::acceptCell(QTableWidgetItem* it, double lo, double hi, bool integer) {
    double v = 0;
    const NumberText r = readTypedNumber(it->text(), lo, hi, integer, v);
    filling_ = true;
    if (r == NumberText::Ok)
        it->setData(kAcceptedRole, it->text());
    else
        it->setText(it->data(kAcceptedRole).toString());
    filling_ = false;
    if (r != NumberText::Ok) showMessage(this, numberPrompt(r, lo, hi, integer), Ask::Warning);
    return r == NumberText::Ok;
}

void ReferenceWindow::onCellEdited(QTableWidgetItem* item) {
    CompositeEntry* e = currentEntry();
    if (!e) return;
    const int column = item->column();
    if (column == kUsedColumn) {
        e->used = item->checkState() == Qt::Checked;
        return;
    }
    const int first = kFactorColumn + job_.factorSlots(list_);
    const int k = (column - first) / 2;
    if (column < first || k >= job_.options.referencePointCount) return;
    // A typed coordinate searches at once; text that is no position in an image is refused
    // and the cell shows the point again.
    const ReferencePoint was = e->points[static_cast<std::size_t>(k)];
    double v = 0;
    const NumberText r = readTypedNumber(item->text(), 0, kMaxCoordinate, false, v);
    if (r != NumberText::Ok) {
        setRowPoint(k, was.x, was.y);
        showMessage(this, numberPrompt(r, 0, kMaxCoordinate, false), Ask::Warning);
        return;
    }
    const bool isX = (column - first) % 2 == 0;
    locateAt(k, isX ? QPointF(v, was.y) : QPointF(was.x, v));
}

void ReferenceWindow::takeOverRow() {
    if (CompositeEntry* e = currentEntry()) e->pointsSet = true;
}

// --- showing an entry ---------------------------------------------------------------------

void ReferenceWindow::start(int list, int index) {
    Position p{list, index};
    if (!normalise(p)) {
        close();
        return;
    }
    list_ = p.list;
    index_ = p.index;
    showEntry(false);
    if (closing_) return;
    show();
    raise();
}

bool ReferenceWindow::attachView() {
    auto& entries = job_.lists[static_cast<std::size_t>(list_)].entries;
    const CompositeEntry& e = entries[static_cast<std::size_t>(index_)];
    CWinQuillonView* view = nullptr;
    if (!e.isFile()) {
        if (CWinQuillonDoc* d = documentOfCompositeId(e.documentId)) view = d->views().first();
    } else {
        Image image;
        try {
            openImage(e.name, image, Progress::none());
        } catch (...) {
            image = Image();
        }
        if (image.hasSamples()) {
            CWinQuillonDoc* d = CWinQuillonApp::instance()->createDerivedDocument(
                QFileInfo(QString::fromStdString(e.name)).fileName(), nullptr, std::move(image));
            if (d) {
                d->setPathName(QString::fromStdString(e.name));
                d->setModified(false);
                opened_ = d;
                if (!d->views().isEmpty()) view = d->views().first();
            }
        }
    }
    if (!view) {
        // A file that does not open (or a window already gone): the entry is dropped silently.
        entries.erase(entries.begin() + index_);
        return false;
    }
    shown_ = view;
    if (QMdiSubWindow* sub = frameOf(view); sub && sub->mdiArea())
        sub->mdiArea()->setActiveSubWindow(sub);
    connect(view, &QObject::destroyed, this, &ReferenceWindow::onShownViewGone);
    connect(view, &CWinQuillonView::referencePointRequested, this, &ReferenceWindow::locateAt);
    view->setReferenceMode(job_.options.referencePointCount);
    return true;
}

void ReferenceWindow::detachView() {
    if (shown_) {
        disconnect(shown_, nullptr, this, nullptr);
        shown_->setReferenceMode(0);
    }
    shown_ = nullptr;
    if (opened_) {
        CWinQuillonDoc* d = opened_;
        opened_ = nullptr;
        d->setModified(false);
        CWinQuillonApp::instance()->closeDocument(d);
    }
}

void ReferenceWindow::showEntry(bool check) {
    // A file that does not open is removed; the next entry takes its place.
    for (;;) {
        Position p{list_, index_};
        if (!normalise(p)) {
            close();
            return;
        }
        list_ = p.list;
        index_ = p.index;
        // Carried positions go to the entry shown, also when a file before it did not open.
        if (carried_)
            job_.lists[static_cast<std::size_t>(list_)]
                .entries[static_cast<std::size_t>(index_)]
                .points = *carried_;
        fillRow();
        if (attachView()) break;
    }
    carried_.reset();
    updateButtons();
    const Image& image = shown_->document()->image();
    const int count = job_.options.referencePointCount;
    follower_.setSearch(readSearchTable());
    follower_.setCount(count);
    // The stars of the exposure left take part only after "nächstes Bild >>".
    if (!check || !starMatch_->isChecked()) follower_.clearStarReference();
    const ReferenceFollow f = follower_.follow(image, currentEntry()->points);
    follower_.clearPrevious();
    follower_.clearStarReference();
    for (int k = 0; k < count; ++k)
        setRowPoint(k, f.located[static_cast<std::size_t>(k)].x,
                    f.located[static_cast<std::size_t>(k)].y);
    if (!check) return;
    lastCheckPassed_ = f.check.passed;
    if (lastCheckPassed_ && autoContinue_->isChecked() && hasEntryAfter())
        QTimer::singleShot(0, this, [this] {
            if (!closing_) next();
        });
}

void ReferenceWindow::step(bool forward) {
    if (closing_) return;
    if (forward ? !hasEntryAfter() : !hasEntryBefore()) return;
    takeOverRow();
    const std::size_t left = static_cast<std::size_t>(list_);
    const CompositeEntry leftEntry = job_.lists[left].entries[static_cast<std::size_t>(index_)];
    if (forward) {
        Position p{list_, index_ + 1};
        normalise(p);
        list_ = p.list;
        index_ = p.index;
    } else if (index_ > 0) {
        --index_;
    } else {
        do {
            --list_;
        } while (job_.lists[static_cast<std::size_t>(list_)].entries.empty());
        index_ = static_cast<int>(job_.lists[static_cast<std::size_t>(list_)].entries.size()) - 1;
    }
    if (carry_->isChecked() && shown_) {
        const Image& image = shown_->document()->image();
        follower_.setPrevious(leftEntry.points, image.width(), image.height());
        carried_ = leftEntry.points;
        if (forward && starMatch_->isChecked()) follower_.setStarReference(image, leftEntry.points);
    }
    detachView();
    showEntry(forward);
}

void ReferenceWindow::next() {
    step(true);
}

void ReferenceWindow::previous() {
    step(false);
}

void ReferenceWindow::finish() {
    close();
}

// --- closing views and the window ---------------------------------------------------------

void ReferenceWindow::continueOrClose() {
    follower_.clearPrevious();
    Position p{list_, index_};
    if (!normalise(p)) {
        close();
        return;
    }
    showEntry(false);
}

void ReferenceWindow::onShownViewGone() {
    if (closing_) return;
    // The user closed the shown window: the row is taken over and the series goes on.
    takeOverRow();
    shown_ = nullptr;
    opened_ = nullptr;
    auto& entries = job_.lists[static_cast<std::size_t>(list_)].entries;
    if (index_ < static_cast<int>(entries.size()) &&
        entries[static_cast<std::size_t>(index_)].isFile())
        ++index_;
    // A window entry is removed once its document is gone (onDocumentsChanged).
    QTimer::singleShot(0, this, [this] {
        if (closing_) return;
        onDocumentsChanged();
        if (!shown_ && !closing_) continueOrClose();
    });
}

void ReferenceWindow::onDocumentsChanged() {
    if (closing_) return;
    bool currentGone = false;
    for (int l = 0; l < job_.listCount(); ++l) {
        auto& entries = job_.lists[static_cast<std::size_t>(l)].entries;
        for (int i = 0; i < static_cast<int>(entries.size());) {
            const CompositeEntry& e = entries[static_cast<std::size_t>(i)];
            if (e.isFile() || documentOfCompositeId(e.documentId)) {
                ++i;
                continue;
            }
            entries.erase(entries.begin() + i);
            if (l == list_ && i == index_) currentGone = true;
            if (l == list_ && i < index_) --index_;
        }
    }
    if (currentGone && shown_) {
        disconnect(shown_, nullptr, this, nullptr);
        shown_ = nullptr;
    }
    if (currentGone) {
        continueOrClose();
        return;
    }
    updateButtons();
}

void ReferenceWindow::closeEvent(QCloseEvent* e) {
    if (!closing_) {
        takeOverRow();
        closing_ = true;
        readSearchTable();
        detachView();
        SettingsRecord& s = ctx_.settings();
        s.setWindowPoint(WindowSlot::SetReference, {x(), y()});
        storeReferenceSearch(settings_, s);
        // The composite window comes back on the same job, unless the program is quitting:
        // also not when the quit is cancelled before the window would come back.
        const std::uint16_t type = job_.targetType;
        const int layers = job_.layerCount;
        auto quitting = [] {
            const CWinQuillonApp* app = CWinQuillonApp::instance();
            return app && app->isClosing();
        };
        if (!quitting())
            QTimer::singleShot(0, ctx_.parent(), [type, layers, quitting] {
                if (!quitting())
                    CWinQuillonApp::instance()->composite().showCompositeWindow(type, layers,
                                                                                false);
            });
    }
    QWidget::closeEvent(e);
}

bool referenceStarMatching() {
    return starMatchOn;
}

ReferenceWindow* referenceWindowOf(const CommandContext& ctx) {
    return ctx.parent()->findChild<ReferenceWindow*>(QStringLiteral("ReferenceWindow"),
                                                     Qt::FindDirectChildrenOnly);
}

ReferenceWindow* openReferenceWindowAt(const CommandContext& ctx, int list, int index) {
    ReferenceWindow* w = referenceWindowOf(ctx);
    if (!w) w = new ReferenceWindow(ctx, CWinQuillonApp::instance()->composite().job());
    w->start(list, index);
    return w->isVisible() ? w : nullptr;
}

} // namespace quillon::ui
