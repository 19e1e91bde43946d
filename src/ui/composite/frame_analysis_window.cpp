// The window "Bildanalyse": table and curves of the measured exposures of the composite job.
#include "ui/composite/frame_analysis_window.h"

#include "ui/dialogs/number_field.h"
#include "ui/messages.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

namespace quillon::ui {
namespace {

constexpr int kFrameRole = Qt::UserRole;    // the row's position in frames_
constexpr int kSortRole = Qt::UserRole + 1; // the number a numeric cell sorts by

// A table cell that sorts by its number rather than by its text.
class NumberItem : public QTableWidgetItem {
public:
    NumberItem(double value, const QString& text) : QTableWidgetItem(text) {
        setData(kSortRole, value);
        setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        setFlags(flags() & ~Qt::ItemIsEditable);
    }
    bool operator<(const QTableWidgetItem& other) const override {
        return data(kSortRole).toDouble() < other.data(kSortRole).toDouble();
    }
};

QString number(double v, int decimals) {
    return QString::number(v, 'f', decimals);
}

// The plotted figures: name, decimals of the axis labels and the value of a frame.
struct Curve {
    const char* title;
    int decimals;
    bool integral; // counts: the axis labels stay whole numbers
    double (*value)(const FrameQuality&);
};

const Curve kCurves[] = {
    {QT_TRANSLATE_NOOP("quillon::ui::SeriesPlot", "FWHM (Pixel)"), 2, false,
     [](const FrameQuality& q) { return q.fwhm; }},
    {QT_TRANSLATE_NOOP("quillon::ui::SeriesPlot", "Rundheit"), 2, false,
     [](const FrameQuality& q) { return q.roundness; }},
    {QT_TRANSLATE_NOOP("quillon::ui::SeriesPlot", "Sterne"), 0, true,
     [](const FrameQuality& q) { return static_cast<double>(q.stars); }},
    {QT_TRANSLATE_NOOP("quillon::ui::SeriesPlot", "Hintergrund"), 0, false,
     [](const FrameQuality& q) { return q.background; }},
};

} // namespace

// --- SeriesPlot ------------------------------------------------------------------------------

SeriesPlot::SeriesPlot(QWidget* parent) : QWidget(parent) {
    setMinimumSize(300, 320);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
}

QSize SeriesPlot::sizeHint() const {
    return {340, 480};
}

void SeriesPlot::setFrames(const std::vector<FrameQuality>& frames, const std::vector<bool>& used) {
    frames_ = frames;
    used_ = used;
    update();
}

void SeriesPlot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int n = static_cast<int>(frames_.size());
    const int panels = static_cast<int>(std::size(kCurves));
    const QFontMetrics fm(font());
    const int left = fm.horizontalAdvance(QStringLiteral("000000")) + 10;
    const int panelHeight = height() / panels;
    for (int k = 0; k < panels; ++k) {
        const Curve& c = kCurves[k];
        const QRect box(left, k * panelHeight + fm.height() + 4, width() - left - 10,
                        panelHeight - 2 * fm.height() - 6);
        p.setPen(Qt::black);
        p.drawText(left, k * panelHeight + fm.ascent() + 2, tr(c.title));
        p.setPen(QColor(160, 160, 160));
        p.setBrush(Qt::NoBrush);
        p.drawRect(box);
        if (n == 0 || box.height() < 4) continue;
        double lo = c.value(frames_.front()), hi = lo;
        for (const FrameQuality& q : frames_) {
            lo = std::min(lo, c.value(q));
            hi = std::max(hi, c.value(q));
        }
        if (hi - lo < 1e-9) {
            lo -= 0.5;
            hi += 0.5;
        }
        const double pad = (hi - lo) * 0.08;
        lo -= pad;
        hi += pad;
        // Enough decimals that the two axis labels differ.
        const int decimals =
            c.integral
                ? 0
                : std::clamp(static_cast<int>(std::ceil(-std::log10(hi - lo))) + 1, c.decimals, 3);
        p.setPen(Qt::darkGray);
        p.drawText(QRect(0, box.top() - fm.height() / 2, left - 4, fm.height()), Qt::AlignRight,
                   number(hi, decimals));
        p.drawText(QRect(0, box.bottom() - fm.height() / 2, left - 4, fm.height()), Qt::AlignRight,
                   number(lo, decimals));
        auto at = [&](int i) {
            const double x =
                n == 1 ? box.center().x() : box.left() + 6 + (box.width() - 12) * i / (n - 1.0);
            const double y = box.bottom() - (c.value(frames_[static_cast<std::size_t>(i)]) - lo) /
                                                (hi - lo) * box.height();
            return QPointF(x, y);
        };
        QPainterPath line;
        line.moveTo(at(0));
        for (int i = 1; i < n; ++i) line.lineTo(at(i));
        p.setPen(QPen(QColor(40, 90, 200), 1.5));
        p.drawPath(line);
        for (int i = 0; i < n; ++i) {
            const bool used =
                i < static_cast<int>(used_.size()) && used_[static_cast<std::size_t>(i)];
            p.setPen(QPen(used ? QColor(40, 90, 200) : QColor(210, 40, 40), 1.5));
            p.setBrush(used ? QBrush(QColor(40, 90, 200)) : QBrush(Qt::white));
            p.drawEllipse(at(i), 3.0, 3.0);
        }
    }
    p.setPen(Qt::darkGray);
    p.drawText(QRect(left, height() - fm.height(), width() - left - 10, fm.height()),
               Qt::AlignCenter, tr("Bild 1 … %1 in Reihenfolge der Listen").arg(n));
}

