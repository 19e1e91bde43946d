// The dialogs, composite, print and photometry windows in English: texts of member functions,
// of free functions, of tables and of the number prompts all reach the translator (their
// contexts at run time are those the translation file was made with).
#include "ui/composite/stack_options_group.h"
#include "ui/dialogs/memory_dialog.h"
#include "ui/dialogs/number_field.h"
#include "ui/dialogs/open_dialog.h"
#include "ui/dialogs/resize_dialog.h"
#include "ui/print/print_dialogs.h"
#include "ui/print/print_session.h"
#include "ui/shell/language.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace quillon;
using namespace quillon::ui;

class DialogsEnglishTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(installLanguage(QStringLiteral("en"), {})); }
    void textsAreEnglish() {
        ResizeDialog resize(100, 80);
        QCOMPARE(resize.windowTitle(), QStringLiteral("Image Size"));
        QCOMPARE(resize.cancelButton()->text(), QStringLiteral("Cancel"));

        CompositeOptions options;
        QCheckBox averaging, artefacts;
        StackOptionsGroup stack(options, &averaging, &artefacts);
        QCOMPARE(stack.rejectionBox()->itemText(2), QStringLiteral("Sigma clipping"));

        QCOMPARE(numberPrompt(NumberText::NotANumber, 0, 1, false),
                 QStringLiteral("Please enter a number."));
        QCOMPARE(numberPrompt(NumberText::OutOfRange, 1, 9, true),
                 QStringLiteral("Please enter a whole number between 1 and 9."));
        QCOMPARE(openDialogFilters().last(), QStringLiteral("All files (*.*)"));
        QCOMPARE(QCoreApplication::translate("PrintSession", kNoPrinter),
                 QStringLiteral("No printer selected or installed!"));

        PrintSettings settings;
        PageSetupDialog page(settings, PrinterFacts{}, {});
        QVERIFY(page.button(QStringLiteral("Print")));
        QVERIFY(page.button(QStringLiteral("Advanced...")));

        MemoryDialog memory(64, 512);
        QStringList labels;
        for (const QLabel* l : memory.findChildren<QLabel*>()) labels << l->text();
        QVERIFY(labels.contains(
            QStringLiteral("Maximum memory used by \"Undo\" for all images (MB):")));
    }
};

QTEST_MAIN(DialogsEnglishTest)
#include "test_dialogs_english.moc"
