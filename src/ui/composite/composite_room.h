// CompositeRoom: the composite job of the run and its windows (composite window, reference
// window, report, overlay forming, LRGB bias after an LRGB run), owned by the application.
// The job lives for the whole run of the program and is rebuilt only when the type or layer
// count changes.
#pragma once

#include "ops/undo_record.h"
#include "ui/command_context.h"

#include <QPointer>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class QMdiArea;

namespace quillon {
struct CompositeEntry;
struct CompositeJob;
struct CompositeResult;
} // namespace quillon

namespace quillon::ui {

struct OpenViewChoice;

// "Bildanalyse...": the composite job's entries, else the open windows or chosen files.
void frameAnalysisCommand(CommandContext& ctx);

class CompositeRoom {
public:
    CompositeRoom();
    ~CompositeRoom();
    CompositeRoom(const CompositeRoom&) = delete;
    CompositeRoom& operator=(const CompositeRoom&) = delete;

    CompositeJob& job() { return *job_; }
    // The main window's context and document area; the windows open once both exist.
    void attach(const CommandContext& ctx, QMdiArea* area);

    // Opens the composite window for the type (user-defined: `userLayers` layers). With
    // `fromCommand` (a composite menu command) options and current list come from the
    // settings; false is the return from reference setting.
    void showCompositeWindow(std::uint16_t type, int userLayers, bool fromCommand);
    // Opens the window "Referenzpunkte setzen" at the job's first entry; closing it brings the
    // composite window back.
    void showReferenceWindow();
    // Runs the job as the window's "Verarbeitung starten" does: the result document
    // "Komposit" (null after a failure or cancel), its overlay, display and report.
    CWinQuillonDoc* runJob();
    // The window "Bildanalyse" on the used entries of `job` (the composite job or one made
    // for the menu entry), modal over `parent`.
    void showFrameAnalysis(CompositeJob& job, QWidget* parent);
    // Every open view as "Geöffnetes Bild hinzufügen" lists it.
    std::vector<OpenViewChoice> openViewChoices() const;
    // The pixels of the document moved (width × height before): the job's reference points
    // of the document follow them.
    void followPixels(CWinQuillonDoc* doc, Movement m, int width, int height);

private:
    // Opens the file of an entry or brings its window to the front.
    void showEntry(const CompositeEntry& entry);
    // The overlay list of the job that ran (the composite job or its aligned copy) into the
    // result, one "Overlayeigenschaften" each.
    void insertOverlayList(CWinQuillonDoc* result, const CompositeJob& job,
                           const CompositeResult& run);

    std::unique_ptr<CompositeJob> job_;
    std::optional<CommandContext> ctx_;
    QPointer<QMdiArea> mdi_;
};

} // namespace quillon::ui