// --- FrameAnalysisWindow ---------------------------------------------------------------------

FrameAnalysisWindow::FrameAnalysisWindow(CompositeJob& job, Measure measure, OpenFrame open,
                                         QWidget* parent)
    : QDialog(parent), job_(job), measure_(std::move(measure)), open_(std::move(open)) {
    setWindowTitle(tr("Bildanalyse"));
    auto* top = new QVBoxLayout(this);
    auto* body = new QHBoxLayout;
    table_ = new QTableWidget(0, ColumnCount, this);
    table_->setHorizontalHeaderLabels({tr("Datei"), tr("Sterne"), tr("FWHM (px)"), tr("FWHM (″)"),
                                       tr("Rundheit"), tr("Hintergrund"), tr("Rauschen"),
                                       tr("Güte"), tr("Ausgelassen weil")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->setVisible(false);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setToolTip(tr("Häkchen: Bild wird verwendet. Doppelklick öffnet das Bild."));
    body->addWidget(table_, 5);
    plot_ = new SeriesPlot(this);
    body->addWidget(plot_, 2);
    top->addLayout(body, 1);

    auto* rulesRow = new QHBoxLayout;
    rulesRow->addWidget(new QLabel(tr("Auswahlregeln:"), this));
    rules_ = new QLineEdit(this);
    rules_->setPlaceholderText(tr("z. B. fwhm<3.5, roundness>0.8, stars>=50"));
    rules_->setToolTip(tr("Regeln durch Komma getrennt; Größen: fwhm, fwhm_arcsec, roundness, "
                          "stars, background, noise, score"));
    rulesRow->addWidget(rules_, 1);
    keepBest_ = new QCheckBox(tr("beste"), this);
    rulesRow->addWidget(keepBest_);
    keepPercent_ = new QSpinBox(this);
    keepPercent_->setRange(1, 100);
    keepPercent_->setValue(75);
    keepPercent_->setSuffix(tr(" %"));
    rulesRow->addWidget(keepPercent_);
    auto* apply = new QPushButton(tr("Auswahl anwenden"), this);
    rulesRow->addWidget(apply);
    top->addLayout(rulesRow);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(tr("Bildmaßstab (″/Pixel, 0 = unbekannt):"), this));
    scale_ = new NumberField(0, 3600, 3, this);
    scale_->setValue(0);
    scale_->setMaximumWidth(90);
    bottom->addWidget(scale_);
    summary_ = new QLabel(this);
    bottom->addWidget(summary_, 1);
    auto* again = new QPushButton(tr("Neu messen"), this);
    auto* close = new QPushButton(tr("Schließen"), this);
    bottom->addWidget(again);
    bottom->addWidget(close);
    top->addLayout(bottom);

    connect(apply, &QPushButton::clicked, this, &FrameAnalysisWindow::applySelection);
    connect(rules_, &QLineEdit::returnPressed, this, &FrameAnalysisWindow::applySelection);
    connect(again, &QPushButton::clicked, this, &FrameAnalysisWindow::measure);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(table_, &QTableWidget::cellChanged, this, &FrameAnalysisWindow::rowChanged);
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        const int f = frameOfRow(row);
        if (f >= 0 && open_) open_(entryOf(frames_[static_cast<std::size_t>(f)]));
    });
    connect(scale_, &NumberField::committed, this, [this](double scale) {
        for (FrameAnalysis& f : frames_)
            if (f.available) f.quality = frameQuality(f.field, scale);
        fillTable();
    });
    resize(1240, 640);
}

CompositeEntry& FrameAnalysisWindow::entryOf(const FrameAnalysis& f) {
    return job_.lists[static_cast<std::size_t>(f.list)].entries[static_cast<std::size_t>(f.index)];
}

