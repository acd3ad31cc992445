#include "program.h"

#include "mainform.h"
#include "registry.h"

#include "common/dialogs.h"
#include "common/paths.h"
#include "common/ui.h"
#include "common/windows.h"
#include "mail/nmail.h"

#include <QCoreApplication>
#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

// The name of the desktop entry and the icon; the build sets it.
#ifndef KORVANE_APP_ID
#define KORVANE_APP_ID "org.korvane.Korvane"
#endif

namespace korvane::app {

void prepareApplication(QCoreApplication &app)
{
    installDesignFonts();
    QCoreApplication::setOrganizationName(QStringLiteral("Korvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Korvane"));
    // The desktop entry and the icon installed with the program.
    if (qobject_cast<QGuiApplication *>(&app)) {
        QGuiApplication::setDesktopFileName(QStringLiteral(KORVANE_APP_ID));
        QGuiApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(KORVANE_APP_ID)));
    }
    // No box of the program is handed a paste of nothing, and no window of
    // fixed size runs off its screen.
    if (qobject_cast<QGuiApplication *>(&app)) {
        PasteGuard::install();
        ScreenFit::install();
    }
    auto *translator = new QTranslator(&app);
    if (translator->load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

Mainform *startProgram()
{
    QString error;
    if (!paths::prepareProgramFolder(&error)) {
        qCritical("%s", qPrintable(error));
        dialogs().notice(nullptr, error, ProgramTitle, Dialogs::Icon::Critical);
        return nullptr;
    }
    registerAllWindows();
    auto *main = Windows::get<Mainform>(QStringLiteral("Mainform"));
    if (!main)
        return nullptr;
    main->startUp();
    main->showCentred();
    return main;
}

}  // namespace korvane::app

namespace korvane::app {

void endProgram()
{
    nmail::NMailEndWinSock();
}

}  // namespace korvane::app
