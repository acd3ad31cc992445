#include "program.h"

#include "mainform.h"
#include "registry.h"

#include "common/dialogs.h"
#include "common/paths.h"
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
    // The windows name the fonts of their design; these are the free fonts
    // that look and measure alike, for systems whose font configuration does
    // not map the names itself.
    QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"),
                               {QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック"),
                                QStringLiteral("VL PGothic"), QStringLiteral("Noto Sans CJK JP")});
    QFont::insertSubstitutions(QStringLiteral("ＭＳ ゴシック"),
                               {QStringLiteral("IPAGothic"), QStringLiteral("IPAゴシック"),
                                QStringLiteral("VL Gothic"), QStringLiteral("Noto Sans Mono CJK JP")});
    QFont::insertSubstitutions(QStringLiteral("Book Antiqua"),
                               {QStringLiteral("P052"), QStringLiteral("TeX Gyre Pagella"),
                                QStringLiteral("URW Palladio L"), QStringLiteral("Palatino")});
    QCoreApplication::setOrganizationName(QStringLiteral("Korvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Korvane"));
    // The desktop entry and the icon installed with the program.
    if (qobject_cast<QGuiApplication *>(&app)) {
        QGuiApplication::setDesktopFileName(QStringLiteral(KORVANE_APP_ID));
        QGuiApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(KORVANE_APP_ID)));
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