int FrameAnalysisWindow::frameOfRow(int row) const {
    const QTableWidgetItem* item = table_->item(row, ColFile);
    return item ? item->data(kFrameRole).toInt() : -1;
}

bool FrameAnalysisWindow::measure() {
    std::vector<FrameAnalysis> frames;
    if (!measure_ || !measure_(frames)) return false;
    frames_ = std::move(frames);
    const double scale = scale_->value();
    if (scale > 0)
        for (FrameAnalysis& f : frames_)
            if (f.available) f.quality = frameQuality(f.field, scale);
    fillTable();
    return true;
}

void FrameAnalysisWindow::fillTable() {
    filling_ = true;
    table_->setSortingEnabled(false);
    table_->setRowCount(static_cast<int>(frames_.size()));
    for (int i = 0; i < static_cast<int>(frames_.size()); ++i) {
        const FrameAnalysis& f = frames_[static_cast<std::size_t>(i)];
        const FrameQuality& q = f.quality;
        auto* file = new QTableWidgetItem(QFileInfo(QString::fromStdString(f.name)).fileName());
        file->setToolTip(QString::fromStdString(f.name));
        file->setData(kFrameRole, i);
        file->setFlags((file->flags() | Qt::ItemIsUserCheckable) & ~Qt::ItemIsEditable);
        file->setCheckState(entryOf(f).used ? Qt::Checked : Qt::Unchecked);
        table_->setItem(i, ColFile, file);
        table_->setItem(i, ColStars, new NumberItem(q.stars, QString::number(q.stars)));
        table_->setItem(i, ColFwhm, new NumberItem(q.fwhm, number(q.fwhm, 2)));
        table_->setItem(
            i, ColFwhmArcsec,
            new NumberItem(q.fwhmArcsec, q.fwhmArcsec > 0 ? number(q.fwhmArcsec, 2) : tr("–")));
        table_->setItem(i, ColRoundness, new NumberItem(q.roundness, number(q.roundness, 3)));
        table_->setItem(i, ColBackground, new NumberItem(q.background, number(q.background, 1)));
        table_->setItem(i, ColNoise, new NumberItem(q.noise, number(q.noise, 2)));
        table_->setItem(i, ColScore, new NumberItem(q.score, number(q.score, 1)));
        auto* reason = new QTableWidgetItem(QString::fromUtf8(f.dropped.c_str()));
        reason->setFlags(reason->flags() & ~Qt::ItemIsEditable);
        table_->setItem(i, ColReason, reason);
    }
    table_->setSortingEnabled(true);
    table_->resizeColumnsToContents();
    filling_ = false;
    refreshPlot();
}

void FrameAnalysisWindow::refreshPlot() {
    std::vector<FrameQuality> q;
    std::vector<bool> used;
    int count = 0;
    for (const FrameAnalysis& f : frames_) {
        q.push_back(f.quality);
        used.push_back(entryOf(f).used);
        count += used.back() ? 1 : 0;
    }
    plot_->setFrames(q, used);
    summary_->setText(tr("%1 Bilder gemessen, %2 verwendet").arg(frames_.size()).arg(count));
}

void FrameAnalysisWindow::setRowUsed(int row, bool used) {
    if (QTableWidgetItem* item = table_->item(row, ColFile))
        item->setCheckState(used ? Qt::Checked : Qt::Unchecked);
}

void FrameAnalysisWindow::rowChanged(int row, int column) {
    if (filling_ || column != ColFile) return;
    const int f = frameOfRow(row);
    if (f < 0) return;
    entryOf(frames_[static_cast<std::size_t>(f)]).used =
        table_->item(row, ColFile)->checkState() == Qt::Checked;
    refreshPlot();
}

bool FrameAnalysisWindow::applySelection() {
    std::vector<FrameRule> rules;
    const QStringList texts =
        rules_->text().split(QRegularExpression(QStringLiteral("[,;]")), Qt::SkipEmptyParts);
    for (const QString& t : texts) {
        if (t.trimmed().isEmpty()) continue;
        FrameRule r;
        std::string error;
        if (!parseFrameRule(t.trimmed().toStdString(), r, error)) {
            showMessage(this, QString::fromUtf8(error.c_str()));
            rules_->setFocus();
            return false;
        }
        rules.push_back(r);
    }
    const double keep = keepBest_->isChecked() ? keepPercent_->value() : 0.0;
    // Every readable frame competes again; frames unticked by hand stay unticked.
    for (FrameAnalysis& f : frames_)
        if (f.available) f.dropped.clear();
    applyFrameSelection(job_, frames_, rules, keep);
    fillTable();
    return true;
}

} // namespace quillon::ui
