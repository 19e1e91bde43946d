// The night look: palette, style sheet and the red mapping of on-screen pictures.
#include "ui/shell/night_mode.h"

#include "display/night_red.h"
#include "ui/shell/command_icons.h"

#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QWidget>
#include <cstdint>

namespace quillon::ui {

namespace {

struct NightState {
    bool on = false;
    QPalette previousPalette;
    QString previousStyleSheet;
};

NightState& state() {
    static NightState s;
    return s;
}

// Widgets that draw with their own colours (menus of the native style, tool tips, the MDI
// area's background, item views) follow the palette only partly; the style sheet takes
// them the rest of the way.
const char* const kNightStyleSheet = R"(
* { color: #d00000; background-color: #000000; selection-background-color: #500000;
    selection-color: #ff0000; border-color: #400000; }
QMenuBar::item:selected, QMenu::item:selected { background-color: #400000; }
QToolTip { color: #ff0000; background-color: #100000; border: 1px solid #500000; }
QPushButton, QToolButton, QComboBox, QLineEdit, QSpinBox, QDoubleSpinBox {
    border: 1px solid #500000; padding: 2px 6px; }
QPushButton:pressed, QToolButton:checked, QToolButton:pressed { background-color: #300000; }
QMdiArea { background: #000000; }
QStatusBar { color: #b00000; }
)";

} // namespace

bool nightMode() {
    return state().on;
}

QPalette nightPalette() {
    const QColor black(0, 0, 0);
    const QColor darkRed(40, 0, 0);
    const QColor red(208, 0, 0);
    const QColor brightRed(255, 0, 0);
    const QColor dimRed(110, 0, 0);
    QPalette p;
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        const bool off = g == QPalette::Disabled;
        p.setColor(g, QPalette::Window, black);
        p.setColor(g, QPalette::Base, black);
        p.setColor(g, QPalette::AlternateBase, darkRed);
        p.setColor(g, QPalette::Button, black);
        p.setColor(g, QPalette::ToolTipBase, black);
        p.setColor(g, QPalette::WindowText, off ? dimRed : red);
        p.setColor(g, QPalette::Text, off ? dimRed : red);
        p.setColor(g, QPalette::ButtonText, off ? dimRed : red);
        p.setColor(g, QPalette::ToolTipText, red);
        p.setColor(g, QPalette::PlaceholderText, dimRed);
        p.setColor(g, QPalette::BrightText, brightRed);
        p.setColor(g, QPalette::Highlight, QColor(80, 0, 0));
        p.setColor(g, QPalette::HighlightedText, brightRed);
        p.setColor(g, QPalette::Link, brightRed);
        p.setColor(g, QPalette::LinkVisited, red);
        p.setColor(g, QPalette::Light, QColor(90, 0, 0));
        p.setColor(g, QPalette::Midlight, QColor(60, 0, 0));
        p.setColor(g, QPalette::Mid, darkRed);
        p.setColor(g, QPalette::Dark, QColor(20, 0, 0));
        p.setColor(g, QPalette::Shadow, black);
    }
    return p;
}

void setNightMode(bool on) {
    NightState& s = state();
    if (on == s.on) return;
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app) return;
    if (on) {
        s.previousPalette = QApplication::palette();
        s.previousStyleSheet = app->styleSheet();
        s.on = true;
        QApplication::setPalette(nightPalette());
        app->setStyleSheet(QString::fromLatin1(kNightStyleSheet));
    } else {
        s.on = false;
        app->setStyleSheet(s.previousStyleSheet);
        QApplication::setPalette(s.previousPalette);
    }
    // Pictures cached by the windows are drawn again with or without the red mapping.
    for (QWidget* w : QApplication::allWidgets()) w->update();
}

void applyNightLook(bool on, QMdiArea& workspace, std::span<QAction* const> commandActions) {
    setNightMode(on);
    workspace.setBackground(on ? QColor(0, 0, 0) : QColor(kWorkspaceGrey));
    // Document windows keep the title bar colours they were created with until told.
    for (QMdiSubWindow* s : workspace.subWindowList()) s->setPalette(QApplication::palette());
    for (std::size_t i = 0; i < commandActions.size(); ++i) {
        QAction* a = commandActions[i];
        if (!a || a->icon().isNull()) continue;
        const QIcon normal = commandIcon(static_cast<Cmd>(i));
        a->setIcon(on ? nightIcon(normal) : normal);
    }
}

void showAtNight(Picture& picture) {
    if (state().on) toNightRed(picture);
}

namespace {
// Grey values become red; `invert` turns dark strokes (icons drawn for a light background)
// into bright ones for the black background.
void redden(QImage& image, bool invert = false) {
    const QImage::Format f = image.format();
    if (f != QImage::Format_RGB32 && f != QImage::Format_ARGB32) return;
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            row[x] =
                (row[x] & 0xFF000000u) |
                (static_cast<std::uint32_t>(invert ? 255 - greyOf(row[x]) : greyOf(row[x])) << 16);
    }
}
} // namespace

QImage atNight(QImage image) {
    if (state().on) redden(image);
    return image;
}

QIcon nightIcon(const QIcon& icon) {
    QIcon red;
    for (int size : {16, 20, 24, 32}) {
        QImage img = icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
        redden(img, true);
        red.addPixmap(QPixmap::fromImage(img));
        // Disabled commands: the same red, dimmed.
        for (int y = 0; y < img.height(); ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(img.scanLine(y));
            for (int x = 0; x < img.width(); ++x)
                row[x] = (((row[x] >> 24) * 2 / 5) << 24) | (row[x] & 0xFFFFFFu);
        }
        red.addPixmap(QPixmap::fromImage(img), QIcon::Disabled);
    }
    return red;
}

} // namespace quillon::ui
