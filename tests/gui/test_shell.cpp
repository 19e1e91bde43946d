// The main window: settings at start and exit, menu enabling, the New and Open dialogs,
// open dispatch, the save refusal, closing with the save question, the help wizard rules.
#include "gui_test_support.h"
#include "support/test_images.h"

#include "app/qt_settings_store.h"
#include "formats/fits_writer.h"
#include "formats/open.h"
#include "ui/dialogs/new_image_dialog.h"
#include "ui/dialogs/number_field.h"
#include "ui/dialogs/open_dialog.h"
#include "ui/shell/help_viewer.h"
#include "ui/shell/help_wizard.h"
#include "ui/shell/toolbar_dialog.h"
#include "ui/tools/tool_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QToolBar>

#include <thread>

using namespace quillon;
using namespace quillon::test;
using quillon::ui::Cmd;

class ShellTest : public QObject {
    Q_OBJECT
private slots:
    void emptySettingsGiveDefaultsAndOpenTheSixToolWindows();
    void settingsRoundTripKeepsTheStoredZeroRule();
    void menusFollowTheNumberOfDocuments();
    void newDialogShowsMemoryAndRaisesUserLayers();
    void newDialogEnterInAFieldOnlyLeavesTheField();
    void openDialogListsTheFiltersInOrder();
    void openDialogFiltersAndDispatchAgree();
    void openDispatchesByExtensionAndShowsTheReaderMessage();
    void saveRefusesNonFitsNames();
    void saveAsFitsAndReopenRestoresTheView();
    void saveAsRiceCompressedFitsOrXisfAndReopen();
    void exportWritesTheShownPictureAndRefusesOtherFormats();
    void closingAModifiedDocumentAsksAndCanBeCancelled();
    void derivedDocumentKeepsTheSourceView();
    void recentFilesHoldFour();
    void helpWizardNavigationRules();
    void helpTopicsOpenTheirPages();
    void contextHelpOpensTheTopicOfTheClickedCommand();
    void toolbarGroupsCanBeHiddenAndStayHidden();
    void arrangeToolWindowsResetsEveryPosition();
    void progressFromWorkerThreadsLeavesTheWidgetsToTheInterfaceThread();
};

static QStringList menuTitles(ui::CMainFrame* f) {
    QStringList t;
    for (QAction* a : f->menuBar()->actions()) t << a->text();
    return t;
}

void ShellTest::emptySettingsGiveDefaultsAndOpenTheSixToolWindows() {
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("s.ini"));
    {
        app::QtSettingsStore store(ini);
        Shell s;
        s.app->settings().load(store);
        QCOMPARE(s.app->settings().noiseLimit, 100);
        QCOMPARE(s.app->settings().newPictureSizeX, 800);
        QCOMPARE(s.app->settings().toolBits, 0);
        s.app->settings().checkPositions(1920, 1080);
        QCOMPARE(s.app->settings().toolBits, 0x3F);
        s.frame->openToolWindows(static_cast<unsigned>(s.app->settings().toolBits));
        QVERIFY(s.frame->toolWindows()->isVisible(ui::Tool::HelpWizard));
        QDockWidget* wizard = s.frame->toolWindows()->docks().dock(ui::Dock::HelpWizard);
        wizard->setFloating(true); // floated, the wizard goes to its standard position
        QCOMPARE(wizard->pos(), QPoint(1920 - 232, 117));
        QCOMPARE(s.frame->toolBits(), 0x3Fu);
        // The windows that do not exist yet keep their bits: the exit writes them back.
        QVERIFY(s.frame->close());
        QCOMPARE(s.app->settings().toolBits, 0x3F);
        s.app->settings().save(store);
    }
    app::QtSettingsStore again(ini);
    SettingsRecord r;
    r.load(again);
    QCOMPARE(r.toolBits, 0x3F);
    QCOMPARE(r.windowPoint(WindowSlot::MiniWebBrowser), (WindowPoint{1688, 117}));
}

void ShellTest::settingsRoundTripKeepsTheStoredZeroRule() {
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("s.ini"));
    {
        app::QtSettingsStore store(ini);
        SettingsRecord r;
        r.noiseLimit = 0;
        r.newPictureSizeX = 1024;
        r.darkFlatAddVal = -50;
        r.darkFlatFlatFile = "/home/beob/flat ä.fts";
        r.toolBits = 0x24;
        r.save(store);
    }
    {
        QSettings raw(ini, QSettings::IniFormat);
        QCOMPARE(raw.value(QStringLiteral("AppData/m_Reg_nNoise_nLimit")).toInt(), 0);
        QCOMPARE(raw.value(QStringLiteral("AppData/m_Reg_nNewPicture_nSizeX")).toInt(), 1024);
    }
    app::QtSettingsStore store(ini);
    SettingsRecord r;
    r.load(store);
    QCOMPARE(r.noiseLimit, 100);
    QCOMPARE(r.newPictureSizeX, 1024);
    QCOMPARE(r.darkFlatAddVal, -50);
    QCOMPARE(r.darkFlatFlatFile, std::string("/home/beob/flat ä.fts"));
    QCOMPARE(r.toolBits, 0x24);
}

