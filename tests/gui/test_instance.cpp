// Single instance between two processes: a second start of the real program hands its files
// to the running instance, which activates its window and opens them; the second start ends.
#include "gui_test_support.h"

#include "app/single_instance.h"
#include "formats/fits_writer.h"

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace quillon;
using namespace quillon::test;

class InstanceTest : public QObject {
    Q_OBJECT
private slots:
    void secondStartHandsItsFilesToTheFirst();
    void twoRealProcesses();
    void aStrangerGetsNoAnswer();
};

static QProcessEnvironment envFor(const QString& name, const QString& settings) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QUILLON_NO_SPLASH"), QStringLiteral("1"));
    env.insert(QStringLiteral("QUILLON_INSTANCE_NAME"), name);
    env.insert(QStringLiteral("QUILLON_SETTINGS_FILE"), settings);
    return env;
}

void InstanceTest::secondStartHandsItsFilesToTheFirst() {
    QTemporaryDir dir;
    const QString name =
        QStringLiteral("quillon-test-handover-%1").arg(QCoreApplication::applicationPid());
    // This process is the running instance, wired as the program wires it.
    MessageRecorder msgs;
    Shell s;
    s.frame->showMinimized();
    app::SingleInstance first(name);
    QVERIFY(first.listen());
    QStringList received;
    QObject::connect(&first, &app::SingleInstance::activationRequested, s.frame,
                     [&](const QStringList& files) {
                         received = files;
                         if (s.frame->isMinimized()) s.frame->showMaximized();
                         s.frame->openFiles(files);
                     });

    {
        Image img;
        QVERIFY(img.Define(40, 30, RGB_IMAGE, false) > 0);
        QCOMPARE(img.AllocateSamples(), 0);
        writeFits(img, dir.filePath(QStringLiteral("zwei bilder.fts")).toStdString(),
                  Progress::none());
    }
    QProcess second;
    second.setProcessEnvironment(envFor(name, dir.filePath(QStringLiteral("s.ini"))));
    second.setWorkingDirectory(dir.path());
    second.start(QStringLiteral(QUILLON_GUI_BINARY),
                 {QStringLiteral("IMG_0001.CR2"), QStringLiteral("zwei bilder.fts")});
    QVERIFY(second.waitForStarted(5000));
    // Serve the connection while the second process waits for our answer.
    QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 15000);
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(received, (QStringList{dir.filePath(QStringLiteral("IMG_0001.CR2")),
                                    dir.filePath(QStringLiteral("zwei bilder.fts"))}));
    QVERIFY(!s.frame->isMinimized());
    // Both files went through the open step here: the FITS file is a document now, the
    // missing RAW file gave the reader's message.
    Shell::settle();
    QCOMPARE(msgs.texts.size(), 1);
    QCOMPARE(s.app->documents().size(), 1);
    QCOMPARE(s.app->documents().first()->title(), QStringLiteral("zwei bilder.fts"));
    // The second start ended before it touched the settings.
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("s.ini"))));
}

void InstanceTest::twoRealProcesses() {
    QTemporaryDir dir;
    const QString name =
        QStringLiteral("quillon-test-real-%1").arg(QCoreApplication::applicationPid());
    QProcess first;
    first.setProcessEnvironment(envFor(name, dir.filePath(QStringLiteral("first.ini"))));
    first.start(QStringLiteral(QUILLON_GUI_BINARY), {});
    QVERIFY(first.waitForStarted(5000));
    // Wait until the first instance listens.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            QLocalSocket probe;
            probe.connectToServer(name);
            bool ok = probe.waitForConnected(100);
            probe.abort();
            return ok;
        }(),
        15000);
    QProcess second;
    second.setProcessEnvironment(envFor(name, dir.filePath(QStringLiteral("second.ini"))));
    second.start(QStringLiteral(QUILLON_GUI_BINARY), {});
    QVERIFY(second.waitForFinished(15000));
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("second.ini"))));
    first.terminate();
    if (!first.waitForFinished(5000)) first.kill();
}

void InstanceTest::aStrangerGetsNoAnswer() {
    // Nothing listens: the hand-over fails quickly and the caller becomes the instance.
    app::SingleInstance lonely(
        QStringLiteral("quillon-test-nobody-%1").arg(QCoreApplication::applicationPid()));
    QElapsedTimer t;
    t.start();
    QVERIFY(!lonely.handOver({QStringLiteral("x.fts")}, 600));
    QVERIFY(t.elapsed() < 2000);
    QVERIFY(lonely.listen());
}

QTEST_MAIN(InstanceTest)
#include "test_instance.moc"
