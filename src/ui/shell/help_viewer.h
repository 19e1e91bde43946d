// The help viewer: the bundled German help pages, opened at a topic number.
#pragma once

#include <QWidget>

class QTextBrowser;

namespace quillon::ui {

class HelpViewer : public QWidget {
    Q_OBJECT
public:
    explicit HelpViewer(QWidget* parent = nullptr);
    // Shows the page of a topic; unknown topics show the index page.
    void showTopic(int topic);
    QTextBrowser* browser() const { return browser_; }

    // The resource page of a topic number (the index for unknown numbers).
    static QString pageOfTopic(int topic);

private:
    QTextBrowser* browser_;
};

} // namespace quillon::ui
