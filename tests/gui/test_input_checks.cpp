// Numbers typed as text into every kind of field (dialog field, table cell, command-line
// option, job file, settings file) are refused or replaced before any conversion; and a failed
// save tells why.
#include "gui_test_support.h"

#include "app/qt_settings_store.h"
#include "composite/job.h"
#include "composite/job_file.h"
#include "core/atomic_file.h"
#include "core/error.h"
#include "core/settings_record.h"
#include "formats/fits_writer.h"
#include "ui/composite/composite_window.h"
#include "ui/composite/reference_window.h"
#include "ui/dialogs/grey_dialog.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>

#include <cerrno>

using namespace quillon;
using namespace quillon::test;

class InputChecksTest : public QObject {
    Q_OBJECT
private slots:
    void typedNumbersAreCheckedInEveryKindOfField();
    void failedSaveNamesTheSystemsReason();
};

void InputChecksTest::typedNumbersAreCheckedInEveryKindOfField() {
    const QString kNumber = QStringLiteral("Geben Sie bitte eine Zahl ein.");
    // What each kind of field makes of the text: the grey factor field (±214748) and the
    // reference cell (0 to 14000) prompt for a number (N) or the range (R) or accept (-); the
    // CLI option --exponent (0.1 to 10) and the job file's sizeFactor (0.01 to 100) refuse or
    // accept; the settings file's grey factor loads the value or, damaged, the default 3000.
    struct Case {
        const char* text;
        char prompt;
        bool accepted; // by the CLI option and the job file
        int stored;    // the settings value loaded
    };
    const Case cases[] = {
        {"1e30", 'R', false, 3000},     {"-1e30", 'R', false, 3000},
        {"inf", 'N', false, 3000},      {"-inf", 'N', false, 3000},
        {"nan", 'N', false, 3000},      {"2147483648", 'R', false, 3000},
        {"214749", 'R', false, 214749}, {"", 'N', false, 3000},
        {"12abc", 'N', false, 3000},    {"7", '-', true, 7},
    };

    Shell s;
    QTemporaryDir dir;
    MessageRecorder rec;
    s.newImage(20, 20);
    ui::CWinQuillonView* colour = s.frame->activeView();
    Image img; // one grey exposure for the reference window
    img.Define(60, 40, BW_IMAGE, false, 0);
    img.AllocateSamples(true);
    const std::string exposure = dir.filePath(QStringLiteral("e.fts")).toStdString();
    writeFits(img, exposure, Progress::none());
    CompositeJob& job = s.frame->compositeJob();
    job = CompositeJob{};
    job.configure(BW_IMAGE, 0, CalibrationParams{});
    job.options.referencePointCount = 1;
    job.addFile(0, exposure);
    ui::ReferenceWindow* refs = ui::openReferenceWindowAt(*s.frame, 0, 0);
    QTableWidgetItem* cell = refs ? refs->row()->item(0, 5) : nullptr; // "Ref 1: X"
    QVERIFY(cell);

    int row = 0;
    for (const Case& c : cases) {
        const QString text = QString::fromLatin1(c.text);
        const QString expected =
            c.prompt == 'N'   ? kNumber
            : c.prompt == 'R' ? QStringLiteral("Geben Sie bitte eine Zahl zwischen %1 und %2 ein.")
                              : QString();

        // Dialog field: OK stores the factor × 10000 only for an accepted number.
        rec.texts.clear();
        SettingsRecord settings;
        {
            ui::GreyConvertDialog grey(colour, settings, s.frame);
            grey.redField()->setText(text);
            grey.accept();
        }
        QCOMPARE(settings.graypicRed, c.prompt == '-' ? 70000 : 3000);
        QCOMPARE(rec.texts,
                 c.prompt == '-' ? QStringList{} : QStringList{expected.arg(-214748).arg(214748)});

        // Table cell: a refused coordinate brings the last one back and searches nothing.
        rec.texts.clear();
        const QString before = cell->text();
        cell->setText(text);
        QCOMPARE(rec.texts,
                 c.prompt == '-' ? QStringList{} : QStringList{expected.arg(0).arg(14000)});
        QVERIFY(c.prompt == '-' || cell->text() == before);

        // Command-line option: a usage error (status 2) naming the option.
        QProcess cli;
        cli.setProcessChannelMode(QProcess::MergedChannels);
        cli.start(QStringLiteral(QUILLON_CLI),
                  {QStringLiteral("render"), QString::fromStdString(exposure),
                   dir.filePath(QStringLiteral("e.png")), QStringLiteral("--exponent"), text});
        QVERIFY(cli.waitForFinished(30000));
        const QString out = QString::fromUtf8(cli.readAll());
        QVERIFY2(cli.exitCode() == (c.accepted ? 0 : 2) &&
                     out.contains(QStringLiteral("--exponent: Zahl von 0.1 bis 10")) != c.accepted,
                 qPrintable(out));

        // Job file: a clear message naming the file.
        QString problem;
        try {
            parseCompositeJob(R"({"version": 1, "type": "grey", "options": {"sizeFactor": )" +
                                  std::string(c.text) + "}}",
                              "a.json");
        } catch (const Error& e) {
            problem = QString::fromUtf8(e.what());
        }
        QVERIFY2(problem.startsWith(QStringLiteral("Auftragsdatei \"a.json\": ")) != c.accepted,
                 qPrintable(problem));

        // Settings file: a damaged value loads as the default.
        const QString ini = dir.filePath(QStringLiteral("s%1.ini").arg(row++));
        QFile f(ini);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("[AppData]\nm_Reg_nGraypic_Red=") + c.text + "\n");
        f.close();
        app::QtSettingsStore store(ini);
        SettingsRecord loaded;
        loaded.load(store);
        QCOMPARE(loaded.graypicRed, c.stored);
    }
    whenModal<ui::CompositeWindow>([](ui::CompositeWindow* d) { d->reject(); });
    refs->finish();
    Shell::settle();
}

// A save that fails on a full disk names the reason and keeps the file that was there.
void InputChecksTest::failedSaveNamesTheSystemsReason() {
    Shell s;
    QTemporaryDir dir;
    MessageRecorder rec;
    ui::CWinQuillonDoc* doc = s.newImage(40, 30);
    const QString path = dir.filePath(QStringLiteral("m51.fts"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("previous contents");
    old.close();
    {
        AtomicFile::ScopedWriteFailure full(ENOSPC);
        QVERIFY(!doc->saveTo(path, s.frame, nullptr));
    }
    QCOMPARE(rec.texts, QStringList{QStringLiteral("Fehler beim Speichern des Dokuments. Auf dem "
                                                   "Datenträger ist kein Platz mehr frei.")});
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("previous contents"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    QVERIFY(doc->isModified());
}

QTEST_MAIN(InputChecksTest)
#include "test_input_checks.moc"