void ShellTest::menusFollowTheNumberOfDocuments() {
    MessageRecorder msgs;
    Shell s;
    QCOMPARE(menuTitles(s.frame), (QStringList{"&Datei", "&Aktionen", "&Tools", "&?"}));
    QVERIFY(s.frame->action(Cmd::FileNew)->isEnabled());
    QVERIFY(s.frame->action(Cmd::FileOpen)->isEnabled());
    QVERIFY(!s.frame->action(Cmd::FileSave)->isEnabled());
    QVERIFY(!s.frame->action(Cmd::FileCloseAll)->isEnabled());
    QVERIFY(!s.frame->zoomBox()->isEnabled());
    QCOMPARE(s.frame->zoomBox()->currentText(), QStringLiteral("100%"));
    QCOMPARE(s.frame->action(Cmd::FileNew)->shortcut(), QKeySequence(QStringLiteral("Ctrl+N")));

    s.newImage(100, 80);
    QCOMPARE(menuTitles(s.frame), (QStringList{"&Datei", "&Bearbeiten", "B&ild", "&Aktionen",
                                               "Fi&lter", "&Ansicht", "&Tools", "&Fenster", "&?"}));
    QVERIFY(s.frame->action(Cmd::FileSave)->isEnabled());
    QVERIFY(s.frame->action(Cmd::ZoomIn)->isEnabled());
    QVERIFY(!s.frame->action(Cmd::FileCloseAll)->isEnabled());
    QVERIFY(!s.frame->action(Cmd::CloseViews)->isEnabled());
    QVERIFY(s.frame->zoomBox()->isEnabled());
    // Filters are there; the deconvolution too (without a PSF it says how to collect one).
    QVERIFY(s.frame->action(Cmd::Highpass)->isEnabled());
    QVERIFY(s.frame->action(Cmd::LucyRichardson)->isEnabled());
    QVERIFY(!s.frame->action(Cmd::EditCopy)->isEnabled());
    QCOMPARE(s.frame->action(Cmd::EditCopy)->text(), QStringLiteral("&Kopieren\tStrg+C"));

    s.newImage(100, 80);
    QCOMPARE(s.app->documents().size(), 2);
    QVERIFY(s.frame->action(Cmd::FileCloseAll)->isEnabled());
    msgs.answer = QMessageBox::No; // "Änderungen in Bild2 speichern?" → no
    s.frame->action(Cmd::FileCloseAll)->trigger();
    Shell::settle();
    QCOMPARE(s.app->documents().size(), 0);
    QCOMPARE(msgs.texts, (QStringList{QStringLiteral("Änderungen in Bild1 speichern?"),
                                      QStringLiteral("Änderungen in Bild2 speichern?")}));
    QCOMPARE(menuTitles(s.frame).size(), 4);
    QVERIFY(!s.frame->zoomBox()->isEnabled());
    QCOMPARE(s.frame->zoomBox()->currentText(), QStringLiteral("100%"));
}

