// The image menu's geometry commands: the resize dialog's rules and confirmation, mirror and
// rotation in place, running out of memory, crop enabling and its result.
#include "gui_test_support.h"
#include "support/test_images.h"

#include "core/error.h"
#include "core/memory.h"
#include "ops/geometry.h"
#include "ui/commands/geometry_commands.h"
#include "ui/dialogs/number_field.h"
#include "ui/dialogs/resize_dialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include <utility>

using namespace quillon;
using namespace quillon::test;
using quillon::ui::Cmd;
Q_DECLARE_METATYPE(quillon::ui::Cmd)

class GeometryTest : public QObject {
    Q_OBJECT
private slots:
    void resizeDialogRules();
    void resizeAsksBeforeALargeImageAndDiscardsAFailedOne();
    void inPlaceCommandsMovePixels_data();
    void inPlaceCommandsMovePixels();
    void cropFollowsTheSelection();
};

// A sample unique for every pixel and plane.
static Sample pattern(int p, int x, int y) {
    return static_cast<Sample>(p * 1000 + y * 20 + x);
}

static ui::CWinQuillonDoc* patternImage(Shell& s, int w, int h, bool overlay = false) {
    ui::CWinQuillonDoc* d = s.newImage(w, h, RGB_IMAGE, overlay);
    if (!d) return d;
    testkit::fill(d->image(), pattern);
    d->setModified(false);
    return d;
}

// Types into a field as the user does and commits with Return.
static void type(ui::NumberField* f, const QString& text) {
    f->selectAll();
    QTest::keyClicks(f, text);
    QTest::keyClick(f, Qt::Key_Return);
}

// Runs "Größe / Bining" typing `width` and pressing OK `okPresses` times.
static void resizeThroughDialog(Shell& s, const QString& width, int okPresses,
                                bool* stayedOpen = nullptr) {
    whenModal<ui::ResizeDialog>([=](ui::ResizeDialog* d) {
        type(d->widthField(), width);
        for (int i = 0; i < okPresses; ++i) {
            d->okButton()->click();
            if (stayedOpen && i == 0) *stayedOpen = d->isVisible();
        }
        if (d->isVisible()) d->reject();
    });
    s.frame->action(Cmd::Resize)->trigger();
    Shell::settle();
}

void GeometryTest::resizeDialogRules() {
    struct Case {
        int w, h;
        bool aspect;
        int field; // 0 width, 1 height, 2 width %, 3 height %
        QString typed;
        QStringList shown; // width, height, width %, height %
    };
    const Case cases[] = {
        {200, 100, true, 2, "50", {"100", "50", "50.0", "50.0"}},
        {10, 14, true, 0, "15", {"15", "21", "150.0", "150.0"}},
        {10, 14, false, 0, "15", {"15", "14", "150.0", "100.0"}},
        {1000, 600, true, 1, "300", {"500", "300", "50.0", "50.0"}},
        {100, 300, true, 2, "1", {"10", "10", "10.0", "3.3"}},                // clamped at 10
        {2000, 1000, true, 3, "1000", {"14000", "10000", "700.0", "1000.0"}}, // and at 14000
    };
    MessageRecorder msgs;
    for (const Case& c : cases) {
        ui::ResizeDialog dlg(c.w, c.h);
        QCOMPARE(dlg.currentWidthLabel()->text(), QString::number(c.w));
        dlg.aspectBox()->setChecked(c.aspect);
        ui::NumberField* fields[] = {dlg.widthField(), dlg.heightField(), dlg.widthPercentField(),
                                     dlg.heightPercentField()};
        type(fields[c.field], c.typed);
        QStringList got;
        for (ui::NumberField* f : fields) got << f->text();
        QCOMPARE(got, c.shown);
        if (!c.aspect) { // switching the aspect on recomputes from the axis edited last
            dlg.aspectBox()->setChecked(true);
            QCOMPARE(dlg.heightPercentField()->text(), dlg.widthPercentField()->text());
        }
    }
    QVERIFY(msgs.texts.isEmpty());
}

void GeometryTest::resizeAsksBeforeALargeImageAndDiscardsAFailedOne() {
    MessageRecorder msgs;
    Shell s;
    ui::CWinQuillonDoc* src = s.newImage(100, 100, BW_IMAGE);
    src->image().row(0, 0)[0] = 1234;
    s.frame->hide(); // nothing paints: the memory in use changes only by the commands
    Shell::settle();
    // 6700 × 6700 × 6 bytes > 256 MiB: the first OK is answered Cancel, the second OK.
    msgs.answer = QMessageBox::Cancel;
    ui::setMessageHandler([&](const QString& t, ui::Ask) {
        msgs.texts << t;
        return std::exchange(msgs.answer, QMessageBox::Ok);
    });
    bool stayedOpen = false;
    resizeThroughDialog(s, QStringLiteral("6700"), 2, &stayedOpen);
    QVERIFY(stayedOpen);
    const QString ask = QString::fromStdString(resizeConfirmationText(6700, 6700));
    QVERIFY(ask.startsWith(QStringLiteral("Es wird ein Bild mit 44 Megapixeln erzeugt.")));
    QCOMPARE(msgs.texts, (QStringList{ask, ask}));
    ui::CWinQuillonDoc* d = s.frame->activeDocument();
    QCOMPARE(d->title(), QStringLiteral("Neue Größe"));
    QCOMPARE(QSize(d->image().width(), d->image().height()), QSize(6700, 6700));
    QCOMPARE(d->image().row(0, 0)[0], Sample(1234)); // enlarging keeps the top-left pixel
    QVERIFY(d->isModified());
    QCOMPARE(src->image().width(), 100);
    d->setModified(false);
    s.app->closeDocument(d);
    Shell::settle();

    // Room for the new image but not for the interpolation's working rows: no document
    // appears and the message is shown.
    const std::size_t before = memory::inUse();
    resizeThroughDialog(s, QStringLiteral("150"), 1);
    std::size_t kept = 0;
    {
        const std::size_t b = memory::inUse();
        const Image copy = s.frame->activeDocument()->image().clone();
        kept = memory::inUse() - b;
    }
    s.frame->activeDocument()->setModified(false);
    s.app->closeDocument(s.frame->activeDocument());
    Shell::settle();
    msgs.texts.clear();
    {
        memory::ScopedLimit room(before + kept + 64);
        resizeThroughDialog(s, QStringLiteral("150"), 1);
    }
    QCOMPARE(msgs.texts, QStringList{QString::fromUtf8(msg::kOutOfMemoryAction)});
    QCOMPARE(s.app->documents().size(), 1);
    resizeThroughDialog(s, QStringLiteral("150"), 0); // Abbruch makes nothing
    QCOMPARE(s.app->documents().size(), 1);
}

