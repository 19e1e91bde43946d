// Icons: every toolbar button has a bundled picture, and every bundled picture is a valid SVG
// that draws something at 16, 24 and 32 pixels and at a doubled device pixel ratio.
#include "gui_test_support.h"

#include "ui/shell/command_icons.h"

#include <QDir>
#include <QImage>
#include <QSvgRenderer>
#include <QToolBar>

using namespace quillon;
using namespace quillon::test;
using quillon::ui::Cmd;

class IconsTest : public QObject {
    Q_OBJECT
private slots:
    void everyToolbarButtonHasABundledIcon();
    void everyNamedIconExists();
    void bundledIconsAreValidAndDrawAtEverySize();
};

void IconsTest::everyToolbarButtonHasABundledIcon() {
    Shell s;
    auto* bar = s.frame->findChild<QToolBar*>(QStringLiteral("Symbolleiste"));
    QVERIFY(bar);
    int buttons = 0;
    for (QAction* a : bar->actions()) {
        if (a->isSeparator() || !a->data().isValid()) continue; // the zoom box has no command
        const auto c = static_cast<Cmd>(a->data().toInt());
        QVERIFY2(!ui::commandIconPath(c).isEmpty(), qPrintable(a->toolTip()));
        QVERIFY2(!a->icon().isNull(), qPrintable(a->toolTip()));
        ++buttons;
    }
    QVERIFY(buttons >= 30);
}

void IconsTest::everyNamedIconExists() {
    for (int i = 0; i < static_cast<int>(Cmd::Count); ++i) {
        const QString path = ui::commandIconPath(static_cast<Cmd>(i));
        if (!path.isEmpty()) QVERIFY2(QFile::exists(path), qPrintable(path));
    }
    QVERIFY(QFile::exists(QStringLiteral(":/icons/quillon.svg")));
}

// Counts the pixels that are not fully transparent.
static int coveredPixels(const QPixmap& pm) {
    const QImage img = pm.toImage().convertToFormat(QImage::Format_ARGB32);
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) n += qAlpha(img.pixel(x, y)) > 0;
    return n;
}

void IconsTest::bundledIconsAreValidAndDrawAtEverySize() {
    const QStringList files = QDir(QStringLiteral(":/icons")).entryList({QStringLiteral("*.svg")});
    QVERIFY(files.size() >= 40);
    for (const QString& f : files) {
        const QString path = QStringLiteral(":/icons/") + f;
        QSvgRenderer svg(path);
        QVERIFY2(svg.isValid(), qPrintable(f));
        // The toolbar set is drawn on a 16 × 16 grid so that 16 pixels fall on whole pixels.
        if (f != QLatin1String("quillon.svg"))
            QVERIFY2(svg.viewBox() == QRect(0, 0, 16, 16), qPrintable(f));
        const QIcon icon(path);
        for (int side : {16, 24, 32}) {
            const QPixmap pm = icon.pixmap(QSize(side, side), 1.0);
            QVERIFY2(pm.size() == QSize(side, side), qPrintable(f));
            QVERIFY2(coveredPixels(pm) > side * side / 16, qPrintable(f));
        }
        // High-DPI: drawn at the device resolution, not a small picture scaled up.
        const QPixmap hi = icon.pixmap(QSize(20, 20), 2.0);
        QVERIFY2(hi.size() == QSize(40, 40), qPrintable(f));
    }
}

QTEST_MAIN(IconsTest)
#include "test_icons.moc"