void ShellTest::newDialogShowsMemoryAndRaisesUserLayers() {
    ui::NewImageDialog dlg({800, 600, RGB_IMAGE, 3, false});
    dlg.show();
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Neues Bilddokument erstellen:"));
    QCOMPARE(dlg.pixelLabel()->text(), QStringLiteral("480000"));
    QCOMPARE(dlg.memoryLabel()->text(), QStringLiteral("2812"));
    dlg.overlayBox()->setChecked(true);
    QCOMPARE(dlg.memoryLabel()->text(), QStringLiteral("3750"));
    QVERIFY(!dlg.layersField()->isEnabled());
    QCOMPARE(dlg.layersField()->value(), 3.0);

    dlg.typeList()->setCurrentIndex(0); // Graubild
    QCOMPARE(dlg.layersField()->value(), 1.0);
    QCOMPARE(dlg.memoryLabel()->text(), QString::number(800 * 600 * 2 * 2 / 1024));

    dlg.typeList()->setCurrentIndex(4); // Benutzer
    QVERIFY(dlg.layersField()->isEnabled());
    dlg.layersField()->setValue(1);
    emit dlg.layersField()->editingFinished();
    QCOMPARE(dlg.layersField()->value(), 2.0);
    QCOMPARE(dlg.memoryLabel()->text(), QString::number(800 * 600 * 3 * 2 / 1024));
    {
        // A size outside 10 … 14000 gets the range prompt instead of a silent clamp.
        MessageRecorder prompts;
        dlg.widthField()->setText(QStringLiteral("20000"));
        dlg.widthField()->setModified(true);
        QVERIFY(!dlg.widthField()->commit());
        QCOMPARE(prompts.texts, QStringList{QStringLiteral(
                                    "Geben Sie bitte eine ganze Zahl zwischen 10 und 14000 ein.")});
        dlg.widthField()->setValue(800);
    }

    // Through the application: the confirmed values become the document and the settings.
    MessageRecorder msgs;
    Shell s;
    whenModal<ui::NewImageDialog>([](ui::NewImageDialog* d) {
        d->typeList()->setCurrentIndex(4);
        d->layersField()->setValue(1);
        emit d->layersField()->editingFinished();
        d->widthField()->setValue(120);
        QTest::mouseClick(d->okButton(), Qt::LeftButton);
        if (d->isVisible()) d->accept(); // no window focus on some platforms
    });
    ui::CWinQuillonDoc* doc = s.app->newDocumentFromDialog();
    QVERIFY(doc);
    QCOMPARE(doc->image().type(), std::uint16_t(USERDEFINED_IMAGE));
    QCOMPARE(doc->image().layerCount(), 2);
    QCOMPARE(doc->image().width(), 120);
    QCOMPARE(doc->title(), QStringLiteral("Bild1"));
    QVERIFY(doc->isModified());
    QCOMPARE(s.app->settings().newPictureType, 5);
    QCOMPARE(s.app->settings().newPictureLayers, 2);
    QCOMPARE(s.app->settings().newPictureSizeX, 120);
}

void ShellTest::newDialogEnterInAFieldOnlyLeavesTheField() {
    ui::NewImageDialog dlg({800, 600, RGB_IMAGE, 3, false});
    dlg.show();
    QApplication::setActiveWindow(&dlg);
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    dlg.widthField()->setFocus();
    QTest::keyClick(dlg.widthField(), Qt::Key_Return);
    QVERIFY2(dlg.isVisible(), "Enter in a field must not close the dialog");
    QVERIFY(dlg.okButton()->hasFocus());
    QTest::keyClick(dlg.okButton(), Qt::Key_Return);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
}

void ShellTest::openDialogListsTheFiltersInOrder() {
    const QStringList f = ui::openDialogFilters();
    QCOMPARE(f.size(), 18);
    QCOMPARE(f[0],
             QStringLiteral("FITS file (*.fts *.fit *.fits *.fz *.fits.gz *.fit.gz *.fts.gz)"));
    QCOMPARE(f[1], QStringLiteral("XISF file (*.xisf)"));
    QCOMPARE(f[3], QStringLiteral("RAW file z.B. .crw ... (*.*)"));
    QCOMPARE(f[12], QStringLiteral("Windows Enhanced Metafile (*.emf)"));
    QCOMPARE(f[14], QStringLiteral("Portable Greymap File (*.pgm)"));
    QCOMPARE(f[15], QStringLiteral("GIF file (*.gif)"));
    QVERIFY(f[16].startsWith(
        QStringLiteral("Alle unterstützten Grafikformate (*.fts *.fit *.fits *.fz *.fits.gz "
                       "*.fit.gz *.fts.gz *.xisf *.ast *.*")));
    QVERIFY2(f[16].endsWith(QStringLiteral("*.wmf *.pcx *.pgm)")), "no *.emf, no *.gif");
    QCOMPARE(f[17], QStringLiteral("Alle Dateien (*.*)"));
    std::unique_ptr<QFileDialog> dlg(ui::createOpenDialog(nullptr));
    QCOMPARE(dlg->windowTitle(), QStringLiteral("Öffnen"));
    QCOMPARE(dlg->fileMode(), QFileDialog::ExistingFiles);
    QCOMPARE(dlg->selectedNameFilter(), f[16]);
}

