// The "Help Wizard" tool window: a browser over the bundled wizard pages whose links can open
// help topics and files, close all documents, and go nowhere else.
#pragma once

#include <QString>
#include <QTextBrowser>
#include <QWidget>

namespace quillon::ui {

// What a navigation to an address does.
struct WizardNavigation {
    enum Kind { OpenHelpId, OpenFile, CloseAll, Allow, Refuse } kind = Refuse;
    int topic = 0;   // OpenHelpId
    QString path;    // OpenFile: the file; Allow: the address
    QString message; // Refuse: the refusal text
};

// The host of the maker's web site; addresses beginning with it are allowed.
inline constexpr const char* kWizardWebSite = "https://www.tervalis-raru.de";

// Decides a navigation. The address is trimmed and compared lower-cased; "openfile:" names
// are taken relative to the program folder with their case kept (file names are
// case-sensitive here).
WizardNavigation decideWizardNavigation(const QString& address, const QString& programFolder);

class WizardBrowser : public QTextBrowser {
    Q_OBJECT
public:
    explicit WizardBrowser(QWidget* parent = nullptr);
    QString programFolder;

signals:
    void openHelpTopic(int topic);
    void openFile(const QString& path);
    void closeAll();
    void refused(const QString& message);

protected:
    void doSetSource(const QUrl& name, QTextDocument::ResourceType type) override;
};

class HelpWizard : public QWidget {
    Q_OBJECT
public:
    explicit HelpWizard(QWidget* parent = nullptr);
    WizardBrowser* browser() const { return browser_; }
    // Navigates as a click on a link with this address would.
    void navigate(const QString& address);

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    WizardBrowser* browser_;
};

} // namespace quillon::ui
