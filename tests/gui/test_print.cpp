// Printing: a real print to PDF against the page PNG of quillon-cli, a cancelled print,
// page setup and the extended dialog storing their values, the no-printer rules, the print
// preview and the clipboard copies.
#include "gui_test_support.h"
#include "support/temp_dir.h"
#include "support/test_images.h"

#include "core/memory.h"
#include "core/parallel.h"
#include "formats/fits_writer.h"
#include "ui/job_runner.h"
#include "ui/print/print_dialogs.h"
#include "ui/print/print_session.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QPageLayout>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include <algorithm>
#include <array>

using namespace quillon;
using namespace quillon::test;
using quillon::ui::Cmd;

class PrintTest : public QObject {
    Q_OBJECT
private slots:
    void pdfPrintMatchesThePagePng();
    void cancelledPrintLeavesTheFileAsItWas();
    void pageSetupStoresItsValues();
    void withoutPrinterOnlyPrintingToAFileRemains();
    void clipboardCopiesAtZoomOne();
};

// A colour image with an overlay mark, unique values per pixel.
static ui::CWinQuillonDoc* patternImage(Shell& s, int w, int h) {
    ui::CWinQuillonDoc* d = s.newImage(w, h, RGB_IMAGE, true);
    if (!d) return d;
    testkit::fill(d->image(), testkit::Ramp{.base = 50, .dx = 61, .dy = 97, .dp = 503});
    d->image().row(3, h / 2)[w / 2] = 0x001F; // a blue overlay pixel
    auto& r = d->views().first()->renderer();
    Points black{0, 0, 0}, white{12000, 12000, 12000};
    r.setPoints(&black, &white);
    r.rebuildLut();
    d->notifyDisplayChanged();
    return d;
}

// A PDF printer on an 8 × 6 inch sheet without margins.
static void setUpPdf(QPrinter& printer, const QString& file, int dpi) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    printer.setResolution(dpi);
    printer.setPageSize(QPageSize(QSizeF(8, 6), QPageSize::Inch));
    printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}

void PrintTest::pdfPrintMatchesThePagePng() {
    Shell s;
    testkit::TempDir dir;
    ui::CWinQuillonDoc* d = patternImage(s, 70, 45);
    QVERIFY(d);
    ui::CWinQuillonView* view = d->views().first();
    // The file keeps the view's display, so the command line prints what the view shows.
    view->renderer().storeInto(d->image().storedDisplay());
    const std::string fts = dir.file("in.fts");
    saveFits(d->image(), fts, Progress::none());

    PrintSettings& settings = s.frame->printing().settings();
    settings.gridPosition = 5;
    settings.tileX = settings.tileY = 300;
    settings.overlapX = settings.overlapY = 50;

    // 8 × 6 inches at 100 dpi without margins: a printable area of 800 × 600 pixels.
    QPrinter printer(QPrinter::HighResolution);
    setUpPdf(printer, QString::fromStdString(dir.file("page.pdf")), 100);
    QVERIFY(s.frame->printing().printView(*view, printer, false));

    const QString pdf = QString::fromStdString(dir.file("page.pdf")),
                  png = QString::fromStdString(dir.file("cli.png"));
    const QString base = QString::fromStdString(dir.file("printed"));
    QCOMPARE(QProcess::execute(
                 QStringLiteral("pdftoppm"),
                 QStringLiteral("-r 100 -png -singlefile %1 %2").arg(pdf, base).split(' ')),
             0);
    const QString pageArgs =
        QStringLiteral("page %1 %2 --dpi 100 --paper 203.2x152.4mm --position 5");
    QCOMPARE(QProcess::execute(QStringLiteral(QUILLON_CLI),
                               pageArgs.arg(QString::fromStdString(fts), png).split(' ')),
             0);
    const QImage printed =
        QImage(base + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
    const QImage page = QImage(png).convertToFormat(QImage::Format_RGB32);
    if (const QString shots = qEnvironmentVariable("QUILLON_SHOT_DIR"); !shots.isEmpty()) {
        printed.save(shots + QStringLiteral("/print-pdf-rasterised.png"));
        page.save(shots + QStringLiteral("/print-page-cli.png"));
    }
    QCOMPARE(page.size(), QSize(800, 600));
    QCOMPARE(printed.size(), page.size());
    // pdftoppm resamples the embedded tiles, blending neighbouring printer pixels along the
    // edges of the zoomed image pixels: every printed channel value must lie within the range
    // of the page's 3 × 3 neighbourhood, give or take 1 (a shift by two pixels already breaks
    // this at tens of thousands of pixels).
    int outside = 0, image = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const QRgb got = printed.pixel(x, y);
            bool ok = true;
            for (auto channel : std::array<int (*)(QRgb), 3>{qRed, qGreen, qBlue}) {
                int lo = 255, hi = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int v = channel(
                            page.pixel(std::clamp(x + dx, 0, 799), std::clamp(y + dy, 0, 599)));
                        lo = std::min(lo, v);
                        hi = std::max(hi, v);
                    }
                ok = ok && channel(got) >= lo - 1 && channel(got) <= hi + 1;
            }
            outside += !ok;
            image += (page.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF;
        }
    QVERIFY(image > 800 * 500); // the image fills the width: 800 × 514
    QCOMPARE(outside, 0);
}

