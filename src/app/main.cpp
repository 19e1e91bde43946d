// quillon: start-up in its fixed order, the event loop, and the settings written at exit.
#include "app/qt_settings_store.h"
#include "app/single_instance.h"
#include "core/memory.h"
#include "ui/messages.h"
#include "ui/shell/command_icons.h"
#include "ui/shell/dock_host.h"
#include "ui/shell/language.h"
#include "ui/shell/main_frame.h"
#include "ui/shell/quillon_app.h"

#include "quillon_version.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QPainter>
#include <QRandomGenerator>
#include <QScreen>
#include <QSplashScreen>
#include <QTimer>

using namespace quillon;

namespace {

QPixmap splashPicture() {
    QPixmap pm(480, 260);
    pm.fill(QColor(8, 10, 24));
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QRandomGenerator rng(42);
    for (int i = 0; i < 260; ++i) {
        int x = rng.bounded(480), y = rng.bounded(260);
        int b = 80 + rng.bounded(175);
        double r = rng.bounded(100) < 8 ? 1.8 : 0.8;
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(b, b, std::min(255, b + 30)));
        p.drawEllipse(QPointF(x, y), r, r);
    }
    QFont f = p.font();
    f.setPixelSize(54);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(235, 220, 170));
    p.drawText(QRect(0, 50, 480, 90), Qt::AlignCenter, QStringLiteral("Quillon"));
    f.setPixelSize(15);
    f.setBold(false);
    p.setFont(f);
    p.setPen(QColor(190, 200, 230));
    p.drawText(QRect(0, 140, 480, 30), Qt::AlignCenter,
               QCoreApplication::translate("main", "Astrofotografie · Version %1")
                   .arg(QStringLiteral(QUILLON_VERSION)));
    return pm;
}

// Where Qt's translations are looked for: the installed program's share folder
// (<prefix>/bin/quillon -> <prefix>/share/quillon/translations), then Qt's own folder.
QStringList qtTranslationFolders() {
    const QString bin = QCoreApplication::applicationDirPath();
    return {QDir(bin).absoluteFilePath(QStringLiteral("../share/quillon/translations")),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
}

QRect desktopGeometry() {
    if (QGuiApplication::screens().size() >= 2)
        return QGuiApplication::primaryScreen()->virtualGeometry();
    return QGuiApplication::primaryScreen()->geometry();
}

} // namespace

int main(int argc, char** argv) {
    quillon::memory::limitToPhysicalMemory();
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));
    QApplication::setOrganizationName(QStringLiteral("Tervalis_RARU"));
    // Matches the installed desktop entry (task bars group our windows under its icon).
    QGuiApplication::setDesktopFileName(QStringLiteral("quillon"));
    QApplication::setWindowIcon(ui::applicationIcon());

    QStringList files;
    bool splash = qEnvironmentVariableIsEmpty("QUILLON_NO_SPLASH");
    const QStringList args = QApplication::arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--no-splash"))
            splash = false;
        else if (args[i] == QLatin1String("--help")) {
            std::fputs("quillon [--no-splash] [DATEI ...]\n", stdout);
            return 0;
        } else
            files << QFileInfo(args[i]).absoluteFilePath();
    }

    // 1. Single instance: a running instance gets our files and is activated.
    app::SingleInstance instance(app::defaultInstanceName());
    if (instance.handOver(files)) return 0;
    instance.listen();

    // 2. Resources are built in; without them nothing can be shown (in German: the language
    // setting is not read yet).
    if (!QFile::exists(QStringLiteral(":/help/index.html"))) {
        ui::showMessage(nullptr, QCoreApplication::translate(
                                     "main", "Die eingebauten Ressourcen fehlen, Quillon kann "
                                             "nicht gestartet werden"));
        return 1;
    }

    // 3. Settings store: the executable's path, the working folder.
    app::QtSettingsStore store;
    ui::CWinQuillonApp app;
    SettingsRecord& settings = app.settings();
    settings.load(store);
    // The interface language (German unless English was chosen), before the first window;
    // Qt's own dialogs follow it. The installed program carries Qt's texts beside its files.
    ui::installLanguage(ui::languageCode(settings.language), qtTranslationFolders());
    settings.exePath = QApplication::applicationFilePath().toStdString();
    store.writeString("m_Reg_strEXEPath", settings.exePath);
    if (!settings.mainFolder.empty()) QDir::setCurrent(QString::fromStdString(settings.mainFolder));

    // 4. Splash window for 2500 ms, overlapping the rest of the start.
    QElapsedTimer splashClock;
    std::unique_ptr<QSplashScreen> splashScreen;
    if (splash) {
        splashScreen = std::make_unique<QSplashScreen>(splashPicture());
        splashScreen->show();
        QApplication::processEvents();
        splashClock.start();
    }

    // 5./6. Remaining settings were read with the record; the recent-file list.
    app.setRecentFiles(store.readRecentFiles());

    // 7. Main window; the position check decides which tool windows open (shown below).
    ui::CMainFrame* frame = app.createMainFrame();
    const QRect desk = desktopGeometry();
    settings.checkPositions(desk.width(), desk.height());
    QObject::connect(&instance, &app::SingleInstance::activationRequested, frame,
                     [frame](const QStringList& handed) {
                         if (frame->isMinimized()) frame->showMaximized();
                         frame->raise();
                         frame->activateWindow();
                         frame->openFiles(handed);
                     });

    // 9. Close the splash, show the main window maximised; 8. then open the named files.
    if (splashScreen) {
        qint64 left = 2500 - splashClock.elapsed();
        if (left > 0) {
            QEventLoop wait;
            QTimer::singleShot(static_cast<int>(left), &wait, &QEventLoop::quit);
            wait.exec();
        }
        splashScreen->finish(frame);
    }
    // As the last run left it, else maximised. Without a window manager (a bare X server)
    // "maximised" does nothing: size it ourselves.
    if (!ui::showWithStoredGeometry(*frame, settings)) {
        frame->setGeometry(QGuiApplication::primaryScreen()->availableGeometry());
        frame->showMaximized();
    }
    // The tool windows appear with the main window, not over the splash.
    frame->openToolWindows(static_cast<unsigned>(settings.toolBits));
    QTimer::singleShot(0, frame, [frame, files] { frame->openFiles(files); });

    const int rc = QApplication::exec();

    // Exit: the working folder and the whole record, once.
    settings.mainFolder = QDir::currentPath().toStdString();
    settings.save(store);
    store.writeRecentFiles(app.recentFiles());
    store.sync();
    return rc;
}
