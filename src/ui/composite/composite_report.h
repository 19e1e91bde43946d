// The per-exposure report after a composite run: located points, check deviations, transform
// and rejected samples, with the exposures that failed the check marked.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <vector>

class QTableWidget;

namespace quillon {
struct CompositeJob;
struct CompositeResult;
} // namespace quillon

namespace quillon::ui {

// The rows of the report table, one per exposure in run order, and its column titles.
QStringList compositeReportHeaders();
std::vector<QStringList> compositeReportRows(const CompositeJob& job,
                                             const CompositeResult& result);

class CompositeReport : public QDialog {
    Q_OBJECT
public:
    CompositeReport(const CompositeJob& job, const CompositeResult& result,
                    QWidget* parent = nullptr);
    QTableWidget* table() const { return table_; }
    QString summary() const;

private:
    QTableWidget* table_;
    QString summary_;
};

// Shows the report of the run in a window of its own beside the result (replacing the one of
// an earlier run); it stays open until the user closes it.
CompositeReport* showCompositeReport(QWidget* parent, const CompositeJob& job,
                                     const CompositeResult& result);

} // namespace quillon::ui
