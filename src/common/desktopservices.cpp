#include "desktopservices.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

#include <mutex>

// Where the module is installed, relative to the executable's folder; the
// build sets it.
#ifndef KORVANE_MODULES_FROM_BIN
#define KORVANE_MODULES_FROM_BIN "../lib/korvane"
#endif

namespace korvane::desktop {
namespace {

struct Loaded {
    Services *services = nullptr;
    QString error;
};

QStringList candidates()
{
    QStringList folders;
    const QString named = qEnvironmentVariable("KORVANE_MODULE_DIR");
    if (!named.isEmpty())
        folders << named;
    if (QCoreApplication::instance()) {
        const QString executableFolder = QCoreApplication::applicationDirPath();
        folders << executableFolder
                << QDir::cleanPath(executableFolder + QStringLiteral("/" KORVANE_MODULES_FROM_BIN));
    }
    QStringList files;
    for (const QString &folder : folders) {
        const QString file = QDir(folder).filePath(QString::fromLatin1(ModuleFileName));
        if (!files.contains(file))
            files << file;
    }
    return files;
}

Loaded load()
{
    Loaded loaded;
    const QStringList files = candidates();
    QStringList reasons;
    for (const QString &file : files) {
        if (!QFileInfo::exists(file))
            continue;
        // Never unloaded: objects it made may live until the process ends.
        auto *library = new QLibrary(file);
        using Factory = Services *(*)(int);
        auto factory = reinterpret_cast<Factory>(library->resolve(FactoryName));
        if (!factory) {
            reasons << library->errorString();
            library->unload();
            delete library;
            continue;
        }
        if (Services *services = factory(InterfaceVersion)) {
            loaded.services = services;
            return loaded;
        }
        reasons << QStringLiteral("%1 は、この版のプログラムに合いません").arg(file);
        library->unload();
        delete library;
    }
    if (reasons.isEmpty())
        reasons << QStringLiteral("%1 が見つかりません。探した場所: %2")
                       .arg(QString::fromLatin1(ModuleFileName), files.join(QStringLiteral(", ")));
    loaded.error = reasons.join(QLatin1Char('\n'));
    return loaded;
}

}  // namespace

Services *services(QString *error)
{
    static std::once_flag once;
    static Loaded loaded;
    std::call_once(once, [] { loaded = load(); });
    if (!loaded.services && error)
        *error = loaded.error;
    return loaded.services;
}

}  // namespace korvane::desktop
