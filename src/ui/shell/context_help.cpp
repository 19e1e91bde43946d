// The help topic of the command under a screen point.
#include "ui/shell/context_help.h"

#include "ui/commands.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>

namespace quillon::ui {

int helpTopicAt(QPoint globalPos) {
    QWidget* w = QApplication::widgetAt(globalPos);
    QAction* a = nullptr;
    if (auto* menu = qobject_cast<QMenu*>(w))
        a = menu->actionAt(menu->mapFromGlobal(globalPos));
    else if (auto* button = qobject_cast<QToolButton*>(w))
        a = button->defaultAction();
    else if (auto* bar = qobject_cast<QMenuBar*>(w))
        a = bar->actionAt(bar->mapFromGlobal(globalPos));
    bool ok = false;
    int cmd = a ? a->data().toInt(&ok) : -1;
    if (!ok || cmd < 0 || cmd >= static_cast<int>(Cmd::Count)) return kDefaultHelpTopic;
    return helpTopicOf(static_cast<Cmd>(cmd));
}

} // namespace quillon::ui