void PrintTest::cancelledPrintLeavesTheFileAsItWas() {
    Shell s;
    MessageRecorder msgs;
    testkit::TempDir dir;
    ui::CWinQuillonDoc* d = patternImage(s, 700, 450);
    PrintSettings& settings = s.frame->printing().settings();
    settings.tileX = settings.tileY = 100; // tens of thousands of tiles: time to cancel
    settings.overlapX = settings.overlapY = 95;
    const QString pdf = QString::fromStdString(dir.file("page.pdf"));
    QFile earlier(pdf);
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.write("earlier print");
    earlier.close();
    QPrinter printer(QPrinter::HighResolution);
    setUpPdf(printer, pdf, 150);

    // "Abbrechen" as soon as the page's progress shows; the window stays responsive to it.
    bool pressed = false;
    auto* poll = new QTimer(s.frame);
    QObject::connect(poll, &QTimer::timeout, s.frame, [&] {
        if (pressed || !s.frame->jobs().busy() || s.frame->statusProgress().lastText().empty())
            return;
        pressed = true;
        QTest::mouseClick(s.frame->cancelButton(), Qt::LeftButton);
    });
    poll->start(5);
    ScopedThreadCount oneThread(1);
    QVERIFY(!s.frame->printing().printView(*d->views().first(), printer, false));
    delete poll;
    QVERIFY(pressed);
    QVERIFY(!s.frame->jobs().busy());
    QVERIFY(msgs.texts.isEmpty());
    QVERIFY(earlier.open(QIODevice::ReadOnly));
    QCOMPARE(earlier.readAll(), QByteArray("earlier print"));
}

void PrintTest::pageSetupStoresItsValues() {
    Shell s;
    MessageRecorder msgs;
    patternImage(s, 40, 30);
    ui::PrintSession& session = s.frame->printing();
    session.setPrinterCheck([] { return true; });
    QVERIFY(s.frame->action(Cmd::PageSetup)->isEnabled());

    bool sawExtended = false, sawPreview = false;
    whenModal<ui::PageSetupDialog>([&](ui::PageSetupDialog* d) {
        shot(d, "page-setup");
        QVERIFY(d->gridButton(4)->isChecked()); // centred, size as large as possible
        QVERIFY(d->sizeButton(0)->isChecked());
        QVERIFY(!d->offsetField(0)->isEnabled());
        d->placementButton(1)->click();
        QVERIFY(d->offsetField(0)->isEnabled() && !d->gridButton(0)->isEnabled());
        QVERIFY(typeInto(d->offsetField(0), QStringLiteral("-25")));
        QVERIFY(typeInto(d->offsetField(1), QStringLiteral("12")));
        whenModal<ui::PrinterPropertiesDialog>([&](ui::PrinterPropertiesDialog* e) {
            shot(e, "printer-properties");
            sawExtended = true;
            const QStringList facts = e->factTexts();
            QCOMPARE(facts.size(), 9);
            QCOMPARE(facts[0], QStringLiteral("%1 × %2")
                                   .arg(d->facts().printableWidth)
                                   .arg(d->facts().printableHeight));
            // An overlap as large as its tile is refused with the range it may take.
            QVERIFY(typeInto(e->tileField(0), QStringLiteral("100")));
            QVERIFY(typeInto(e->overlapField(0), QStringLiteral("100")));
            e->confirm();
            QCOMPARE(msgs.texts, QStringList(QStringLiteral(
                                     "Geben Sie bitte eine ganze Zahl zwischen 0 und 99 ein.")));
            QCOMPARE(e->result(), 0);
            msgs.texts.clear();
            QVERIFY(typeInto(e->tileField(0), QStringLiteral("250")));
            QVERIFY(typeInto(e->overlapField(1), QStringLiteral("20")));
            e->colourButton(2)->click();
            e->pixelButton(2)->click();
            e->confirm();
        });
        d->button(QStringLiteral("Erweitert..."))->click();
        // "Seitenansicht" stores, closes and opens the preview.
        whenModal<QPrintPreviewDialog>([&](QPrintPreviewDialog* p) {
            sawPreview = true;
            p->reject();
        });
        d->button(QStringLiteral("Seitenansicht"))->click();
    });
    s.frame->action(Cmd::PageSetup)->trigger();
    QVERIFY(sawExtended);
    QVERIFY(sawPreview);
    const PrintSettings& v = session.settings();
    QCOMPARE(v.placementMode, 1);
    QCOMPARE(v.offsetX, -25);
    QCOMPARE(v.offsetY, 12);
    QCOMPARE(v.tileX, 250);
    QCOMPARE(v.tileY, 1000);
    QCOMPARE(v.overlapX, 100);
    QCOMPARE(v.overlapY, 20);
    QCOMPARE(v.colourMode, 2);
    QCOMPARE(v.pixelMode, 2);
    QVERIFY(msgs.texts.isEmpty());
}

