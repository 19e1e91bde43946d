// The image menu's geometry commands: the resize dialog's rules and confirmation, mirror and
// rotation in place, rotation out of memory, crop enabling and its result.
#include "gui_test_support.h"

#include "core/error.h"
#include "core/memory.h"
#include "ops/geometry.h"
#include "ui/geometry_commands.h"
#include "ui/number_field.h"
#include "ui/resize_dialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

using namespace quillon;
using namespace quillon::test;
using quillon::ui::Cmd;

class GeometryTest : public QObject {
    Q_OBJECT
private slots:
    void resizeDialogRules_data();
    void resizeDialogRules();
    void resizeDialogRefusesAndToggles();
    void resizeAsksBeforeALargeImage();
    void failedFillDiscardsTheNewDocument();
    void inPlaceCommandsMovePixels_data();
    void inPlaceCommandsMovePixels();
    void rotationOutOfMemoryKeepsTheImage();
    void cropFollowsTheSelection();
};

// Sample of plane p at (x, y) in the test pattern: unique for every pixel and plane.
static Sample pattern(int p, int x, int y) {
    return static_cast<Sample>(p * 1000 + y * 20 + x);
}

static ui::CWinQuillonDoc* patternImage(Shell& s, int w, int h, bool overlay = false) {
    ui::CWinQuillonDoc* d = s.newImage(w, h, RGB_IMAGE, overlay);
    if (!d) return nullptr;
    for (int p = 0; p < d->image().planeCount(); ++p)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) d->image().row(p, y)[x] = pattern(p, x, y);
    d->setModified(false);
    return d;
}

// Types into a field as the user does and commits with Return.
static void type(ui::NumberField* f, const QString& text) {
    f->selectAll();
    QTest::keyClicks(f, text);
    QTest::keyClick(f, Qt::Key_Return);
}

void GeometryTest::resizeDialogRules_data() {
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<bool>("aspect");
    QTest::addColumn<int>("field"); // 0 width, 1 height, 2 width %, 3 height %
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("shown"); // width, height, width %, height %
    QTest::newRow("percent copied")
        << 200 << 100 << true << 2 << "50" << QStringList{"100", "50", "50.0", "50.0"};
    QTest::newRow("pixels to percent")
        << 10 << 14 << true << 0 << "15" << QStringList{"15", "21", "150.0", "150.0"};
    QTest::newRow("aspect off") << 10 << 14 << false << 0 << "15"
                                << QStringList{"15", "14", "150.0", "100.0"};
    QTest::newRow("height drives width")
        << 1000 << 600 << true << 1 << "300" << QStringList{"500", "300", "50.0", "50.0"};
    QTest::newRow("clamped at 10")
        << 100 << 300 << true << 2 << "1" << QStringList{"10", "10", "10.0", "3.3"};
    QTest::newRow("clamped at 14000")
        << 2000 << 1000 << true << 3 << "1000" << QStringList{"14000", "10000", "700.0", "1000.0"};
}

void GeometryTest::resizeDialogRules() {
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(bool, aspect);
    QFETCH(int, field);
    QFETCH(QString, typed);
    QFETCH(QStringList, shown);
    MessageRecorder msgs;
    ui::ResizeDialog dlg(w, h);
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Bildgröße"));
    QCOMPARE(dlg.currentWidthLabel()->text(), QString::number(w));
    QCOMPARE(dlg.heightPercentField()->text(), QStringLiteral("100.0"));
    dlg.aspectBox()->setChecked(aspect);
    ui::NumberField* fields[] = {dlg.widthField(), dlg.heightField(), dlg.widthPercentField(),
                                 dlg.heightPercentField()};
    type(fields[field], typed);
    QStringList got;
    for (ui::NumberField* f : fields) got << f->text();
    QCOMPARE(got, shown);
    QVERIFY(msgs.texts.isEmpty());
}

void GeometryTest::resizeDialogRefusesAndToggles() {
    MessageRecorder msgs;
    ui::ResizeDialog dlg(200, 100);
    type(dlg.widthField(), QStringLiteral("5"));
    QCOMPARE(msgs.texts, QStringList{QStringLiteral(
                             "Geben Sie bitte eine ganze Zahl zwischen 10 und 14000 ein.")});
    QCOMPARE(dlg.fields().width, 200);
    // The aspect box recomputes from the axis edited last.
    dlg.aspectBox()->setChecked(false);
    type(dlg.widthPercentField(), QStringLiteral("50"));
    QCOMPARE(dlg.fields().height, 100);
    dlg.aspectBox()->setChecked(true);
    QCOMPARE(dlg.fields().height, 50);
    QCOMPARE(dlg.heightPercentField()->text(), QStringLiteral("50.0"));
}

