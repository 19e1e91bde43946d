// The help viewer.
#include "ui/shell/help_viewer.h"
#include "ui/shell/language.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace quillon::ui {

QString HelpViewer::pageOfTopic(int topic) {
    QString page;
    switch (topic) {
    case 131202: page = QStringLiteral("datei.html"); break;
    case 131203: page = QStringLiteral("bearbeiten.html"); break;
    case 131204: page = QStringLiteral("bild.html"); break;
    case 131205: page = QStringLiteral("aktionen.html"); break;
    case 131206: page = QStringLiteral("filter.html"); break;
    case 131207: page = QStringLiteral("ansicht.html"); break;
    case 131208: page = QStringLiteral("tools.html"); break;
    case 131209: page = QStringLiteral("fenster.html"); break;
    case 131210: page = QStringLiteral("hilfe.html"); break;
    default: page = QStringLiteral("index.html"); break;
    }
    // The English pages have the same names in help/en.
    const bool english = currentLanguage() == QLatin1String("en");
    return (english ? QStringLiteral("qrc:/help/en/") : QStringLiteral("qrc:/help/")) + page;
}

HelpViewer::HelpViewer(QWidget* parent) : QWidget(parent) {
    setWindowTitle(tr("Quillon Hilfe"));
    auto* lay = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    auto* index = new QPushButton(tr("Inhalt"), this);
    auto* back = new QPushButton(tr("Zurück"), this);
    auto* fwd = new QPushButton(tr("Vorwärts"), this);
    bar->addWidget(index);
    bar->addWidget(back);
    bar->addWidget(fwd);
    bar->addStretch();
    lay->addLayout(bar);
    browser_ = new QTextBrowser(this);
    browser_->setOpenExternalLinks(false);
    lay->addWidget(browser_);
    connect(index, &QPushButton::clicked, this, [this] { showTopic(131201); });
    connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(fwd, &QPushButton::clicked, browser_, &QTextBrowser::forward);
    resize(640, 560);
}

void HelpViewer::showTopic(int topic) {
    browser_->setSource(QUrl(pageOfTopic(topic)));
}

} // namespace quillon::ui