void PrintTest::withoutPrinterOnlyPrintingToAFileRemains() {
    Shell s;
    MessageRecorder msgs;
    patternImage(s, 120, 80);
    ui::PrintSession& session = s.frame->printing();
    session.setPrinterCheck([] { return false; });
    s.frame->action(Cmd::PageSetup)->trigger();
    s.frame->action(Cmd::PrintSetup)->trigger();
    QCOMPARE(msgs.texts,
             (QStringList{QString::fromUtf8(ui::kNoPrinter), QString::fromUtf8(ui::kNoPrinter)}));
    bool offered = false;
    whenModal<QPrintDialog>([&](QPrintDialog* d) {
        offered = d->printer()->outputFormat() == QPrinter::PdfFormat;
        d->reject();
    });
    s.frame->action(Cmd::Print)->trigger();
    QVERIFY(offered);
    // The preview works on the same printer.
    bool previewed = false;
    whenModal<QPrintPreviewDialog>([&](QPrintPreviewDialog* p) {
        p->resize(900, 700);
        QTest::qWait(300);
        shot(p, "print-preview");
        previewed = p->printer()->outputFormat() == QPrinter::PdfFormat;
        p->reject();
    });
    s.frame->action(Cmd::PrintPreview)->trigger();
    QVERIFY(previewed);
    QCOMPARE(msgs.texts.size(), 2);
}

void PrintTest::clipboardCopiesAtZoomOne() {
    Shell s;
    ui::CWinQuillonDoc* d = patternImage(s, 60, 40);
    ui::CWinQuillonView* v = d->views().first();
    v->setZoomAndRedraw(2.0);
    QAction* copy = s.frame->action(Cmd::EditCopy);
    QVERIFY(s.frame->action(Cmd::EditCopyAll)->isEnabled());
    v->setSelection(QRect(25, 15, 9, 10)); // 9 wide: too small
    QVERIFY(!copy->isEnabled());
    v->setSelection(QRect(25, 15, 20, 10)); // holds the overlay pixel at (30, 20)
    QVERIFY(copy->isEnabled());
    QGuiApplication::clipboard()->clear();
    copy->trigger();
    QImage got = QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(got.size(), QSize(20, 10));
    Picture expected;
    QCOMPARE(v->renderer().renderRect(25, 15, 45, 25, &expected), 0);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) QCOMPARE(got.pixel(x, y) & 0xFFFFFF, expected.rgbAt(x, y));
    Picture plain; // the same without the overlay: the mark at (30, 20) is on the copy
    RenderOptions noOverlay;
    noOverlay.allowOverlay = false;
    QCOMPARE(v->renderer().renderRect(25, 15, 45, 25, &plain, noOverlay), 0);
    QVERIFY(plain.rgbAt(5, 5) != (got.pixel(5, 5) & 0xFFFFFF));

    s.frame->action(Cmd::EditCopyAll)->trigger();
    got = QGuiApplication::clipboard()->image();
    QCOMPARE(got.size(), QSize(60, 40));

    // No memory for the picture: the message, and the clipboard keeps what it had.
    MessageRecorder msgs;
    {
        memory::ScopedLimit full(memory::inUse() + 1);
        copy->trigger();
        QPrinter printer;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(QDir::temp().filePath(QStringLiteral("quillon-oom.pdf")));
        QVERIFY(!s.frame->printing().printView(*v, printer, false));
    }
    QFile::remove(QDir::temp().filePath(QStringLiteral("quillon-oom.pdf")));
    QCOMPARE(msgs.texts, QStringList(2, QString::fromUtf8(kOutOfMemoryBitmap)));
    QCOMPARE(QGuiApplication::clipboard()->image().size(), QSize(60, 40));
}

QTEST_MAIN(PrintTest)
#include "test_print.moc"
