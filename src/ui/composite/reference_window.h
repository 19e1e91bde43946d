// ReferenceWindow: "Referenzpunkte setzen", stepping through the exposures of the composite
// job, locating their reference stars in the shown view and carrying them along the series.
#pragma once

#include "analysis/reference_follow.h"
#include "composite/job.h"
#include "ui/command_context.h"

#include <QPointF>
#include <QPointer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

namespace quillon {
struct SettingsRecord;
} // namespace quillon

namespace quillon::ui {

class CWinQuillonDoc;
class CWinQuillonView;

// The open document of a composite job's id (documentIdOf); null when it is closed.
CWinQuillonDoc* documentOfCompositeId(std::uint64_t id);

// The search settings from their stored form and back.
ReferenceSearchSet referenceSearchFromSettings(const SettingsRecord& s);
void storeReferenceSearch(const ReferenceSearchSet& search, SettingsRecord& s);

class ReferenceWindow : public QWidget {
    Q_OBJECT
public:
    ReferenceWindow(const CommandContext& ctx, CompositeJob& job);
    ~ReferenceWindow() override;

    // Shows entry `index` of list `list` (without the automatic check).
    void start(int list, int index);

    // The buttons and the leaving of the window.
    void next();
    void previous();
    void finish();

    // "Referenzposition k hier setzen/suchen": locates point `index` (0-based) at the position.
    void locateAt(int index, QPointF imagePos);

    int currentList() const { return list_; }
    int currentIndex() const { return index_; }
    CWinQuillonView* shownView() const;
    // The located (or typed) point `index` of the entry shown.
    ReferencePoint rowPoint(int index) const;
    // The automatic check of the entry shown last after "nächstes Bild >>".
    bool lastCheckPassed() const { return lastCheckPassed_; }

    QTableWidget* row() const { return row_; }
    QTableWidget* searchTable() const { return search_; }
    QLineEdit* listTypeField() const { return listType_; }
    QCheckBox* carryBox() const { return carry_; }
    QCheckBox* autoContinueBox() const { return autoContinue_; }
    QCheckBox* starMatchBox() const { return starMatch_; }
    QPushButton* nextButton() const { return next_; }
    QPushButton* previousButton() const { return previous_; }
    QPushButton* endButton() const { return end_; }

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    struct Position {
        int list = 0;
        int index = 0;
    };
    // The first entry at or after `p` in the order of the lists; false when there is none.
    bool normalise(Position& p) const;
    bool hasEntryBefore() const;
    bool hasEntryAfter() const;
    void updateButtons();
    void fillRow();
    void buildSearchTable();
    ReferenceSearchSet readSearchTable();
    // Shows the entry under the cursor; `check` after "nächstes Bild >>".
    void showEntry(bool check);
    // Opens the file or raises the window of the current entry; false when its file does not
    // open (the entry is then removed).
    bool attachView();
    void detachView();
    // The entry under the cursor, or null.
    CompositeEntry* currentEntry();
    const CompositeEntry* currentEntry() const;
    // Leaving the entry: its points count as placed.
    void takeOverRow();
    // Point `index` of the entry, its cells and the view's mark.
    void setRowPoint(int index, float x, float y);
    void onCellEdited(QTableWidgetItem* item);
    // Checks the number typed into a cell against lo … hi: a refused one brings back the
    // cell's last accepted text and shows the prompt.
    bool acceptCell(QTableWidgetItem* it, double lo, double hi, bool integer);
    // Drops the entries of closed documents and follows the shown view's closing.
    void onDocumentsChanged();
    void onShownViewGone();
    // Moves on to the entry at the cursor (after a removal) or closes when there is none.
    void continueOrClose();
    void step(bool forward);

    CommandContext ctx_;
    CompositeJob& job_;
    int list_ = 0;
    int index_ = 0;
    QPointer<CWinQuillonView> shown_;
    QPointer<CWinQuillonDoc> opened_;
    // The positions of the entry left last, for the next entry shown.
    std::optional<ReferenceSet> carried_;
    // What the next entry shown follows: the carried points and size, the stars of the
    // exposure left (star matching). Cleared once an entry is shown.
    ReferenceFollower follower_;
    ReferenceSearchSet settings_{};
    bool filling_ = false;
    bool closing_ = false;
    bool lastCheckPassed_ = true;

    QTableWidget* row_ = nullptr;
    QTableWidget* search_ = nullptr;
    QLineEdit* listType_ = nullptr;
    QCheckBox* carry_ = nullptr;
    QCheckBox* autoContinue_ = nullptr;
    QCheckBox* starMatch_ = nullptr;
    QPushButton* previous_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* end_ = nullptr;
};

// The switch "Sterne automatisch zuordnen" (kept for the run of the program); a composite run
// can hand it on as RunOptions::autoSeeds.
bool referenceStarMatching();

// The open reference window of the main window, or null.
ReferenceWindow* referenceWindowOf(const CommandContext& ctx);
// Opens the window at an entry of the composite job (the job's reference request).
ReferenceWindow* openReferenceWindowAt(const CommandContext& ctx, int list, int index);

} // namespace quillon::ui
