// PrintSession: page setup, printer setup, printing, print preview and the clipboard copies.
//
// One page per print: the library lays the image out and renders the printable area in tiles
// (display/print_page.h) on the job runner's worker, with progress and cancel; the interface
// thread then draws each tile at its place on the printer's painter, whose origin is the
// printable area's corner in device pixels.
#include "ui/print/print_session.h"

#include "core/error.h"
#include "display/print_page.h"
#include "ui/commands/command_table.h"
#include "ui/commands/geometry_commands.h"
#include "ui/document.h"
#include "ui/job_runner.h"
#include "ui/messages.h"
#include "ui/print/print_dialogs.h"
#include "ui/shell/quillon_app.h"
#include "ui/view.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPointer>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPrinterInfo>

#include <memory>
#include <vector>

namespace quillon::ui {

namespace {

const char* const kPreviewTitle = QT_TRANSLATE_NOOP("PrintSession", "Seitenansicht");
const char* const kPrintTitle = QT_TRANSLATE_NOOP("PrintSession", "Drucken");

// A picture as a QImage that owns its pixels (the picture buffer is reused for the next
// tile, and the preview keeps what was drawn). Null when the copy cannot be allocated.
QImage toImage(const Picture& p) {
    const QImage view(p.bits(), p.width(), p.height(), p.bytesPerLine(),
                      p.format() == PictureFormat::Grey8 ? QImage::Format_Grayscale8
                                                         : QImage::Format_RGB32);
    return view.copy();
}

struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

// A page rendered for one printer: the printable area as one picture (shared with the
// QImage, no copy) and the tiles in which it goes to the printer.
struct RenderedPage {
    PrinterInfo info;
    QImage picture;
    std::vector<IntRect> tiles;
};

// Renders the view's page as a job: the tiles are rendered into the page picture on the
// worker, with progress per tile and cancel between tiles. Nothing is drawn yet, so a cancel
// or failure leaves the printer untouched (no half page, no half-written file). The page
// picture takes the printable area once, however much the tiles overlap.
JobResult renderPage(JobRunner* jobs, const ImageRenderer& renderer, const PrintSettings& s,
                     const PrinterInfo& info, bool preview, RenderedPage& page) {
    page = RenderedPage{info, QImage(), {}};
    auto picture = std::make_unique<Picture>();
    const JobResult r = runJob(jobs, [&](Progress& progress) {
        page.tiles = printTiles(s, info.printableWidth, info.printableHeight);
        progress.begin(
            QCoreApplication::translate("PrintSession", preview ? kPreviewTitle : kPrintTitle)
                .toStdString(),
            static_cast<long long>(page.tiles.size()), 1);
        renderPrintPagePicture(renderer, s, info, *picture, progress, preview);
    });
    if (!r.ok() || picture->empty()) return r;
    Picture* p = picture.release();
    page.picture = QImage(
        p->bits(), p->width(), p->height(), p->bytesPerLine(),
        p->format() == PictureFormat::Grey8 ? QImage::Format_Grayscale8 : QImage::Format_RGB32,
        [](void* owned) { delete static_cast<Picture*>(owned); }, p);
    return r;
}

// Draws a rendered page on the printer (interface thread). False, after the message, when
// the printer cannot be opened.
bool drawPage(QPrinter& printer, const RenderedPage& page, QWidget* parent) {
    QPainter painter;
    if (!painter.begin(&printer)) {
        showMessage(parent, QCoreApplication::translate("PrintSession", kNoPrinter));
        return false;
    }
    // Astronomical pictures keep every pixel: no lossy compression on the way to a PDF.
    painter.setRenderHint(QPainter::LosslessImageRendering);
    WaitCursor wait;
    // Tile by tile as the printer has always received the page (overlaps drawn twice).
    for (const IntRect& t : page.tiles)
        painter.drawImage(QPoint(t.left, t.top), page.picture,
                          QRect(t.left, t.top, t.width(), t.height()));
    return painter.end();
}

} // namespace

PrintSession::PrintSession(const CommandContext& ctx) : ctx_(ctx) {}
PrintSession::~PrintSession() = default;

bool PrintSession::printerInstalled() const {
    return printerCheck_ ? printerCheck_() : !QPrinterInfo::availablePrinterNames().isEmpty();
}

QPrinter& PrintSession::printer() {
    if (!printer_) {
        printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
        if (!printerInstalled() || printer_->outputFormat() == QPrinter::PdfFormat) {
            printer_->setOutputFormat(QPrinter::PdfFormat);
            printer_->setResolution(300);
        }
        printer_->setDocName(QStringLiteral("Quillon"));
    }
    return *printer_;
}

void PrintSession::pageSetup() {
    if (!printerInstalled()) {
        showMessage(ctx_.parent(), QCoreApplication::translate("PrintSession", kNoPrinter));
        return;
    }
    PageSetupDialog dlg(
        settings_, readPrinterFacts(printer()),
        [this] {
            QPageSetupDialog setup(&printer(), ctx_.parent());
            setup.exec();
            return readPrinterFacts(printer());
        },
        ctx_.parent());
    const int r = dlg.exec();
    if (r == PageSetupDialog::Preview) preview();
    if (r != PageSetupDialog::Print) return;
    // "Drucken" prints on the printer set up here; a PDF printer first needs its file name.
    QPrinter& p = printer();
    if (p.outputFormat() == QPrinter::PdfFormat && p.outputFileName().isEmpty())
        print();
    else if (CWinQuillonView* view = ctx_.activeView())
        printView(*view, p, false);
}

void PrintSession::printerSetup() {
    if (!printerInstalled()) {
        showMessage(ctx_.parent(), QCoreApplication::translate("PrintSession", kNoPrinter));
        return;
    }
    QPageSetupDialog setup(&printer(), ctx_.parent());
    setup.exec();
}

void PrintSession::print() {
    QPointer<CWinQuillonView> view = ctx_.activeView();
    if (!view) return;
    QPrintDialog dlg(&printer(), ctx_.parent());
    dlg.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dlg.setOption(QAbstractPrintDialog::PrintSelection, false);
    dlg.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    if (dlg.exec() != QDialog::Accepted || !view) return;
    printView(*view, printer(), false);
}

void PrintSession::preview() {
    QPointer<CWinQuillonView> view = ctx_.activeView();
    if (!view) return;
    // The page is rendered before the preview opens, while the status bar's "Abbrechen" can
    // still be reached; the preview then only draws it.
    RenderedPage page;
    const JobResult r = renderPage(&ctx_.jobs(), view->renderer(), settings_,
                                   readPrinterFacts(printer()).info(), true, page);
    if (!r.ok()) {
        reportFailure(r, kOutOfMemoryBitmap, ctx_.parent());
        return;
    }
    QPrintPreviewDialog dlg(&printer(), ctx_.parent());
    dlg.setWindowTitle(QCoreApplication::translate("PrintSession", kPreviewTitle));
    QObject::connect(&dlg, &QPrintPreviewDialog::paintRequested, &dlg, [&](QPrinter* p) {
        if (!view) return;
        // A page set up anew in the preview is rendered again (Esc cancels: a blank page).
        if (const PrinterInfo now = readPrinterFacts(*p).info(); !(now == page.info)) {
            const JobResult again =
                renderPage(&ctx_.jobs(), view->renderer(), settings_, now, true, page);
            if (!again.ok()) {
                reportFailure(again, kOutOfMemoryBitmap, &dlg);
                return;
            }
        }
        drawPage(*p, page, &dlg);
    });
    dlg.exec();
}

bool PrintSession::printView(const CWinQuillonView& view, QPrinter& printer, bool preview) {
    RenderedPage page;
    const JobResult r = renderPage(&ctx_.jobs(), view.renderer(), settings_,
                                   readPrinterFacts(printer).info(), preview, page);
    if (!r.ok()) {
        reportFailure(r, kOutOfMemoryBitmap, ctx_.parent());
        return false;
    }
    return drawPage(printer, page, ctx_.parent());
}

bool canCopySelectionOf(const CWinQuillonView* view) {
    if (!view || !view->document()->image().hasSamples()) return false;
    const PixelRect r = cropRectangle(*view);
    return canCopySelection({r.left, r.top, r.right, r.bottom});
}

bool PrintSession::copyToClipboard(const CWinQuillonView& view, bool whole) {
    if (!view.document()->image().hasSamples()) return false;
    const PixelRect r = cropRectangle(view);
    const IntRect selection{r.left, r.top, r.right, r.bottom};
    if (!whole && !canCopySelection(selection)) return false;
    Picture picture;
    const int result = renderForClipboard(view.renderer(), whole ? nullptr : &selection, picture);
    if (result == RENDER_OUT_OF_MEMORY) {
        showMessage(ctx_.parent(), QString::fromUtf8(kOutOfMemoryBitmap));
        return false;
    }
    if (result != RENDER_OK) return false;
    const QImage image = toImage(picture);
    if (image.isNull()) {
        showMessage(ctx_.parent(), QCoreApplication::translate("PrintSession", kNoClipboardMemory));
        return false;
    }
    QGuiApplication::clipboard()->setImage(image);
    return true;
}

namespace {

PrintSession& session() {
    return CWinQuillonApp::instance()->printing();
}

template <bool Whole>
void copy(CommandContext& ctx) {
    if (CWinQuillonView* v = ctx.activeView()) session().copyToClipboard(*v, Whole);
}

constexpr CommandRow kRows[] = {
    {Cmd::PageSetup, [](CommandContext&) { session().pageSetup(); }, whenSamples},
    {Cmd::PrintSetup, [](CommandContext&) { session().printerSetup(); },
     [](Cmd, const CWinQuillonView*) { return true; }},
    {Cmd::Print, [](CommandContext&) { session().print(); }, whenSamples},
    {Cmd::PrintPreview, [](CommandContext&) { session().preview(); }, whenSamples},
    {Cmd::EditCopy, copy<false>,
     [](Cmd, const CWinQuillonView* v) { return canCopySelectionOf(v); }},
    {Cmd::EditCopyAll, copy<true>, whenSamples},
};

} // namespace

CommandTable printCommands() {
    return kRows;
}

} // namespace quillon::ui