// Each file type's dialog entry lists exactly its endings, and each of them, in any case,
// opens with the entry's reader; "Alle unterstützten" lists those of the decodable types in
// table order.
void ShellTest::openDialogFiltersAndDispatchAgree() {
    const QStringList f = ui::openDialogFilters();
    const auto types = openFileTypes();
    QCOMPARE(f.size(), qsizetype(types.size()) + 2);
    QStringList all;
    for (std::size_t i = 0; i < types.size(); ++i) {
        const QString entry = f[qsizetype(i)];
        const QString prefix = QString::fromUtf8(types[i].description) + QStringLiteral(" (");
        QVERIFY2(entry.startsWith(prefix) && entry.endsWith(QLatin1Char(')')), qPrintable(entry));
        const QStringList patterns = entry.mid(prefix.size()).chopped(1).split(QLatin1Char(' '));
        if (types[i].decodable) all << patterns;
        QStringList endings;
        for (const std::string& e : fileTypeEndings(types[i]))
            endings << QStringLiteral("*") + QString::fromStdString(e);
        if (endings.isEmpty()) {
            QCOMPARE(patterns, QStringList{QStringLiteral("*.*")});
            QCOMPARE(types[i].kind, FileKind::CameraRaw); // what no ending chooses
            continue;
        }
        QCOMPARE(patterns, endings);
        for (const QString& p : patterns) {
            const std::string name = "m42" + p.mid(1).toStdString();
            QCOMPARE(fileKindForPath(name), types[i].kind);
            QCOMPARE(fileKindForPath(QString::fromStdString(name).toUpper().toStdString()),
                     types[i].kind);
        }
    }
    QCOMPARE(
        f[qsizetype(types.size())],
        QStringLiteral("Alle unterstützten Grafikformate (%1)").arg(all.join(QLatin1Char(' '))));
}

void ShellTest::openDispatchesByExtensionAndShowsTheReaderMessage() {
    QTemporaryDir dir;
    MessageRecorder msgs;
    Shell s;
    // A camera RAW name that is no RAW file: the RAW import answers, no document.
    const QString raw = dir.filePath(QStringLiteral("IMG_0001.CR2"));
    {
        QFile f(raw);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a raw file");
    }
    QVERIFY(!s.app->openDocument(raw));
    QCOMPARE(msgs.texts.size(), 1);
    QVERIFY2(msgs.texts[0].contains(QStringLiteral("RAW")), qPrintable(msgs.texts[0]));
    QCOMPARE(s.app->documents().size(), 0);
    // A FITS name with a trailing blank goes to the FITS reader and opens.
    msgs.texts.clear();
    {
        Image img;
        QVERIFY(img.Define(64, 32, BW_IMAGE, false) > 0);
        QCOMPARE(img.AllocateSamples(), 0);
        img.row(0, 3)[5] = 1234;
        writeFits(img, dir.filePath(QStringLiteral("x.FITS")).toStdString(), Progress::none());
    }
    ui::CWinQuillonDoc* doc = s.app->openDocument(dir.filePath(QStringLiteral("x.FITS ")));
    QVERIFY(doc);
    QVERIFY(msgs.texts.isEmpty());
    QCOMPARE(doc->title(), QStringLiteral("x.FITS"));
    QVERIFY(!doc->isModified());
    QCOMPARE(doc->image().width(), 64);
    QCOMPARE(doc->image().row(0, 3)[5], Sample(1234));
    QCOMPARE(QDir::currentPath(), QDir(dir.path()).canonicalPath());
    QVERIFY(s.app->recentFiles().first().endsWith(QStringLiteral("x.FITS")));
    // A damaged FITS file: the reader's message, no document.
    {
        QFile f(dir.filePath(QStringLiteral("kaputt.fts")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(2880, 'x'));
    }
    QVERIFY(!s.app->openDocument(dir.filePath(QStringLiteral("kaputt.fts"))));
    QCOMPARE(msgs.texts.size(), 1);
    QCOMPARE(s.app->documents().size(), 1);
}

void ShellTest::saveRefusesNonFitsNames() {
    QTemporaryDir dir;
    MessageRecorder msgs;
    Shell s;
    ui::CWinQuillonDoc* doc = s.newImage(40, 30);
    QVERIFY(doc);
    // A new document's path is its title with "." turned into "_": "Speichern" asks for a name.
    QCOMPARE(doc->pathName(), QStringLiteral("Bild1"));
    QStringList asked;
    ui::setSaveNameHandler([&](const QString& proposed) {
        asked << proposed;
        return dir.filePath(QStringLiteral("m51.jpg"));
    });
    s.frame->action(Cmd::FileSave)->trigger();
    ui::setSaveNameHandler({});
    QCOMPARE(asked.size(), 1);
    QCOMPARE(msgs.texts, QStringList{QString::fromUtf8(ui::kSaveNotFits)});
    QVERIFY(msgs.texts[0].startsWith(QStringLiteral("Zum Speichen in nicht Fits-Formaten")));
    QVERIFY(doc->isModified());
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("m51.jpg"))));
    for (const char* bad : {"a.jpg", "a.fts.png", "noext", "a.FTSX"}) {
        msgs.texts.clear();
        QVERIFY(!doc->saveTo(dir.filePath(QString::fromLatin1(bad)), nullptr, nullptr));
        QCOMPARE(msgs.texts, QStringList{QString::fromUtf8(ui::kSaveNotFits)});
    }
    // A folder that takes no new file (even for root: /proc) gives the file-name message.
    msgs.texts.clear();
    QVERIFY(!doc->saveTo(QStringLiteral("/proc/m51.fts"), nullptr, nullptr));
    QCOMPARE(msgs.texts, QStringList{QString::fromUtf8(ui::kInvalidFileName)});
    QVERIFY(doc->isModified());
}

