// The per-exposure report window of a composite run.
#include "ui/composite/composite_report.h"

#include "composite/run.h"

#include <QColor>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace quillon::ui {
namespace {

constexpr int kStatusColumn = 2;
constexpr int kNameColumn = 3;

QString status(const ExposureReport& e) {
    if (!e.available) return CompositeReport::tr("nicht verfügbar");
    if (!e.checkPassed) return CompositeReport::tr("Prüfung fehlgeschlagen");
    if (e.reference) return CompositeReport::tr("Referenzbild");
    return e.inserted ? CompositeReport::tr("eingefügt") : CompositeReport::tr("nicht eingefügt");
}

} // namespace

QStringList compositeReportHeaders() {
    return {CompositeReport::tr("Liste"),          CompositeReport::tr("Nr."),
            CompositeReport::tr("Status"),         CompositeReport::tr("Bild"),
            CompositeReport::tr("Referenzpunkte"), CompositeReport::tr("Prüfung: Abstand / Winkel"),
            CompositeReport::tr("Verschiebung"),   CompositeReport::tr("Drehung"),
            CompositeReport::tr("Maßstab"),        CompositeReport::tr("Beitrag"),
            CompositeReport::tr("Verworfen")};
}

std::vector<QStringList> compositeReportRows(const CompositeJob& job, const CompositeResult& r) {
    std::vector<QStringList> rows;
    for (const ExposureReport& e : r.exposures) {
        QStringList points;
        if (e.available)
            for (int i = 0; i < r.pointCount; ++i) {
                const auto& p = e.located[static_cast<std::size_t>(i)];
                points << QString::asprintf("%i: %.2f, %.2f", i + 1, p.x, p.y);
            }
        QStringList check;
        if (e.searched)
            for (int i = 0; i < e.check.pairCount; ++i) {
                const auto& c = e.check.pairs[static_cast<std::size_t>(i)];
                check << QString::asprintf("%.2f / %.2f°", c.distanceDeviation, c.bearingDeviation);
            }
        const bool shown = e.available && e.inserted;
        const bool file = e.list >= 0 && e.list < job.listCount() &&
                          job.lists[static_cast<std::size_t>(e.list)]
                              .entries[static_cast<std::size_t>(e.index)]
                              .isFile();
        const QString name = QString::fromStdString(e.name);
        rows.push_back({QString::fromStdString(job.listName(e.list)), QString::number(e.index + 1),
                        status(e), file ? QFileInfo(name).fileName() : name,
                        points.join(QStringLiteral("; ")),
                        e.searched ? check.join(QStringLiteral("; ")) : QStringLiteral("–"),
                        shown ? QString::asprintf("%.2f, %.2f", e.shiftX, e.shiftY) : QString(),
                        shown ? QString::asprintf("%.3f°", e.angleDegrees) : QString(),
                        shown ? QString::asprintf("%.5f", e.scale) : QString(),
                        QString::number(e.contributed), QString::number(e.rejected)});
    }
    return rows;
}

CompositeReport::CompositeReport(const CompositeJob& job, const CompositeResult& result,
                                 QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(tr("Komposit: Bericht der Einzelbilder"));
    setObjectName(QStringLiteral("compositeReport"));
    auto* l = new QVBoxLayout(this);
    int used = 0, failed = 0;
    for (const ExposureReport& e : result.exposures) {
        used += e.inserted ? 1 : 0;
        failed += e.checkPassed ? 0 : 1;
    }
    summary_ = tr("Komposit aus %1 Bildern, %2 x %3 Pixel")
                   .arg(used)
                   .arg(result.image.width())
                   .arg(result.image.height());
    if (result.cropped) summary_ += tr(", Ränder entfernt");
    if (failed) summary_ += tr(", %1 mit fehlgeschlagener Prüfung").arg(failed);
    l->addWidget(new QLabel(summary_, this));

    const QStringList headers = compositeReportHeaders();
    const std::vector<QStringList> rows = compositeReportRows(job, result);
    table_ =
        new QTableWidget(static_cast<int>(rows.size()), static_cast<int>(headers.size()), this);
    table_->setHorizontalHeaderLabels(headers);
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const ExposureReport& e = result.exposures[static_cast<std::size_t>(r)];
        const bool bad = !e.checkPassed || !e.available;
        for (int c = 0; c < static_cast<int>(headers.size()); ++c) {
            auto* item = new QTableWidgetItem(rows[static_cast<std::size_t>(r)][c]);
            if (bad) item->setBackground(QColor(255, 200, 200));
            if (bad && c == kStatusColumn) item->setForeground(QColor(160, 0, 0));
            if (c == kNameColumn) item->setToolTip(QString::fromStdString(e.name));
            table_->setItem(r, c, item);
        }
    }
    table_->resizeColumnsToContents();
    table_->horizontalHeader()->setStretchLastSection(true);
    l->addWidget(table_, 1);
    auto* close = new QPushButton(tr("Schließen"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    l->addWidget(close, 0, Qt::AlignRight);
    resize(1120, 320);
}

QString CompositeReport::summary() const {
    return summary_;
}

CompositeReport* showCompositeReport(QWidget* parent, const CompositeJob& job,
                                     const CompositeResult& result) {
    if (parent)
        if (auto* old = parent->findChild<CompositeReport*>(QStringLiteral("compositeReport"))) {
            old->setObjectName(QString());
            old->close();
            old->deleteLater();
        }
    auto* report = new CompositeReport(job, result, parent);
    report->setAttribute(Qt::WA_DeleteOnClose);
    report->setModal(false);
    report->show();
    return report;
}

} // namespace quillon::ui
