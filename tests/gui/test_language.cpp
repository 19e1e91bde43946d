// The English interface: started in English, the menus, the tool windows and the library's
// texts read English, the help pages come in English, and "Sprache..." stores the choice.
#include "gui_test_support.h"

#include "core/image_type.h"
#include "display/scaling.h"
#include "filters/command_table.h"
#include "ui/shell/help_viewer.h"
#include "ui/shell/language.h"
#include "ui/shell/language_dialog.h"
#include "ui/tools/scaling_window.h"

#include <QDir>
#include <QLibraryInfo>
#include <QMenuBar>
#include <QRadioButton>
#include <QTranslator>

using namespace quillon;
using namespace quillon::test;
using quillon::ui::Cmd;

class LanguageTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void menusAndToolWindowsReadEnglish();
    void everyLibraryTextShownHasEnglish();
    void helpPagesComeInEnglish();
    void languageDialogStoresTheChoice();
};

void LanguageTest::initTestCase() {
    QVERIFY(ui::installLanguage(QStringLiteral("en"),
                                {QLibraryInfo::path(QLibraryInfo::TranslationsPath)}));
    QCOMPARE(ui::currentLanguage(), QStringLiteral("en"));
}

void LanguageTest::menusAndToolWindowsReadEnglish() {
    Shell s;
    QVERIFY(s.newImage(64, 48)); // with an image the frame shows its full menu bar
    QStringList titles;
    for (QAction* a : s.frame->menuBar()->actions()) titles << a->text().remove(QLatin1Char('&'));
    for (const char* menu : {"File", "Image", "Filter", "View", "Window"})
        QVERIFY2(titles.contains(QLatin1String(menu)), qPrintable(titles.join(QLatin1Char(','))));
    s.frame->action(Cmd::ToolScaling)->trigger();
    Shell::settle();
    auto* scaling = s.frame->findChild<ui::ScalingWindow*>();
    QVERIFY(scaling);
    QCOMPARE(scaling->windowTitle(), QStringLiteral("Scaling"));
    // Library texts: the filter's menu entry comes from the library's command table.
    QCOMPARE(s.frame->action(Cmd::Highpass)->text(),
             QStringLiteral("&High-Pass Filter (Sharpening)..."));
}

// The library's texts are listed for translation by hand (ui/library_texts.cpp): every text of
// its tables that the interface shows must have its English.
void LanguageTest::everyLibraryTextShownHasEnglish() {
    QTranslator en;
    QVERIFY(en.load(QStringLiteral(":/i18n/quillon_en.qm")));
    QStringList texts;
    for (const FilterCommandInfo& c : filterCommands())
        for (const char* t : {c.menuText, c.title, c.dialog})
            if (t) texts << QString::fromUtf8(t);
    for (auto list : {std::span<const char* const>(kPresetEntries),
                      std::span<const char* const>(kLutTypeEntries),
                      std::span<const char* const>(kPaletteEntries)})
        for (const char* t : list) texts << QString::fromUtf8(t);
    for (int type = BW_IMAGE; type <= CMYK_IMAGE; ++type) {
        const auto name = ImageTypeName(static_cast<ImageType>(type)).name;
        texts << QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    }
    QStringList missing; // names in capitals (RGB, CMYK) read the same in English
    for (const QString& t : texts)
        if (t != t.toUpper() && en.translate("quillon", t.toUtf8().constData()).isEmpty())
            missing << t;
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(" | "))));
}

void LanguageTest::helpPagesComeInEnglish() {
    const QStringList german =
        QDir(QStringLiteral(":/help")).entryList({QStringLiteral("*.html")}, QDir::Files);
    QVERIFY(german.size() >= 10);
    for (const QString& page : german)
        QVERIFY2(QFile::exists(QStringLiteral(":/help/en/") + page), qPrintable(page));
    QCOMPARE(ui::HelpViewer::pageOfTopic(131206), QStringLiteral("qrc:/help/en/filter.html"));
    for (const char* page : {"index.htm", "tipps.htm"}) // the help wizard's pages
        QVERIFY(QFile::exists(QStringLiteral(":/html/en/") + QLatin1String(page)));
}

void LanguageTest::languageDialogStoresTheChoice() {
    Shell s;
    s.app->settings().language.clear();
    whenModal<ui::LanguageDialog>([](ui::LanguageDialog* d) {
        QVERIFY(d->findChild<QRadioButton*>(QStringLiteral("languageDe"))->isChecked());
        d->findChild<QRadioButton*>(QStringLiteral("languageEn"))->setChecked(true);
        d->accept();
    });
    s.frame->action(Cmd::SettingsLanguage)->trigger();
    QCOMPARE(s.app->settings().language, std::string("en"));
    QCOMPARE(ui::languageCode(s.app->settings().language), QStringLiteral("en"));
    QCOMPARE(ui::languageCode("fr"), QStringLiteral("de")); // anything else is German
}

QTEST_MAIN(LanguageTest)
#include "test_language.moc"
