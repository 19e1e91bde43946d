// The composite window "Komposit / Summenbild erstellen", the chooser "Liste aller Ansichten"
// and the question "Anzahl der Ebenen eingeben": the editing of the composite job.
#pragma once

#include "composite/job.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <array>

#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace quillon {
struct SettingsRecord;
}

namespace quillon::ui {

class AutoAlignRow;
class CWinQuillonDoc;
class NumberField;
class StackOptionsGroup;

// The id a composite entry keeps for an open document: handed out on first use, never reused
// while the program runs.
std::uint64_t documentIdOf(CWinQuillonDoc* doc);

// An open image view as the composite window offers it: the document id an entry keeps and
// the title of the view's frame window.
struct OpenViewChoice {
    std::uint64_t documentId = 0;
    QString title;
};

// "Liste aller Ansichten": every open view with "Lfd. Nr." and "Ansicht"; several can be
// picked.
class OpenViewChooser : public QDialog {
    Q_OBJECT
public:
    OpenViewChooser(const std::vector<OpenViewChoice>& views, QWidget* parent = nullptr);
    QTableWidget* table() const { return table_; }
    // The rows picked, in row order.
    std::vector<int> picked() const;

private:
    QTableWidget* table_;
};

// "Anzahl der Ebenen eingeben": the layer count of a user-defined composite (2 … 32).
class LayerCountDialog : public QDialog {
    Q_OBJECT
public:
    LayerCountDialog(int initial, QWidget* parent = nullptr);
    NumberField* field() const { return field_; }
    int value() const;
    void accept() override;

private:
    NumberField* field_;
};

class CompositeWindow : public QDialog {
    Q_OBJECT
public:
    enum class Outcome { Cancelled, Start, References };
    using FileChooser = std::function<QStringList(QWidget* parent)>;
    using ViewLister = std::function<std::vector<OpenViewChoice>()>;

    // Shows the job's current list; the job must be configured (CompositeJob::prepareWindow).
    // `settings` receives the calibration of a list while its dialog is open and the options
    // on start.
    CompositeWindow(CompositeJob& job, SettingsRecord& settings, ViewLister views,
                    QWidget* parent = nullptr);

    Outcome outcome() const { return outcome_; }
    // The entry where reference setting starts (list, index), with Outcome::References.
    std::pair<int, int> referenceRequest() const { return request_; }

    void setFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }
    // "Bildanalyse...": shows the analysis of the job over this window.
    void setAnalysisOpener(std::function<void(QWidget* parent)> opener) {
        analysisOpener_ = std::move(opener);
    }
    AutoAlignRow* autoAlignRow() const { return autoAlign_; }

    QComboBox* listChooser() const { return lists_; }
    QLabel* listLabel() const { return label_; }
    QTableWidget* table() const { return table_; }
    NumberField* setAllField() const { return setAllValue_; }
    QPushButton* setAllButton() const { return setAll_; }
    NumberField* pointCountField() const { return pointCount_; }
    NumberField* sizeFactorField() const { return sizeFactor_; }
    NumberField* weightField(int c) const { return weights_[static_cast<std::size_t>(c)]; }
    QCheckBox* averagingBox() const { return averaging_; }
    QCheckBox* bordersBox() const { return borders_; }
    QCheckBox* artefactsBox() const { return artefacts_; }
    QPushButton* addFilesButton() const { return addFiles_; }
    QPushButton* addViewsButton() const { return addViews_; }
    QPushButton* clearButton() const { return clear_; }
    QPushButton* calibrationButton() const { return calibration_; }
    QPushButton* copyCalibrationButton() const { return copyCalibration_; }
    QPushButton* referencesButton() const { return references_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* cancelButton() const { return cancel_; }

    // The operations of the buttons (each takes over the list view first).
    void selectList(int index);
    void addFiles();
    void addOpenViews();
    void setAllFactors();
    void clearAllLists();
    void editCalibrationParams();
    void copyCalibrationToLayers();
    void requestAllReferences();
    void requestReference(int row);
    void start();
    // Rebuilds the current list from the rows of the list view.
    void takeOver();

    void done(int r) override;

    // The combine group (mean, median or sum, rejection, normalisation, weighting).
    StackOptionsGroup* stackOptions() const { return stackOptions_; }

private:
    void showList();
    void buildRow(int row, const CompositeEntry& e);
    void cellChanged(int row, int column);
    void readOptions();
    int firstFactorColumn() const { return 4; }

    CompositeJob& job_;
    SettingsRecord& settings_;
    ViewLister views_;
    FileChooser chooser_;
    std::function<void(QWidget*)> analysisOpener_;
    Outcome outcome_ = Outcome::Cancelled;
    std::pair<int, int> request_{0, 0};
    bool filling_ = false;
    int factorColumns_ = 0;

    QComboBox* lists_;
    QLabel* label_;
    QTableWidget* table_;
    NumberField* setAllValue_;
    QPushButton* setAll_;
    NumberField* pointCount_;
    NumberField* sizeFactor_;
    std::array<NumberField*, 3> weights_{};
    QCheckBox* averaging_;
    QCheckBox* borders_;
    QCheckBox* artefacts_;
    QPushButton* addFiles_;
    QPushButton* addViews_;
    QPushButton* clear_;
    QPushButton* calibration_;
    QPushButton* copyCalibration_;
    QPushButton* references_;
    QPushButton* start_;
    QPushButton* cancel_;
    StackOptionsGroup* stackOptions_ = nullptr;
    AutoAlignRow* autoAlign_ = nullptr;
};

// "Dunkel- und Flatfieldkorrektur: AKTIV" or "...: Aus" for a list calibration.
QString calibrationButtonText(const CalibrationParams& c);

} // namespace quillon::ui