void GeometryTest::resizeAsksBeforeALargeImage() {
    MessageRecorder msgs;
    Shell s;
    ui::CWinQuillonDoc* src = s.newImage(100, 100, BW_IMAGE);
    QVERIFY(src);
    src->image().row(0, 0)[0] = 1234;
    bool stayedOpen = false;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<ui::ResizeDialog*>(QApplication::activeModalWidget());
        if (!d) return;
        type(d->widthField(), QStringLiteral("6700")); // 6700 × 6700 × 6 bytes > 256 MiB
        msgs.answer = QMessageBox::Cancel;
        d->okButton()->click();
        stayedOpen = d->isVisible();
        msgs.answer = QMessageBox::Ok;
        d->okButton()->click();
        if (d->isVisible()) d->reject();
    });
    s.frame->action(Cmd::Resize)->trigger();
    Shell::settle();
    QVERIFY(stayedOpen);
    const QString ask = QString::fromStdString(resizeConfirmationText(6700, 6700));
    QVERIFY(ask.startsWith(QStringLiteral("Es wird ein Bild mit 44 Megapixeln erzeugt.")));
    QCOMPARE(msgs.texts, (QStringList{ask, ask}));
    QCOMPARE(s.app->documents().size(), 2);
    ui::CWinQuillonDoc* d = s.frame->activeDocument();
    QCOMPARE(d->title(), QStringLiteral("Neue Größe"));
    QCOMPARE(d->image().width(), 6700);
    QCOMPARE(d->image().height(), 6700);
    QCOMPARE(d->image().row(0, 0)[0], Sample(1234)); // enlarging keeps the top-left pixel
    QVERIFY(d->isModified());
    QCOMPARE(src->image().width(), 100);

    // Abbruch makes nothing.
    QTimer::singleShot(0, [] {
        if (auto* m = QApplication::activeModalWidget()) static_cast<QDialog*>(m)->reject();
    });
    s.frame->action(Cmd::Resize)->trigger();
    QCOMPARE(s.app->documents().size(), 2);
}

void GeometryTest::failedFillDiscardsTheNewDocument() {
    MessageRecorder msgs;
    Shell s;
    QVERIFY(s.newImage(100, 100, BW_IMAGE));
    s.frame->hide(); // nothing paints: the memory in use changes only by the command
    Shell::settle();
    auto resizeTo150 = [&] {
        QTimer::singleShot(0, [] {
            auto* d = qobject_cast<ui::ResizeDialog*>(QApplication::activeModalWidget());
            type(d->widthField(), QStringLiteral("150"));
            d->okButton()->click();
        });
        s.frame->action(Cmd::Resize)->trigger();
    };
    // What the new document and its view keep; the interpolation's working rows come on top.
    const std::size_t before = memory::inUse();
    resizeTo150();
    const std::size_t kept = memory::inUse() - before;
    ui::CWinQuillonDoc* made = s.frame->activeDocument();
    QCOMPARE(made->image().width(), 150);
    made->setModified(false);
    s.app->closeDocument(made);
    Shell::settle();
    QCOMPARE(memory::inUse(), before);
    {
        memory::ScopedLimit room(before + kept + 64);
        resizeTo150();
    }
    Shell::settle();
    QCOMPARE(msgs.texts, QStringList{QString::fromUtf8(msg::kOutOfMemoryAction)});
    QCOMPARE(s.app->documents().size(), 1);
}

void GeometryTest::inPlaceCommandsMovePixels_data() {
    QTest::addColumn<int>("cmd");
    QTest::addColumn<bool>("turns");
    QTest::newRow("mirror horizontal") << int(Cmd::MirrorHorizontal) << false;
    QTest::newRow("mirror vertical") << int(Cmd::MirrorVertical) << false;
    QTest::newRow("90 right") << int(Cmd::RotateRight) << true;
    QTest::newRow("90 left") << int(Cmd::RotateLeft) << true;
    QTest::newRow("180") << int(Cmd::Rotate180) << false;
}