void ShellTest::saveAsFitsAndReopenRestoresTheView() {
    QTemporaryDir dir;
    MessageRecorder msgs;
    Shell s;
    ui::CWinQuillonDoc* doc = s.newImage(80, 60);
    ImageHeader h;
    QCOMPARE(doc->image().BeginSampleWrite(h), 0);
    testkit::fill(doc->image(), testkit::Ramp{.dx = 10, .dp = 1});
    doc->image().EndSampleWrite();
    ui::CWinQuillonView* v = doc->views().first();
    QVERIFY(v->pickWhitePoint({40, 10})); // white from the composed values 400, 401, 402
    const DisplayParams shown = v->renderer().params();
    const QString target = dir.filePath(QStringLiteral("neu.fts"));
    ui::setSaveNameHandler([&](const QString&) { return target; });
    s.frame->action(Cmd::FileSave)->trigger(); // no file yet: asks for a name
    ui::setSaveNameHandler({});
    QVERIFY2(msgs.texts.isEmpty(), qPrintable(msgs.texts.join('|')));
    QVERIFY(QFile::exists(target));
    QVERIFY(!doc->isModified());
    QCOMPARE(doc->title(), QStringLiteral("neu.fts"));
    QCOMPARE(doc->pathName(), QFileInfo(target).absoluteFilePath());
    // "Speichern" now writes the same file without asking.
    ui::setSaveNameHandler([](const QString&) -> QString {
        qFatal("no question expected");
        return {};
    });
    doc->setModified(true);
    s.frame->action(Cmd::FileSave)->trigger();
    ui::setSaveNameHandler({});
    QVERIFY(!doc->isModified());

    s.frame->action(Cmd::FileClose)->trigger();
    Shell::settle();
    QCOMPARE(s.app->documents().size(), 0);
    ui::CWinQuillonDoc* again = s.app->openDocument(target);
    Shell::settle();
    QVERIFY(again);
    // The first view of an opened file fits itself into the window.
    QTest::qWait(20);
    Shell::settle();
    QVERIFY(again->views().first()->zoom() != 1.0);
    // The file keeps the display of the view it was saved from.
    const auto& p = again->views().first()->renderer().params();
    QCOMPARE(p.whitePoint, shown.whitePoint);
    QCOMPARE(p.blackPoint, shown.blackPoint);
    QVERIFY(shown.whitePoint[0] >= 400);
    QCOMPARE(again->image().row(1, 59)[79], Sample(791));
}

void ShellTest::saveAsRiceCompressedFitsOrXisfAndReopen() {
    QTemporaryDir dir;
    MessageRecorder msgs;
    Shell s;
    ui::CWinQuillonDoc* doc = s.newImage(70, 50);
    ImageHeader h;
    QCOMPARE(doc->image().BeginSampleWrite(h), 0);
    testkit::fill(doc->image(), testkit::Ramp{.dx = 37, .dy = -11, .dp = 5});
    doc->image().EndSampleWrite();
    for (const char* name : {"neu.fits.fz", "neu.xisf"}) {
        const QString target = dir.filePath(QString::fromUtf8(name));
        ui::setSaveNameHandler([&](const QString&) { return target; });
        doc->setModified(true);
        s.frame->action(Cmd::FileSaveAs)->trigger();
        ui::setSaveNameHandler({});
        QVERIFY2(msgs.texts.isEmpty(), qPrintable(msgs.texts.join('|')));
        QVERIFY(!doc->isModified());
        QFile f(target);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        // A Rice-compressed image table behind an empty primary header, or an XISF header.
        QVERIFY(bytes.contains("ZCMPTYPE= 'RICE_1  '") || bytes.startsWith("XISF0100"));
        // Closed and opened again (the next round saves the reopened document).
        const int layers = doc->image().layerCount();
        s.frame->action(Cmd::FileClose)->trigger();
        Shell::settle();
        QCOMPARE(s.app->documents().size(), 0);
        doc = s.app->openDocument(target);
        Shell::settle();
        QVERIFY(doc);
        QCOMPARE(doc->image().layerCount(), layers);
        for (int l = 0; l < layers; ++l)
            for (int y = 0; y < 50; ++y)
                for (int x = 0; x < 70; ++x)
                    QCOMPARE(doc->image().row(l, y)[x], Sample(37 * x - 11 * y + 5 * l));
    }
}

