#include "paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace korvane::paths {
namespace {

QString &folderOverride()
{
    static QString folder;
    return folder;
}

QStringList components(const QString &relative)
{
    QString r = relative;
    r.replace(u'\\', u'/');
    return r.split(u'/', Qt::SkipEmptyParts);
}

}  // namespace

QString programFolder()
{
    const QString &o = folderOverride();
    if (!o.isEmpty())
        return o;
    return QCoreApplication::applicationDirPath();
}

void setProgramFolder(const QString &folder)
{
    QString f = folder;
    while (f.size() > 1 && (f.endsWith(u'/') || f.endsWith(u'\\')))
        f.chop(1);
    folderOverride() = f;
}

QString resolveUnder(const QString &base, const QString &relative)
{
    QString current = base;
    bool exists = QFileInfo(current).isDir();
    for (const QString &part : components(relative)) {
        if (part == u".")
            continue;
        QString next = current + u'/' + part;
        bool found = exists && QFileInfo::exists(next);
        if (exists && !found) {
            // Look for the same name in another letter case.
            const QStringList entries = QDir(current).entryList(
                QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
            for (const QString &entry : entries) {
                if (entry.compare(part, Qt::CaseInsensitive) == 0) {
                    next = current + u'/' + entry;
                    found = true;
                    break;
                }
            }
        }
        current = next;
        exists = found;
    }
    return current;
}

QString resolve(const QString &relative)
{
    return resolveUnder(programFolder(), relative);
}

QString ensureFolder(const QString &relative)
{
    QString path = resolve(relative);
    QDir().mkpath(path);
    return path;
}

QString ensureParent(const QString &relative)
{
    QString path = resolve(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    return path;
}

}  // namespace korvane::paths