void GeometryTest::inPlaceCommandsMovePixels() {
    QFETCH(int, cmd);
    QFETCH(bool, turns);
    MessageRecorder msgs;
    Shell s;
    const int W = 10, H = 14;
    ui::CWinQuillonDoc* d = patternImage(s, W, H, true);
    QVERIFY(d);
    d->image().SetPixelSize(5, 7);
    const auto c = static_cast<Cmd>(cmd);
    QVERIFY(s.frame->action(c)->isEnabled());
    s.frame->action(c)->trigger();
    Shell::settle();
    const Image& im = d->image();
    QCOMPARE(im.width(), turns ? H : W);
    QCOMPARE(im.height(), turns ? W : H);
    QCOMPARE(im.pixelWidth(), turns ? 7.0f : 5.0f);
    // Where each new pixel came from in the old image.
    auto from = [&](int x, int y) -> QPoint {
        switch (c) {
        case Cmd::MirrorHorizontal: return {x, H - 1 - y};
        case Cmd::MirrorVertical: return {W - 1 - x, y};
        case Cmd::RotateRight: return {y, H - 1 - x};
        case Cmd::RotateLeft: return {W - 1 - y, x};
        default: return {W - 1 - x, H - 1 - y};
        }
    };
    for (int p = 0; p < im.planeCount(); ++p) // overlay included
        for (int y = 0; y < im.height(); ++y)
            for (int x = 0; x < im.width(); ++x) {
                const QPoint o = from(x, y);
                QCOMPARE(im.row(p, y)[x], pattern(p, o.x(), o.y()));
            }
    QVERIFY(d->isModified());
    QVERIFY(msgs.texts.isEmpty());
    QCOMPARE(s.frame->pane(8)->text(), QStringLiteral("%1 × %2").arg(im.width()).arg(im.height()));
    QCOMPARE(d->views().first()->zoomedSize().width() > d->views().first()->zoomedSize().height(),
             turns);
}

void GeometryTest::rotationOutOfMemoryKeepsTheImage() {
    MessageRecorder msgs;
    Shell s;
    ui::CWinQuillonDoc* d = patternImage(s, 10, 14);
    QVERIFY(d);
    {
        memory::ScopedLimit full(memory::inUse() + 1);
        s.frame->action(Cmd::RotateRight)->trigger();
    }
    QCOMPARE(msgs.texts, QStringList{QString::fromUtf8(msg::kOutOfMemoryAction)});
    QCOMPARE(d->image().width(), 10);
    QCOMPARE(d->image().row(2, 13)[9], pattern(2, 9, 13));
    QVERIFY(!d->isModified());
}

void GeometryTest::cropFollowsTheSelection() {
    MessageRecorder msgs;
    Shell s;
    ui::CWinQuillonDoc* src = patternImage(s, 40, 30, true);
    QVERIFY(src);
    src->image().setLayerName(0, "Rot");
    ui::CWinQuillonView* v = s.frame->activeView();
    QAction* crop = s.frame->action(Cmd::Crop);
    QVERIFY(!crop->isEnabled()); // no selection
    v->setSelection(QRect(5, 4, 9, 10));
    QVERIFY(!crop->isEnabled());
    v->setSelection(QRect(35, 4, 20, 20)); // only 5 columns lie inside the image
    QVERIFY(!crop->isEnabled());
    v->setSelection(QRect(5, 4, 10, 10));
    QVERIFY(crop->isEnabled());
    v->setSelection(QRect(28, 20, 30, 30)); // cut to 12 × 10 at the image's corner
    QVERIFY(crop->isEnabled());
    crop->trigger();
    Shell::settle();
    ui::CWinQuillonDoc* d = s.frame->activeDocument();
    QVERIFY(d != src);
    QCOMPARE(d->title(), QStringLiteral("Ausschnitt"));
    QCOMPARE(d->image().width(), 12);
    QCOMPARE(d->image().height(), 10);
    QCOMPARE(d->image().layerName(0), std::string_view("Rot"));
    for (int p = 0; p < 4; ++p) {
        QCOMPARE(d->image().row(p, 0)[0], pattern(p, 28, 20));
        QCOMPARE(d->image().row(p, 9)[11], pattern(p, 39, 29));
    }
    QVERIFY(d->isModified());
    QVERIFY(!src->isModified());
    QVERIFY(msgs.texts.isEmpty());

    // Out of memory for the new document: the message, and nothing else happens.
    s.frame->mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(v->parentWidget()));
    {
        memory::ScopedLimit full(memory::inUse() + 1);
        crop->trigger();
    }
    QCOMPARE(msgs.texts, QStringList{QString::fromUtf8(msg::kOutOfMemoryNew)});
    QCOMPARE(s.app->documents().size(), 2);

    // The commands sit in the image menu and need an image view.
    QMenu* image = s.frame->menuBar()->actions().at(2)->menu();
    QCOMPARE(image->title(), QStringLiteral("B&ild"));
    QStringList subs;
    for (QAction* a : image->actions())
        if (a->menu()) subs << a->text() + ":" + QString::number(a->menu()->actions().size());
    QCOMPARE(subs, (QStringList{"&Konvertieren:2", "&Spiegeln:2", "D&rehen:3"}));
    QVERIFY(image->actions().contains(s.frame->action(Cmd::Resize)));
    s.app->closeAllDocuments();
    Shell::settle();
    for (Cmd c : ui::kGeometryCommands) QVERIFY(!s.frame->action(c)->isEnabled());
}

QTEST_MAIN(GeometryTest)
#include "test_geometry.moc"
