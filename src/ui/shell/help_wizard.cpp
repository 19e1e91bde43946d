// The help wizard window and its navigation rules.
#include "ui/shell/help_wizard.h"
#include "ui/shell/language.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QUrl>
#include <QVBoxLayout>

namespace quillon::ui {

WizardNavigation decideWizardNavigation(const QString& address, const QString& programFolder) {
    const QString trimmed = address.trimmed();
    const QString a = trimmed.toLower();
    WizardNavigation n;
    if (a.startsWith(QLatin1String("openhelpid:"))) {
        n.kind = WizardNavigation::OpenHelpId;
        n.topic = a.mid(11).trimmed().toInt();
        return n;
    }
    if (a.startsWith(QLatin1String("openfile:"))) {
        n.kind = WizardNavigation::OpenFile;
        QString rest = trimmed.mid(9).trimmed();
        n.path = QDir::cleanPath(QDir(programFolder).filePath(rest));
        return n;
    }
    if (a.startsWith(QLatin1String("closeall:"))) {
        n.kind = WizardNavigation::CloseAll;
        return n;
    }
    const QString site = QString::fromLatin1(kWizardWebSite).toLower();
    const bool windowsPath = a.size() >= 3 && a[1] == QLatin1Char(':') && a[2] == QLatin1Char('\\');
    const bool allowed = a.startsWith(site) || windowsPath || a.startsWith(QLatin1Char('/')) ||
                         a.startsWith(QLatin1String("res:")) ||
                         a.startsWith(QLatin1String("qrc:")) ||
                         a.startsWith(QLatin1String("file:")) ||
                         a.startsWith(QLatin1String("javascript:windownew")) ||
                         a.startsWith(QLatin1String("javascript:history.back(1)")) ||
                         a.startsWith(QLatin1String("javascript:history.forward(1)"));
    if (allowed) {
        n.kind = WizardNavigation::Allow;
        n.path = trimmed;
        return n;
    }
    n.kind = WizardNavigation::Refuse;
    const QString host = QUrl(QString::fromLatin1(kWizardWebSite)).host();
    n.message = QCoreApplication::translate("quillon::ui::HelpWizard",
                                            " Aus Sicherheitsgründen ist eine Navigation nach : "
                                            "\n %1 \n nicht gestatted. \n Es können nur lokale, "
                                            "oder Seiten auf %2 erreicht werden.")
                    .arg(a, host);
    return n;
}

WizardBrowser::WizardBrowser(QWidget* parent) : QTextBrowser(parent) {
    setOpenLinks(true);
    setOpenExternalLinks(false);
}

void WizardBrowser::doSetSource(const QUrl& name, QTextDocument::ResourceType type) {
    QUrl url = name;
    if (url.isRelative() && !source().isEmpty() && !url.toString().contains(QLatin1Char(':')))
        url = source().resolved(url);
    const WizardNavigation n = decideWizardNavigation(url.toString(), programFolder);
    switch (n.kind) {
    case WizardNavigation::OpenHelpId: emit openHelpTopic(n.topic); return;
    case WizardNavigation::OpenFile: emit openFile(n.path); return;
    case WizardNavigation::CloseAll: emit closeAll(); return;
    case WizardNavigation::Refuse: emit refused(n.message); return;
    case WizardNavigation::Allow: break;
    }
    const QString lower = n.path.toLower();
    if (lower.startsWith(QLatin1String("javascript:history.back"))) {
        backward();
    } else if (lower.startsWith(QLatin1String("javascript:history.forward"))) {
        forward();
    } else if (lower.startsWith(QLatin1String("javascript:"))) {
        // "windownew": nothing to open in this viewer.
    } else if (lower.startsWith(QLatin1String("http"))) {
        QDesktopServices::openUrl(url); // the maker's web site opens in the user's browser
    } else if (lower.startsWith(QLatin1String("res:"))) {
        QTextBrowser::doSetSource(
            QUrl(QStringLiteral("qrc:/") + n.path.mid(4).section(QLatin1Char('/'), -1)), type);
    } else if (lower.startsWith(QLatin1Char('/'))) {
        QTextBrowser::doSetSource(QUrl::fromLocalFile(n.path), type);
    } else {
        QTextBrowser::doSetSource(url, type);
    }
}

HelpWizard::HelpWizard(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Help Wizard"));
    auto* lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    browser_ = new WizardBrowser(this);
    lay->addWidget(browser_);
    resize(230, 420);
    // The English pages have the same names in html/en.
    browser_->setSource(QUrl(currentLanguage() == QLatin1String("en")
                                 ? QStringLiteral("qrc:/html/en/index.htm")
                                 : QStringLiteral("qrc:/html/index.htm")));
}

void HelpWizard::navigate(const QString& address) {
    browser_->setSource(QUrl(address));
}

void HelpWizard::closeEvent(QCloseEvent* e) {
    QWidget::closeEvent(e);
    emit closed();
}

} // namespace quillon::ui
