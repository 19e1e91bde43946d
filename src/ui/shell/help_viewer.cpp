// The help viewer.
#include "ui/shell/help_viewer.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace quillon::ui {

QString HelpViewer::pageOfTopic(int topic) {
    switch (topic) {
    case 131202: return QStringLiteral("qrc:/help/datei.html");
    case 131203: return QStringLiteral("qrc:/help/bearbeiten.html");
    case 131204: return QStringLiteral("qrc:/help/bild.html");
    case 131205: return QStringLiteral("qrc:/help/aktionen.html");
    case 131206: return QStringLiteral("qrc:/help/filter.html");
    case 131207: return QStringLiteral("qrc:/help/ansicht.html");
    case 131208: return QStringLiteral("qrc:/help/tools.html");
    case 131209: return QStringLiteral("qrc:/help/fenster.html");
    case 131210: return QStringLiteral("qrc:/help/hilfe.html");
    default: return QStringLiteral("qrc:/help/index.html");
    }
}

HelpViewer::HelpViewer(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Quillon Hilfe"));
    auto* lay = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    auto* index = new QPushButton(QStringLiteral("Inhalt"), this);
    auto* back = new QPushButton(QStringLiteral("Zurück"), this);
    auto* fwd = new QPushButton(QStringLiteral("Vorwärts"), this);
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
