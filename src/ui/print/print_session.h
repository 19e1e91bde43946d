// Printing, print preview, page setup and the clipboard copy of the active view: the print
// settings of the run, the printer the commands use, and the commands themselves.
#pragma once

#include "display/print_layout.h"
#include "ui/command_context.h"

#include <QtGlobal>

#include <functional>
#include <memory>

class QPrinter;

namespace quillon::ui {

class CWinQuillonView;

inline constexpr const char* kNoPrinter =
    QT_TRANSLATE_NOOP("PrintSession", "Kein Drucker ausgewählt oder installiert !");
inline constexpr const char* kNoClipboardMemory =
    QT_TRANSLATE_NOOP("PrintSession", "Can't allocate global memory block.");

class PrintSession {
public:
    explicit PrintSession(const CommandContext& ctx);
    ~PrintSession();

    // The settings of page setup and the extended dialog, kept for the whole run.
    PrintSettings& settings() { return settings_; }
    // The printer every command prints on: the system's default printer, or Qt's PDF printer
    // (300 dpi) when no printer is installed, so that printing to a file always works.
    QPrinter& printer();
    // Whether the system has a printer; tests replace the check.
    bool printerInstalled() const;
    void setPrinterCheck(std::function<bool()> check) { printerCheck_ = std::move(check); }

    // "Druck-Seite Einrichten": the no-printer message, or the dialog and its action.
    void pageSetup();
    // "Drucker &einrichten...": the system's page and printer setup.
    void printerSetup();
    // "&Drucken...": the print dialog, then one page of the active view.
    void print();
    // "Seiten&ansicht": the print preview of the active view, its page rendered as a job
    // before the preview opens.
    void preview();
    // Renders the view's page tile by tile as a job (progress, "Abbrechen" and Esc), then
    // draws it on `printer`. False when cancelled (the printer has received nothing) and,
    // after a message, when the printer cannot be opened or the tiles cannot be allocated.
    bool printView(const CWinQuillonView& view, QPrinter& printer, bool preview);

    // "Kopie Gesamt" (whole) and "Kopie Ausschnitt": the image or the selection at zoom 1
    // with overlay as a 32-bit picture on the clipboard. False when nothing was copied.
    bool copyToClipboard(const CWinQuillonView& view, bool whole);

private:
    CommandContext ctx_;
    PrintSettings settings_;
    std::unique_ptr<QPrinter> printer_;
    std::function<bool()> printerCheck_;
};

// "Kopie Ausschnitt" needs a selection of at least 10 × 10 pixels inside the image.
bool canCopySelectionOf(const CWinQuillonView* view);

} // namespace quillon::ui