void ShellTest::closingAModifiedDocumentAsksAndCanBeCancelled() {
    MessageRecorder msgs;
    Shell s;
    ui::CWinQuillonDoc* doc = s.newImage(40, 30);
    msgs.answer = QMessageBox::Cancel;
    s.frame->action(Cmd::FileClose)->trigger();
    Shell::settle();
    QCOMPARE(s.app->documents().size(), 1);
    QCOMPARE(msgs.texts, QStringList{QStringLiteral("Änderungen in Bild1 speichern?")});
    // A second view closes without a question; the last view asks.
    s.frame->action(Cmd::NewView)->trigger();
    Shell::settle();
    QCOMPARE(doc->views().size(), 2);
    QVERIFY(s.frame->action(Cmd::CloseViews)->isEnabled());
    s.frame->action(Cmd::CloseViews)->trigger();
    Shell::settle();
    QCOMPARE(doc->views().size(), 1);
    QCOMPARE(msgs.texts.size(), 1);
    // Closing the main window with Cancel keeps everything open.
    QVERIFY(!s.frame->close());
    QCOMPARE(s.app->documents().size(), 1);
    msgs.answer = QMessageBox::No;
    QVERIFY(s.frame->close());
    Shell::settle();
    QCOMPARE(s.app->documents().size(), 0);
}

void ShellTest::derivedDocumentKeepsTheSourceView() {
    MessageRecorder msgs;
    Shell s;
    ui::CWinQuillonDoc* src = s.newImage(64, 48, LRGB_IMAGE, true);
    ui::CWinQuillonView* view = s.frame->activeView();
    QVERIFY(view);
    src->image().setLayerName(0, "Luminanz");
    auto& p = s.app->newParams();
    p.takeFrom(src->image());
    p.width = 32; // as a crop would
    ui::CWinQuillonDoc* d = s.app->createDerivedDocument(QStringLiteral("Ausschnitt"), view);
    Shell::settle();
    QVERIFY(d);
    QCOMPARE(d->title(), QStringLiteral("Ausschnitt"));
    QCOMPARE(d->image().width(), 32);
    QCOMPARE(d->image().layerName(0), std::string_view("Luminanz"));
    QVERIFY(d->image().hasOverlay());
    QVERIFY(d->isModified());
    QVERIFY(!s.app->newParams().infoTemplate.has_value());
    QCOMPARE(s.app->derivedSource(), nullptr);
    ui::CWinQuillonView* dv = d->views().first();
    QTest::qWait(20);
    Shell::settle();
    QVERIFY(dv->windowTitle().startsWith(QStringLiteral("Ausschnitt")));
    QVERIFY(dv->windowTitle().endsWith(QStringLiteral("(LRGB + Overlay)")));
    // RefreshViews repaints every view of the document.
    const long long before = dv->paintCount();
    ui::CWinQuillonApp::refreshViews(d, false);
    dv->viewport()->repaint();
    QVERIFY(dv->paintCount() > before);
}

void ShellTest::recentFilesHoldFour() {
    QTemporaryDir dir;
    Shell s;
    for (int i = 0; i < 6; ++i) {
        QFile f(dir.filePath(QStringLiteral("b%1.fts").arg(i)));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        s.app->addRecentFile(f.fileName());
    }
    QCOMPARE(s.app->recentFiles().size(), 4);
    QVERIFY(s.app->recentFiles().first().endsWith(QStringLiteral("b5.fts")));
    QVERIFY(!s.frame->action(Cmd::RecentPlaceholder)->isVisible());
}

void ShellTest::helpWizardNavigationRules() {
    using N = ui::WizardNavigation;
    const QString prog = QStringLiteral("/opt/Quillon/bin");
    auto d = [&](const char* a) { return ui::decideWizardNavigation(QString::fromUtf8(a), prog); };
    QCOMPARE(d(" OpenHelpID:131205 ").kind, N::OpenHelpId);
    QCOMPARE(d("openhelpid:131205").topic, 131205);
    QCOMPARE(d("openfile:Beispiele/M42.fts").kind, N::OpenFile);
    QCOMPARE(d("openfile:Beispiele/M42.fts").path,
             QStringLiteral("/opt/Quillon/bin/Beispiele/M42.fts"));
    QCOMPARE(d("CLOSEALL:").kind, N::CloseAll);
    for (const char* ok : {"c:\\hilfe\\index.htm", "res://quillon/x.htm", "qrc:/html/index.htm",
                           "javascript:history.back(1)", "javascript:windownew('x')",
                           "https://www.tervalis-raru.de/news", "/usr/share/doc/x.html"})
        QVERIFY2(d(ok).kind == N::Allow, ok);
    N r = d("http://example.com/Boese");
    QCOMPARE(r.kind, N::Refuse);
    QCOMPARE(r.message, QStringLiteral(" Aus Sicherheitsgründen ist eine Navigation nach : \n "
                                       "http://example.com/boese \n nicht gestatted. \n Es können "
                                       "nur lokale, oder Seiten auf www.tervalis-raru.de erreicht "
                                       "werden."));
    QCOMPARE(d("javascript:alert(1)").kind, N::Refuse);

    // Through the window: a refused link shows the message, openhelpid opens the help viewer.
    MessageRecorder msgs;
    Shell s;
    s.frame->action(Cmd::HelpWizard)->trigger();
    QVERIFY(s.frame->helpWizard()->isVisible());
    QVERIFY(s.frame->action(Cmd::HelpWizard)->isChecked());
    s.frame->helpWizard()->navigate(QStringLiteral("http://example.com/"));
    QCOMPARE(msgs.texts.size(), 1);
    QVERIFY(msgs.texts[0].contains(QStringLiteral("http://example.com/")));
    s.frame->helpWizard()->navigate(QStringLiteral("openhelpid:131207"));
    QVERIFY(s.frame->helpViewer()->isVisible());
    QVERIFY(s.frame->helpViewer()->browser()->toPlainText().contains(QStringLiteral("Vollbild")));
    s.frame->helpWizard()->navigate(QStringLiteral("qrc:/html/tipps.htm"));
    QVERIFY(s.frame->helpWizard()->browser()->toPlainText().contains(QStringLiteral("Tipps")));
    s.frame->action(Cmd::HelpWizard)->trigger();
    QVERIFY(!s.frame->helpWizard()->isVisible());
    QCOMPARE(s.frame->toolBits() & kToolHelpWizard, 0u);
}