void GeometryTest::inPlaceCommandsMovePixels_data() {
    QTest::addColumn<Cmd>("cmd");
    QTest::addColumn<bool>("turns");
    QTest::newRow("mirror horizontal") << Cmd::MirrorHorizontal << false;
    QTest::newRow("mirror vertical") << Cmd::MirrorVertical << false;
    QTest::newRow("90 right") << Cmd::RotateRight << true;
    QTest::newRow("90 left") << Cmd::RotateLeft << true;
    QTest::newRow("180") << Cmd::Rotate180 << false;
}

void GeometryTest::inPlaceCommandsMovePixels() {
    QFETCH(Cmd, cmd);
    QFETCH(bool, turns);
    MessageRecorder msgs;
    Shell s;
    const int W = 10, H = 14;
    ui::CWinQuillonDoc* d = patternImage(s, W, H, true);
    d->image().SetPixelSize(5, 7);
    if (turns) { // out of memory: the message, and the image stays as it was
        memory::ScopedLimit full(memory::inUse() + 1);
        s.frame->action(cmd)->trigger();
        QCOMPARE(msgs.texts, QStringList{QString::fromUtf8(msg::kOutOfMemoryAction)});
        QCOMPARE(d->image().row(2, 13)[9], pattern(2, 9, 13));
        QVERIFY(!d->isModified());
        msgs.texts.clear();
    }
    s.frame->action(cmd)->trigger();
    Shell::settle();
    const Image& im = d->image();
    QCOMPARE(QSize(im.width(), im.height()), turns ? QSize(H, W) : QSize(W, H));
    QCOMPARE(im.pixelWidth(), turns ? 7.0f : 5.0f);
    auto from = [&](int x, int y) -> QPoint { // where a new pixel was in the old image
        switch (cmd) {
        case Cmd::MirrorHorizontal: return {x, H - 1 - y};
        case Cmd::MirrorVertical: return {W - 1 - x, y};
        case Cmd::RotateRight: return {y, H - 1 - x};
        case Cmd::RotateLeft: return {W - 1 - y, x};
        default: return {W - 1 - x, H - 1 - y};
        }
    };
    const std::string moved = testkit::mismatch( // overlay included
        im, [&](int p, int x, int y) { return pattern(p, from(x, y).x(), from(x, y).y()); });
    QVERIFY2(moved.empty(), moved.c_str());
    QVERIFY(d->isModified());
    QVERIFY(msgs.texts.isEmpty());
}

void GeometryTest::cropFollowsTheSelection() {
    MessageRecorder msgs;
    Shell s;
    ui::CWinQuillonDoc* src = patternImage(s, 40, 30, true);
    src->image().setLayerName(0, "Rot");
    ui::CWinQuillonView* v = s.frame->activeView();
    QAction* crop = s.frame->action(Cmd::Crop);
    QVERIFY(!crop->isEnabled()); // no selection
    for (auto [rect, allowed] : {std::pair{QRect(5, 4, 9, 10), false},
                                 {QRect(5, 4, 10, 10), true},
                                 {QRect(35, 4, 20, 20), false}, // 5 columns inside the image
                                 {QRect(28, 20, 30, 30), true}}) {
        v->setSelection(rect);
        QCOMPARE(crop->isEnabled(), allowed);
    }
    crop->trigger(); // the last selection, cut to 12 × 10 at the image's corner
    Shell::settle();
    ui::CWinQuillonDoc* d = s.frame->activeDocument();
    QCOMPARE(d->title(), QStringLiteral("Ausschnitt"));
    QCOMPARE(QSize(d->image().width(), d->image().height()), QSize(12, 10));
    QCOMPARE(d->image().layerName(0), std::string_view("Rot"));
    for (int p = 0; p < 4; ++p) {
        QCOMPARE(d->image().row(p, 0)[0], pattern(p, 28, 20));
        QCOMPARE(d->image().row(p, 9)[11], pattern(p, 39, 29));
    }
    QVERIFY(d->isModified() && !src->isModified());

    // Out of memory for the new document: the message, and nothing else happens.
    s.frame->mdiArea()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(v->parentWidget()));
    {
        memory::ScopedLimit full(memory::inUse() + 1);
        crop->trigger();
    }
    QCOMPARE(msgs.texts, QStringList{QString::fromUtf8(msg::kOutOfMemoryNew)});
    QCOMPARE(s.app->documents().size(), 2);
    s.app->closeAllDocuments();
    Shell::settle();
    for (Cmd c : ui::kGeometryCommands) QVERIFY(!s.frame->action(c)->isEnabled());
}

QTEST_MAIN(GeometryTest)
#include "test_geometry.moc"