void ShellTest::helpTopicsOpenTheirPages() {
    Shell s;
    s.frame->action(Cmd::HelpTopics)->trigger();
    QVERIFY(s.frame->helpViewer()->isVisible());
    QVERIFY(s.frame->helpViewer()->browser()->toPlainText().contains(QStringLiteral("Die Menüs")));
    QCOMPARE(s.frame->action(Cmd::HelpTopics)->shortcut(), QKeySequence(Qt::Key_F1));
    for (int topic = 131201; topic <= 131210; ++topic) {
        s.frame->showHelpTopic(topic);
        QVERIFY2(s.frame->helpViewer()->browser()->toPlainText().size() > 100,
                 qPrintable(QString::number(topic)));
    }
}

void ShellTest::contextHelpOpensTheTopicOfTheClickedCommand() {
    Shell s;
    auto* bar = s.frame->findChild<QToolBar*>(QStringLiteral("Symbolleiste"));
    QVERIFY(bar);
    QWidget* open = bar->widgetForAction(s.frame->action(Cmd::FileOpen));
    QVERIFY(open);
    s.frame->action(Cmd::ContextHelp)->trigger();
    QVERIFY(s.frame->inContextHelpMode());
    QTest::mouseClick(open, Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(!s.frame->inContextHelpMode());
    QVERIFY(s.frame->helpViewer()->isVisible());
    QCOMPARE(s.frame->helpViewer()->browser()->source(),
             QUrl(QStringLiteral("qrc:/help/datei.html")));
    // No dialog opened: the click only asked for help.
    QVERIFY(!QApplication::activeModalWidget());
}

void ShellTest::toolbarGroupsCanBeHiddenAndStayHidden() {
    auto shows = [](Shell& s, Cmd c) {
        auto* bar = s.frame->findChild<QToolBar*>(QStringLiteral("Symbolleiste"));
        return bar->actions().contains(s.frame->action(c));
    };
    Shell s;
    QVERIFY(shows(s, Cmd::CompositeGrey) && shows(s, Cmd::ZoomIn));
    whenModal<ui::ToolbarDialog>([](ui::ToolbarDialog* d) {
        QCOMPARE(d->groupBox(5)->text(), QStringLiteral("Komposit"));
        d->groupBox(5)->setChecked(false);
        d->groupBox(3)->setChecked(false); // the zoom group with its box
        d->okButton()->click();
    });
    s.frame->action(Cmd::SettingsToolbar)->trigger();
    QVERIFY(!shows(s, Cmd::CompositeGrey) && !shows(s, Cmd::ZoomIn));
    QVERIFY(shows(s, Cmd::UnsharpMask));
    QCOMPARE(s.app->settings().toolbarHiddenGroups, (1 << 5) | (1 << 3));
    QVERIFY(s.frame->zoomBox()); // the box survives being left out
    // The next start shows the toolbar as it was left.
    Shell next;
    next.app->settings().toolbarHiddenGroups = s.app->settings().toolbarHiddenGroups;
    next.frame->showToolBarGroups(static_cast<unsigned>(next.app->settings().toolbarHiddenGroups));
    QVERIFY(!shows(next, Cmd::CompositeGrey));
    // Every group unchecked leaves OK disabled: the toolbar never vanishes by accident.
    ui::ToolbarDialog all(ui::CMainFrame::toolBarGroupNames(), 0xFF);
    QVERIFY(!all.okButton()->isEnabled());
}

void ShellTest::arrangeToolWindowsResetsEveryPosition() {
    Shell s;
    SettingsRecord& r = s.app->settings();
    for (int i = 0; i < kWindowSlotCount; ++i) r.setWindowPoint(static_cast<WindowSlot>(i), {3, 4});
    r.toolBits = 0;
    s.frame->action(Cmd::ArrangeToolWindows)->trigger();
    const int w = QGuiApplication::primaryScreen()->geometry().width();
    for (int i = 0; i < kWindowSlotCount; ++i) {
        auto slot = static_cast<WindowSlot>(i);
        QCOMPARE(r.windowPoint(slot), standardPosition(slot, w));
    }
    QVERIFY(s.frame->toolWindows()->isVisible(ui::Tool::HelpWizard));
    QDockWidget* wizard = s.frame->toolWindows()->docks().dock(ui::Dock::HelpWizard);
    wizard->setFloating(true);
    QCOMPARE(wizard->pos(), QPoint(w - 232, 117));
    QCOMPARE(s.frame->toolBits(), kAllToolBits);
}

void ShellTest::progressFromWorkerThreadsLeavesTheWidgetsToTheInterfaceThread() {
    Shell s;
    Progress progress(s.frame->progressSink());
    progress.begin("Maskenfilter", 100, 10);
    // "%2.0i" prints no digit for 0, as the status line always has.
    QCOMPARE(s.frame->pane(0)->text(), QStringLiteral("   Maskenfilter    % "));
    // A worker's update is remembered, not painted: widgets belong to the interface thread.
    std::thread worker([&progress] { progress.step(30); });
    worker.join();
    QCOMPARE(s.frame->pane(0)->text(), QStringLiteral("   Maskenfilter    % "));
    QCOMPARE(s.frame->statusProgress().lastText(), std::string("   Maskenfilter  30% "));
    // The interface thread's next update shows the newest value.
    progress.step(10);
    QCOMPARE(s.frame->pane(0)->text(), QStringLiteral("   Maskenfilter  40% "));
    std::thread late([&progress] { progress.step(40); });
    late.join();
    progress.step(5); // below the next interval: nothing reported from here
    QCOMPARE(s.frame->pane(0)->text(), QStringLiteral("   Maskenfilter  40% "));
    progress.step(10);
    QCOMPARE(s.frame->pane(0)->text(), QStringLiteral("   Maskenfilter  95% "));
    progress.end();
    QCOMPARE(s.frame->pane(0)->text(), QStringLiteral("Bereit"));
}

QTEST_MAIN(ShellTest)
void ShellTest::exportWritesTheShownPictureAndRefusesOtherFormats() {
    QTemporaryDir dir;
    MessageRecorder msgs;
    Shell s;
    QVERIFY(!s.frame->action(Cmd::FileExport)->isEnabled());
    ui::CWinQuillonDoc* doc = s.newImage(40, 30);
    QVERIFY(s.frame->action(Cmd::FileExport)->isEnabled());
    QString answer;
    QStringList proposed;
    ui::setSaveNameHandler([&](const QString& p) {
        proposed << p;
        return answer;
    });
    auto exportTo = [&](const char* name) {
        msgs.texts.clear();
        answer = dir.filePath(QString::fromLatin1(name));
        s.frame->action(Cmd::FileExport)->trigger();
        return answer;
    };
    QVERIFY(QFile::exists(exportTo("bild.png")));
    QVERIFY2(msgs.texts.isEmpty(), qPrintable(msgs.texts.join('|')));
    QCOMPARE(proposed.first(), QStringLiteral("Bild1.bmp"));
    QImage png(dir.filePath(QStringLiteral("bild.png")));
    QCOMPARE(png.size(), QSize(40, 30));

    QVERIFY(!QFile::exists(exportTo("bild.tga")));
    QCOMPARE(msgs.texts.size(), 1);
    QVERIFY(msgs.texts[0].startsWith(QStringLiteral("Error saving the file: ")));
    QVERIFY(msgs.texts[0].endsWith(QStringLiteral("Speichern unter\"")));

    QVERIFY(!QFile::exists(exportTo("bild.xyz")));
    QCOMPARE(msgs.texts, QStringList{QStringLiteral(
                             "Unbekannte Dateinamenerweiterung! Speichern abgebrochen.")});

    answer.clear(); // cancelled: nothing happens
    msgs.texts.clear();
    s.frame->action(Cmd::FileExport)->trigger();
    QVERIFY(msgs.texts.isEmpty());
    ui::setSaveNameHandler({});
    QVERIFY(doc->isModified()); // export does not save the document
}

#include "test_shell.moc"
